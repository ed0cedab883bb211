// The sine and noise tests: entering a test mode against a simulated amplifier (its frames,
// the gain editors' test state, the panel), leaving it by a mode change and by applying a
// program, and the sine generator's sweep, buttons, slider and frequency field.

#include <algorithm>
#include <utility>

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include "editors/FrequencyText.h"
#include "testsignal/TestSignalController.h"
#include "tests/editors/EditorRig.h"
#include "tests/support/SineFrames.h"

namespace talvo::testing {
namespace {

struct TestRig : EditorRig {
    TestModeController tests{state, link, applier, models.modes(), models.gain(kLeftChannel),
                             models.gain(kRightChannel)};
    SineGenerator generator{state, link};

    explicit TestRig(sim::AmplifierConfig amplifier = sim::AmplifierConfig()) : EditorRig(20, std::move(amplifier)) {}
};

// Frames that are not the mode change's preparation (220 and 199 have tests of their own).
// A reply that comes later than the short wait (a busy machine) brings the test command's
// one resend, which the silent amplifier's test counts; here it is taken as one.
std::vector<Sent> WithoutPreparation(std::vector<Sent> frames)
{
    std::erase_if(frames, [](const Sent &s) { return s.command == 220 || s.command == 199; });
    const auto resent = [](const Sent &a, const Sent &b) { return a == b && (a.command == 196 || a.command == 197); };
    frames.erase(std::unique(frames.begin(), frames.end(), resent), frames.end());
    return frames;
}

TEST(TestMode, SineEntrySendsTheTestCommandAfterThePreparationAndLeavesTheGainsMutedForTheLevel)
{
    TestRig rig;
    rig.gain(kLeftChannel).Apply(-100, false);
    std::vector<bool> panel;
    QObject::connect(&rig.modes(), &ModeController::panelEnabledChanged, [&panel](bool on) { panel.push_back(on); });
    QSignalSpy marks(&rig.tests, &TestModeController::testModeMarked);

    rig.tests.EnterTestMode(kTestModeSine);

    EXPECT_EQ(rig.state.testMode, kTestModeSine);
    EXPECT_EQ(panel, (std::vector<bool>{false, true}));
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks.at(0).at(0).toInt(), kTestModeSine);
    const PanelDiagram &d = rig.modes().diagram();
    EXPECT_TRUE(d.testSignalShown);
    EXPECT_FALSE(d.labelsShown);
    EXPECT_FALSE(d.blocksEnabled);
    EXPECT_TRUE(d.rightChainShown);
    EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
    EXPECT_EQ(rig.state.link.linkActive, kYes);
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(SideName(ch));
        GainModel &gain = rig.gain(ch);
        EXPECT_EQ(gain.position(), kGainSliderMin);
        EXPECT_TRUE(gain.muted());
        EXPECT_TRUE(gain.lampLit());
        EXPECT_FALSE(gain.sliderEnabled());
        EXPECT_TRUE(gain.editEnabled());
    }
    rig.idle();
    EXPECT_EQ(rig.amplifier().testMode(), sim::TestMode::Sine);

    // The Gain block opens the editor for the test signal's level: the slider works, MUTE does not.
    GainModel &right = rig.gain(kRightChannel);
    right.PrepareOpen();
    EXPECT_TRUE(right.sliderEnabled());
    EXPECT_FALSE(right.muteButtonEnabled());
    right.PositionChanged(-200);
    const std::vector<Sent> frames = rig.finish();
    // Nothing of the default program or the gain reset went out; the preparation came first.
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.front(), (Sent{220, {100}}));
    EXPECT_EQ(WithoutPreparation(frames), (std::vector<Sent>{{196, {100}}, {100, {20, 0, 85}}}));
}

TEST(TestMode, NoiseEntryWithASilentAmplifierResendsTheTestCommandOnce)
{
    TestRig rig(SilentAmplifier());
    rig.tests.EnterTestMode(kTestModeNoise);
    EXPECT_EQ(rig.state.testMode, kTestModeNoise);
    EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
    EXPECT_TRUE(rig.link.IsPortOpen());
    rig.gain(kLeftChannel).PrepareOpen();
    rig.idle();
    rig.gain(kLeftChannel).PositionChanged(-300);
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{220, {100}},
                                               {199, {100}},
                                               {199, {100}},
                                               {197, {100}},
                                               {197, {100}},
                                               {3, {30, 0, 85}}}));
}

