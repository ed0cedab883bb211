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

// A loaded machine may stall a sender thread between two bytes (the sped-up clock makes that
// look long): the bus waits for the rest of a frame rather than drop it.
sim::BusOptions PatientBus()
{
    sim::BusOptions options;
    options.interByteTimeoutMs = 0;
    return options;
}

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
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl set: "))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(c.named))) << run.err.toStdString();
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
    EXPECT_TRUE(run.err.contains(QStringLiteral("did not answer"))) << run.err.toStdString();
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
    for (const char *key : {"gain", "delay", "limitThreshold", "hold", "attack", "decay", "phase", "mode"})
        EXPECT_TRUE(usage.contains(QLatin1String(key))) << key;

    const ToolRun refused = testsupport::RunTalvoctl({QStringLiteral("set"), QStringLiteral("--port"), QStringLiteral("/dev/null"),
                                                      QStringLiteral("--id"), QStringLiteral("1"), QStringLiteral("left.gain=-61")},
                                                     30000);
    EXPECT_EQ(refused.status, 2);
    const QString &err = refused.err;
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("left.gain=-61"))) << err.toStdString();
}

}  // namespace
}  // namespace talvo::testing
