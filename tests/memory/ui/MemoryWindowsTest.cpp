// The memory window, the manage window and the program-name dialog as the operator meets them:
// inside the whole application on a simulated amplifier, the dialogs answered by the test.

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "devices/ConnectProcedure.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "memory/MemoryController.h"
#include "memory/MemoryWindows.h"
#include "programs/Windows1252.h"
#include "tests/devices/ui/AppOnSimBus.h"

namespace talvo::test {
namespace {

RecordImage Named(const char *name, int slot)
{
    RecordImage r = DefaultProgram();
    const auto bytes = ProgramNameBytes(QString::fromLatin1(name));
    std::copy(bytes.begin(), bytes.end(), r.begin());
    r[12] = static_cast<std::uint8_t>(slot);
    return r;
}

TEST(ProgramNameDialog, ClosedWithoutOkAcceptsNothingButKeepsTheName)
{
    ProgramNameDialog dialog;
    ProgramNameState state;
    state.muteOption = 1;
    WhenShown(&dialog, [](QDialog *d) {
        auto *dlg = static_cast<ProgramNameDialog *>(d);
        dlg->nameEdit()->setText(QStringLiteral("Typed"));
        dlg->volumeButton()->setChecked(true);
        dlg->reject();
    });
    dialog.Ask(state);
    EXPECT_EQ(state.nameAccepted, 0);
    EXPECT_EQ(state.muteOption, 1);
    EXPECT_EQ(state.name, QStringLiteral("Typed"));
}

TEST(ProgramNameDialog, OkTakesTheChosenOptionAndTheCurrentDownloadOffersOnlyMute)
{
    ProgramNameDialog dialog;
    ProgramNameState state;
    WhenShown(&dialog, [](QDialog *d) {
        auto *dlg = static_cast<ProgramNameDialog *>(d);
        dlg->volumeButton()->setChecked(true);
        dlg->okButton()->click();
    });
    dialog.Ask(state);
    EXPECT_EQ(state.nameAccepted, kYes);
    EXPECT_EQ(state.muteOption, 0);
    EXPECT_EQ(state.name, QStringLiteral("Memory123"));

    // As the current-program download shows it: "Mute" ticked, the volume option not offered.
    state.muteTicked = true;
    state.volumeEnabled = false;
    bool volumeEnabled = true;
    bool muteChecked = false;
    WhenShown(&dialog, [&](QDialog *d) {
        auto *dlg = static_cast<ProgramNameDialog *>(d);
        volumeEnabled = dlg->volumeButton()->isEnabled();
        muteChecked = dlg->muteButton()->isChecked();
        dlg->okButton()->click();
    });
    dialog.Ask(state);
    EXPECT_FALSE(volumeEnabled);
    EXPECT_TRUE(muteChecked);
    EXPECT_EQ(state.muteOption, 1);
}

// The save dialog of the memory window and of the manage window leaves the overwrite question to
// the program, which asks it once the extension is added: Qt's own would make it twice.
TEST(MemoryFileDialogs, TheSaveDialogAsksNoOverwriteQuestionOfItsOwn)
{
    bool asksItself = true;
    bool seen = false;
    const auto look = [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return false;
        seen = true;
        asksItself = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->reject();
        return true;
    };
    std::function<void(int)> poll = [&](int triesLeft) {
        QTimer::singleShot(5, [&, triesLeft] {
            if (!look() && triesLeft > 0)
                poll(triesLeft - 1);
        });
    };
    poll(500);
    const auto [path, filter] =
        MemoryFileDialogs::Defaults().save(nullptr, QStringLiteral("Save"), {QStringLiteral("VELK File(*.DMP) (*.DMP)")});
    ASSERT_TRUE(seen);
    EXPECT_TRUE(path.isEmpty());
    EXPECT_FALSE(asksItself);
}

class ManageWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MemoryFileDialogs dialogs;
        dialogs.open = [this](QWidget *, const QString &, const QString &) { return openPath; };
        dialogs.save = [this](QWidget *, const QString &, const QStringList &) { return std::pair{savePath, 0}; };
        window.SetFileDialogs(dialogs);
        window.SetAsk([this](QWidget *, const QString &caption, const QString &text) {
            asked << caption + QStringLiteral(" | ") + text;
            return answerOk;
        });
        window.SetTell([this](QWidget *, const QString &, const QString &text) { told << text; });
    }

    QTemporaryDir dir;
    ManageWindow window;
    QString openPath;
    QString savePath;
    bool answerOk = true;
    QStringList asked;
    QStringList told;
};