TEST(TestMode, OfflineEntryChangesTheWindowsAndSendsNothing)
{
    TestRig rig;
    rig.state.link.linkActive = 0;
    rig.tests.EnterTestMode(kTestModeSine);
    EXPECT_EQ(rig.state.testMode, kTestModeSine);
    EXPECT_TRUE(rig.modes().diagram().testSignalShown);
    EXPECT_TRUE(rig.finish().empty());
}

// How a test mode is left: both run the normal panel, which ends the test.
struct LeaveCase {
    const char *name;
    void (*leave)(TestRig &);
};

class LeaveTestMode : public ::testing::TestWithParam<LeaveCase> {};

TEST_P(LeaveTestMode, EndsTheTestAndRestoresTheNormalPanel)
{
    TestRig rig;
    rig.state.link.linkActive = 0;  // only the windows matter here
    rig.tests.EnterTestMode(kTestModeSine);
    ASSERT_EQ(rig.state.testMode, kTestModeSine);

    GetParam().leave(rig);

    EXPECT_EQ(rig.state.testMode, kTestModeNone);
    const PanelDiagram &d = rig.modes().diagram();
    EXPECT_FALSE(d.testSignalShown);
    EXPECT_TRUE(d.labelsShown);
    EXPECT_TRUE(d.blocksEnabled);
    EXPECT_FALSE(rig.generator.CanOpen());
    // The gain editors are back on the normal codes.
    EXPECT_EQ(rig.gain(kLeftChannel).GainCommand(), 2);
    EXPECT_EQ(rig.gain(kRightChannel).GainCommand(), 98);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeaveTestMode,
    ::testing::Values(LeaveCase{"ModeChange", [](TestRig &rig) { rig.modes().ChangeMode(Mode::Mono); }},
                      LeaveCase{"ApplyingAProgram", [](TestRig &rig) { rig.applier.ApplyProgram(); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TestMode, ModeChosenDuringTheEntryIsIgnored)
{
    TestRig rig;
    rig.state.link.linkActive = 0;
    bool tried = false;
    // Inside the entry's waits, as a click on the Mode menu would come.
    QTimer::singleShot(0, [&] {
        tried = true;
        rig.modes().ChangeMode(Mode::Bridge);
    });
    rig.tests.EnterTestMode(kTestModeSine);
    EXPECT_TRUE(tried);
    EXPECT_EQ(rig.state.testMode, kTestModeSine);
    EXPECT_EQ(rig.state.mode, Mode::Stereo);
    EXPECT_TRUE(rig.modes().diagram().testSignalShown);
    // Afterwards the Mode menu works again and ends the test.
    rig.modes().ChangeMode(Mode::Bridge);
    EXPECT_EQ(rig.state.mode, Mode::Bridge);
    EXPECT_EQ(rig.state.testMode, kTestModeNone);
}

TEST(TestMode, ChoosingSineAgainRepeatsTheWholeEntry)
{
    TestRig rig;
    rig.tests.EnterTestMode(kTestModeNoise);
    rig.tests.EnterTestMode(kTestModeSine);
    EXPECT_EQ(rig.state.testMode, kTestModeSine);
    EXPECT_EQ(WithoutPreparation(rig.finish()), (std::vector<Sent>{{197, {100}}, {196, {100}}}));
}

// ---- The generator.

TEST(SineGenerator, FrequencyBytesSplitWholeHertzAndHundredths)
{
    EXPECT_EQ(SineFrequencyBytes(19.7), (std::array<std::uint8_t, 3>{0, 19, 70}));
    EXPECT_EQ(SineFrequencyBytes(1000), (std::array<std::uint8_t, 3>{3, 232, 0}));
    EXPECT_EQ(SineFrequencyBytes(20200), (std::array<std::uint8_t, 3>{78, 232, 0}));
    // Beyond the generator's range: its ends.
    EXPECT_EQ(SineFrequencyBytes(5), (std::array<std::uint8_t, 3>{0, 19, 70}));
    EXPECT_EQ(SineFrequencyBytes(30000), (std::array<std::uint8_t, 3>{78, 232, 20}));
    EXPECT_DOUBLE_EQ(SineGridFrequency(0), 19.7);
    EXPECT_DOUBLE_EQ(SineGridFrequency(359), 20200);
}

// A link that takes every frame at once (no port: each fails as soon as it is queued), so that
// a sweep of hundreds of ticks can tell the ticks that send from those that do not.
struct SweepRig {
    AppState state;
    Link link{state.link};
    SineGenerator generator{state, link};

    SweepRig()
    {
        state.link.sendEnabled.store(1);
        state.link.linkActive = kYes;
    }

    // One tick: the index it left and whether it sent.
    std::pair<int, bool> tick()
    {
        EXPECT_TRUE(link.WaitForIdle(5000));
        QSignalSpy sent(&generator, &SineGenerator::frequencySent);
        generator.SweepTick();
        EXPECT_EQ(generator.sliderPosition(), generator.sweepIndex());
        return {generator.sweepIndex(), sent.size() == 1};
    }
};

TEST(SineGenerator, SweepAtSpeedOneRunsUpToTheTopAndTurnsWithoutSendingAtBothEnds)
{
    SweepRig rig;
    ASSERT_EQ(rig.generator.sweepIndex(), 20);
    ASSERT_EQ(rig.generator.sweepStep(), 1);
    for (int expected = 21; expected <= 359; ++expected)
        ASSERT_EQ(rig.tick(), std::make_pair(expected, true)) << "upwards to " << expected;
    EXPECT_EQ(rig.tick(), std::make_pair(358, false));  // turns back
    EXPECT_TRUE(rig.generator.sweepingDown());
    for (int expected = 357; expected >= 1; --expected)
        ASSERT_EQ(rig.tick(), std::make_pair(expected, true)) << "downwards to " << expected;
    // The tick that would reach 0 turns back without moving; the next goes up again.
    EXPECT_EQ(rig.tick(), std::make_pair(1, false));
    EXPECT_FALSE(rig.generator.sweepingDown());
    EXPECT_EQ(rig.tick(), std::make_pair(2, true));
}

TEST(SineGenerator, SweepAtSpeedFiftyIsLimitedToTheTopAndTurnsBackByFifty)
{
    SweepRig rig;
    rig.generator.CommitIndex(340);
    rig.generator.SetSweepStep(50);
    EXPECT_EQ(rig.tick(), std::make_pair(359, true));
    EXPECT_EQ(rig.state.link.outFrame.command, 0);
    EXPECT_EQ(rig.state.link.outFrame.data[0], 78);  // 20200 Hz
    EXPECT_EQ(rig.tick(), std::make_pair(309, false));
    // A turning tick still leaves its frequency in the frame.
    const auto bytes = SineFrequencyBytes(SineGridFrequency(309));
    EXPECT_EQ(rig.state.link.outFrame.data[1], bytes[1]);
}

TEST(SineGenerator, ScanSpeedIsLimitedToOneToFifty)
{
    SweepRig rig;
    for (auto [given, kept] : {std::pair{0, 1}, {51, 50}, {7, 7}, {-3, 1}}) {
        rig.generator.SetSweepStep(given);
        EXPECT_EQ(rig.generator.sweepStep(), kept) << given;
    }
}

TEST(SineGenerator, AutoSweepsOnTheTimerUpTheGrid)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.AutoClicked();
    EXPECT_FALSE(rig.generator.autoEnabled());
    EXPECT_TRUE(rig.generator.pauseEnabled());
    EXPECT_TRUE(rig.generator.stopEnabled());
    EXPECT_TRUE(rig.generator.sweepRunning());
    for (int i = 0; i < 400 && rig.generator.sweepIndex() < 60; ++i)
        rig.link.WaitPumping(kSweepTickMs);
    rig.generator.Closed();
    EXPECT_FALSE(rig.generator.sweepRunning());
    EXPECT_GE(rig.generator.sweepIndex(), 60);
    const std::vector<Sent> frames = FrequencyFrames(rig.finish());
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.front(), FrequencyFrame(21));
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_GT(frames[i].data, frames[i - 1].data) << "frame " << i;
}

TEST(SineGenerator, SweepTickDropsItsFrequencyWhileAFrameIsPending)
{
    TestRig rig;
    QSignalSpy sent(&rig.generator, &SineGenerator::frequencySent);
    rig.generator.SweepTick();
    rig.generator.SweepTick();  // the first is still on the wire
    EXPECT_EQ(rig.generator.sweepIndex(), 22);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_DOUBLE_EQ(sent.at(0).at(0).toDouble(), SineGridFrequency(21));
    EXPECT_EQ(FrequencyFrames(rig.finish()), (std::vector<Sent>{FrequencyFrame(21)}));
}

TEST(SineGenerator, StopSendsTheLowestFrequencyAndLeavesTheSliderAtTheLeftEnd)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.CommitIndex(150);
    rig.idle();
    rig.generator.AutoClicked();
    rig.link.WaitPumping(5 * kSweepTickMs);
    rig.generator.StopClicked();
    EXPECT_FALSE(rig.generator.sweepRunning());
    EXPECT_EQ(rig.generator.sliderPosition(), 0);
    EXPECT_EQ(rig.generator.sweepIndex(), 0);
    EXPECT_TRUE(rig.generator.autoEnabled());
    EXPECT_FALSE(rig.generator.pauseEnabled());
    EXPECT_FALSE(rig.generator.stopEnabled());
    EXPECT_EQ(rig.generator.frequencyText(), QStringLiteral("19.7Hz"));
    const std::vector<Sent> frames = FrequencyFrames(rig.finish());
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), (Sent{0, {0, 19, 70}}));
    EXPECT_DOUBLE_EQ(rig.amplifier().sineFrequencyHz(), 19.7);
}

