// The mode change, the mode steps' frames, resetting the gain editors and the phase switches,
// against a simulated amplifier.

#include <QTimer>

#include <gtest/gtest.h>

#include "EditorRig.h"

namespace talvo::testing {
namespace {

// Frames with one data byte, the mode change's own.
Sent One(int command, int data)
{
    return {command, {data}};
}

// Settings away from the default program, so that a reset shows.
void MoveAwayFromDefaults(EditorRig &rig)
{
    rig.gain(kLeftChannel).Apply(-100, false);
    rig.gain(kRightChannel).Apply(20, false);
    rig.delay(kLeftChannel).Apply(350);
    rig.limiter(kRightChannel).Apply(41, 50, 100, 200);
}

void ExpectDefaultsWithGainsMuted(EditorRig &rig)
{
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(SideName(ch));
        EXPECT_TRUE(rig.gain(ch).muted());
        EXPECT_EQ(rig.gain(ch).position(), kGainSliderMin);
        EXPECT_FALSE(rig.gain(ch).sliderEnabled());
        EXPECT_TRUE(rig.gain(ch).lampLit());
        EXPECT_EQ(rig.state.inputGains[static_cast<std::size_t>(ch)], (InputGainState{-600, kYes}));
        EXPECT_EQ(rig.delay(ch).position(), 0);
        EXPECT_TRUE(rig.limiter(ch).limiterOff());
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Hold), 0);
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Decay), 10);
        EXPECT_FALSE(rig.modes().phaseInverted(ch));
    }
}

struct Watched {
    std::vector<bool> panel;
    std::vector<Mode> marks;
    std::vector<int> progress;

    explicit Watched(EditorRig &rig)
    {
        QObject::connect(&rig.modes(), &ModeController::panelEnabledChanged, [this](bool on) { panel.push_back(on); });
        QObject::connect(&rig.modes(), &ModeController::modeChanged, [this](Mode m) { marks.push_back(m); });
        QObject::connect(&rig.link, &Link::progressChanged, [this](int p) { progress.push_back(p); });
    }
};

TEST(ModeChange, BridgeWithASilentAmplifierResendsEveryStep)
{
    EditorRig rig(20, SilentAmplifier());
    Watched watched(rig);
    MoveAwayFromDefaults(rig);
    rig.modes().ChangeMode(Mode::Bridge);

    EXPECT_EQ(rig.finish(), (std::vector<Sent>{One(220, 100), One(199, 100), One(199, 100), One(198, 100), One(198, 100),
                                               One(195, 1), One(195, 1)}));
    EXPECT_EQ(rig.state.mode, Mode::Bridge);
    EXPECT_EQ(rig.state.programBuffer[10], 1);
    EXPECT_EQ(rig.modes().diagram(), DiagramFor(Mode::Bridge));
    EXPECT_FALSE(rig.modes().diagram().rightChainShown);
    EXPECT_EQ(watched.panel, (std::vector<bool>{false, true}));
    // The default program's Stereo first, then the chosen mode.
    ASSERT_FALSE(watched.marks.empty());
    EXPECT_EQ(watched.marks.back(), Mode::Bridge);
    EXPECT_EQ(watched.progress, (std::vector<int>{20, 40, 60, 80, 90, 80, 60, 80, 100, 0}));
    ExpectDefaultsWithGainsMuted(rig);
    EXPECT_EQ(rig.state.link.linkActive, kYes);
    EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
}

TEST(ModeChange, AnsweringAmplifierTakesTheMode)
{
    EditorRig rig(4);
    Watched watched(rig);
    rig.modes().ChangeMode(Mode::Mono);
    const std::vector<Sent> sent = rig.finish();

    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[0], One(220, 100));
    EXPECT_EQ(sent[1], One(199, 100));
    // The answer to 199 came within its seconds: no second 199 and no progress beyond 90.
    EXPECT_EQ(std::count(sent.begin(), sent.end(), One(199, 100)), 1);
    EXPECT_EQ(watched.progress, (std::vector<int>{20, 40, 60, 80, 90, 80, 0}));
    // 198 and 195 each go out once, or twice when an answer was late.
    const auto count198 = std::count(sent.begin(), sent.end(), One(198, 100));
    const auto count195 = std::count(sent.begin(), sent.end(), One(195, 2));
    EXPECT_TRUE(count198 == 1 || count198 == 2) << count198;
    EXPECT_TRUE(count195 == 1 || count195 == 2) << count195;
    EXPECT_EQ(sent.back(), One(195, 2));
    EXPECT_EQ(rig.amplifier().mode(), Mode::Mono);
    EXPECT_EQ(rig.modes().diagram(), DiagramFor(Mode::Mono));
}

