// Tools > "Room Remote...": the window starts and stops the server and shows what a phone needs,
// and the program's menu opens it.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "remote/QrCode.h"
#include "remote/RemoteHost.h"
#include "shell/MainWindow.h"
#include "shell/RemoteWindow.h"
#include "tests/remote/RemoteRig.h"
#include "tests/shell/ShellFixture.h"

namespace talvo::testing {
namespace {

// A rig whose server is not the one under test: only its models are used.
struct WindowRig {
    RemoteRig rig{RemoteServerOptions(), sim::AmplifierConfig(), false};
    RemoteHost host{*rig.control};
    RemoteWindow window{host};
};

TEST(RemoteWindow, StartsShowsTheAddressAndItsCodeAndStops)
{
    WindowRig w;
    RemoteWindow &window = w.window;
    EXPECT_EQ(window.startButton()->text(), QStringLiteral("Start"));
    EXPECT_TRUE(window.urlField()->text().isEmpty());
    // Loopback unless the operator picks another address.
    ASSERT_GE(window.addressBox()->count(), 1);
    EXPECT_EQ(window.addressBox()->currentData().toString(), QStringLiteral("127.0.0.1"));
    window.portBox()->setValue(1);  // replaced below by a free port
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 free = probe.serverPort();
    probe.close();
    window.portBox()->setValue(free);

    window.StartClicked();
    ASSERT_TRUE(w.host.isRunning()) << window.problemLabel()->text().toStdString();
    EXPECT_EQ(window.startButton()->text(), QStringLiteral("Stop"));
    EXPECT_FALSE(window.addressBox()->isEnabled());
    const QString url = window.urlField()->text();
    const QByteArray token = w.host.server()->token();
    EXPECT_EQ(url, QStringLiteral("http://127.0.0.1:%1/?token=%2").arg(free).arg(QString::fromLatin1(token)));
    // The code carries exactly the address shown.
    const QrMatrix expected = EncodeQr(url.toUtf8());
    ASSERT_GT(expected.size, 0);
    EXPECT_EQ(w.host.qrCode().dark, expected.dark);
    const QPixmap shown = window.qrLabel()->pixmap();
    EXPECT_EQ(shown.toImage(), QrImage(expected, 5));
    EXPECT_EQ(window.clientsLabel()->text(), QStringLiteral("Pages connected: 0 of 8"));

    // A page connects: counted.
    PageSocket page(QNetworkRequest(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws?token=%2").arg(free).arg(QString::fromLatin1(token)))));
    ASSERT_TRUE(PumpUntil([&] { return window.clientsLabel()->text() == QStringLiteral("Pages connected: 1 of 8"); }));

    // Stopped: the page is told, nothing listens, and the next start pairs anew.
    window.StartClicked();
    EXPECT_FALSE(w.host.isRunning());
    EXPECT_TRUE(window.urlField()->text().isEmpty());
    EXPECT_EQ(window.clientsLabel()->text(), QStringLiteral("Off"));
    ASSERT_TRUE(PumpUntil([&] { return page.closed; }));
    EXPECT_EQ(Http(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/state").arg(free)), "GET").status, 0);
    window.StartClicked();
    ASSERT_TRUE(w.host.isRunning());
    EXPECT_NE(w.host.server()->token(), token);
}

TEST(RemoteWindow, APortInUseIsSaidAndNothingStarts)
{
    WindowRig w;
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    w.window.portBox()->setValue(taken.serverPort());
    w.window.StartClicked();
    EXPECT_FALSE(w.host.isRunning());
    EXPECT_TRUE(w.window.problemLabel()->text().contains(QStringLiteral("cannot listen on 127.0.0.1 port %1").arg(taken.serverPort())))
        << w.window.problemLabel()->text().toStdString();
    EXPECT_EQ(w.window.startButton()->text(), QStringLiteral("Start"));
}

class RemoteMenu : public talvo::test::ShellFixture {};

TEST_F(RemoteMenu, ToolsRoomRemoteOpensTheWindow)
{
    MainWindow &main = window();
    QAction *action = main.action("RoomRemote1");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Room Remote..."));
    EXPECT_TRUE(action->isEnabled());
    EXPECT_FALSE(app().remoteWindow().isVisible());
    action->trigger();
    Pump();
    EXPECT_TRUE(app().remoteWindow().isVisible());
    EXPECT_FALSE(app().remoteWindow().isModal());
    EXPECT_FALSE(app().remoteHost().isRunning()) << "the room remote starts only when asked";
}

}  // namespace
}  // namespace talvo::testing
