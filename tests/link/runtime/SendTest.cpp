// The send operations and the I/O thread, seen from the simulated amplifier bus.

#include <algorithm>

#include <QTimer>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"

namespace talvo::testing {
namespace {

struct WireCase {
    const char *name;
    std::uint8_t id;
    std::uint16_t sub;
    std::uint8_t command;
    std::vector<std::uint8_t> data;
    const char *wire;
};

// Frames as they must reach the amplifiers, byte for byte.
const std::vector<WireCase> kWireCases = {
    {"connect ID 1", 1, 0, 220, {100}, "33667701 0000DC01 6442 99AABB"},
    {"disconnect ID 1", 1, 0, 220, {80}, "33667701 0000DC01 502E 99AABB"},
    {"search probe ID 200, checksum wraps", 200, 0, 220, {110}, "336677C8 0000DC01 6E13 99AABB"},
    {"connect muted, sub-address 0x1234", 1, 0x1234, 220, {101}, "33667701 1234DC01 6589 99AABB"},
    {"connect with MUTE", 1, 0, 220, {101}, "33667701 0000DC01 6543 99AABB"},
    {"status request ID 1", 1, 0, 239, {100}, "33667701 0000EF01 6455 99AABB"},
    {"read block 1 of the running program", 1, 0, 231, {100}, "33667701 0000E701 644D 99AABB"},
    {"left gain -12.5 dB, checksum equal to an end-mark byte", 1, 0, 2, {12, 50, 85}, "33667701 00000203 0C3255 99 99AABB"},
    {"end mark inside the data goes out unchanged", 1, 0, 2, {0x99, 0xAA, 0xBB}, "33667701 00000203 99AABB 04 99AABB"},
};

QByteArray ExpectedWire(const char *spaced)
{
    QByteArray hex(spaced);
    hex.replace(' ', "");
    return QByteArray::fromHex(hex);
}

// The same bytes and the same pauses whether the bus is behind a local port or a serial
// server on the network.
class LinkSendOver : public ::testing::TestWithParam<testsupport::SimTransport> {};
class LinkTiming : public ::testing::TestWithParam<testsupport::SimTransport> {};

TEST_P(LinkSendOver, WireBytesReachTheBusExactly)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus(), GetParam());
    ConnectedLink c(line.devicePath());
    for (const WireCase &w : kWireCases) {
        c.state.outFrame.address = w.id;
        c.state.outFrame.subAddressHigh = static_cast<std::uint8_t>(w.sub >> 8);
        c.state.outFrame.subAddressLow = static_cast<std::uint8_t>(w.sub & 0xFF);
        c.state.outFrame.command = w.command;
        c.state.outFrame.length = static_cast<std::uint8_t>(w.data.size());
        std::copy(w.data.begin(), w.data.end(), c.state.outFrame.data.begin());
        c.link.SendCommand();
    }
    ASSERT_TRUE(c.link.WaitForIdle(20000));
    EXPECT_EQ(c.state.pendingFrames.load(), 0);
    line.stop();

