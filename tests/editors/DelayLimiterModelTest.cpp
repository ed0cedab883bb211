// The delay and limiter editors against a simulated amplifier: frames, send operations, the
// resends after a movement, units, and the limiter switch.

#include <gtest/gtest.h>

#include "EditorRig.h"

namespace talvo::testing {
namespace {

TEST(DelayModel, PositionsSendWholeMsAndHundredths)
{
    EditorRig rig;
    for (int ch : {kLeftChannel, kRightChannel}) {
        DelayModel &delay = rig.delay(ch);
        for (int position : {700, 5, 350, 0}) {
            delay.PositionChanged(position);
            rig.idle();
        }
    }
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{60, {7, 0}}, {60, {0, 5}}, {60, {3, 50}}, {60, {0, 0}},
                                               {156, {7, 0}}, {156, {0, 5}}, {156, {3, 50}}, {156, {0, 0}}}));
}

TEST(DelayModel, MouseReleaseQueuesWhatMovesDrop)
{
    EditorRig rig;
    DelayModel &left = rig.delay(kLeftChannel);
    left.SliderPressed();
    left.PositionChanged(100);  // goes out
    left.PositionChanged(200);  // dropped: the first is still on the wire
    left.SliderReleased();      // queued whatever is pending
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{60, {1, 0}}, {60, {2, 0}}}));
}

// A keyboard movement: position changes and the finish, then the timer's two resends; the
// finish itself sends nothing and no frame is queued with SendCommand. Ticks by hand, each on
// an idle bus.
TEST(DelayModel, KeyboardMoveResendsOnTwoTicks)
{
    EditorRig rig;
    DelayModel &left = rig.delay(kLeftChannel);
    left.timer().stop();
    left.Shown();
    left.PositionChanged(1);
    left.PositionChanged(2);  // dropped: the first is on the wire
    left.PositionChangeFinished();
    for (int tick = 0; tick < 4; ++tick) {
        rig.idle();
        left.TimerTick();
    }
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{60, {0, 1}}, {60, {0, 2}}, {60, {0, 2}}}));
}

// The timer runs from the start, without the window being shown.
TEST(DelayModel, OwnTimerDeliversTheResends)
{
    EditorRig rig;
    DelayModel &left = rig.delay(kLeftChannel);
    EXPECT_TRUE(left.timer().isActive());
    left.PositionChanged(350);
    left.PositionChangeFinished();
    ASSERT_TRUE(rig.link.WaitUntil([&] { return left.drag().resendCount == 0; }, 5000));
    const std::vector<Sent> sent = rig.finish();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (Sent{60, {3, 50}}));
}

TEST(DelayModel, UnitChangesShowButNeverSend)
{
    EditorRig rig;
    DelayModel &right = rig.delay(kRightChannel);
    right.Apply(700);
    std::vector<QString> texts;
    QObject::connect(&right, &DelayModel::valueTextChanged, [&](const QString &t) { texts.push_back(t); });
    right.UnitSelected(DelayUnit::Meter);
    EXPECT_EQ(right.unitSuffix(), QStringLiteral("M"));
    EXPECT_EQ(right.editMaximum(), 2.401);
    right.UnitSelected(DelayUnit::Feet);
    right.UnitSelected(DelayUnit::Millisecond);
    EXPECT_EQ(texts, (std::vector<QString>{"2.40M", "7.88FT", "7.00MS"}));
    EXPECT_TRUE(rig.finish().empty());
}

TEST(DelayModel, TypedMetersMoveTheSliderToTheNextWholePosition)
{
    EditorRig rig;
    DelayModel &left = rig.delay(kLeftChannel);
    left.UnitSelected(DelayUnit::Meter);
    left.ValueEntered(1);
    EXPECT_EQ(left.position(), 292);
    EXPECT_EQ(left.valueText(), QStringLiteral("1.00M"));
    left.ValueEntered(9);  // past the end
    EXPECT_EQ(left.position(), kDelaySliderMax);
    EXPECT_EQ(rig.finish().front(), (Sent{60, {2, 92}}));
}

TEST(LimiterModel, SwitchSendsThresholdOrOff)
{
    EditorRig rig;
    for (int ch : {kLeftChannel, kRightChannel}) {
        LimiterModel &limiter = rig.limiter(ch);
        ASSERT_TRUE(limiter.limiterOff());
        limiter.Apply(kLimiterOffByte, 0, 10, 10);
        limiter.OnClicked();  // on at the threshold slider's position 0
        EXPECT_TRUE(limiter.thresholdEnabled());
        EXPECT_TRUE(limiter.lampLit());
        rig.idle();
        limiter.PositionChanged(LimiterParameter::Threshold, 41);
        EXPECT_EQ(limiter.valueText(LimiterParameter::Threshold), QStringLiteral("0dB"));
        rig.idle();
        limiter.OnClicked();  // off
        EXPECT_FALSE(limiter.thresholdEnabled());
        EXPECT_FALSE(limiter.lampLit());
        limiter.OnClicked();  // on again at 41
    }
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{61, {0}}, {61, {41}}, {61, {65}}, {61, {41}},
                                               {157, {0}}, {157, {41}}, {157, {65}}, {157, {41}}}));
}

