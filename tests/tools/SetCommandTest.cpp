// talvoctl set against the simulated bus (in this process, so that the clock can run faster):
// the frames each change sends, the mode change, the refusals that send nothing, offline.

#include <ostream>

#include <gtest/gtest.h>

#include "tests/support/ToolRun.h"

#include "Commands.h"
#include "link/Clock.h"
#include "tests/support/SimLine.h"

namespace talvo::testing {
namespace {

using testsupport::SimLine;

class ClockSpeed {
public:
    explicit ClockSpeed(double speed) { Clock::setSpeed(speed); }
    ~ClockSpeed() { Clock::setSpeed(1.0); }
};

using testsupport::PatientBus;

using testsupport::ToolRun;

ToolRun Set(const QString &device, const QStringList &more)
{
    return testsupport::RunCommand(cli::RunSetCommand, QStringList{QStringLiteral("--port"), device} + more);
}

// The frames an editor sends: everything but connecting, reading and disconnecting.
std::vector<std::vector<int>> EditorFrames(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<std::vector<int>> out;
    for (const auto &f : frames) {
        const int c = f.frame.command;
        if (c == 220 || (c >= 231 && c <= 239))
            continue;
        std::vector<int> frame{c};
        frame.insert(frame.end(), f.frame.data.begin(), f.frame.data.begin() + f.frame.length);
        out.push_back(frame);
    }
    return out;
}

TEST(SetTool, SendsEachChangeInOrderWithItsEditorsFrame)
{
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = Set(line.devicePath(),
                            {"--id", "1", "left.gain=-12.5", "right.gain=muted", "left.delay=3.5", "right.limitThreshold=41",
                             "left.limitThreshold=off", "left.hold=0", "right.attack=1000", "left.decay=10.5",
                             "right.phase=180", "left.gain=-12.55", "right.delay=0.004"});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(EditorFrames(line.frames()),
              (std::vector<std::vector<int>>{{2, 12, 50, 85},
                                             {98, 100, 0, 85},
                                             {60, 3, 50},
                                             {157, 41},
                                             {61, 65},
                                             {96, 0, 0},
                                             {190, 3, 232},
                                             {97, 0, 11},  // between two steps: the next one up
                                             {191, 180},
                                             {2, 12, 50, 85},
                                             {156, 0, 1}}));
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 11) << run.out.toStdString();  // ONLINE, then one line per change
    EXPECT_EQ(lines[0], QStringLiteral("ONLINE"));
    EXPECT_EQ(lines[1], QStringLiteral("left.gain -12.5dB (command 2: 12 50 85)"));
    EXPECT_EQ(lines[2], QStringLiteral("right.gain muted (command 98: 100 0 85)"));
    EXPECT_EQ(lines[4], QStringLiteral("right.limitThreshold 0dB (command 157: 41)"));
    // Connected first, disconnected last.
    ASSERT_FALSE(line.frames().empty());
    EXPECT_EQ(line.frames().front().frame.command, 220);
    EXPECT_EQ(line.frames().back().frame.command, 220);
    EXPECT_EQ(line.frames().back().frame.data[0], 80);
    const sim::Amplifier &amp = line.bus().amplifier(0);
    EXPECT_EQ(amp.liveProgram()[64 + 40], 180);  // right phase
}

// A line that dies while changes go out: the command says so and fails (changes still to come
// are not sent once the loss is known).
TEST(SetTool, APortLostMidwayStopsTheRestAndFails)
{
    // The line hangs up as soon as the first change has arrived, however many resends the
    // connect and read-out took. The simulator takes the frame that calls for it within a few
    // nominal milliseconds of its last byte, whatever the machine's load (the clock holds for
    // bytes on their way), and the next change's frame follows only after that frame's 150 ms
    // of pacing: so it is never taken, and never listed.
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    line.hangUpAtFrame([](const sim::FrameRecord &f) {
        return f.frame.command != 220 && (f.frame.command < 231 || f.frame.command > 239);
    });
    const ToolRun run = Set(line.devicePath(), {"--id", "1", "left.gain=-12.5", "left.delay=3", "right.gain=0", "right.delay=1"});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QStringLiteral("talvoctl set: %1 lost: the device disappeared\n").arg(line.devicePath()));
    EXPECT_EQ(EditorFrames(line.frames()), (std::vector<std::vector<int>>{{2, 12, 50, 85}}));
    // The changes listed are those whose frames the port took: the first, and none after it.
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("ONLINE"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("left.gain "))) << run.out.toStdString();
}