TEST_F(ManageWindowTest, NewModifyAndSaveAsWriteTheMemoryFile)
{
    window.button("dxButton1")->click();  // New
    window.SelectRow(2);
    window.nameEdit()->setText(QStringLiteral("Hall"));
    window.Timer1Timer();
    ASSERT_TRUE(window.button("dxButton7")->isEnabled());
    window.button("dxButton7")->click();  // Modify
    EXPECT_EQ(asked, QStringList{QStringLiteral("Memory Precinct Manage | Modify current Program Name?")});
    EXPECT_EQ(window.grid()->item(1, 0)->text(), QStringLiteral("2[###]"));
    EXPECT_EQ(window.grid()->item(1, 1)->text(), QStringLiteral("Hall      "));

    savePath = dir.filePath(QStringLiteral("prepared"));  // no extension: .DMP added
    window.SaveMemoryAsClick();
    MemoryImage saved;
    ASSERT_TRUE(ReadMemoryFile(savePath + QStringLiteral(".DMP"), saved).ok());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(saved[1].data()), 10), QByteArray("Hall      "));
    EXPECT_EQ(saved[0], NewSlotRecord());
    EXPECT_TRUE(told.isEmpty());
}

TEST_F(ManageWindowTest, DeleteBlanksTheRowAndDisablesModifyAndDelete)
{
    window.NewClick();
    window.SelectRow(4);
    window.Timer1Timer();
    window.button("dxButton5")->click();  // Delete
    EXPECT_EQ(asked, QStringList{QStringLiteral("Memory Precinct Manage | Delete current Program?")});
    EXPECT_EQ(window.grid()->item(3, 0)->text(), QStringLiteral("4"));
    window.Timer1Timer();
    EXPECT_FALSE(window.button("dxButton5")->isEnabled());
    EXPECT_FALSE(window.button("dxButton7")->isEnabled());
}

TEST_F(ManageWindowTest, ADeclinedOverwriteWritesNothing)
{
    window.NewClick();
    savePath = dir.filePath(QStringLiteral("old.DMP"));
    WriteAll(savePath, QByteArray("keep"));
    answerOk = false;
    window.SaveMemoryAsClick();
    EXPECT_EQ(asked, QStringList{QStringLiteral("Save file | ") + savePath + QStringLiteral(" already exist, Overwrite this file?")});
    EXPECT_EQ(ReadAll(savePath), QByteArray("keep"));
}

TEST_F(ManageWindowTest, AProgramFileOfTheWrongLengthIsNotAddedAndTheOperatorIsTold)
{
    window.NewClick();
    window.SelectRow(3);
    openPath = dir.filePath(QStringLiteral("odd.VKP"));
    WriteAll(openPath, QByteArray(100, '\x01'));
    window.AddClick();
    EXPECT_EQ(window.manage().slot(3), NewSlotRecord());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("100"))) << told[0].toStdString();
}

class MemoryInApp : public AppOnSimBus {
protected:
    // Tools > Connect to ID 1 on a bus whose amplifier holds these programs.
    void ConnectTo(std::vector<std::pair<int, RecordImage>> programs, int running)
    {
        sim::AmplifierConfig config = Amp(1);
        config.slotRecords.fill(BlankSlotRecord());
        for (const auto &[slot, record] : programs)
            config.slotRecords[slot - 1] = record;
        config.runningProgram = running;
        Start({config});
        ASSERT_TRUE(app().linkController().ConnectLinkSteps());
        ConnectRequest request;
        request.id = 1;
        ASSERT_TRUE(app().connectController().Connect(request));
    }
};

TEST_F(MemoryInApp, FileMemoryOpensTheWindowAndRefreshFillsTheGrid)
{
    ConnectTo({{3, Named("Hall", 3)}}, 3);
    MemoryWindow &window = app().memoryWindow();
    QString heading;
    bool buttonsOnline = false;
    WhenShown(&window, [&](QDialog *) {
        heading = window.heading()->text();
        buttonsOnline = window.button(1)->isEnabled();
        window.dxButton1Click();  // Refresh, to its end
        window.button(8)->click();  // OK
    });
    main().action("Memory1")->trigger();
    for (int i = 0; i < 200 && !window.isVisible(); ++i)
        Pump();
    while (window.isVisible())
        Pump();

    EXPECT_EQ(heading, QStringLiteral("Amplifier current Program is NO.3"));
    EXPECT_TRUE(buttonsOnline);
    EXPECT_EQ(window.CellText(3, 0), QStringLiteral("3[√]"));
    EXPECT_EQ(window.CellText(3, 1), QStringLiteral("Hall      "));
    EXPECT_EQ(window.CellText(4, 0), QStringLiteral("4"));
    EXPECT_EQ(window.CellText(4, 1), QString());
    EXPECT_TRUE(told.isEmpty()) << told.join(QLatin1Char('\n')).toStdString();

    // Offline, the timer disables the seven transfer buttons.
    app().state().link.linkActive = 0;
    window.Timer1Timer();
    for (int n = 1; n <= 7; ++n)
        EXPECT_FALSE(window.button(n)->isEnabled()) << n;
    EXPECT_TRUE(window.button(8)->isEnabled());
}

