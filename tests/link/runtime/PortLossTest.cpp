// A port that dies under the link (the far end hangs up, the device disappears, the driver stops
// taking bytes) and ports that cannot be opened: what fails, what is said, and that nothing spins.

#include <cerrno>

#include <unistd.h>

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "link/PortFailure.h"
#include "link/SerialIo.h"

namespace talvo::testing {
namespace {

constexpr qint64 kGainFrameBytes = 15;  // a gain frame on the wire: 12 + 3 data bytes

// What the link and its controller said about a lost port.
struct LossSeen {
    std::vector<PortFailure> lost;
    std::vector<std::pair<QString, QString>> messages;

    void watch(Link &link, LinkController &controller)
    {
        QObject::connect(&link, &Link::portLost, [this](const PortFailure &why) { lost.push_back(why); });
        QObject::connect(&controller, &LinkController::portLost,
                         [this](const QString &caption, const QString &text) { messages.emplace_back(caption, text); });
    }
};

bool IsHangUp(const PortFailure &why)
{
    return why.kind == PortFailure::Kind::HungUp || why.kind == PortFailure::Kind::DeviceGone;
}

struct HangUpCase {
    const char *name;
    qint64 hangUpAfterBytes;  // < 0: hang up once every frame is out
    std::vector<bool> framesDone;
    std::size_t wholeFramesOnTheLine;
};

void PrintTo(const HangUpCase &k, std::ostream *os)
{
    *os << k.name;
}

class LinkPortLoss : public ::testing::TestWithParam<HangUpCase> {};

// Four gain frames queued; the far end hangs up. Afterwards the port is closed and the link
// offline as after a disconnect, later frames fail at once without reopening the dead device or
// spinning, and the next Connect reports why the port cannot be opened.
TEST_P(LinkPortLoss, TheLinkGoesOfflineAndNothingSpins)
{
    const HangUpCase &k = GetParam();
    // Real time: a thread that polls a dead port through the drain timeout (1 s) wakes thousands
    // of times.
    ScopedSpeed speed(1);
    SimLine line;
    if (k.hangUpAfterBytes >= 0)
        line.hangUpAfterReceiving(k.hangUpAfterBytes);
    // The port by a name of its own, as /dev/serial/by-id names an adapter: the name goes with
    // the device, while the terminal's number may soon belong to somebody else's terminal.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyAMP"));
    ASSERT_EQ(::symlink(line.devicePath().toLocal8Bit().constData(), device.toLocal8Bit().constData()), 0);
    ConnectedLink c(device, 1);
    LinkController controller(c.link);
    Shown shown;
    shown.watch(c.link);
    shown.watch(controller);
    LossSeen seen;
    seen.watch(c.link, controller);
    // A thread that polls a dead port, before or after the loss is noticed, wakes without end;
    // one that sleeps wakes for its bytes, its pauses and the loss.
    const long wakeUpsAtStart = SerialIo::WakeUps();

    const int frames = static_cast<int>(k.framesDone.size());
    for (int i = 1; i <= frames; ++i)
        c.send(2, {static_cast<std::uint8_t>(i), 0, 0xAA});
    if (k.hangUpAfterBytes < 0) {
        ASSERT_TRUE(c.link.WaitForIdle(5000));
        line.hangUp();
    }
    ASSERT_TRUE(c.link.WaitUntil([&] { return !seen.lost.empty(); }, 5000)) << "the loss was never noticed";
    line.stop();
    QFile::remove(device);

    ASSERT_EQ(seen.lost.size(), 1u);
    EXPECT_TRUE(IsHangUp(seen.lost[0])) << seen.lost[0].describe().toStdString();
    EXPECT_EQ(seen.lost[0].device, device);
    EXPECT_EQ(c.state.pendingFrames.load(), 0);
    EXPECT_FALSE(c.link.IsPortOpen());
    EXPECT_EQ(c.state.linkActive, 0);
    EXPECT_EQ(c.state.reply.replyAddress, 0);
    c.link.WaitPumping(20);  // frameDone signals still on their way
    EXPECT_EQ(shown.framesDone, k.framesDone);
    EXPECT_EQ(line.frames().size(), k.wholeFramesOnTheLine);

    // What the window shows: OFFLINE, the progress bar at rest, the loss in panel 0, panel 2
    // cleared, and one message. The disconnect frames were not tried on the dead port.
    EXPECT_EQ(shown.indicator, (std::vector<std::pair<bool, QString>>{{false, QStringLiteral("OFFLINE")}}));
    EXPECT_EQ(shown.progress, std::vector<int>{0});
    EXPECT_EQ(shown.lastPanel(0), PortLostStatusText(1, seen.lost[0]));
    EXPECT_EQ(shown.lastPanel(2), QString());
    ASSERT_EQ(seen.messages.size(), 1u);
    EXPECT_EQ(seen.messages[0].first, QStringLiteral("COM port lost"));
    EXPECT_EQ(seen.messages[0].second, PortLostText(1, seen.lost[0]));

    // A window that still believes it is connected keeps sending: each frame fails at once,
    // and the I/O thread sleeps meanwhile.
    const std::size_t doneBefore = shown.framesDone.size();
    c.state.linkActive = kYes;
    for (int i = 0; i < 3; ++i)
        c.send(2, {9, 0, 0xAA});
    const double sent = Clock::nowMs();
    ASSERT_TRUE(c.link.WaitForIdle(2000));
    EXPECT_LT(Clock::nowMs() - sent, 500.0);
    c.link.WaitPumping(500);
    // Four frames of 15 bytes, their pauses and the loss, then three frames that fail at once:
    // well under two hundred wake-ups.
    EXPECT_LT(SerialIo::WakeUps() - wakeUpsAtStart, 400);
    EXPECT_EQ(std::vector<bool>(shown.framesDone.begin() + static_cast<std::ptrdiff_t>(doneBefore), shown.framesDone.end()),
              (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(c.link.IsPortOpen());
    EXPECT_EQ(seen.lost.size(), 1u);

    // Connect opens the port again, and says why it cannot.
    EXPECT_FALSE(controller.ConnectLinkSteps());
    ASSERT_EQ(shown.openErrors.size(), 1u);
    EXPECT_EQ(shown.openErrors[0].second,
              QStringLiteral("COM1 connection failed.\r\rPlease select another COM port.\r") + device +
                  QStringLiteral(": no such device"));
}

INSTANTIATE_TEST_SUITE_P(
    HangUps, LinkPortLoss,
    ::testing::Values(
        // The first frame is whole and in its pause; the three behind it fail.
        HangUpCase{"BetweenFrames", kGainFrameBytes, {true, false, false, false}, 1},
        // The second frame is cut after 7 of its bytes.
        HangUpCase{"MidFrame", kGainFrameBytes + 7, {true, false, false, false}, 1},
        // Nothing in flight: the port is lost all the same, not at the next frame.
        HangUpCase{"WhileIdle", -1, {true, true}, 2}),
    [](const ::testing::TestParamInfo<HangUpCase> &info) { return std::string(info.param.name); });

TEST(LinkPortStall, APortThatStopsTakingBytesIsLostAfterTheDrainTimeout)
{
    ScopedSpeed speed(4);
    SimLine line;
    ConnectedLink c(line.devicePath(), 1);
    LinkController controller(c.link);
    LossSeen seen;
    seen.watch(c.link, controller);
    Shown shown;
    shown.watch(c.link);
    ASSERT_TRUE(line.stallProgramOutput(true));

    const double sent = Clock::nowMs();
    c.send(2, {1, 0, 0xAA});
    c.send(2, {2, 0, 0xAA});
    ASSERT_TRUE(c.link.WaitUntil([&] { return !seen.lost.empty(); }, 10 * kByteDrainTimeoutMs));
    const double lostAfter = Clock::nowMs() - sent;
    line.stallProgramOutput(false);
    line.stop();

    ASSERT_EQ(seen.lost.size(), 1u);
    EXPECT_EQ(seen.lost[0].kind, PortFailure::Kind::Stalled) << seen.lost[0].describe().toStdString();
    EXPECT_GE(lostAfter, kByteDrainTimeoutMs);
    EXPECT_EQ(c.state.pendingFrames.load(), 0);
    EXPECT_FALSE(c.link.IsPortOpen());
    EXPECT_EQ(c.state.linkActive, 0);
    c.link.WaitPumping(20);
    EXPECT_EQ(shown.framesDone, (std::vector<bool>{false, false}));
}

// ---- Opening.

TEST(PortFailureText, TheSystemsReasonsInWordsAnOperatorCanActOn)
{
    struct Case {
        const char *name;
        int errorNumber;
        PortFailure::Kind kind;
        const char *reason;
    };
    const Case cases[] = {
        {"no such file", ENOENT, PortFailure::Kind::NoSuchDevice, "no such device"},
        {"no such device", ENODEV, PortFailure::Kind::NoSuchDevice, "no such device"},
        {"permission", EACCES, PortFailure::Kind::PermissionDenied,
         "permission denied (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)"},
        {"busy", EBUSY, PortFailure::Kind::Busy, "busy: another program is using it"},
        {"not a terminal", ENOTTY, PortFailure::Kind::NotSerial, "not a serial device"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(OpenFailureKind(k.errorNumber), k.kind);
        const PortFailure failure{k.kind, QStringLiteral("/dev/ttyUSB0"), QString()};
        EXPECT_EQ(failure.reason(), QString::fromLatin1(k.reason));
        EXPECT_EQ(failure.describe(), QStringLiteral("/dev/ttyUSB0: ") + QString::fromLatin1(k.reason));
    }
    EXPECT_EQ(OpenFailureKind(EIO), PortFailure::Kind::Other);
}

struct OpenCase {
    const char *name;
    PortFailure::Kind kind;
};

void PrintTo(const OpenCase &k, std::ostream *os)
{
    *os << k.name;
}

class LinkOpenFailure : public ::testing::TestWithParam<OpenCase> {};

// Each way a port can refuse to open, made real; the open error carries the reason on its
// last line.
TEST_P(LinkOpenFailure, TheOpenErrorSaysWhy)
{
    const OpenCase &k = GetParam();
    ScopedSpeed speed(4);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimLine line;
    QSerialPort holder;  // another program's hold on the device
    QString device;
    switch (k.kind) {
    case PortFailure::Kind::NoSuchDevice:
        device = dir.filePath(QStringLiteral("ttyUSB7"));
        break;
    case PortFailure::Kind::NotSerial:
        device = QStringLiteral("/dev/null");
        break;
    case PortFailure::Kind::Busy:
        device = line.devicePath();
        holder.setPortName(device);
        ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
        break;
    default:
        FAIL() << "no way to make this case";
    }

    LinkState state;
    Link link(state);
    link.SetDeviceOverride(device);
    LinkController controller(link);
    Shown shown;
    shown.watch(controller);
    EXPECT_FALSE(controller.ConnectLinkSteps());
    EXPECT_EQ(link.OpenFailure().kind, k.kind) << link.LastOpenFailure().toStdString();
    EXPECT_EQ(link.OpenFailure().device, device);
    ASSERT_EQ(shown.openErrors.size(), 1u);
    const QStringList lines = shown.openErrors[0].second.split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("COM1 connection failed."));
    EXPECT_EQ(lines[3], link.OpenFailure().describe());

    // Once the cause is gone, the same Connect opens the port, and no reason is kept.
    if (k.kind == PortFailure::Kind::Busy) {
        holder.close();
        EXPECT_TRUE(controller.ConnectLinkSteps());
        EXPECT_FALSE(link.OpenFailure().isError());
    }
}

INSTANTIATE_TEST_SUITE_P(Causes, LinkOpenFailure,
                         ::testing::Values(OpenCase{"NoSuchDevice", PortFailure::Kind::NoSuchDevice},
                                           OpenCase{"NotASerialDevice", PortFailure::Kind::NotSerial},
                                           OpenCase{"HeldByAnotherProgram", PortFailure::Kind::Busy}),
                         [](const ::testing::TestParamInfo<OpenCase> &info) { return std::string(info.param.name); });

TEST(LinkOpenFailureText, ARegularFileOrADirectoryIsNotASerialDevice)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("ttyS0")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QString &device : {file.fileName(), dir.path()}) {
        SCOPED_TRACE(device.toStdString());
        LinkState state;
        Link link(state);
        link.SetDeviceOverride(device);
        EXPECT_FALSE(link.OpenPort());
        EXPECT_EQ(link.OpenFailure().kind, PortFailure::Kind::NotSerial) << link.LastOpenFailure().toStdString();
    }
}

}  // namespace
}  // namespace talvo::testing
