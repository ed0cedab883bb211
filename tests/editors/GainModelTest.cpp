// The gain and mute editors against a simulated amplifier: which frame each event sends,
// the test-state command codes, and the timer's resends after a drag.

#include <ostream>

#include <gtest/gtest.h>

#include "EditorRig.h"

namespace talvo::testing {
namespace {

// Unmuted at a position, as applying a program leaves an editor.
void Unmute(GainModel &gain, int position)
{
    gain.Apply(position, false);
}

TEST(GainModel, SliderMovesSendTheGainEncoding)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, 0);
    for (int position : {-125, -5, 60}) {
        left.PositionChanged(position);
        EXPECT_EQ(left.valueText(), GainText(position));
        rig.idle();
    }
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{2, {12, 50, 85}}, {2, {0, 50, 85}}, {2, {6, 0, 170}}}));
}

struct MuteCase {
    const char *name;
    int channel;
    int testMode;
    int command;
};

// Test lists show the case's name.
void PrintTo(const MuteCase &c, std::ostream *os)
{
    *os << c.name;
}

class GainMute : public ::testing::TestWithParam<MuteCase> {};

TEST_P(GainMute, UsesTheGainCodeOfTheTestState)
{
    const MuteCase &c = GetParam();
    EditorRig rig;
    GainModel &gain = rig.gain(c.channel);
    Unmute(gain, -200);
    rig.state.testMode = c.testMode;
    gain.MuteClicked();
    EXPECT_TRUE(gain.muted());
    EXPECT_TRUE(gain.lampLit());
    EXPECT_FALSE(gain.sliderEnabled());
    EXPECT_FALSE(gain.editEnabled());
    gain.MuteClicked();
    EXPECT_FALSE(gain.muted());
    EXPECT_FALSE(gain.lampLit());
    EXPECT_TRUE(gain.sliderEnabled());
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{c.command, {100, 0, 85}}, {c.command, {20, 0, 85}}}));
}

INSTANTIATE_TEST_SUITE_P(States, GainMute,
                         ::testing::Values(MuteCase{"LeftNoTest", kLeftChannel, kTestModeNone, 2},
                                           MuteCase{"RightNoTest", kRightChannel, kTestModeNone, 98},
                                           MuteCase{"LeftNoise", kLeftChannel, kTestModeNoise, 3},
                                           MuteCase{"RightNoise", kRightChannel, kTestModeNoise, 99},
                                           MuteCase{"LeftSine", kLeftChannel, kTestModeSine, 4},
                                           MuteCase{"RightSine", kRightChannel, kTestModeSine, 100}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(GainModel, MuteGoesOutEvenWhileAFrameIsPending)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, 0);
    left.PositionChanged(-10);  // on the wire for a while
    left.MuteClicked();
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{2, {1, 0, 85}}, {2, {100, 0, 85}}}));
}

TEST(GainModel, UnmuteSendsTheSliderAsItIsNow)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, -100);
    left.MuteClicked();
    rig.idle();
    // During a sine test the slider works while the channel stays muted; the test ends.
    rig.state.testMode = kTestModeSine;
    left.PrepareOpen();
    EXPECT_TRUE(left.sliderEnabled());
    EXPECT_FALSE(left.muteButtonEnabled());
    EXPECT_FALSE(left.lampLit());
    EXPECT_TRUE(left.muted());
    left.PositionChanged(-30);
    rig.idle();
    rig.state.testMode = kTestModeNone;
    left.PrepareOpen();
    EXPECT_TRUE(left.muteButtonEnabled());
    left.MuteClicked();
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{2, {100, 0, 85}}, {4, {3, 0, 85}}, {2, {3, 0, 85}}}));
}

TEST(GainModel, MutedSliderAndBoxTakeNothing)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    ASSERT_TRUE(left.muted());
    left.PositionChanged(-100);
    left.ValueEntered(3.5);
    left.PositionChangeFinished();
    EXPECT_EQ(left.position(), kGainSliderMin);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(GainModel, TypedValueMovesTheSlider)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, 0);
    left.ValueEntered(3.5);
    EXPECT_EQ(left.position(), 35);
    EXPECT_EQ(left.valueText(), QStringLiteral("3.5dB"));
    left.ValueEntered(-99);  // beyond the bottom: the slider's end
    EXPECT_EQ(left.position(), kGainSliderMin);
    EXPECT_EQ(rig.finish().front(), (Sent{2, {3, 50, 170}}));
}

struct ResendCase {
    const char *name;
    int channel;
    int sends;  // the release's own send and the timer's resends
};