TEST(SetTool, ModeRunsTheWholeModeChange)
{
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = Set(line.devicePath(), {"--id=1", "--mute", "mode=bridge", "left.gain=0"});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const auto frames = EditorFrames(line.frames());
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames.front(), (std::vector<int>{199, 100}));
    EXPECT_EQ(frames.back(), (std::vector<int>{2, 0, 0, 170}));
    EXPECT_EQ(frames[frames.size() - 2], (std::vector<int>{195, 1}));
    EXPECT_NE(std::find(frames.begin(), frames.end(), std::vector<int>{198, 100}), frames.end());
    // The connect with --mute, then the mode change's own connect frame.
    EXPECT_EQ(line.frames().front().frame.data[0], 101);
    int connects = 0;
    for (const auto &f : line.frames())
        connects += f.frame.command == 220 && f.frame.data[0] == 100;
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(line.bus().amplifier(0).mode(), Mode::Bridge);
    EXPECT_TRUE(run.out.contains(QStringLiteral("\nmode bridge\n"))) << run.out.toStdString();
}

struct RefusalCase {
    const char *name;
    QStringList args;
    const char *named;  // what the error line must name
};

// Test lists show the case's name.
void PrintTo(const RefusalCase &c, std::ostream *os)
{
    *os << c.name;
}

class SetRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SetRefusals, NothingReachesTheBus)
{
    const RefusalCase &c = GetParam();
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = Set(line.devicePath(), c.args);
    line.stop();
    testsupport::ExpectRefusal(run, "set", c.named);
    EXPECT_TRUE(line.frames().empty());
}

// A good pair first in every case: it must not go out either.
INSTANTIATE_TEST_SUITE_P(
    Pairs, SetRefusals,
    ::testing::Values(RefusalCase{"UnknownKey", {"--id", "1", "left.gain=1", "left.volume=1"}, "left.volume=1"},
                      RefusalCase{"NoChannel", {"--id", "1", "left.gain=1", "gain=1"}, "gain=1"},
                      RefusalCase{"MissingEquals", {"--id", "1", "left.gain=1", "left.delay"}, "left.delay"},
                      RefusalCase{"NotANumber", {"--id", "1", "left.gain=1", "left.gain=loud"}, "left.gain=loud"},
                      RefusalCase{"GainAboveRange", {"--id", "1", "left.gain=1", "right.gain=6.1"}, "right.gain=6.1"},
                      RefusalCase{"DelayAboveRange", {"--id", "1", "left.gain=1", "left.delay=7.01"}, "left.delay=7.01"},
                      RefusalCase{"AttackBelowRange", {"--id", "1", "left.gain=1", "left.attack=9"}, "left.attack=9"},
                      RefusalCase{"ThresholdOffByNumber", {"--id", "1", "left.gain=1", "left.limitThreshold=65"}, "left.limitThreshold=65"},
                      RefusalCase{"PhaseNinety", {"--id", "1", "left.gain=1", "right.phase=90"}, "right.phase=90"},
                      RefusalCase{"UnknownMode", {"--id", "1", "left.gain=1", "mode=surround"}, "mode=surround"},
                      RefusalCase{"HexIsNoDecimal", {"--id", "1", "left.gain=1", "left.hold=0x10"}, "left.hold=0x10"},
                      RefusalCase{"MissingId", {"left.gain=1"}, "--id"},
                      RefusalCase{"IdOutOfRange", {"--id", "256", "left.gain=1"}, "--id"},
                      RefusalCase{"NoPairs", {"--id", "1"}, "nothing to set"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SetTool, OfflineSendsNoChange)
{
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = Set(line.devicePath(), {"--id", "9", "left.gain=0"});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("OFFLINE\n"));
    EXPECT_EQ(run.err, QStringLiteral("talvoctl set: no answer from ID 9 on %1; nothing was set\n").arg(line.devicePath()));
    EXPECT_TRUE(EditorFrames(line.frames()).empty());
}

TEST(SetTool, BridgeOnAnAmplifierWithoutItSendsNoChange)
{
    ClockSpeed speed(10);
    sim::AmplifierConfig config;
    config.bridgeAvailable = false;
    SimLine line({config}, PatientBus());
    const ToolRun run = Set(line.devicePath(), {"--id", "1", "left.gain=0", "mode=bridge"});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no bridge mode"))) << run.err.toStdString();
    EXPECT_TRUE(EditorFrames(line.frames()).empty());
}

TEST(SetTool, BinaryPrintsHelpAndRefusesWithExitTwo)
{
    const ToolRun help = testsupport::RunTalvoctl({QStringLiteral("set"), QStringLiteral("--help")}, 30000);
    EXPECT_EQ(help.status, 0);
    const QString &usage = help.out;
    for (const char *key : {"gain", "delay", "limitThreshold", "hold", "attack", "decay", "phase", "mode", "highPass.slope",
                            "highPass.freq", "lowPass.slope", "lowPass.freq", "peq.B.freq", "peq.B.gain", "peq.B.q",
                            "peq.B.flat"})
        EXPECT_TRUE(usage.contains(QLatin1String(key))) << key;

    const ToolRun refused = testsupport::RunTalvoctl({QStringLiteral("set"), QStringLiteral("--port"), QStringLiteral("/dev/null"),
                                                      QStringLiteral("--id"), QStringLiteral("1"), QStringLiteral("left.gain=-61")},
                                                     30000);
    EXPECT_EQ(refused.status, 2);
    const QString &err = refused.err;
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("left.gain=-61"))) << err.toStdString();
}