TEST(SineGenerator, ALostPortStopsTheSweepAndShowsItStopped)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.AutoClicked();
    rig.link.WaitPumping(4 * kSweepTickMs);
    ASSERT_TRUE(rig.generator.sweepRunning());
    rig.line.hangUp();
    ASSERT_TRUE(rig.link.WaitUntil([&rig] { return rig.link.PortLost(); }, 5000));
    EXPECT_FALSE(rig.generator.sweepRunning());
    EXPECT_TRUE(rig.generator.autoEnabled());
    EXPECT_FALSE(rig.generator.pauseEnabled());
    EXPECT_FALSE(rig.generator.stopEnabled());
    // The slider and the frequency stay where the sweep stood.
    const int held = rig.generator.sliderPosition();
    const QString shown = rig.generator.frequencyText();
    rig.link.WaitPumping(5 * kSweepTickMs);
    EXPECT_EQ(rig.generator.sliderPosition(), held);
    EXPECT_EQ(rig.generator.sweepIndex(), held);
    EXPECT_EQ(rig.generator.frequencyText(), shown);
}

TEST(SineGenerator, PauseHoldsAndResumesTheSweepSendingWhereItStands)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.AutoClicked();
    rig.link.WaitPumping(6 * kSweepTickMs);
    QSignalSpy sent(&rig.generator, &SineGenerator::frequencySent);
    rig.generator.PauseClicked();  // sent even while a sweep frame is on the wire
    EXPECT_FALSE(rig.generator.sweepRunning());
    EXPECT_TRUE(rig.generator.stopEnabled());
    const int held = rig.generator.sweepIndex();
    EXPECT_GT(held, 20);
    EXPECT_EQ(rig.generator.sliderPosition(), held);
    rig.link.WaitPumping(4 * kSweepTickMs);
    EXPECT_EQ(rig.generator.sweepIndex(), held);
    rig.idle();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_DOUBLE_EQ(sent.at(0).at(0).toDouble(), SineGridFrequency(held));
    sent.clear();
    rig.generator.PauseClicked();
    EXPECT_TRUE(rig.generator.sweepRunning());
    ASSERT_GE(sent.size(), 1);
    EXPECT_DOUBLE_EQ(sent.at(0).at(0).toDouble(), SineGridFrequency(held));
    rig.generator.Closed();
    rig.finish();
}