// Switching the limiter off replaces the threshold the timer would still resend: a resend
// after it would switch the limiter on again while the editor shows it off.
TEST(LimiterModel, SwitchingOffEndsTheResendsOfTheThreshold)
{
    EditorRig rig;
    for (int ch : {kLeftChannel, kRightChannel}) {
        LimiterModel &limiter = rig.limiter(ch);
        limiter.timer().stop();
        limiter.Shown();
        limiter.Apply(0, 0, 10, 10);  // on at threshold position 0
        limiter.SliderPressed(LimiterParameter::Threshold);
        limiter.PositionChanged(LimiterParameter::Threshold, 30);
        rig.idle();
        limiter.SliderReleased(LimiterParameter::Threshold);
        limiter.PositionChangeFinished(LimiterParameter::Threshold);
        rig.idle();
        limiter.OnClicked();  // off
        for (int tick = 0; tick < 3; ++tick) {
            rig.idle();
            limiter.TimerTick();
        }
        rig.idle();
    }
    // The move and the release, then the limiter off and nothing after it.
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{61, {30}}, {61, {30}}, {61, {65}}, {157, {30}}, {157, {30}}, {157, {65}}}));
}

TEST(LimiterModel, ParametersSendSixteenBitValues)
{
    EditorRig rig;
    LimiterModel &left = rig.limiter(kLeftChannel);
    ASSERT_TRUE(left.limiterOff());  // hold, attack and decay still go out
    left.PositionChanged(LimiterParameter::Attack, 1000);
    rig.idle();
    left.PositionChanged(LimiterParameter::Hold, 5);
    rig.idle();
    left.PositionChanged(LimiterParameter::Hold, 0);
    rig.idle();
    left.PositionChanged(LimiterParameter::Decay, 300);
    rig.idle();
    rig.limiter(kRightChannel).PositionChanged(LimiterParameter::Attack, 20);
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{94, {3, 232}}, {96, {0, 5}}, {96, {0, 0}}, {97, {1, 44}}, {190, {0, 20}}}));
}

TEST(LimiterModel, ThresholdTakesNothingWhileOff)
{
    EditorRig rig;
    LimiterModel &left = rig.limiter(kLeftChannel);
    left.PositionChanged(LimiterParameter::Threshold, 30);
    left.ValueEntered(LimiterParameter::Threshold, -10);
    EXPECT_EQ(left.value(LimiterParameter::Threshold), 0);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(LimiterModel, TypedValuesMoveTheirSliders)
{
    EditorRig rig;
    LimiterModel &left = rig.limiter(kLeftChannel);
    left.Apply(41, 0, 10, 10);
    left.ValueEntered(LimiterParameter::Threshold, -10);
    EXPECT_EQ(left.value(LimiterParameter::Threshold), 31);
    left.ValueEntered(LimiterParameter::Attack, 5000);
    EXPECT_EQ(left.value(LimiterParameter::Attack), 1000);
    left.ValueEntered(LimiterParameter::Hold, 2.5);
    EXPECT_EQ(left.value(LimiterParameter::Hold), 3);
    EXPECT_EQ(rig.finish().front(), (Sent{61, {31}}));
}

// Each slider keeps its own resends: the release sends, then the next two ticks.
TEST(LimiterModel, ReleaseAndTwoTicksPerSlider)
{
    EditorRig rig;
    LimiterModel &left = rig.limiter(kLeftChannel);
    left.timer().stop();
    left.Shown();
    left.SliderPressed(LimiterParameter::Hold);
    left.PositionChanged(LimiterParameter::Hold, 50);
    rig.idle();
    left.TimerTick();  // held: the tick sends
    rig.idle();
    left.SliderReleased(LimiterParameter::Hold);
    left.PositionChangeFinished(LimiterParameter::Hold);
    for (int tick = 0; tick < 4; ++tick) {
        rig.idle();
        left.TimerTick();
    }
    // The move, the held tick, the release, two resends.
    EXPECT_EQ(rig.finish(), std::vector<Sent>(5, Sent{96, {0, 50}}));
}

}  // namespace
}  // namespace talvo::testing