    ASSERT_EQ(line.frames().size(), kWireCases.size());
    for (std::size_t i = 0; i < kWireCases.size(); ++i) {
        SCOPED_TRACE(kWireCases[i].name);
        EXPECT_EQ(Hex(line.frames()[i].wire), Hex(ExpectedWire(kWireCases[i].wire)));
        EXPECT_TRUE(line.frames()[i].checksumOk);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkSendOver, testsupport::BothSimTransports(), testsupport::SimTransportName);

TEST_P(LinkTiming, BytesAreSixMillisecondsApartAndFramesKeepTheirPacing)
{
    SimLine line({sim::AmplifierConfig()}, sim::BusOptions(), GetParam());
    ConnectedLink c(line.devicePath());
    const std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> frames = {
        {221, std::vector<std::uint8_t>(16, 0x20)},  // 28 bytes, 150 ms
        {220, {100}},                                // 13 bytes, 30 ms
        {5, {1, 2, 3, 4, 5, 6, 7, 8}},               // 20 bytes, 250 ms
        {2, {12, 50, 85}},                           // 15 bytes, 150 ms
    };
    const double queuedAt = Clock::nowMs();
    for (const auto &[command, data] : frames) {
        c.state.outFrame.command = command;
        c.state.outFrame.length = static_cast<std::uint8_t>(data.size());
        std::copy(data.begin(), data.end(), c.state.outFrame.data.begin());
        c.link.SendCommand();
    }
    ASSERT_TRUE(c.link.WaitForIdle(10000));
    line.stop();

    // The simulator stamps a byte when it reads it, which is never before the byte was written
    // but may be much later on a busy machine. So the check runs one way only: no byte may
    // arrive before the sender could have written it while leaving 6 ms after every byte before
    // it and each earlier frame's pacing after that frame. A sender that skips the pauses
    // writes its bytes sooner than that; a late stamp never makes this fail.
    constexpr double kStampMs = 1.0;  // what the clock and the stamps may disagree by
    ASSERT_EQ(line.frames().size(), frames.size());
    double earliest = queuedAt;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const sim::FrameRecord &f = line.frames()[i];
        SCOPED_TRACE(Hex(f.wire).toStdString());
        ASSERT_EQ(f.gapsMs.size(), static_cast<std::size_t>(f.wire.size() - 1));
        double stamp = f.firstByteMs;
        for (qsizetype k = 0; k < f.wire.size(); ++k) {
            if (k > 0)
                stamp += f.gapsMs[static_cast<std::size_t>(k - 1)];
            EXPECT_GE(stamp, earliest - kStampMs) << "byte " << k;
            earliest += kByteGapMs;
        }
        earliest += PacingDelayMs(frames[i].first);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkTiming, testsupport::BothSimTransports(), testsupport::SimTransportName);

TEST(LinkSend, TheFrameSentIsOutFrameAsItWasAtTheCall)
{
    // With a frame pending, the send waits 10 ms with the event loop running; a timer that
    // fills outFrame for its own command meanwhile must not change the frame being sent.
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectedLink c(line.devicePath(), 3);
    c.send(2, {1, 0, 0xAA});
    ASSERT_EQ(c.state.pendingFrames.load(), 1);

    bool changedDuringTheWait = false;
    QTimer::singleShot(0, [&] {
        c.state.outFrame.address = 9;
        c.state.outFrame.set(5, {7, 7, 7, 7, 7, 7, 7, 7});
        changedDuringTheWait = true;
    });
    c.state.outFrame.set(60, {1, 50});
    c.link.SendCommand();
    EXPECT_TRUE(changedDuringTheWait);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();

    ASSERT_EQ(line.frames().size(), 2u);
    EXPECT_EQ(Hex(line.frames()[1].wire).toStdString(), Hex(FromHex("336677 030000 3C 02 0132 74 99AABB")).toStdString());
}

TEST(LinkSend, SendIfIdleDropsWhileAFrameIsPendingButMarksTheChange)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectedLink c(line.devicePath());
    c.send(2, {1, 0, 0xAA});
    ASSERT_EQ(c.state.pendingFrames.load(), 1);

    c.state.unsavedChanges = 0;
    c.state.outFrame.set(2, {2, 0, 0xAA});
    c.link.SendIfIdle();
    EXPECT_EQ(c.state.unsavedChanges, kYes);
    EXPECT_EQ(c.state.pendingFrames.load(), 1);

    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.state.outFrame.set(2, {3, 0, 0xAA});
    c.link.SendIfIdle();
    EXPECT_EQ(c.state.pendingFrames.load(), 1);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();

    ASSERT_EQ(line.frames().size(), 2u);
    EXPECT_EQ(line.frames()[0].frame.data[0], 1);
    EXPECT_EQ(line.frames()[1].frame.data[0], 3);
}

// The gates and the unsaved-changes rule, without a line: a frame that passes the gate shows
// its Receive text and is queued (it is then dropped, as no port is open).
struct GateCase {
    const char *name;
    bool ifIdle;
    int sendEnabled;
    int linkActive;
    int pending;  // frames pretended to be in flight
    std::uint8_t command;
    bool queued;
    bool unsaved;
};

