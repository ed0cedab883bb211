// Tools > Connect, Search and Disconnect on the link level, through the main window: the open
// error, and what the window shows of a disconnect.

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include <functional>

#include "link/Link.h"
#include "devices/ConnectWindow.h"
#include "devices/SearchWindow.h"
#include "link/Settings.h"
#include "memory/MemoryController.h"
#include "shell/DemoBus.h"
#include "ShellFixture.h"
#include "widgets/RectLed.h"

namespace talvo::test {
namespace {

// A pseudo-terminal whose far end nobody reads: a port that opens and swallows what is written.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const QString &path() const { return path_; }
    // Closes both ends: the program's port sees a hang-up, as when a simulator ends.
    void hangUp() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
        slave_ = master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// Closes `dialog` once it is up, after `look`; the link steps before a window is shown keep
// the event loop running, so the close has to wait for the window rather than for the loop.
void CloseWhenShown(QDialog *dialog, std::function<void()> look = {}) {
    QTimer::singleShot(5, dialog, [dialog, look] {
        if (!dialog->isVisible()) {
            CloseWhenShown(dialog, look);
            return;
        }
        if (look) look();
        dialog->reject();
    });
}

class LinkMenus : public ShellFixture {
protected:
    void MapPort(int port, const QString &device) {
        QSettings ini(Settings::FilePath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ports/COM%1").arg(port), device);
        ini.setValue("deziro232/RS232", port);
        ini.sync();
    }
    // Connect on `pty` as COM5, then what the Connect window does on success.
    // Connect from the menu, with `whileShown` done in the Connect window before it closes, and
    // then what the Connect window does on success for ID `id`.
    MainWindow &ConnectOn(const PseudoTerminal &pty, int id, std::function<void()> whileShown = {}) {
        MapPort(5, pty.path());
        MainWindow &w = window();
        w.show();
        Pump();
        CloseWhenShown(&app().connectWindow(), std::move(whileShown));
        w.Connect1Click();
        EXPECT_EQ(app().state().link.sendEnabled.load(), 1);
        EXPECT_TRUE(app().link().IsPortOpen());
        app().state().link.linkActive = kYes;
        app().state().link.chosenId = id;
        w.lineLed()->setActive(true);
        w.lineText()->setText("ONLINE");
        return w;
    }
};

TEST_F(LinkMenus, APortThatCannotBeOpenedShowsTheOpenErrorForConnectAndSearch) {
    MapPort(7, "/nonexistent/talvo-test-port");
    window().show();
    Pump();
    for (auto handler : {&MainWindow::Connect1Click, &MainWindow::Search1Click}) {
        told.clear();
        (window().*handler)();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].icon, QMessageBox::Critical);
        EXPECT_EQ(told[0].caption, "Open COM error");
        EXPECT_EQ(told[0].text,
                  "COM7 connection failed.\r\rPlease select another COM port.\r/nonexistent/talvo-test-port: no such device");
        EXPECT_EQ(app().state().link.sendEnabled.load(), 0);
    }
    // Both ran ApplyTexts first.
    EXPECT_EQ(app().texts().runCount(), 2);
}

TEST_F(LinkMenus, ConnectAndSearchOpenThePortAndThenTheirWindows) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    MapPort(5, pty.path());
    window().show();
    Pump();
    bool portOpenWhileShown = false;
    CloseWhenShown(&app().searchWindow(), [&] { portOpenWhileShown = app().link().IsPortOpen(); });
    window().Search1Click();  // returns when the window closed
    EXPECT_TRUE(portOpenWhileShown);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(app().state().link.sendEnabled.load(), 1);
    EXPECT_TRUE(app().link().IsPortOpen());
    portOpenWhileShown = false;
    CloseWhenShown(&app().connectWindow(), [&] { portOpenWhileShown = app().link().IsPortOpen(); });
    window().Connect1Click();
    EXPECT_TRUE(portOpenWhileShown);
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(app().link().IsPortOpen());
}

TEST_F(LinkMenus, DisconnectWhileConnectedShowsOfflineTheProgressAndTheDisconnectText) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    // The operator types 4 into the Connect window's ID field after a connect to ID 9 went online.
    MainWindow &w = ConnectOn(pty, 9, [this] { app().connectWindow().idSpin()->setValue(4); });
    int highest = 0;
    QObject::connect(w.progressBar(), &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });

    w.Disconnect1Click();

    EXPECT_EQ(app().state().link.linkActive, 0);
    EXPECT_FALSE(w.lineLed()->isActive());
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_EQ(highest, 100);
    EXPECT_EQ(w.progressBar()->value(), 0);
    // The Disconnect text names the ID in the Connect window's field, not the last one connected.
    EXPECT_EQ(w.statusText(0), "   4: Disconnect");
    EXPECT_EQ(w.statusText(2), "");
}

