// The amplifier side of the protocol, driven through the bus with the core frame codec and
// read back with the core reply parser.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SimHarness.h"
#include "programs/ProgramRecord.h"
#include "sim/Amplifier.h"

namespace talvo::sim {
namespace {

using testing::Frame;
using testing::Harness;

std::array<std::uint8_t, 16> Bytes16(std::initializer_list<std::uint8_t> head)
{
    std::array<std::uint8_t, 16> out{};
    std::copy(head.begin(), head.end(), out.begin());
    return out;
}

// --- connect, search ---------------------------------------------------------------------

struct ConnectCase {
    std::uint8_t data;
    bool muted;
};

class ConnectTest : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectTest, AnswersWithItsIdAndMutesOnlyWhenAsked)
{
    Harness h;
    Amplifier &amp = h.add();
    h.send(Frame(1, 220, {GetParam().data}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_TRUE(amp.connected());

    // Block 8 of the running program: the live gains, as the connect procedure reads them.
    ASSERT_TRUE(h.requestBlock(1, 8, kLiveProgram));
    const auto &b8 = h.fields.block(8).bytes;
    if (GetParam().muted) {
        EXPECT_EQ((std::array<std::uint8_t, 6>{b8[0], b8[1], b8[2], b8[3], b8[4], b8[5]}),
                  (std::array<std::uint8_t, 6>{100, 0, 0x55, 100, 0, 0x55}));
    } else {
        // Slot 1 of the demonstration amplifier stores 0.0 dB on both channels.
        EXPECT_EQ((std::array<std::uint8_t, 6>{b8[0], b8[1], b8[2], b8[3], b8[4], b8[5]}),
                  (std::array<std::uint8_t, 6>{0, 0, 0xAA, 0, 0, 0xAA}));
    }

    // The operator's gain on the left channel replaces the mute there and only there.
    h.send(Frame(1, 2, {12, 50, 0x55}));
    ASSERT_TRUE(h.requestBlock(1, 8, kLiveProgram));
    EXPECT_EQ(b8[0], 12);
    EXPECT_EQ(b8[1], 50);
    EXPECT_EQ(b8[2], 0x55);
    EXPECT_EQ(b8[3], GetParam().muted ? 100 : 0);

    h.send(Frame(1, 220, {80}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_FALSE(amp.connected());
}

INSTANTIATE_TEST_SUITE_P(Sim, ConnectTest, ::testing::Values(ConnectCase{100, false}, ConnectCase{101, true}),
                         [](const auto &info) { return std::string(info.param.muted ? "Muted" : "Unmuted"); });

TEST(SimSearch, BothProbesFindExactlyTheAmplifiersPresent)
{
    Harness h;
    AmplifierConfig a;
    a.id = 3;
    a.subAddress = 7;  // probes carry sub-address 0, which reaches every sub-address
    h.add(a);
    a.id = 7;
    a.subAddress = 1;
    h.add(a);

    for (int id = 1; id <= 9; ++id) {
        for (std::uint8_t probe : {110, 90}) {
            h.send(Frame(static_cast<std::uint8_t>(id), 220, {probe}));
            const int expected = (id == 3 || id == 7) ? id : 0;
            EXPECT_EQ(h.fields.replyAddress, expected) << "ID " << id << " probe " << int(probe);
        }
    }
}

// --- reads ---------------------------------------------------------------------------------

TEST(SimReads, BlocksOfSlotsAndOfTheRunningProgramAreTheRecords)
{
    Harness h;
    Amplifier &amp = h.add();
    const auto demo = DemoSlots();

    for (int n : {1, 3, 4, 7}) {
        RecordImage got{};
        ASSERT_TRUE(h.readRecord(1, n, got)) << "slot " << n;
        EXPECT_EQ(got, demo[n - 1]) << "slot " << n;
        EXPECT_EQ(h.fields.replyCommand, 237);
    }
    RecordImage live{};
    ASSERT_TRUE(h.readRecord(1, kLiveProgram, live));
    EXPECT_EQ(live, amp.liveProgram());
    EXPECT_EQ(live, demo[0]);  // program 1 runs at power-up

    // Block 8 of a stored program: the gains stored with it (slot 4: -6.00 dB both sides).
    ASSERT_TRUE(h.requestBlock(1, 8, 4));
    EXPECT_EQ(h.fields.block(8).bytes[0], 6);
    EXPECT_EQ(h.fields.block(8).bytes[2], 0x55);
    EXPECT_EQ(h.fields.block(8).bytes[5], 0x55);
}

TEST(SimReads, DemoProgramsDecodeToTheirNames)
{
    const auto demo = DemoSlots();
    const char *names[] = {"Main Stage", "Sub Bass  ", "Monitor   ", "Speech    "};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::memcmp(demo[i].data(), names[i], 10), 0);
        EXPECT_EQ(demo[i][11], 1);
        EXPECT_EQ(demo[i][12], i + 1);
    }
    for (int i = 4; i < kSlotCount; ++i)
        EXPECT_EQ(demo[i], BlankSlotRecord());
}

struct StatusCase {
    const char *name;
    std::uint8_t major, minor;
    bool bridge;
    int program;
    bool program21;
    int reported;
};

class StatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTest, StatusBlockCarriesProgramBridgeAndFirmware)
{
    const StatusCase &c = GetParam();
    AmplifierConfig config;
    config.firmwareMajor = c.major;
    config.firmwareMinor = c.minor;
    config.bridgeAvailable = c.bridge;
    config.runningProgram = c.program;
    config.faults.program21 = c.program21;
    Harness h;
    h.add(config);