// ---- Crossover filters and PEQ bands.
//
// The simulated amplifier runs its program 1 unless told otherwise: high-pass slope 5 at
// 35.1 Hz, low-pass slope 0 at 20200 Hz; bands at 30, 270 and 1560 Hz, band 2 at -2.5 dB and
// Q 1.41, the others 0 dB and Q 3. Program 4 has both filters at slope 7, 120 Hz and 2000 Hz.

// talvoctl set with --id 1 on an amplifier that runs `program`; what it sent on the line.
struct SetOnProgramRun {
    ToolRun run;
    std::vector<sim::FrameRecord> frames;
};

SetOnProgramRun SetOnProgram(int program, const QStringList &pairs)
{
    ClockSpeed speed(10);
    sim::AmplifierConfig config;
    config.runningProgram = program;
    SimLine line({config});
    SetOnProgramRun r{Set(line.devicePath(), QStringList{"--id", "1"} + pairs), {}};
    line.stop();
    r.frames = line.frames();
    return r;
}

struct FilterBandCase {
    const char *name;
    int runningProgram;
    QStringList pairs;
    std::vector<std::vector<int>> frames;  // the editor frames, in order
};

// Failures name the case, not its bytes.
void PrintTo(const FilterBandCase &c, std::ostream *os)
{
    *os << c.name;
}

class SetFiltersAndBands : public ::testing::TestWithParam<FilterBandCase> {};