TEST_F(LinkMenus, ALostPortEndsTheConnectionAndTheWindowSaysWhy) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    MainWindow &w = ConnectOn(pty, 1);
    int disconnects = 0;
    QObject::connect(&w, &MainWindow::disconnecting, [&] { ++disconnects; });

    pty.hangUp();
    for (int i = 0; i < 200 && told.empty(); ++i) app().link().WaitPumping(20);

    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Critical);
    EXPECT_EQ(told[0].caption, "COM port lost");
    EXPECT_TRUE(told[0].text.startsWith(QStringLiteral("COM5 (%1) was lost: ").arg(pty.path()))) << told[0].text.toStdString();
    EXPECT_EQ(disconnects, 1);  // the other windows forget the connection, as on Disconnect
    EXPECT_EQ(app().state().link.linkActive, 0);
    EXPECT_FALSE(app().link().IsPortOpen());
    EXPECT_FALSE(w.lineLed()->isActive());
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_TRUE(w.statusText(0).startsWith("  COM5 lost: ")) << w.statusText(0).toStdString();
}

// A transfer that the loss cuts short says so itself, with the loss: one message, not two.
TEST_F(LinkMenus, ALostPortUnderAMemoryTransferIsToldOnceByTheTransfer) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    MainWindow &w = ConnectOn(pty, 1);
    int disconnects = 0;
    QObject::connect(&w, &MainWindow::disconnecting, [&] { ++disconnects; });

    // Gone as soon as the refresh waits for its first answer, long before silence would end it.
    QTimer::singleShot(0, [&pty] { pty.hangUp(); });
    const MemoryOutcome outcome = app().memoryController().Refresh();
    for (int i = 0; i < 10; ++i) app().link().WaitPumping(20);

    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(told[0].text.contains("port was lost")) << told[0].text.toStdString();
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_FALSE(app().link().LossToldByProcedure());
}

}  // namespace
}  // namespace talvo::test

namespace talvo::test {
namespace {

// The program's demonstration set-up: the simulated bus's terminal (or, with --tcp, its
// listening socket on the loopback address) stands in for every port.
class DemoLink : public ShellFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        QString error;
        bus = DemoBus::Start(&error, GetParam());
        ASSERT_TRUE(bus) << qPrintable(error);
        ApplicationOptions options;
        options.deviceOverride = bus->devicePath();
        options.deviceNote = "demo";
        UseOptions(options);
    }
    void TearDown() override {
        ShellFixture::TearDown();
        bus.reset();
    }
    std::unique_ptr<DemoBus> bus;
};

TEST_P(DemoLink, RunsOnTheSimulatedBusLeavingTheRememberedPortAlone) {
    QSettings(Settings::FilePath(), QSettings::IniFormat).setValue("deziro232/RS232", 5);
    MainWindow &w = window();
    w.show();
    Pump();
    CloseWhenShown(&app().connectWindow());
    w.Connect1Click();
    EXPECT_TRUE(told.empty());
    ASSERT_TRUE(app().link().IsPortOpen());
    EXPECT_EQ(app().state().link.portNumber, 5);
    EXPECT_EQ(w.statusText(1), "demo");

    // A frame to amplifier 1 and its answer: the status timer then shows the finish text.
    LinkState &s = app().state().link;
    s.linkActive = kYes;
    s.outFrame.address = 1;
    s.outFrame.set(220, {100});
    app().link().SendCommand();
    EXPECT_EQ(w.statusText(0), "  1: Connect...");
    for (int i = 0; i < 500 && w.statusText(0) != "  1:Finish..."; ++i) app().link().WaitPumping(20);
    EXPECT_EQ(w.statusText(0), "  1:Finish...");
    EXPECT_EQ(s.reply.replyAddress, 1);

    // Closing: the disconnect goes out, and the remembered port is still the one it was.
    w.close();
    EXPECT_EQ(s.linkActive, 0);
    EXPECT_EQ(Settings::LoadPortNumber(), 5);
}

INSTANTIATE_TEST_SUITE_P(Transports, DemoLink, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Tcp" : "PseudoTerminal"; });

}  // namespace
}  // namespace talvo::test