TEST(LinkSend, GatesAndUnsavedChanges)
{
    const GateCase cases[] = {
        {"command passes", false, 1, 100, 0, 2, true, true},
        {"command 1 changes nothing", false, 1, 100, 0, 1, true, false},
        {"command 195 is a setting", false, 1, 100, 0, 195, true, true},
        {"command 196 is not", false, 1, 100, 0, 196, true, false},
        {"sending disabled", false, 0, 100, 0, 2, false, true},
        {"sendEnabled must be exactly 1", false, 2, 100, 0, 2, false, true},
        {"not connected", false, 1, 0, 0, 2, false, true},
        {"not connected, link command", false, 1, 0, 0, 220, false, false},
        {"idle send passes", true, 1, 100, 0, 220, true, true},
        {"idle send marks even link commands", true, 0, 100, 0, 220, false, true},
        {"idle send while a frame is pending", true, 1, 100, 1, 2, false, true},
    };
    for (const GateCase &g : cases) {
        SCOPED_TRACE(g.name);
        LinkState state;
        Link link(state);
        Shown shown;
        shown.watch(link);
        state.sendEnabled.store(g.sendEnabled);
        state.linkActive = g.linkActive;
        state.pendingFrames.store(g.pending);
        state.outFrame.address = 3;
        state.outFrame.set(g.command, {0});
        state.reply.replyAddress = 9;
        if (g.ifIdle)
            link.SendIfIdle();
        else
            link.SendCommand();
        EXPECT_EQ(state.unsavedChanges, g.unsaved ? kYes : 0);
        EXPECT_EQ(state.pendingFrames.load(), g.pending + (g.queued ? 1 : 0));
        EXPECT_EQ(state.reply.replyAddress, g.queued ? 0 : 9);
        EXPECT_EQ(shown.status.empty(), !g.queued);
        state.pendingFrames.fetch_sub(g.pending);  // the pretended frames were never queued
        EXPECT_TRUE(link.WaitForIdle(2000));
    }
}

TEST(LinkSend, PanelZeroTexts)
{
    const std::pair<std::pair<std::uint8_t, std::uint8_t>, const char *> cases[] = {
        {{2, 12}, "  3: Receive..."},
        {{220, 100}, "  3: Connect..."},
        {{220, 101}, "  3: Receive..."},
        {{220, 80}, "  3: DisConnect..."},
        {{220, 90}, "  3: Search..."},
        {{220, 110}, "  3: Search..."},
        {{221, 100}, "  3: Receive..."},
    };
    for (const auto &[frame, text] : cases) {
        CommandFrame f;
        f.address = 3;
        f.set(frame.first, {frame.second});
        EXPECT_EQ(ReceiveStatusText(f), QString::fromLatin1(text));
    }
    EXPECT_EQ(PleaseWaitText(3), QStringLiteral("  3:Please Wait..."));
    EXPECT_EQ(FinishText(3), QStringLiteral("  3:Finish..."));
}

TEST(LinkSend, ThirdQueuedCommandSaysPleaseWaitButNotForMemoryCommands)
{
    ScopedSpeed speed(2);
    SimLine line;
    ConnectedLink c(line.devicePath(), 7);
    Shown shown;
    shown.watch(c.link);

    c.send(2, {1, 0, 0xAA});
    c.send(2, {2, 0, 0xAA});
    EXPECT_EQ(shown.lastPanel(0), QStringLiteral("  7: Receive..."));
    ASSERT_EQ(c.state.pendingFrames.load(), 2);
    c.send(2, {3, 0, 0xAA});
    EXPECT_EQ(shown.lastPanel(0), QStringLiteral("  7:Please Wait..."));
    ASSERT_GE(c.state.pendingFrames.load(), 3);
    c.send(231, {100});  // a memory request never asks for patience
    EXPECT_EQ(shown.lastPanel(0), QStringLiteral("  7: Receive..."));
    ASSERT_TRUE(c.link.WaitForIdle(10000));
}

