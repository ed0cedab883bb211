// The Search window: its grid and ranges, a search listing what answered, and "OK" during a
// running search, on simulated amplifiers through Tools > Search.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "devices/BusSearch.h"
#include "devices/ConnectWindow.h"
#include "devices/FleetWindow.h"
#include "devices/SearchWindow.h"
#include "link/Link.h"
#include "memory/MemoryFile.h"
#include "AppOnSimBus.h"

namespace talvo::test {
namespace {

using SearchWindowTest = AppOnSimBus;

// Tools > Search with the window answered by `press` once it is up; the window is closed
// afterwards if `press` left it open, so that nothing hangs.
void SearchThroughTheMenu(MainWindow &main, SearchWindow &w, std::function<void()> press) {
    WhenShown(&w, [&w, press](QDialog *) {
        press();
        if (w.isVisible()) w.reject();
    });
    main.Search1Click();
}

TEST_F(SearchWindowTest, GridRangesAndButtons) {
    Start();
    SearchWindow &w = app().searchWindow();
    EXPECT_EQ(w.objectName(), "TForm18");
    EXPECT_EQ(w.windowTitle(), "Search Amplifier");
    QTableWidget *grid = w.findChild<QTableWidget *>("StringGrid1");
    ASSERT_EQ(grid, w.grid());
    EXPECT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(grid->rowCount(), 255);  // under the fixed header row
    EXPECT_EQ(w.CellText(0, 0), "Device Count");
    EXPECT_EQ(w.CellText(0, 1), "ID+Message");
    const char *captions[] = {"1~64", "65~128", "129~192", "193~255"};
    for (int i = 0; i < 4; ++i) {
        QRadioButton *radio = w.findChild<QRadioButton *>(QStringLiteral("RadioButton%1").arg(i + 1));
        ASSERT_TRUE(radio);
        EXPECT_EQ(radio->text(), captions[i]);
        EXPECT_EQ(radio->isChecked(), i == 0);
    }
    EXPECT_EQ(w.findChild<QPushButton *>("dxButton1")->text(), "Search");
    EXPECT_EQ(w.findChild<QPushButton *>("dxButton2")->text(), "OK");
    QPushButton *backUpAll = w.findChild<QPushButton *>("dxButton3");
    ASSERT_EQ(backUpAll, w.backUpAllButton());
    EXPECT_EQ(backUpAll->text(), "Back Up All...");
    EXPECT_FALSE(backUpAll->isEnabled());  // nothing found yet
    w.rangeButton(3)->setChecked(true);
    EXPECT_EQ(w.RangeIndex(), 3);
}

TEST_F(SearchWindowTest, ASearchOfTheFirstRangeListsAmplifiers3And7) {
    Start({Amp(3), Amp(7)});
    Clock::setSpeed(testing::kProcedureSpeed);
    SearchWindow &w = app().searchWindow();
    LinkState &s = app().state().link;
    s.outFrame.address = 12;
    std::vector<bool> searchEnabledDuring;
    QObject::connect(main().progressBar(), &QProgressBar::valueChanged, &w, [&](int value) {
        if (value == 3) searchEnabledDuring.push_back(w.searchButton()->isEnabled());
    });

    bool enabledAfter = false;
    SearchThroughTheMenu(main(), w, [&] {
        w.searchButton()->click();  // returns when the search is over
        enabledAfter = w.searchButton()->isEnabled();
        w.okButton()->click();
    });

    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(searchEnabledDuring, std::vector<bool>{false});
    EXPECT_TRUE(enabledAfter);
    EXPECT_EQ(w.CellText(1, 0), "1");
    EXPECT_EQ(w.CellText(1, 1), "3........OK");
    EXPECT_EQ(w.CellText(2, 0), "2");
    EXPECT_EQ(w.CellText(2, 1), "7........OK");
    EXPECT_EQ(w.CellText(3, 0), "");
    EXPECT_EQ(w.CellText(3, 1), "No device...");
    EXPECT_EQ(w.CellText(4, 1), "");
    EXPECT_EQ(w.CellText(0, 0), "Device Count");
    // After the search the link is as it was; closing selects row 1 and the bar is back at 0.
    EXPECT_EQ(s.outFrame.address, 12);
    EXPECT_EQ(s.linkActive, 0);
    EXPECT_EQ(w.SelectedRow(), 1);
    EXPECT_EQ(main().progressBar()->value(), 0);
    EXPECT_EQ(app().searchController().Found(), (std::vector<int>{3, 7}));
    // The grid keeps its contents for the next opening.
    w.show();
    Pump();
    EXPECT_EQ(w.CellText(2, 1), "7........OK");
    w.reject();
}

TEST_F(SearchWindowTest, OkDuringARunningSearchStopsItAndClosesTheWindow) {
    Start({Amp(2)});
    // ID 2 must be found in its own step, for "OK" to come there.
    Clock::setSpeed(testing::kProcedureSpeed);
    SearchWindow &w = app().searchWindow();
    LinkState &s = app().state().link;
    s.outFrame.address = 40;
    s.outFrame.subAddressHigh = 1;
    s.outFrame.subAddressLow = 44;

    // "OK" pressed while the search waits for the answers to ID 2, once it has been listed.
    int highestProgress = 0;
    QObject::connect(main().progressBar(), &QProgressBar::valueChanged, &w, [&](int value) {
        if (value < 100) highestProgress = std::max(highestProgress, value);
    });
    QObject::connect(&app().searchController(), &SearchController::deviceFound, &w, [&w](int) {
        QTimer::singleShot(0, w.okButton(), &QPushButton::click);
    });
    bool returnedWhileOpen = true;
    SearchThroughTheMenu(main(), w, [&] {
        w.searchButton()->click();  // returns once the search has stopped
        returnedWhileOpen = w.isVisible();
    });

    EXPECT_FALSE(returnedWhileOpen);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app().searchController().WasStopped());
    EXPECT_FALSE(app().searchController().IsSearching());
    EXPECT_EQ(app().searchController().Found(), std::vector<int>{2});
    // Stopped within a step or two of ID 2, not at the end of the range (progress 90).
    EXPECT_LE(highestProgress, 7);
    EXPECT_EQ(main().progressBar()->value(), 0);
    EXPECT_TRUE(w.searchButton()->isEnabled());
    EXPECT_EQ(w.CellText(1, 1), "2........OK");
    // The link as it was before the search.
    EXPECT_EQ(s.outFrame.address, 40);
    EXPECT_EQ(s.outFrame.subAddressHigh, 1);
    EXPECT_EQ(s.outFrame.subAddressLow, 44);
    EXPECT_EQ(s.linkActive, 0);
    EXPECT_EQ(s.sendEnabled.load(), 1);
}

// Search (the address saved is 3), connect to ID 9, open Search again to look at the list and
// press "OK": the address stays 9, so that every later edit goes to the amplifier connected.
TEST_F(SearchWindowTest, OkAfterConnectingElsewhereKeepsTheConnectedAddress) {
    Start({Amp(9)});
    SearchWindow &w = app().searchWindow();
    LinkState &s = app().state().link;
    s.outFrame.address = 3;
    const double connectSpeed = Clock::speed();
    Clock::setSpeed(40);  // nothing needs to be found in 193..255
    SearchThroughTheMenu(main(), w, [&w] {
        w.rangeButton(3)->setChecked(true);
        w.searchButton()->click();
        w.okButton()->click();
    });
    ASSERT_EQ(s.outFrame.address, 3);
    Clock::setSpeed(connectSpeed);

    ConnectWindow &c = app().connectWindow();
    WhenShown(&c, [&c](QDialog *) {
        c.idSpin()->setValue(9);
        c.connectButton()->click();
        if (c.isVisible()) c.reject();
    });
    main().Connect1Click();
    ASSERT_EQ(s.linkActive, kYes);
    ASSERT_EQ(s.outFrame.address, 9);

    SearchThroughTheMenu(main(), w, [&w] { w.okButton()->click(); });
    EXPECT_EQ(s.outFrame.address, 9);
    EXPECT_EQ(s.linkActive, kYes);
    EXPECT_EQ(main().idLabel()->text(), "ID:9");
    // Closing it by its close box, the same.
    SearchThroughTheMenu(main(), w, [&w] { w.reject(); });
    EXPECT_EQ(s.outFrame.address, 9);
}

// An amplifier with one program in slot 1: a short backup.
sim::AmplifierConfig OneProgramAmp(int id) {
    sim::AmplifierConfig config = Amp(id);
    config.slotRecords.fill(BlankSlotRecord());
    config.slotRecords[0] = sim::DemoSlots()[0];
    return config;
}

struct BackUpAllSeen {
    bool backUpAllEnabled = false;
    QString caption;
    QStringList rows;  // "ID result"
    bool stopEnabledAtEnd = true;
    bool progressFull = false;
};

// Tools > Search, a search of 1..64, "Back Up All..." into `folder`, the fleet window watched
// until its run is over and then closed, "OK".
BackUpAllSeen SearchAndBackUpAll(Application &app, const QString &folder) {
    BackUpAllSeen seen;
    SearchWindow &w = app.searchWindow();
    FleetWindow &fleet = app.fleetWindow();
    app.mainWindow().prompts().chooseFolder = [folder](QWidget *, const QString &) { return folder; };
    bool over = false;
    std::function<void()> watch = [&] {
        if (!fleet.closeButton()->isEnabled()) {
            QTimer::singleShot(20, &fleet, watch);
            return;
        }
        seen.caption = fleet.windowTitle();
        for (int row = 0; row < fleet.summary()->rowCount(); ++row)
            seen.rows << fleet.summary()->item(row, 0)->text() + u' ' + fleet.summary()->item(row, 1)->text();
        seen.stopEnabledAtEnd = fleet.stopButton()->isEnabled();
        seen.progressFull = fleet.progress()->value() == fleet.progress()->maximum();
        fleet.closeButton()->click();
        over = true;
    };
    SearchThroughTheMenu(app.mainWindow(), w, [&] {
        w.searchButton()->click();
        seen.backUpAllEnabled = w.backUpAllButton()->isEnabled();
        WhenShown(&fleet, [&](QDialog *) { watch(); });
        w.backUpAllButton()->click();
        // Only a hang ends here: the backup runs on the tests' fast clock in seconds, and a
        // minute of real time is many times that on a loaded machine.
        QElapsedTimer waited;
        waited.start();
        while (!over && waited.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(over) << "the backup did not end";
        w.okButton()->click();
    });
    return seen;
}

MemoryImage SlotsOf(const sim::Amplifier &amp) {
    MemoryImage image;
    for (int i = 1; i <= kMemorySlotCount; ++i) image[i - 1] = amp.slot(i);
    return image;
}

TEST_F(SearchWindowTest, BackUpAllWritesAMemoryFileForEachAmplifierFound) {
    Start({OneProgramAmp(3), OneProgramAmp(7)});
    Clock::setSpeed(testing::kProcedureSpeed);
    QTemporaryDir dir;

    const BackUpAllSeen seen = SearchAndBackUpAll(app(), dir.path());
    line().stop();

    EXPECT_TRUE(seen.backUpAllEnabled);
    EXPECT_EQ(seen.caption, "Back Up All");
    EXPECT_EQ(seen.rows, (QStringList{"3 done", "7 done"}));
    EXPECT_FALSE(seen.stopEnabledAtEnd);
    EXPECT_TRUE(seen.progressFull);
    const int port = app().state().link.portNumber;
    const QStringList files{QStringLiteral("COM%1-ID003.DMP").arg(port), QStringLiteral("COM%1-ID007.DMP").arg(port)};
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);
    for (std::size_t i = 0; i < 2; ++i) {
        MemoryImage image;
        ASSERT_TRUE(ReadMemoryFile(dir.filePath(files[static_cast<int>(i)]), image).ok());
        EXPECT_EQ(image, SlotsOf(line().bus().amplifier(i))) << i;
        EXPECT_FALSE(line().bus().amplifier(i).connected());
    }
    // The program's own link has the port back.
    EXPECT_TRUE(app().link().IsPortOpen());
}

// Connected to ID 9 when "Back Up All..." is pressed: after the question the program
// disconnects it first, and "OK" does not bring the connection back, for the backup let the
// amplifier go.
TEST_F(SearchWindowTest, BackUpAllWhileConnectedDisconnectsFirstAndLeavesTheLinkOffline) {
    Start({OneProgramAmp(9)});
    Clock::setSpeed(testing::kProcedureSpeed);
    LinkState &s = app().state().link;
    ConnectWindow &c = app().connectWindow();
    WhenShown(&c, [&c](QDialog *) {
        c.idSpin()->setValue(9);
        c.connectButton()->click();
        if (c.isVisible()) c.reject();
    });
    main().Connect1Click();
    ASSERT_EQ(s.linkActive, kYes);
    QStringList asked;
    main().prompts().ask = [&asked](QWidget *, QMessageBox::Icon, const QString &, const QString &text,
                                    QMessageBox::StandardButtons) {
        asked << text;
        return QMessageBox::Yes;
    };
    QTemporaryDir dir;

    const BackUpAllSeen seen = SearchAndBackUpAll(app(), dir.path());
    line().stop();

    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("ID 9, connected now, is disconnected first")) << asked[0].toStdString();
    EXPECT_EQ(seen.rows, QStringList{"9 done"});
    EXPECT_EQ(s.linkActive, 0);
    EXPECT_EQ(main().lineText()->text(), "OFFLINE");
    EXPECT_FALSE(line().bus().amplifier(0).connected());
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("COM%1-ID009.DMP").arg(s.portNumber))));
}

}  // namespace
}  // namespace talvo::test