// Test lists show the case's name.
void PrintTo(const ResendCase &c, std::ostream *os)
{
    *os << c.name;
}

class GainResends : public ::testing::TestWithParam<ResendCase> {};

// Ticks driven by hand, each on an idle bus, so that no resend is dropped for a pending frame.
TEST_P(GainResends, AfterADragOnAnIdleBus)
{
    const ResendCase &c = GetParam();
    EditorRig rig;
    GainModel &gain = rig.gain(c.channel);
    Unmute(gain, 0);
    gain.SliderPressed();
    gain.PositionChanged(-20);
    rig.idle();
    gain.TimerTick();  // held: the tick sends too
    rig.idle();
    gain.SliderReleased();
    gain.PositionChangeFinished();
    for (int tick = 0; tick < 6; ++tick) {
        rig.idle();
        gain.TimerTick();
    }
    const std::vector<Sent> sent = rig.finish();
    const Sent value{GainTraits(c.channel).normalCommand, {2, 0, 85}};
    // The move, the held tick, then the final value.
    EXPECT_EQ(sent, std::vector<Sent>(2 + static_cast<std::size_t>(c.sends), value));
}

INSTANTIATE_TEST_SUITE_P(Channels, GainResends,
                         ::testing::Values(ResendCase{"LeftThreeTimes", kLeftChannel, 3},
                                           ResendCase{"RightFourTimes", kRightChannel, 4}),
                         [](const auto &info) { return std::string(info.param.name); });

// A drag faster than the bus: most positions are dropped, but the editor's own timer resends
// until the last one has reached the amplifier.
TEST(GainModel, LastPositionOfAFastDragReachesTheAmplifier)
{
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(SideName(ch));
        EditorRig rig(2);
        GainModel &gain = rig.gain(ch);
        Unmute(gain, 0);
        gain.Shown();
        gain.SliderPressed();
        for (int position = -1; position >= -40; --position) {
            gain.PositionChanged(position);
            rig.link.WaitPumping(16);
        }
        gain.SliderReleased();
        gain.PositionChangeFinished();
        // Past the last resend tick.
        rig.link.WaitPumping(5 * GainTraits(ch).timerIntervalMs);
        gain.Closed();
        EXPECT_FALSE(gain.timerActive());
        const std::vector<Sent> sent = rig.finish();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), (Sent{GainTraits(ch).normalCommand, {4, 0, 85}}));
        EXPECT_LT(sent.size(), 40u);  // dropped while busy, not queued
    }
}

// MUTE replaces the value the timer would still resend: a resend after it would unmute the
// amplifier while the editor shows it muted.
TEST(GainModel, MuteEndsTheResendsOfTheDraggedValue)
{
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(SideName(ch));
        EditorRig rig;
        GainModel &gain = rig.gain(ch);
        Unmute(gain, 0);
        gain.SliderPressed();
        gain.PositionChanged(-100);
        rig.idle();
        gain.SliderReleased();
        gain.PositionChangeFinished();
        rig.idle();
        gain.MuteClicked();
        for (int tick = 0; tick < 4; ++tick) {
            rig.idle();
            gain.TimerTick();
        }
        const int command = GainTraits(ch).normalCommand;
        // The move and the end of the drag, then the mute and nothing after it.
        EXPECT_EQ(rig.finish(), (std::vector<Sent>{{command, {10, 0, 85}}, {command, {10, 0, 85}}, {command, {100, 0, 85}}}));
        EXPECT_EQ(rig.amplifier().liveGains()[3 * static_cast<std::size_t>(ch)], 100) << "the amplifier stays muted";
    }
}

TEST(GainModel, ClosedWindowEndsAHeldDragOnTheNextTick)
{
    EditorRig rig;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, 0);
    left.Shown();
    left.SliderPressed();
    left.Closed();
    left.TimerTick();  // still held: sends once, then lets go
    EXPECT_FALSE(left.drag().dragging);
    rig.idle();
    left.TimerTick();
    EXPECT_EQ(rig.finish().size(), 1u);
}

TEST(GainModel, NothingGoesOutWhileOfflineButTheValueShows)
{
    EditorRig rig;
    rig.state.link.linkActive = 0;
    GainModel &left = rig.gain(kLeftChannel);
    Unmute(left, 0);
    left.PositionChanged(-125);
    left.MuteClicked();
    EXPECT_EQ(left.valueText(), QStringLiteral("-12.5dB"));
    EXPECT_TRUE(rig.finish().empty());
}

}  // namespace
}  // namespace talvo::testing