TEST_P(SetFiltersAndBands, SendsOneFramePerFilterOrBandWithTheRestFromTheAmplifier)
{
    const FilterBandCase &c = GetParam();
    const auto [run, frames] = SetOnProgram(c.runningProgram, c.pairs);
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(EditorFrames(frames), c.frames);
    // ONLINE, then one line per frame.
    EXPECT_EQ(run.out.count(QLatin1Char('\n')), 1 + static_cast<qsizetype>(c.frames.size())) << run.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SetFiltersAndBands,
    ::testing::Values(
        // Keys of one filter or band gather into one frame where the first of them stands.
        FilterBandCase{"GatheredAtTheFirstKey",
                       1,
                       {"left.lowPass.freq=35.1", "left.gain=0", "right.peq.2.freq=1560", "left.lowPass.slope=13",
                        "right.peq.2.gain=-3.5", "right.peq.2.q=3"},
                       {{20, 13, 0, 35, 10}, {2, 0, 0, 170}, {106, 6, 24, 0, 3, 50, 0x55, 3, 0}}},
        FilterBandCase{"LastOfARepeatedKeyCounts", 1, {"left.lowPass.slope=1", "left.lowPass.slope=2"}, {{20, 2, 78, 232, 0}}},
        // Parts not given are the running program's.
        FilterBandCase{"HighPassFrequencyKeepsTheRunningSlope", 1, {"left.highPass.freq=1k"}, {{40, 5, 3, 232, 0}}},
        FilterBandCase{"FrequencyTakenToTheNextTableValueUp", 1, {"right.highPass.freq=92"}, {{136, 5, 0, 94, 0}}},
        FilterBandCase{"HighPassAtItsTop", 1, {"left.highPass.freq=16000"}, {{40, 5, 62, 128, 0}}},
        FilterBandCase{"LowPassSlopeKeepsTheRunningFrequency", 1, {"right.lowPass.slope=7"}, {{116, 7, 78, 232, 0}}},
        FilterBandCase{"LowPassAtItsBottom", 1, {"left.lowPass.freq=35.1", "left.lowPass.slope=13"}, {{20, 13, 0, 35, 10}}},
        // The band's gain and Q requantised as the editor's refresh does (Q 1.41 -> 1.5).
        FilterBandCase{"BandFrequencySnapsUpToTheGrid", 1, {"left.peq.2.freq=1.2k"}, {{10, 4, 186, 0, 2, 50, 0x55, 1, 50}}},
        FilterBandCase{"BandFrequencyAtTheGridBottom", 1, {"left.peq.1.freq=19.7"}, {{5, 0, 19, 70, 0, 0, 0xAA, 3, 0}}},
        FilterBandCase{"TypedGainRequantised", 1, {"left.peq.1.gain=1.23"}, {{5, 0, 30, 0, 1, 30, 0xAA, 3, 0}}},
        FilterBandCase{"QRequantised", 1, {"right.peq.3.q=3.45"}, {{111, 6, 24, 0, 0, 0, 0xAA, 3, 50}}},
        // A FLAT band goes out as the flat frame, with its given gain kept out of it.
        FilterBandCase{"FlatBandGoesOutAsTheFlatFrame",
                       1,
                       {"left.peq.2.flat=yes", "left.peq.2.gain=6"},
                       {{10, 1, 14, 0, 0, 0, 0, 1, 50}}},
        FilterBandCase{"FlatOffSendsTheRealBand", 1, {"left.peq.2.flat=no"}, {{10, 1, 14, 0, 2, 50, 0x55, 1, 50}}},
        // Moving both filters past each other is fine when the end result is in order.
        FilterBandCase{"BothFiltersMovedUpTogether",
                       4,
                       {"left.highPass.freq=5k", "left.lowPass.freq=10k"},
                       {{40, 7, 19, 176, 0}, {20, 7, 39, 116, 0}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SetTool, FilterAndBandValuesReachTheAmplifier)
{
    ClockSpeed speed(10);
    SimLine line;
    const ToolRun run = Set(line.devicePath(), {"--id", "1", "right.lowPass.freq=2k", "right.lowPass.slope=15",
                                                "right.peq.3.gain=-12", "right.peq.3.q=128"});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const auto live = line.bus().amplifier(0).liveProgram();
    const std::vector<int> lowPass(live.begin() + 64 + 24, live.begin() + 64 + 28);
    EXPECT_EQ(lowPass, (std::vector<int>{15, 7, 208, 0}));
    const std::vector<int> band3(live.begin() + 64 + 16, live.begin() + 64 + 24);
    EXPECT_EQ(band3, (std::vector<int>{6, 24, 0, 12, 0, 0x55, 128, 0}));
    EXPECT_TRUE(run.out.contains(QStringLiteral("right.lowPass 48dB Link-Riley 2.0KHz (command 116: 15 7 208 0)")))
        << run.out.toStdString();
}

struct CrossingCase {
    const char *name;
    int runningProgram;
    QStringList pairs;
    const char *named;
};

void PrintTo(const CrossingCase &c, std::ostream *os)
{
    *os << c.name;
}

class SetCrossedFilters : public ::testing::TestWithParam<CrossingCase> {};

// The high-pass of a channel never ends above its low-pass: the whole command is refused
// after connecting (the running filters are known only then) and no frame of it goes out.
TEST_P(SetCrossedFilters, RefusedAsAWholeAfterConnecting)
{
    const CrossingCase &c = GetParam();
    const auto [run, frames] = SetOnProgram(c.runningProgram, QStringList{"left.gain=0", "right.peq.1.gain=3"} + c.pairs);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, QStringLiteral("ONLINE\n"));
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(c.named))) << run.err.toStdString();
    EXPECT_TRUE(EditorFrames(frames).empty());
    // Connected and disconnected all the same.
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().frame.command, 220);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, SetCrossedFilters,
    ::testing::Values(CrossingCase{"HighPassAboveTheRunningLowPass", 4, {"left.highPass.freq=5k"}, "left high-pass (5.04KHz)"},
                      CrossingCase{"LowPassBelowTheRunningHighPass", 4, {"right.lowPass.freq=100"}, "right low-pass (101Hz)"},
                      // The crossing stands until the mode change resets the filters.
                      CrossingCase{"CrossedBeforeAModeChange", 4, {"left.highPass.freq=5k", "mode=stereo"}, "left high-pass"}),
    [](const auto &info) { return std::string(info.param.name); });