TEST(ModeChange, OfflineSendsNothingButStillWaitsAndResets)
{
    EditorRig rig(10);
    rig.state.link.linkActive = 0;
    Watched watched(rig);
    MoveAwayFromDefaults(rig);
    rig.modes().ChangeMode(Mode::Bridge);  // away from Stereo first
    const double start = Clock::nowMs();
    rig.modes().ChangeMode(Mode::Stereo);
    const double elapsed = Clock::nowMs() - start;

    EXPECT_TRUE(rig.finish().empty());
    // 198 and 195 each wait twice 200 ms, as do the default program's mode steps.
    EXPECT_GE(elapsed, 1600);
    EXPECT_TRUE(watched.progress.empty());
    EXPECT_EQ(rig.modes().diagram(), DiagramFor(Mode::Stereo));
    ExpectDefaultsWithGainsMuted(rig);
    EXPECT_EQ(rig.state.link.linkActive, 0);
}

TEST(ModeChange, AskedForWhileOneRunsIsIgnored)
{
    EditorRig rig(20, SilentAmplifier());
    int finished = 0;
    QObject::connect(&rig.modes(), &ModeController::modeChangeFinished, [&](Mode) { ++finished; });
    // Handlers run inside the change's waits; a second request from one must not start another.
    QTimer::singleShot(Clock::toRealCeilMs(1000), [&] {
        EXPECT_TRUE(rig.modes().IsChangingMode());
        rig.modes().ChangeMode(Mode::Mono);
    });
    rig.modes().ChangeMode(Mode::Bridge);
    const std::vector<Sent> sent = rig.finish();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), One(220, 100)), 1);
    EXPECT_EQ(rig.state.mode, Mode::Bridge);
    EXPECT_FALSE(rig.modes().IsChangingMode());
}

TEST(ResetGainEditors, WhileConnectedSendsNothingAndKeepsTheLink)
{
    EditorRig rig;
    rig.gain(kLeftChannel).Apply(-100, false);
    rig.gain(kRightChannel).Apply(20, false);
    rig.modes().ResetGainEditors();
    EXPECT_TRUE(rig.finish().empty());
    EXPECT_EQ(rig.state.link.linkActive, kYes);
    for (int ch : {kLeftChannel, kRightChannel}) {
        EXPECT_TRUE(rig.gain(ch).muted());
        EXPECT_EQ(rig.gain(ch).position(), kGainSliderMin);
        EXPECT_FALSE(rig.gain(ch).sliderEnabled());
    }
}

TEST(Phase, BoxesSendTheirChannelsCode)
{
    EditorRig rig;
    std::vector<std::pair<int, bool>> shown;
    QObject::connect(&rig.modes(), &ModeController::phaseChanged, [&](int ch, bool on) { shown.emplace_back(ch, on); });
    rig.modes().PhaseClicked(kLeftChannel, true);
    rig.modes().PhaseClicked(kLeftChannel, false);
    rig.modes().PhaseClicked(kRightChannel, true);
    EXPECT_TRUE(rig.modes().phaseInverted(kRightChannel));
    EXPECT_FALSE(rig.modes().phaseInverted(kLeftChannel));
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{One(95, 180), One(95, 0), One(191, 180)}));
    EXPECT_EQ(shown, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}, {1, true}}));
}

TEST(ShowNormalPanel, LeavesATestAndItsLayout)
{
    EditorRig rig;
    rig.state.testMode = kTestModeSine;
    rig.modes().ShowNormalPanel();
    EXPECT_EQ(rig.state.testMode, kTestModeNone);
    const PanelDiagram &d = rig.modes().diagram();
    EXPECT_TRUE(d.blocksEnabled);
    EXPECT_TRUE(d.labelsShown);
    EXPECT_FALSE(d.testSignalShown);
    EXPECT_TRUE(d.ArrowShown(14));
    for (int n = 15; n <= 19; ++n)
        EXPECT_FALSE(d.ArrowShown(n)) << n;
}

}  // namespace
}  // namespace talvo::testing
