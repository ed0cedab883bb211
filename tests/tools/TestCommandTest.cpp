// talvoctl test against the simulated bus (in this process, so that the clock can run faster):
// the test mode, the levels with the test codes, the frequency on the grid, the sweep, the
// refusals that send nothing, offline.

#include <algorithm>
#include <ostream>

#include <gtest/gtest.h>

#include "Commands.h"
#include "editors/FrequencyText.h"
#include "editors/ModeController.h"
#include "link/Clock.h"
#include "testsignal/TestSignalController.h"
#include "tests/editors/EditorRig.h"
#include "tests/support/SineFrames.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

using testsupport::SimLine;
using testsupport::ToolRun;

ToolRun RunTest(const QString &device, const QStringList &more)
{
    return testsupport::RunCommand(cli::RunTestCommand, QStringList{QStringLiteral("--port"), device} + more);
}

// The frames of the test itself: the test commands, the levels and the frequencies.
std::vector<Sent> TestFrames(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<Sent> out;
    for (const Sent &s : SentFrames(frames))
        if (s.command == 196 || s.command == 197 || s.command == 0 || (s.command >= 2 && s.command <= 4) ||
            (s.command >= 98 && s.command <= 100))
            out.push_back(s);
    return out;
}

struct RunCase {
    const char *name;
    QStringList args;
    std::vector<Sent> frames;
    sim::TestMode mode;
    double sineHz;  // what the amplifier's generator holds afterwards
};

void PrintTo(const RunCase &c, std::ostream *os)
{
    *os << c.name;
}

class TestTool : public ::testing::TestWithParam<RunCase> {};

TEST_P(TestTool, EntersTheTestModeAndSendsLevelsThenFrequency)
{
    const RunCase &c = GetParam();
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = RunTest(line.devicePath(), QStringList{"--id", "1"} + c.args);
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("ONLINE\n"))) << run.out.toStdString();
    // The test command goes once more when its answer is late, as it can be on a loaded machine
    // at this clock speed (the wait is 20 ms of real time); that repeat is not part of the order.
    std::vector<Sent> frames = TestFrames(line.frames());
    if (frames.size() >= 2 && frames[0] == frames[1])
        frames.erase(frames.begin());
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(line.bus().amplifier(0).testMode(), c.mode);
    EXPECT_NEAR(line.bus().amplifier(0).sineFrequencyHz(), c.sineHz, 1e-9);
    // The mode change's preparation came before the test command.
    const auto all = SentFrames(line.frames());
    const auto prepared = std::find(all.begin(), all.end(), Sent{199, {100}});
    const auto entered = std::find_if(all.begin(), all.end(), [](const Sent &s) { return s.command == 196 || s.command == 197; });
    EXPECT_LT(prepared, entered);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TestTool,
    ::testing::Values(
        RunCase{"SineWithLevelAndFrequency",
                {"sine", "1k", "--level", "-20"},
                {{196, {100}}, {4, {20, 0, 85}}, {100, {20, 0, 85}}, {0, {3, 232, 0}}},
                sim::TestMode::Sine,
                1000},
        RunCase{"SineTakesTheNextGridFrequency", {"sine", "1001"}, {{196, {100}}, FrequencyFrame(204)}, sim::TestMode::Sine,
                SineGridFrequency(204)},
        RunCase{"SineAtTheBottom", {"sine", "19.7"}, {{196, {100}}, {0, {0, 19, 70}}}, sim::TestMode::Sine, 19.7},
        RunCase{"SineWithoutFrequency", {"--level", "6", "sine"}, {{196, {100}}, {4, {6, 0, 170}}, {100, {6, 0, 170}}},
                sim::TestMode::Sine, 1000},
        RunCase{"NoiseWithLevel", {"noise", "--level=-0.5"}, {{197, {100}}, {3, {0, 50, 85}}, {99, {0, 50, 85}}},
                sim::TestMode::Noise, 1000}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TestTool, SweepPrintsEveryFrequencyItSends)
{
    // The first frequency depends on the sweep's 60 ms tick not firing twice before the first
    // send: at ten times the speed a loaded machine sometimes let it.
    ClockSpeed speed(3);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = RunTest(line.devicePath(), {"--id", "1", "sweep", "--speed", "50", "--seconds", "3"});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const std::vector<Sent> frames = TestFrames(line.frames());
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), (Sent{196, {100}}));
    QStringList printed;
    for (const QString &l : run.out.split(QLatin1Char('\n')))
        if (l.startsWith(QStringLiteral("sweep ")))
            printed << l.mid(6);
    // Each frequency sent is printed, in order.
    ASSERT_EQ(printed.size(), static_cast<qsizetype>(frames.size() - 1));
    ASSERT_GE(printed.size(), 3);
    for (qsizetype i = 0; i < printed.size(); ++i) {
        const Sent &f = frames[static_cast<std::size_t>(i) + 1];
        ASSERT_EQ(f.command, 0);
        const double hz = f.data[0] * 256 + f.data[1] + f.data[2] / 100.0;
        EXPECT_EQ(printed[i], FormatFrequency(hz)) << i;
    }
    // Speed 50 from index 20: the first frequency sent is index 70's, or a later step's when a
    // tick found the line still busy (the sweep sends only when no frame is pending, and on a
    // loaded machine the test mode's frames may still be going out).
    std::vector<Sent> firstSteps;
    for (int k = 1; k <= 4; ++k) firstSteps.push_back(FrequencyFrame(20 + 50 * k));
    EXPECT_NE(std::find(firstSteps.begin(), firstSteps.end(), frames[1]), firstSteps.end()) << ::testing::PrintToString(frames[1]);
}