TEST(SineGenerator, TypedFrequencyMovesTheSliderToTheNextGridFrequencyAndSendsIt)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.FrequencyEntered(QStringLiteral("1k"));
    EXPECT_EQ(rig.generator.sliderPosition(), 203);
    EXPECT_EQ(rig.generator.sweepIndex(), 203);
    EXPECT_EQ(rig.generator.frequencyText(), FormatFrequency(1000));
    rig.idle();
    // Between two grid frequencies: the next one up. Below the grid: its bottom.
    rig.generator.FrequencyEntered(QStringLiteral("1001"));
    EXPECT_EQ(rig.generator.sliderPosition(), 204);
    rig.idle();
    rig.generator.FrequencyEntered(QStringLiteral("3 Hz"));
    EXPECT_EQ(rig.generator.sliderPosition(), 0);
    rig.idle();
    rig.generator.FrequencyEntered(QStringLiteral("99k"));
    EXPECT_EQ(rig.generator.sliderPosition(), 359);
    const std::vector<Sent> frames = FrequencyFrames(rig.finish());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], (Sent{0, {3, 232, 0}}));
    EXPECT_EQ(frames[2], (Sent{0, {0, 19, 70}}));
    EXPECT_EQ(frames[3], (Sent{0, {78, 232, 0}}));
}

