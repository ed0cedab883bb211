// File > Import EQ...: the file and the channel asked for, the bands in that channel's PEQ, the
// window with the report, the fit and both curves; a refused file said in a message box.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "testsignal/TestSignalController.h"
#include "peq/EqFitPlot.h"
#include "peq/EqImportWindow.h"
#include "tests/programs/TestRecords.h"

namespace talvo::test {
namespace {

const char kFilters[] =
    "Filter Settings file\r\n"
    "Filter  1: ON  PK       Fc   42.5 Hz  Gain  -8.5 dB  Q  5.20\r\n"
    "Filter  2: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.00\r\n"
    "Filter  3: ON  PK       Fc    118 Hz  Gain  -6.5 dB  Q  6.50\r\n"
    "Filter  4: ON  PK       Fc    240 Hz  Gain   2.5 dB  Q  2.10\r\n";

class EqImportMenu : public ShellFixture {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        ShellPrompts &p = window().prompts();
        p.chooseFilterFile = [this](QWidget *) {
            ++fileDialogs;
            return filterChoice;
        };
        p.chooseEqChannel = [this](QWidget *) {
            ++channelQuestions;
            return channelChoice;
        };
    }
    QString write(const char *text) {
        const QString path = dir.filePath(QStringLiteral("room.txt"));
        EXPECT_TRUE(talvo::testing::WriteRaw(path, text));
        return path;
    }
    void trigger() {
        window().action("ImportEq1")->trigger();
        Pump();
    }

    QTemporaryDir dir;
    QString filterChoice;
    int channelChoice = kEqChannelRight;
    int fileDialogs = 0;
    int channelQuestions = 0;
};

TEST_F(EqImportMenu, IsInTheFileMenuAfterSave) {
    const QList<QAction *> items = window().menu("File1")->actions();
    QStringList names;
    for (QAction *a : items) names << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    const qsizetype save = names.indexOf(QStringLiteral("Save1"));
    ASSERT_GE(save, 0);
    EXPECT_EQ(names.mid(save, 4), (QStringList{"Save1", "-", "ImportEq1", "-"})) << names.join(u' ').toStdString();
    EXPECT_EQ(window().action("ImportEq1")->text(), QStringLiteral("Import EQ..."));
}

TEST_F(EqImportMenu, LoadsTheChosenChannelAndShowsWhatItDid) {
    filterChoice = write(kFilters);
    channelChoice = kEqChannelRight;
    trigger();
    EXPECT_EQ(fileDialogs, 1);
    EXPECT_EQ(channelQuestions, 1);
    EXPECT_TRUE(told.empty());

    AppState &state = app().state();
    EXPECT_EQ(state.peq.rightBands[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(state.peq.rightBands[2], (PeqBand{118.0, -6.5, 6.5}));
    EXPECT_EQ(state.peq.leftBands, kDefaultBands);

    EqImportWindow &w = app().eqImportWindow();
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.objectName(), QStringLiteral("EqImportWindow"));
    EXPECT_TRUE(w.heading()->text().startsWith(QStringLiteral("room.txt into RIGHT PEQ."))) << w.heading()->text().toStdString();
    EXPECT_TRUE(w.fit()->text().startsWith(QStringLiteral("Fit: largest difference 2."))) << w.fit()->text().toStdString();
    const QString report = w.report()->toPlainText();
    EXPECT_TRUE(report.contains(QStringLiteral("line 5 (Filter 4): PK 240 Hz, 2.5 dB, Q 2.1; left out"))) << report.toStdString();
    EXPECT_EQ(report.count(u'\n'), 3);
    // Both curves are on the plot.
    const FitPlotStyle style;
    const QImage &plot = w.plot()->bitmap();
    bool asked = false, given = false;
    for (int y = 0; y < plot.height(); ++y) {
        asked = asked || plot.pixelColor(FitPlotColumn(240.0), y) == style.asked;
        given = given || plot.pixelColor(FitPlotColumn(240.0), y) == style.given;
    }
    EXPECT_TRUE(asked && given);
    w.okButton()->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(EqImportMenu, ARefusedFileIsSaidAndChangesNothing) {
    filterChoice = write("Filter 1: ON PK Fc 63 Hz Gain -5 dB Q 4\nFilter 2: ON PK Fc abc Hz Gain -5 dB Q 4\n");
    channelChoice = kEqChannelBoth;
    trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Critical);
    EXPECT_EQ(told[0].caption, QStringLiteral("Import EQ"));
    EXPECT_TRUE(told[0].text.contains(QStringLiteral("line 2: Fc 'abc' is not a number"))) << told[0].text.toStdString();
    EXPECT_EQ(app().state().peq.leftBands, kDefaultBands);
    EXPECT_EQ(app().state().peq.rightBands, kDefaultBands);
    EXPECT_FALSE(app().eqImportWindow().isVisible());
}

// Where the PEQ editor cannot be opened, the import does not edit it either.
TEST_F(EqImportMenu, InTheSineTestNothingIsImported) {
    app().testModes().EnterTestMode(kTestModeSine);
    filterChoice = write(kFilters);
    channelChoice = kEqChannelLeft;
    trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].text.startsWith(QStringLiteral("The LEFT PEQ cannot be edited now"))) << told[0].text.toStdString();
    EXPECT_EQ(app().state().peq.leftBands, kDefaultBands);
    EXPECT_FALSE(app().eqImportWindow().isVisible());
}

TEST_F(EqImportMenu, CancellingTheFileOrTheChannelDoesNothing) {
    filterChoice.clear();
    trigger();
    EXPECT_EQ(fileDialogs, 1);
    EXPECT_EQ(channelQuestions, 0);
    filterChoice = write(kFilters);
    channelChoice = kEqChannelCancelled;
    trigger();
    EXPECT_EQ(channelQuestions, 1);
    EXPECT_EQ(app().state().peq.leftBands, kDefaultBands);
    EXPECT_EQ(app().state().peq.rightBands, kDefaultBands);
    EXPECT_FALSE(app().eqImportWindow().isVisible());
    EXPECT_TRUE(told.empty());
}

}  // namespace
}  // namespace talvo::test
