// The simulator on a real pseudo-terminal: in process on a fast clock, and the talvo-ampsim
// executable once, end to end.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "SimHarness.h"
#include "link/Clock.h"
#include "link/TcpAddress.h"
#include "sim/SerialServer.h"

namespace talvo::sim {
namespace {

using testing::Frame;

// The program's end of the line, as raw as the serial port opens it.
class LineClient {
public:
    explicit LineClient(const QString &path)
    {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B38400);
        cfsetospeed(&t, B38400);
        tcsetattr(fd_, TCSANOW, &t);
    }
    // A connection to a listening simulator on the IPv4 loopback.
    explicit LineClient(quint16 loopbackPort)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(loopbackPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LineClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // One byte at a time with a pause after each, as the sender thread writes; the pause is
    // on this process's clock, which only matters when the simulator shares it.
    void writePaced(const QByteArray &bytes, double gapMs)
    {
        for (char c : bytes) {
            ASSERT_EQ(::write(fd_, &c, 1), 1);
            Clock::sleepForMs(gapMs);
        }
    }
    // The same in real time, for a simulator running in its own process at normal speed.
    void writePacedRealTime(const QByteArray &bytes, int gapMs)
    {
        for (char c : bytes) {
            ASSERT_EQ(::write(fd_, &c, 1), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }
    void writeAll(const QByteArray &bytes)
    {
        ASSERT_EQ(::write(fd_, bytes.constData(), bytes.size()), bytes.size());
    }

    // Reads until `count` bytes came or `timeoutMs` of real time passed.
    QByteArray read(int count, int timeoutMs = 10000)
    {
        QByteArray out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                out.append(buf, n);
        }
        return out;
    }

private:
    int fd_ = -1;
};

TEST(SimSerialServer, AnswersOverAPseudoTerminalAfterTheReplyDelay)
{
    Clock::setSpeed(20.0);  // 6 ms per byte and a 300 ms reply delay pass twenty times faster

    // On a clock twenty times faster, a hiccup of the test thread between two bytes looks like
    // a long silence; the receiver's time-out is tested elsewhere.
    BusOptions options;
    options.interByteTimeoutMs = 0;
    Bus bus(options);
    AmplifierConfig config;
    config.faults.replyDelayMs = 300.0;
    bus.addAmplifier(config);
    QString why;
    std::unique_ptr<SerialServer> server = SerialServer::openPseudoTerminal(&why);
    ASSERT_TRUE(server) << why.toStdString();
    EXPECT_TRUE(server->devicePath().startsWith("/dev/"));

    bool served = false;
    QString serveError;
    std::thread loop([&] { served = server->serve(bus, &serveError); });

    LineClient line(server->devicePath());
    ASSERT_TRUE(line.isOpen());
    ReplyFields fields;
    ReplyParser parser(fields);
    const QByteArray connect = Frame(1, 220, {101}).wireBytes();
    line.writePaced(connect.chopped(1), kByteGapMs);
    // The end mark's last byte cannot reach the simulator before this moment.
    const double beforeLastByte = Clock::nowMs();
    line.writeAll(connect.right(1));
    const QByteArray first = line.read(1);
    const double answered = Clock::nowMs();
    const QByteArray reply = first + line.read(kReplyFrameSize - first.size());
    parser.ParseReplyBytes(reply);
    EXPECT_EQ(fields.replyAddress, 1);
    EXPECT_EQ(reply.size(), kReplyFrameSize);
    EXPECT_GE(answered - beforeLastByte, 300.0) << "the reply waits for its delay";

    // A program that closes and opens the port again finds the simulator still there.
    {
        LineClient again(server->devicePath());
        ASSERT_TRUE(again.isOpen());
    }
    fields.statusBlock().received = 0;
    line.writePaced(Frame(1, 239, {100}).wireBytes(), kByteGapMs);
    parser.ParseReplyBytes(line.read(kReplyFrameSize));
    EXPECT_EQ(fields.statusBlock().received, 100);

    server->requestStop();
    loop.join();
    EXPECT_TRUE(served) << serveError.toStdString();
    ASSERT_EQ(bus.record().frames.size(), 2u);
    EXPECT_TRUE(bus.amplifier(0).outputMuted(1));
}

TEST(SimSerialServer, ServesAnExistingTerminalDevice)
{
    // The far end of a pseudo-terminal stands in for the program's serial port.
    int programSide = -1, deviceSide = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&programSide, &deviceSide, name, nullptr, nullptr), 0);
    ::close(deviceSide);  // the server opens the device by its path, as with a real port
    termios t{};
    tcgetattr(programSide, &t);
    cfmakeraw(&t);
    tcsetattr(programSide, TCSANOW, &t);