TEST(SineGenerator, TextThatIsNoNumberChangesNothingButTheField)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.CommitIndex(100);
    rig.idle();
    QSignalSpy texts(&rig.generator, &SineGenerator::frequencyTextChanged);
    rig.generator.FrequencyEntered(QStringLiteral("loud"));
    EXPECT_EQ(rig.generator.sliderPosition(), 100);
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.last().at(0).toString(), FormatFrequency(SineGridFrequency(100)));
    // Only the commit went out.
    EXPECT_EQ(FrequencyFrames(rig.finish()).size(), 1u);
}

TEST(SineGenerator, SliderMovesStopTheSweepAndSendTheirFrequency)
{
    TestRig rig;
    rig.generator.Shown();
    rig.generator.AutoClicked();
    rig.link.WaitPumping(3 * kSweepTickMs);
    rig.generator.SliderClicked();
    EXPECT_FALSE(rig.generator.sweepRunning());
    rig.idle();
    rig.generator.SliderMoved(203);
    EXPECT_FALSE(rig.generator.sweepRunning());
    EXPECT_TRUE(rig.generator.autoEnabled());
    EXPECT_FALSE(rig.generator.pauseEnabled());
    EXPECT_FALSE(rig.generator.stopEnabled());
    EXPECT_EQ(rig.generator.sweepIndex(), 203);
    // While that frame is on the wire a further move is dropped; the end of the movement is not.
    rig.generator.SliderMoved(210);
    rig.generator.SliderMoveFinished();
    EXPECT_EQ(rig.generator.sendCountdown(), 1);
    rig.idle();
    rig.generator.SliderMouseReleased();
    const auto at210 = SineFrequencyBytes(SineGridFrequency(210));
    const Sent f210{0, {at210[0], at210[1], at210[2]}};
    const std::vector<Sent> frames = FrequencyFrames(rig.finish());
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[frames.size() - 3], (Sent{0, {3, 232, 0}}));
    EXPECT_EQ(frames[frames.size() - 2], f210);
    EXPECT_EQ(frames.back(), f210);
}

TEST(SineGenerator, OpensOnlyInSineTestMode)
{
    TestRig rig;
    rig.state.link.linkActive = 0;
    EXPECT_FALSE(rig.generator.CanOpen());
    rig.tests.EnterTestMode(kTestModeNoise);
    EXPECT_FALSE(rig.generator.CanOpen());  // the "Noise" button opens nothing
    rig.tests.EnterTestMode(kTestModeSine);
    EXPECT_TRUE(rig.generator.CanOpen());
}

TEST(SineGenerator, ShowingResetsTheButtonsAndForcedSends)
{
    TestRig rig;
    rig.generator.SliderMoveFinished();  // leaves one forced send
    rig.generator.AutoClicked();
    rig.generator.Closed();
    rig.generator.Shown();
    EXPECT_EQ(rig.generator.sendCountdown(), 0);
    EXPECT_TRUE(rig.generator.autoEnabled());
    EXPECT_FALSE(rig.generator.pauseEnabled());
    EXPECT_FALSE(rig.generator.stopEnabled());
    EXPECT_FALSE(rig.generator.sweepRunning());
}

}  // namespace
}  // namespace talvo::testing