TEST(LinkSend, FramesReachingTheWireAfterSendingWasDisabledAreDiscarded)
{
    SimLine line;
    ConnectedLink c(line.devicePath());
    Shown shown;
    shown.watch(c.link);
    c.send(2, {1, 0, 0xAA});
    c.send(2, {2, 0, 0xAA});
    c.send(2, {3, 0, 0xAA});
    ASSERT_EQ(c.state.pendingFrames.load(), 3);
    // While the first frame is on the wire, an editor starts loading its controls.
    c.link.WaitPumping(30);
    c.state.sendEnabled.store(0);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    EXPECT_EQ(c.state.pendingFrames.load(), 0);
    c.link.WaitPumping(20);  // the last frameDone is still on its way from the I/O thread
    line.stop();

    EXPECT_EQ(shown.framesDone, (std::vector<bool>{true, false, false}));
    ASSERT_EQ(line.frames().size(), 1u);
    EXPECT_EQ(line.frames()[0].frame.data[0], 1);
    EXPECT_TRUE(line.frames()[0].checksumOk);
}

TEST(LinkSend, AFailedFrameStillLowersTheCountAndTheNextFrameReopensThePort)
{
    ScopedSpeed speed(2);
    SimLine line;
    ConnectedLink c(line.devicePath());
    Shown shown;
    shown.watch(c.link);
    c.send(2, {1, 0, 0xAA});
    c.link.WaitPumping(30);
    c.link.ClosePort();  // the port goes away under the frame
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.link.WaitPumping(20);
    EXPECT_EQ(shown.framesDone, std::vector<bool>{false});
    EXPECT_FALSE(c.link.IsPortOpen());

    // A write while the port is closed opens it first.
    c.send(2, {2, 0, 0xAA});
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.link.WaitPumping(20);
    EXPECT_EQ(shown.framesDone, (std::vector<bool>{false, true}));
    EXPECT_TRUE(c.link.IsPortOpen());
    line.stop();

    // The broken start is garbage to the amplifier; the whole second frame arrives intact.
    ASSERT_FALSE(line.frames().empty());
    EXPECT_EQ(line.frames().back().frame.data[0], 2);
    EXPECT_TRUE(line.frames().back().checksumOk);
}

TEST(LinkSend, RepliesFromTheAmplifierFillTheReplyFields)
{
    ScopedSpeed speed(2);
    SimLine line;
    ConnectedLink c(line.devicePath());
    Shown shown;
    shown.watch(c.link);
    c.send(220, {100});
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.link.WaitPumping(100);
    EXPECT_EQ(c.state.reply.replyAddress, 1);
    ASSERT_EQ(shown.replies.size(), 1u);
    EXPECT_EQ(shown.replies[0].address, 1);
}

TEST(LinkReceive, LongDeliveriesAreParsedInPiecesWithoutLosingFrames)
{
    LinkState state;
    Link link(state);
    Shown shown;
    shown.watch(link);
    // 120 data replies, 23 bytes each: several frames straddle the 800-byte pieces.
    QByteArray stream;
    for (int i = 0; i < 120; ++i) {
        stream.append(FromHex("FAFBFC"));
        stream.append(static_cast<char>(i + 1));
        stream.append(static_cast<char>(16));
        stream.append(static_cast<char>(231 + i % 9));
        for (int d = 0; d < 16; ++d)
            stream.append(static_cast<char>(i));
        stream.append('\0');
    }
    link.HandleReceived(stream);
    ASSERT_EQ(shown.replies.size(), 120u);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(shown.replies[static_cast<std::size_t>(i)].address, i + 1);
    EXPECT_EQ(state.reply.replyAddress, 120);
    EXPECT_EQ(state.reply.block(1).received, kYes);
    EXPECT_EQ(state.reply.block(1).bytes[0], 117);  // the last reply 231 was number 118
}

TEST(LinkWait, WaitPumpingKeepsEventsFlowingAndLastsItsTime)
{
    ScopedSpeed speed(4);
    LinkState state;
    Link link(state);
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    QTimer::singleShot(Clock::toRealCeilMs(20), [&] { ++fired; });
    const double start = Clock::nowMs();
    link.WaitPumping(100);
    EXPECT_GE(Clock::nowMs() - start, 100.0);
    EXPECT_EQ(fired, 2);
}

}  // namespace
}  // namespace talvo::testing