    Bus bus;
    bus.addAmplifier(AmplifierConfig());
    QString why;
    std::unique_ptr<SerialServer> server = SerialServer::openDevice(QString::fromLocal8Bit(name), &why);
    ASSERT_TRUE(server) << why.toStdString();
    termios device{};
    {
        const int fd = ::open(name, O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        tcgetattr(fd, &device);
        ::close(fd);
    }
    EXPECT_EQ(cfgetospeed(&device), speed_t(B38400));
    EXPECT_EQ(device.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(device.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));

    std::thread loop([&] { server->serve(bus); });
    const QByteArray frame = Frame(1, 220, {110}).wireBytes();
    ASSERT_EQ(::write(programSide, frame.constData(), frame.size()), frame.size());
    QByteArray reply;
    while (reply.size() < kReplyFrameSize) {
        pollfd p{programSide, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break;
        char buf[64];
        const ssize_t n = ::read(programSide, buf, sizeof buf);
        if (n <= 0)
            break;
        reply.append(buf, n);
    }
    server->requestStop();
    loop.join();
    ::close(programSide);

    ReplyFields fields;
    ReplyParser(fields).ParseReplyBytes(reply);
    EXPECT_EQ(fields.replyAddress, 1);
}

TEST(SimSerialServer, OpeningSomethingThatIsNotASerialDeviceFails)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString &path : {dir.filePath("missing"), dir.filePath("plain")}) {
        QString why;
        EXPECT_FALSE(SerialServer::openDevice(path, &why));
        EXPECT_TRUE(why.contains(path)) << why.toStdString();
    }
}

TEST(AmpsimTool, ServesAPseudoTerminalEndToEnd)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = dir.filePath("line.jsonl");
    QProcess sim;
    sim.start(QStringLiteral(TALVO_AMPSIM_PATH), {"--amp", "5:300,firmware=3.12,bridge=0", "--record", record});
    ASSERT_TRUE(sim.waitForStarted(10000));
    while (!sim.canReadLine())
        ASSERT_TRUE(sim.waitForReadyRead(10000)) << sim.readAllStandardError().toStdString();
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    ASSERT_TRUE(path.startsWith("/dev/")) << path.toStdString();

    LineClient line(path);
    ASSERT_TRUE(line.isOpen());
    ReplyFields fields;
    ReplyParser parser(fields);

    // Connect as the Connect window does with "Sub Add" 300 ticked, paced like the sender.
    line.writePacedRealTime(Frame(5, 220, {100}, 300).wireBytes(), kByteGapMs);
    parser.ParseReplyBytes(line.read(kReplyFrameSize));
    EXPECT_EQ(fields.replyAddress, 5);

    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    line.writePacedRealTime(Frame(5, 239, {100}, 300).wireBytes(), kByteGapMs);
    parser.ParseReplyBytes(line.read(kReplyFrameSize));
    ASSERT_EQ(fields.statusBlock().received, 100);
    EXPECT_EQ(fields.statusBlock().bytes[8], 3);
    EXPECT_EQ(fields.statusBlock().bytes[9], 12);
    EXPECT_EQ(fields.statusBlock().bytes[6], 0);

    // A frame written in one go, with no pause after the previous one: answered, but flagged.
    line.writeAll(Frame(5, 231, {1}, 300).wireBytes());
    parser.ParseReplyBytes(line.read(kReplyFrameSize));
    EXPECT_EQ(fields.block(1).received, 100);

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();

    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<QJsonObject> frames, replies;
    for (const QByteArray &text : file.readAll().split('\n')) {
        if (text.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(text, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
        (o.value("type") == "frame" ? frames : replies).push_back(o);
    }
    ASSERT_EQ(frames.size(), 3u);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(frames[0].value("bytes").toString(), "33 66 77 05 01 2C DC 01 64 73 99 AA BB");
    EXPECT_TRUE(frames[2].value("bytes_too_close").toBool());
    EXPECT_TRUE(frames[2].value("pacing_too_short").toBool());
    EXPECT_EQ(replies[1].value("command").toInt(), 239);
}

TEST(AmpsimTool, ServesATcpClientEndToEnd)
{
    QProcess sim;
    sim.start(QStringLiteral(TALVO_AMPSIM_PATH), {"--tcp", "0", "--amp", "7"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    while (!sim.canReadLine())
        ASSERT_TRUE(sim.waitForReadyRead(10000)) << sim.readAllStandardError().toStdString();
    const QString name = QString::fromLocal8Bit(sim.readLine()).trimmed();
    const std::optional<TcpAddress> address = ParseTcpPortName(name);
    ASSERT_TRUE(address.has_value()) << name.toStdString();
    EXPECT_EQ(address->host, "127.0.0.1");

    ReplyFields fields;
    ReplyParser parser(fields);
    {
        LineClient line(address->port);
        ASSERT_TRUE(line.isOpen());
        line.writePacedRealTime(Frame(7, 220, {100}).wireBytes(), kByteGapMs);
        parser.ParseReplyBytes(line.read(kReplyFrameSize));
        EXPECT_EQ(fields.replyAddress, 7);
    }
    // The client went; the next one is served.
    fields.replyAddress = 0;
    LineClient again(address->port);
    ASSERT_TRUE(again.isOpen());
    again.writePacedRealTime(Frame(7, 220, {100}).wireBytes(), kByteGapMs);
    parser.ParseReplyBytes(again.read(kReplyFrameSize));
    EXPECT_EQ(fields.replyAddress, 7);

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
}

TEST(AmpsimTool, BadOptionsExitWithStatus2AndHelpWith0)
{
    struct Run {
        QStringList args;
        int status;
        const char *inStdout;
        const char *inStderr;
    };
    const Run runs[] = {
        {{"--amp", "0"}, 2, "", "ID must be"},
        {{"--drop", "2"}, 2, "", "--drop"},
        {{"--bogus"}, 2, "", "unknown option --bogus"},
        {{"--amp", "1,slots=/nonexistent/x.DMP"}, 2, "", "/nonexistent/x.DMP"},
        {{"--help"}, 0, "Usage: talvo-ampsim", ""},
    };
    for (const Run &r : runs) {
        QProcess p;
        p.start(QStringLiteral(TALVO_AMPSIM_PATH), r.args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), r.status) << r.args.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(out.contains(r.inStdout)) << out.toStdString();
        EXPECT_TRUE(err.contains(r.inStderr)) << err.toStdString();
        if (r.status != 0) {
            EXPECT_TRUE(out.isEmpty()) << "no device path when refusing";
        }
    }
}

}  // namespace
}  // namespace talvo::sim
