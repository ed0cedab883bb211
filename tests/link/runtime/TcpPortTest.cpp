// The link on a serial server on the network (tcp://HOST:PORT), against the simulated bus on
// the loopback address: connections that fail, a connection dropped under a transfer, and the
// simulator serving one client at a time.

#include <chrono>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTcpServer>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "link/PortFailure.h"
#include "link/SerialIo.h"

namespace talvo::testing {
namespace {

using testsupport::SimTransport;

constexpr qint64 kGainFrameBytes = 15;  // a gain frame on the wire: 12 + 3 data bytes

// A loopback port on which nothing listens any more.
QString ClosedLoopbackPort()
{
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port);
}

struct FailureCase {
    const char *name;
    QString address;
    PortFailure::Kind kind;
    const char *words;
};

TEST(TcpPort, ConnectionsThatCannotBeMadeSayWhy)
{
    const FailureCase cases[] = {
        {"nothing listens", ClosedLoopbackPort(), PortFailure::Kind::Refused,
         "the connection was refused (is the serial server listening on that port?)"},
        {"unknown host", QStringLiteral("tcp://no-such-host.invalid:4001"), PortFailure::Kind::NameNotFound,
         "the host name does not resolve"},
        {"no port number", QStringLiteral("tcp://127.0.0.1"), PortFailure::Kind::BadAddress,
         "not a network port: the port number is missing (HOST:PORT)"},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        LinkState state;
        Link link(state);
        link.SetDeviceOverride(c.address);
        EXPECT_FALSE(link.OpenPort());
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_EQ(link.OpenFailure().kind, c.kind) << link.LastOpenFailure().toStdString();
        EXPECT_EQ(link.LastOpenFailure(), c.address + QStringLiteral(": ") + QLatin1String(c.words))
            << link.LastOpenFailure().toStdString();
    }
}

// A host that never answers the connection: a listening socket whose queue is full drops every
// further request, as a converter behind a dead route does.
TEST(TcpPort, AHostThatNeverAnswersTimesOut)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
        fillers.push_back(s);
    }
    ::usleep(100000);  // the handshakes of the fillers complete

    ScopedSpeed speed(1);
    LinkState state;
    Link link(state);
    link.SetDeviceOverride(QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port)));
    const auto start = std::chrono::steady_clock::now();
    const bool opened = link.OpenPort();
    const double tookMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    for (int s : fillers)
        ::close(s);
    ::close(listener);

    EXPECT_FALSE(opened);
    EXPECT_EQ(link.OpenFailure().kind, PortFailure::Kind::TimedOut) << link.LastOpenFailure().toStdString();
    EXPECT_TRUE(link.LastOpenFailure().endsWith(QStringLiteral(": the host did not answer in time")));
    // The open gave up on its own timeout (TimedOut, above: still connecting when the wait
    // ended), not sooner; a wait without a bound would end only with the test's own timeout.
    EXPECT_GE(tookMs, kTcpConnectTimeoutMs - 50);
}

// Four gain frames; the serial server drops the connection in the middle of the second. The
// first stays done, the rest fail, the link is offline as after a lost port, and a later open
// reaches the bus again.
TEST(TcpPort, ADroppedConnectionFailsTheTransferAndALaterOpenWorks)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus(), SimTransport::Tcp);
    line.hangUpAfterReceiving(kGainFrameBytes + 7);
    ConnectedLink c(line.devicePath());
    std::vector<PortFailure> lost;
    QObject::connect(&c.link, &Link::portLost, [&lost](const PortFailure &why) { lost.push_back(why); });
    std::vector<bool> done;
    QObject::connect(&c.link, &Link::frameDone, [&done](bool written) { done.push_back(written); });

    for (int i = 1; i <= 4; ++i)
        c.send(2, {static_cast<std::uint8_t>(i), 0, 0xAA});
    ASSERT_TRUE(c.link.WaitUntil([&] { return !lost.empty(); }, 10000)) << "the drop was never noticed";
    c.link.WaitPumping(20);  // frameDone signals still on their way

    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].kind, PortFailure::Kind::Dropped);
    EXPECT_EQ(lost[0].describe(), line.devicePath() + QStringLiteral(": the serial server closed the connection"));
    EXPECT_EQ(done, (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(c.state.pendingFrames.load(), 0);
    EXPECT_FALSE(c.link.IsPortOpen());
    EXPECT_EQ(c.state.linkActive, 0);

    // The server listens on; the next open connects and frames flow again.
    ASSERT_TRUE(c.link.OpenPort()) << c.link.LastOpenFailure().toStdString();
    c.state.linkActive = kYes;
    c.send(2, {9, 0, 0xAA});
    ASSERT_TRUE(c.link.WaitForIdle(10000));
    line.stop();
    ASSERT_EQ(line.frames().size(), 2u);
    EXPECT_EQ(line.frames()[0].frame.data[0], 1);
    EXPECT_EQ(line.frames()[1].frame.data[0], 9);
    EXPECT_TRUE(line.frames()[1].checksumOk);
    EXPECT_EQ(done.size(), 5u);
    EXPECT_TRUE(done.back());
}

// The bus has one master: while one program is connected, a second connection is closed at
// once and the first goes on undisturbed.
TEST(TcpPort, TheSimulatorServesOneClientAtATime)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus(), SimTransport::Tcp);
    ConnectedLink first(line.devicePath());
    first.send(2, {1, 0, 0xAA});
    ASSERT_TRUE(first.link.WaitForIdle(10000));

    LinkState state;
    Link second(state);
    std::vector<PortFailure> lost;
    QObject::connect(&second, &Link::portLost, [&lost](const PortFailure &why) { lost.push_back(why); });
    second.SetDeviceOverride(line.devicePath());
    second.OpenPort();  // the connection is made, and closed by the server
    ASSERT_TRUE(second.WaitUntil([&] { return !lost.empty(); }, 5000));
    EXPECT_EQ(lost[0].kind, PortFailure::Kind::Dropped);

    first.send(2, {2, 0, 0xAA});
    ASSERT_TRUE(first.link.WaitForIdle(10000));
    EXPECT_TRUE(first.link.IsPortOpen());
    line.stop();
    ASSERT_EQ(line.frames().size(), 2u);
    EXPECT_EQ(line.frames()[1].frame.data[0], 2);
}

}  // namespace
}  // namespace talvo::testing