// Program 1 has its high-pass at 35.1 Hz, the lowest low-pass: equal corners are allowed.
TEST(SetTool, LowPassMayMeetTheHighPass)
{
    ClockSpeed speed(10);
    SimLine line;
    const ToolRun run = Set(line.devicePath(), {"--id", "1", "left.lowPass.freq=35.1"});
    line.stop();
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(EditorFrames(line.frames()), (std::vector<std::vector<int>>{{20, 0, 0, 35, 10}}));
}

// After a mode change the filters are the default program's (10 Hz .. 20200 Hz, slope 0),
// whatever the amplifier ran before.
TEST(SetTool, FilterAfterAModeChangeStartsFromTheDefaultProgram)
{
    const auto [run, frames] = SetOnProgram(4, {"mode=stereo", "left.highPass.freq=5k"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const auto sent = EditorFrames(frames);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (std::vector<int>{40, 0, 19, 176, 0}));
}

// Filter and band values out of range: nothing reaches the bus either.
INSTANTIATE_TEST_SUITE_P(
    FilterAndBandValues, SetRefusals,
    ::testing::Values(
        RefusalCase{"SlopeAboveFifteen", {"--id", "1", "left.gain=1", "left.highPass.slope=16"}, "left.highPass.slope=16"},
        RefusalCase{"SlopeNotWhole", {"--id", "1", "left.gain=1", "left.lowPass.slope=1.5"}, "left.lowPass.slope=1.5"},
        RefusalCase{"LowPassBelowItsRange", {"--id", "1", "left.gain=1", "left.lowPass.freq=35"}, "left.lowPass.freq=35"},
        RefusalCase{"LowPassAboveItsRange", {"--id", "1", "left.gain=1", "right.lowPass.freq=20.3k"}, "right.lowPass.freq=20.3k"},
        RefusalCase{"HighPassBelowItsRange", {"--id", "1", "left.gain=1", "left.highPass.freq=9.9"}, "left.highPass.freq=9.9"},
        RefusalCase{"HighPassAboveItsRange", {"--id", "1", "left.gain=1", "left.highPass.freq=16.1k"}, "left.highPass.freq=16.1k"},
        RefusalCase{"FrequencyNotANumber", {"--id", "1", "left.gain=1", "left.highPass.freq=abc"}, "left.highPass.freq=abc"},
        RefusalCase{"UnknownFilterPart", {"--id", "1", "left.gain=1", "left.highPass.q=3"}, "left.highPass.q=3"},
        RefusalCase{"BandFour", {"--id", "1", "left.gain=1", "left.peq.4.gain=0"}, "left.peq.4.gain=0"},
        RefusalCase{"BandFrequencyBelowTheGrid", {"--id", "1", "left.gain=1", "left.peq.1.freq=19.6"}, "left.peq.1.freq=19.6"},
        RefusalCase{"BandFrequencyAboveTheGrid", {"--id", "1", "left.gain=1", "left.peq.1.freq=20.21k"}, "left.peq.1.freq=20.21k"},
        RefusalCase{"BandGainAboveTwelve", {"--id", "1", "left.gain=1", "right.peq.2.gain=12.1"}, "right.peq.2.gain=12.1"},
        RefusalCase{"BandGainBelowMinusTwelve", {"--id", "1", "left.gain=1", "right.peq.2.gain=-12.01"}, "right.peq.2.gain=-12.01"},
        RefusalCase{"QBelowItsRange", {"--id", "1", "left.gain=1", "left.peq.3.q=0.3"}, "left.peq.3.q=0.3"},
        RefusalCase{"QAboveItsRange", {"--id", "1", "left.gain=1", "left.peq.3.q=128.5"}, "left.peq.3.q=128.5"},
        RefusalCase{"FlatNeitherYesNorNo", {"--id", "1", "left.gain=1", "left.peq.1.flat=maybe"}, "left.peq.1.flat=maybe"},
        // Both corners given: the crossing is seen before the port is touched.
        RefusalCase{"BothCornersGivenCrossed",
                    {"--id", "1", "left.gain=1", "left.highPass.freq=5k", "left.lowPass.freq=2k"},
                    "left high-pass (5.04KHz) would be above the left low-pass (2.0KHz)"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvo::testing