// The rows and the heading are the connected amplifier's: after a connect to another amplifier,
// a disconnect or a lost port they no longer show what was read from the one before, and the
// window opened again after the address moved without either (as a search leaves it) does not
// show them either.
struct ForgetCase {
    const char *name;
    std::function<void(AppOnSimBus &, Application &)> change;
    const char *heading;  // the heading afterwards
    bool reopen;          // File > Memory... again afterwards (else the window stays as it is)
};

class MemoryRowsAfter : public MemoryInApp, public ::testing::WithParamInterface<ForgetCase> {
public:
    using AppOnSimBus::line;
};

TEST_P(MemoryRowsAfter, AreClearedWithTheHeading)
{
    sim::AmplifierConfig first = Amp(1);
    first.slotRecords.fill(BlankSlotRecord());
    first.slotRecords[2] = Named("Hall", 3);
    first.runningProgram = 3;
    sim::AmplifierConfig second = Amp(2);
    second.slotRecords.fill(BlankSlotRecord());
    second.runningProgram = 7;
    Start({first, second});
    ASSERT_TRUE(app().linkController().ConnectLinkSteps());
    ConnectRequest request;
    request.id = 1;
    ASSERT_TRUE(app().connectController().Connect(request));
    MemoryWindow &window = app().memoryWindow();
    window.PrepareToShow();
    ASSERT_TRUE(app().memoryController().Refresh().ok);
    ASSERT_EQ(window.CellText(3, 0), QStringLiteral("3[√]"));
    ASSERT_EQ(window.heading()->text(), QStringLiteral("Amplifier current Program is NO.3"));

    GetParam().change(*this, app());
    Pump();
    if (GetParam().reopen)
        window.PrepareToShow();  // without a Refresh

    for (int slot = 1; slot <= kMemorySlotCount; ++slot) {
        EXPECT_EQ(window.CellText(slot, 0), QString::number(slot)) << slot;
        EXPECT_EQ(window.CellText(slot, 1), QString()) << slot;
    }
    EXPECT_EQ(window.heading()->text(), QString::fromUtf8(GetParam().heading));
}

INSTANTIATE_TEST_SUITE_P(
    MemoryInApp, MemoryRowsAfter,
    ::testing::Values(
        ForgetCase{"ConnectToAnotherId",
                   [](AppOnSimBus &, Application &app) {
                       ConnectRequest request;
                       request.id = 2;
                       ASSERT_TRUE(app.connectController().Connect(request));
                   },
                   "Amplifier current Program is NO. 7", false},  // as the connect writes it
        ForgetCase{"Disconnect", [](AppOnSimBus &, Application &app) { app.mainWindow().Disconnect1Click(); }, "", false},
        ForgetCase{"PortLost",
                   [](AppOnSimBus &test, Application &app) {
                       static_cast<MemoryRowsAfter &>(test).line().hangUp();
                       for (int i = 0; i < 500 && !app.link().PortLost(); ++i) {
                           app.link().WaitPumping(10);
                       }
                       ASSERT_TRUE(app.link().PortLost());
                   },
                   "", false},
        ForgetCase{"AddressMovedThenReopened",
                   [](AppOnSimBus &, Application &app) { app.state().link.outFrame.address = 9; }, "", true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MemoryInApp, OpenWhileConnectedOffersTheDownloadAndNamesTheProgram)
{
    ConnectTo({{2, Named("Two", 2)}}, 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Venue.VKP"));
    ASSERT_TRUE(WriteRecordFile(path, Named("Venue Hall", 255)).ok());
    QStringList asked;
    ShellPrompts &p = main().prompts();
    p.chooseOpenFile = [&path](QWidget *, const std::function<void(const QString &)> &) { return path; };
    p.ask = [&asked](QWidget *, QMessageBox::Icon, const QString &caption, const QString &text,
                     QMessageBox::StandardButtons) {
        asked << caption + QStringLiteral(" | ") + text;
        return QMessageBox::No;
    };

    main().Open1Click();

    EXPECT_EQ(asked, QStringList{QStringLiteral("DOWNLOAD PROGRAM | Do you Refresh NO.2 PROGRAM?")});
    EXPECT_EQ(app().memoryController().nameDialog().name, QStringLiteral("Venue Hall"));
    EXPECT_TRUE(main().action("Open1")->isEnabled());
}

}  // namespace
}  // namespace talvo::test