struct RefusalCase {
    const char *name;
    QStringList args;
    const char *named;  // what the error line must name
};

void PrintTo(const RefusalCase &c, std::ostream *os)
{
    *os << c.name;
}

class TestRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TestRefusals, NothingReachesTheBus)
{
    const RefusalCase &c = GetParam();
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = RunTest(line.devicePath(), c.args);
    line.stop();
    testsupport::ExpectRefusal(run, "test", c.named);
    EXPECT_TRUE(line.frames().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, TestRefusals,
    ::testing::Values(RefusalCase{"NoMode", {"--id", "1"}, "MODE"},
                      RefusalCase{"UnknownMode", {"--id", "1", "pink"}, "pink"},
                      RefusalCase{"NoiseWithFrequency", {"--id", "1", "noise", "1k"}, "1k"},
                      RefusalCase{"SweepWithFrequency", {"--id", "1", "sweep", "1k"}, "1k"},
                      RefusalCase{"FrequencyBelowRange", {"--id", "1", "sine", "19.6"}, "19.6"},
                      RefusalCase{"FrequencyAboveRange", {"--id", "1", "sine", "20.3k"}, "20.3k"},
                      RefusalCase{"FrequencyNotANumber", {"--id", "1", "sine", "high"}, "high"},
                      RefusalCase{"ExtraArgument", {"--id", "1", "sine", "1k", "2k"}, "2k"},
                      RefusalCase{"LevelAboveRange", {"--id", "1", "sine", "--level", "6.1"}, "6.1"},
                      RefusalCase{"LevelBelowRange", {"--id", "1", "noise", "--level", "-60.1"}, "-60.1"},
                      RefusalCase{"LevelNotANumber", {"--id", "1", "noise", "--level", "loud"}, "loud"},
                      RefusalCase{"SpeedAboveRange", {"--id", "1", "sweep", "--speed", "51"}, "51"},
                      RefusalCase{"SpeedZero", {"--id", "1", "sweep", "--speed", "0"}, "--speed"},
                      RefusalCase{"SpeedWithoutSweep", {"--id", "1", "sine", "--speed", "5"}, "--speed"},
                      RefusalCase{"SecondsZero", {"--id", "1", "sweep", "--seconds", "0"}, "--seconds"},
                      RefusalCase{"SecondsWithoutSweep", {"--id", "1", "noise", "--seconds", "2"}, "--seconds"},
                      RefusalCase{"UnknownOption", {"--id", "1", "sine", "--loud"}, "--loud"},
                      RefusalCase{"MissingId", {"sine"}, "--id"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TestTool, OfflineStartsNoTest)
{
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    const ToolRun run = RunTest(line.devicePath(), {"--id", "9", "sine", "1k"});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("OFFLINE\n"));
    EXPECT_EQ(run.err, QStringLiteral("talvoctl test: no answer from ID 9 on %1; no test was started\n").arg(line.devicePath()));
    EXPECT_TRUE(TestFrames(line.frames()).empty());
    EXPECT_EQ(line.bus().amplifier(0).testMode(), sim::TestMode::None);
}

// The line goes while the mode change prepares the amplifier for the test: the command ends
// at once, saying why, instead of waiting out the steps (about 11 s) on a line that is gone.
TEST(TestTool, APortLostWhileEnteringTheTestModeEndsItAtOnce)
{
    ClockSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    line.hangUpAtFrame([](const sim::FrameRecord &f) { return f.frame.command == kModePrepareCommand; });
    const ToolRun run = RunTest(line.devicePath(), {"--id", "1", "sine", "1k"});
    const double endMs = Clock::nowMs();
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QStringLiteral("talvoctl test: %1 lost: the device disappeared\n").arg(line.devicePath()));
    EXPECT_EQ(run.out, QStringLiteral("ONLINE\n"));
    const auto prepare = std::find_if(line.frames().begin(), line.frames().end(),
                                      [](const sim::FrameRecord &f) { return f.frame.command == kModePrepareCommand; });
    ASSERT_NE(prepare, line.frames().end());
    // The disconnect's own pauses follow; waiting out the preparation would take 11 s more.
    EXPECT_LT(endMs - prepare->lastByteMs, 5000);
    EXPECT_TRUE(TestFrames(line.frames()).empty());
}

TEST(TestTool, HelpSaysHowTheTestModeIsLeft)
{
    const ToolRun run = testsupport::RunTalvoctl({"test", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.contains(QStringLiteral("mode=stereo"))) << run.out.toStdString();
    EXPECT_TRUE(run.err.isEmpty());
}

}  // namespace
}  // namespace talvo::testing