    ASSERT_TRUE(h.requestStatus(1));
    EXPECT_EQ(h.fields.replyCommand, 239);
    EXPECT_EQ(h.fields.replyLength, 16);
    const auto &s = h.fields.statusBlock().bytes;  // s[2] is "bytes 3"
    EXPECT_EQ(s[2], c.reported);
    EXPECT_EQ(s[6] != 0, c.bridge);
    EXPECT_EQ(s[8], c.major);
    EXPECT_EQ(s[9], c.minor);

    // The program reported as running can be read as program 100 and under its own number.
    RecordImage live{}, byNumber{};
    ASSERT_TRUE(h.readRecord(1, kLiveProgram, live));
    ASSERT_TRUE(h.readRecord(1, c.reported, byNumber));
    EXPECT_EQ(live[11], 1);
    if (!c.program21) {
        EXPECT_EQ(live, byNumber);
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, StatusTest,
                         ::testing::Values(StatusCase{"Default", 2, 5, true, 1, false, 1},
                                           StatusCase{"Firmware312NoBridge", 3, 12, false, 4, false, 4},
                                           StatusCase{"Program21", 2, 5, true, 2, true, 21}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SimReads, RequestsForProgramsThatDoNotExistAreNotAnswered)
{
    Harness h;
    h.add();
    for (int n : {0, 21, 22, 99, 150, 255}) {  // 21 only exists while it runs
        EXPECT_FALSE(h.requestBlock(1, 1, n)) << n;
        EXPECT_EQ(h.fields.replyAddress, 0) << n;
    }
    h.send(Frame(1, 239, {99}));  // the status request always carries 100
    EXPECT_EQ(h.fields.replyAddress, 0);
}

// --- writes, delete, select, reload ---------------------------------------------------------

// A record whose bytes cover every value, mark bytes included, but never the reply sync.
RecordImage PatternRecord(const char *name, std::uint8_t mode)
{
    RecordImage r{};
    for (int i = 0; i < kRecordSize; ++i)
        r[i] = static_cast<std::uint8_t>((i * 37 + 11) % 250);
    std::memcpy(r.data(), name, 10);
    r[10] = mode;
    const std::uint8_t marks[] = {0x99, 0xAA, 0xBB, 0x33, 0x66, 0x77};
    std::copy(std::begin(marks), std::end(marks), r.begin() + 40);
    return r;
}

// Header block and blocks 2..7 as the memory window writes them; true when each was answered.
bool WriteProgram(Harness &h, const RecordImage &record, int target)
{
    CommandFrame header = Frame(1, 221, {});
    header.length = 16;
    std::copy_n(record.begin(), 10, header.data.begin());
    header.data[10] = record[10];
    header.data[11] = 1;
    header.data[12] = static_cast<std::uint8_t>(target);
    header.data[13] = header.data[14] = header.data[15] = 1;
    h.send(header);
    bool answered = h.fields.replyAddress == 1;
    for (int k = 2; k <= 7; ++k) {
        CommandFrame f = Frame(1, static_cast<std::uint8_t>(220 + k), {});
        f.length = 16;
        const auto block = RecordBlock(record, k);
        std::copy(block.begin(), block.end(), f.data.begin());
        h.send(f);
        answered = answered && h.fields.replyAddress == 1 && h.fields.replyCommand == 220 + k;
    }
    return answered;
}

TEST(SimMemory, ProgramWrittenIntoASlotReadsBackByteForByte)
{
    Harness h;
    Amplifier &amp = h.add();
    const RecordImage record = PatternRecord("Test Write", 2);
    ASSERT_TRUE(WriteProgram(h, record, 9));

    RecordImage expected = record;  // the header block replaces bytes 11..15
    expected[11] = 1;
    expected[12] = 9;
    expected[13] = expected[14] = expected[15] = 1;
    RecordImage back{};
    ASSERT_TRUE(h.readRecord(1, 9, back));
    EXPECT_EQ(back, expected);
    EXPECT_EQ(amp.slot(9), expected);
    EXPECT_EQ(amp.liveProgram(), DemoSlots()[0]) << "writing a slot leaves the running program alone";
}

TEST(SimMemory, DownloadIntoTheRunningProgramTakesOverOnReload)
{
    Harness h;
    Amplifier &amp = h.add();
    h.send(Frame(1, 220, {140, 3}));  // run slot 3
    const RecordImage record = PatternRecord("Current   ", 0);
    ASSERT_TRUE(WriteProgram(h, record, kCurrentProgramTarget));
    EXPECT_TRUE(amp.downloadPending());
    EXPECT_EQ(amp.liveProgram(), DemoSlots()[2]) << "nothing changes before the reload";

    h.send(Frame(1, 220, {88}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    RecordImage expected = record;
    expected[11] = 1;
    expected[12] = 3;  // stored as the program it replaced
    expected[13] = expected[14] = expected[15] = 1;
    EXPECT_EQ(amp.liveProgram(), expected);
    EXPECT_EQ(amp.slot(3), expected);
    EXPECT_FALSE(amp.downloadPending());
}

TEST(SimMemory, BlocksWithoutAHeaderAreRefused)
{
    Harness h;
    Amplifier &amp = h.add();
    CommandFrame f = Frame(1, 223, {});
    f.length = 16;
    h.send(f);
    EXPECT_EQ(h.fields.replyAddress, 0);
    EXPECT_FALSE(h.bus.record().frames.back().deliveries.at(0).accepted);
    EXPECT_EQ(amp.slot(1), DemoSlots()[0]);
}

TEST(SimMemory, DeleteBlanksTheSlotAndRefreshSeesIt)
{
    Harness h;
    Amplifier &amp = h.add();
    ASSERT_TRUE(h.requestBlock(1, 1, 2));
    EXPECT_NE(h.fields.block(1).bytes[11], 0);

    h.send(Frame(1, 200, {2}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_EQ(amp.slot(2), BlankSlotRecord());
    ASSERT_TRUE(h.requestBlock(1, 1, 2));
    EXPECT_EQ(h.fields.block(1).bytes[11], 0);  // "byte 12 of the block": inUse

    for (std::uint8_t bad : {0, 21}) {
        h.send(Frame(1, 200, {bad}));
        EXPECT_EQ(h.fields.replyAddress, 0) << int(bad);
    }
}

TEST(SimMemory, SelectRunsTheSlotAndReloadDropsLiveEdits)
{
    Harness h;
    Amplifier &amp = h.add();
    h.send(Frame(1, 220, {140, 4}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    ASSERT_TRUE(h.requestStatus(1));
    EXPECT_EQ(h.fields.statusBlock().bytes[2], 4);
    RecordImage live{};
    ASSERT_TRUE(h.readRecord(1, kLiveProgram, live));
    EXPECT_EQ(live, DemoSlots()[3]);

    h.send(Frame(1, 60, {3, 25}));  // a live edit ...
    EXPECT_NE(amp.liveProgram(), DemoSlots()[3]);
    h.send(Frame(1, 220, {88}));    // ... gone after the reload
    EXPECT_EQ(amp.liveProgram(), DemoSlots()[3]);

    h.send(Frame(1, 220, {140, 12}));  // a blank slot cannot run
    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_EQ(amp.runningProgram(), 4);
}

TEST(SimMemory, SelectingAProgramEndsTheProgram21Report)
{
    AmplifierConfig config;
    config.faults.program21 = true;
    Harness h;
    Amplifier &amp = h.add(config);
    EXPECT_EQ(amp.runningProgram(), 21);
    h.send(Frame(1, 220, {140, 2}));
    ASSERT_TRUE(h.requestStatus(1));
    EXPECT_EQ(h.fields.statusBlock().bytes[2], 2);
}

// --- live commands ------------------------------------------------------------------------

struct LiveCase {
    const char *name;
    std::uint8_t command;
    std::vector<std::uint8_t> data;
    int offset;                        // where the bytes land in the live record
    std::vector<std::uint8_t> stored;  // what lands there
};

class LiveCommandTest : public ::testing::TestWithParam<LiveCase> {};

TEST_P(LiveCommandTest, PayloadLandsInTheLiveProgramAndIsEchoed)
{
    const LiveCase &c = GetParam();
    Harness h;
    Amplifier &amp = h.add();
    CommandFrame f = Frame(1, c.command, {});
    f.length = static_cast<std::uint8_t>(c.data.size());
    std::copy(c.data.begin(), c.data.end(), f.data.begin());
    const RecordImage before = amp.liveProgram();
    h.send(f);

    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_EQ(h.fields.replyCommand, c.command);
    EXPECT_EQ(h.fields.replyLength, 16);
    for (std::size_t i = 0; i < c.data.size(); ++i)
        EXPECT_EQ(h.fields.replyData[i], c.data[i]);

    RecordImage expected = before;
    std::copy(c.stored.begin(), c.stored.end(), expected.begin() + c.offset);
    EXPECT_EQ(amp.liveProgram(), expected);

    // The program reads the change back as blocks of program 100.
    RecordImage live{};
    ASSERT_TRUE(h.readRecord(1, kLiveProgram, live));
    EXPECT_EQ(live, expected);
}

// Left channel block at 16, right at 64: bands at +0/+8/+16, low-pass +24, high-pass +28,
// gain +32, delay +35, threshold +37, attack +38, phase +40, hold +41, decay +43.
INSTANTIATE_TEST_SUITE_P(
    Sim, LiveCommandTest,
    ::testing::Values(
        LiveCase{"LeftGain", 2, {12, 50, 0x55}, 48, {12, 50, 0x55}},
        LiveCase{"LeftGainNoiseTest", 3, {3, 0, 0xAA}, 48, {3, 0, 0xAA}},
        LiveCase{"RightGainSineTest", 100, {6, 0, 0xAA}, 96, {6, 0, 0xAA}},
        LiveCase{"LeftPeqBand1", 5, {0, 19, 70, 3, 50, 0x55, 0, 40}, 16, {0, 19, 70, 3, 50, 0x55, 0, 40}},
        LiveCase{"RightPeqBand2", 106, {6, 24, 0, 3, 50, 0x55, 3, 0}, 72, {6, 24, 0, 3, 50, 0x55, 3, 0}},
        LiveCase{"RightPeqBand3Flat", 111, {3, 232, 0, 0, 0, 0, 1, 41}, 80, {3, 232, 0, 0, 0, 0, 1, 41}},
        LiveCase{"LeftLowPass", 20, {0, 78, 232, 0}, 40, {0, 78, 232, 0}},
        LiveCase{"RightHighPass", 136, {13, 0, 35, 10}, 92, {13, 0, 35, 10}},
        LiveCase{"LeftDelay", 60, {7, 0}, 51, {7, 0}},
        LiveCase{"RightDelay", 156, {2, 35}, 99, {2, 35}},
        LiveCase{"LeftLimiterOff", 61, {65}, 53, {65}},
        LiveCase{"RightThreshold", 157, {41}, 101, {41}},
        LiveCase{"LeftAttack", 94, {3, 232}, 54, {3, 232}},
        LiveCase{"LeftHold", 96, {0, 100}, 57, {0, 100}},
        LiveCase{"RightDecay", 193, {1, 44}, 107, {1, 44}},
        LiveCase{"LeftPhase", 95, {180}, 56, {180}},
        LiveCase{"RightPhaseNormal", 191, {0}, 104, {0}},
        LiveCase{"ModeMono", 195, {2}, 10, {2}},
        // Reset restores 30 / 270 / 1560 Hz at 0 dB, Q 3 (slot 1 has band 2 at -2.5 dB, Q 1.41).
        LiveCase{"LeftPeqReset", 6, {0}, 16,
                 {0, 30, 0, 0, 0, 0xAA, 3, 0, 1, 14, 0, 0, 0, 0xAA, 3, 0, 6, 24, 0, 0, 0, 0xAA, 3, 0}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimLive, TestModesSineFrequencyAndModeChange)
{
    Harness h;
    AmplifierConfig config;
    config.bridgeAvailable = false;
    Amplifier &amp = h.add(config);

    h.send(Frame(1, 196, {100}));
    EXPECT_EQ(amp.testMode(), TestMode::Sine);
    h.send(Frame(1, 0, {3, 232, 0}));
    EXPECT_DOUBLE_EQ(amp.sineFrequencyHz(), 1000.0);
    h.send(Frame(1, 0, {0, 19, 70}));
    EXPECT_DOUBLE_EQ(amp.sineFrequencyHz(), 19.7);
    h.send(Frame(1, 197, {100}));
    EXPECT_EQ(amp.testMode(), TestMode::Noise);

    h.send(Frame(1, 198, {100}));
    EXPECT_TRUE(amp.modeChangePrepared());
    h.send(Frame(1, 199, {100}));
    EXPECT_EQ(h.fields.replyAddress, 1);

    // Bridge is refused by an amplifier without it, but the frame is still answered.
    h.send(Frame(1, 195, {1}));
    EXPECT_EQ(h.fields.replyAddress, 1);
    EXPECT_EQ(amp.mode(), Mode::Stereo);
    EXPECT_EQ(amp.testMode(), TestMode::None) << "a mode change ends the test signal";
    h.send(Frame(1, 195, {2}));
    EXPECT_EQ(amp.mode(), Mode::Mono);
    ASSERT_TRUE(h.requestStatus(1));
    EXPECT_EQ(h.fields.statusBlock().bytes[0], 2);
}

// As the program's windows show a mode change: after the announcement (198) every setting is
// the default program's and both inputs are muted at -60.0 dB; the header and the mode stay
// until 195 sets the mode.
TEST(SimLive, ModeAnnouncementResetsEverySettingToTheDefaultProgramWithBothInputsMuted)
{
    Harness h;
    Amplifier &amp = h.add();
    // Settings to lose on both channels: gain, PEQ band, crossover, delay, limiter, phase.
    for (std::uint8_t offset : {0, 96}) {
        h.send(Frame(1, 2 + offset, {10, 0, 0x55}));
        h.send(Frame(1, 10 + offset, {3, 232, 0, 6, 0, 0xAA, 2, 0}));
        h.send(Frame(1, 20 + offset, {13, 0x0B, 0xB8, 0}));
        h.send(Frame(1, 60 + offset, {2, 50}));
        h.send(Frame(1, 61 + offset, {30}));
        h.send(Frame(1, 94 + offset, {1, 0}));
        h.send(Frame(1, 95 + offset, {180}));
    }
    const RecordImage before = amp.liveProgram();
    h.send(Frame(1, 198, {100}));
    EXPECT_EQ(h.fields.replyAddress, 1);

    RecordImage expected = DefaultProgram();
    std::copy_n(before.begin(), kRecordBlockSize, expected.begin());  // the header stays
    for (int gain : {16 + 32, 64 + 32}) {
        expected[static_cast<std::size_t>(gain)] = 60;
        expected[static_cast<std::size_t>(gain + 1)] = 0;
        expected[static_cast<std::size_t>(gain + 2)] = 0x55;
    }
    EXPECT_EQ(amp.liveProgram(), expected);
    EXPECT_TRUE(amp.outputMuted(0));
    EXPECT_TRUE(amp.outputMuted(1));
    ASSERT_TRUE(h.requestBlock(1, 8, kLiveProgram));
    const auto &b8 = h.fields.block(8).bytes;
    EXPECT_EQ((std::array<std::uint8_t, 6>{b8[0], b8[1], b8[2], b8[3], b8[4], b8[5]}),
              (std::array<std::uint8_t, 6>{100, 0, 0x55, 100, 0, 0x55}));

    h.send(Frame(1, 195, {1}));
    expected[10] = static_cast<std::uint8_t>(Mode::Bridge);
    EXPECT_EQ(amp.liveProgram(), expected);
}

struct BadFrame {
    const char *name;
    std::uint8_t command;
    std::vector<std::uint8_t> data;
};

class RefusedFrameTest : public ::testing::TestWithParam<BadFrame> {};

TEST_P(RefusedFrameTest, IsNotAnsweredAndChangesNothing)
{
    const BadFrame &c = GetParam();
    Harness h;
    Amplifier &amp = h.add();
    CommandFrame f = Frame(1, c.command, {});
    f.length = static_cast<std::uint8_t>(c.data.size());
    std::copy(c.data.begin(), c.data.end(), f.data.begin());
    const RecordImage live = amp.liveProgram();
    h.send(f);
    EXPECT_EQ(h.fields.replyAddress, 0);
    EXPECT_TRUE(h.lastLine.isEmpty());
    ASSERT_EQ(h.bus.record().frames.back().deliveries.size(), 1u);
    EXPECT_FALSE(h.bus.record().frames.back().deliveries[0].accepted);
    EXPECT_FALSE(h.bus.record().frames.back().deliveries[0].note.isEmpty());
    EXPECT_EQ(amp.liveProgram(), live);
    EXPECT_EQ(amp.slot(1), DemoSlots()[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, RefusedFrameTest,
    ::testing::Values(BadFrame{"UnknownCommand", 50, {1}},
                      BadFrame{"GainTooShort", 2, {12, 50}},
                      BadFrame{"GainBadSign", 98, {12, 50, 0}},
                      BadFrame{"GainHundredths", 2, {12, 100, 0xAA}},
                      BadFrame{"DelayOverSeven", 60, {7, 1}},
                      BadFrame{"ThresholdOver65", 61, {66}},
                      BadFrame{"PhaseNot180", 95, {90}},
                      BadFrame{"SlopeOver15", 20, {16, 0, 100, 0}},
                      BadFrame{"CrossoverBelow10Hz", 40, {0, 0, 9, 0}},
                      BadFrame{"AttackBelow10", 94, {0, 9}},
                      BadFrame{"HoldOver100", 96, {0, 101}},
                      BadFrame{"ModeThree", 195, {3}},
                      BadFrame{"SineTestWithoutMagic", 196, {99}},
                      BadFrame{"PeqResetNonZero", 6, {1}},
                      BadFrame{"LinkUnknownData", 220, {42}},
                      BadFrame{"SelectSlot21", 220, {140, 21}},
                      BadFrame{"HeaderBadTarget", 221, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0, 1, 30, 1, 1, 1}},
                      BadFrame{"BlockRequestTwoBytes", 231, {1, 1}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimReply, ReplyFrameLayout)
{
    AmplifierReply r;
    r.id = 5;
    r.command = 231;
    r.data = Bytes16({1, 2, 3});
    const QByteArray w = r.wireBytes();
    ASSERT_EQ(w.size(), kReplyFrameSize);
    EXPECT_EQ(QByteArray::fromHex("FAFBFC0510E7010203") + QByteArray(13, '\0'), w.left(22));
    EXPECT_EQ(static_cast<std::uint8_t>(w[22]), (5 + 16 + 231 + 6) % 256);
}

}  // namespace
}  // namespace talvo::sim
