// Tools > Connect, Search and Disconnect on the link level, through the main window: the open
// error, and what the window shows of a disconnect.

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QSettings>

#include "link/Link.h"
#include "link/Settings.h"
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

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

class LinkMenus : public ShellFixture {
protected:
    void MapPort(int port, const QString &device) {
        QSettings ini(Settings::FilePath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ports/COM%1").arg(port), device);
        ini.setValue("deziro232/RS232", port);
        ini.sync();
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
        EXPECT_EQ(told[0].text, "COM7 connection failed.\r\rPlease select another COM port.");
        EXPECT_EQ(app().state().link.sendEnabled.load(), 0);
    }
    // Both ran ApplyTexts first.
    EXPECT_EQ(app().texts().runCount(), 2);
}

TEST_F(LinkMenus, ConnectAndSearchOpenThePortAndShowNothingFurther) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    MapPort(5, pty.path());
    window().show();
    Pump();
    window().Search1Click();
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(app().state().link.sendEnabled.load(), 1);
    EXPECT_TRUE(app().link().IsPortOpen());
    window().Connect1Click();
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(app().link().IsPortOpen());
}

TEST_F(LinkMenus, DisconnectWhileConnectedShowsOfflineTheProgressAndTheDisconnectText) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().isEmpty());
    MapPort(5, pty.path());
    MainWindow &w = window();
    w.show();
    Pump();
    w.Connect1Click();
    ASSERT_EQ(app().state().link.sendEnabled.load(), 1);
    // What the Connect window will do on success.
    app().state().link.linkActive = kYes;
    app().state().link.chosenId = 4;
    w.lineLed()->setActive(true);
    w.lineText()->setText("ONLINE");
    int highest = 0;
    QObject::connect(w.progressBar(), &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });

    w.Disconnect1Click();

    EXPECT_EQ(app().state().link.linkActive, 0);
    EXPECT_FALSE(w.lineLed()->isActive());
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_EQ(highest, 100);
    EXPECT_EQ(w.progressBar()->value(), 0);
    EXPECT_EQ(w.statusText(0), "   4: Disconnect");
    EXPECT_EQ(w.statusText(2), "");
}

}  // namespace
}  // namespace talvo::test
