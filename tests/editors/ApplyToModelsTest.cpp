// A program applied through the applier shows in every editor model, and nothing but the mode
// steps' frames is sent while applying.

#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "EditorRig.h"

namespace talvo::testing {
namespace {

Program Defaults()
{
    return DecodeProgram(DefaultProgram());
}

void Apply(EditorRig &rig, const Program &program)
{
    rig.state.programBuffer = EncodeProgram(program);
    rig.applier.ApplyProgram();
}

// As every caller of applying does: no sending for the duration.
void ApplyWithSendingOff(EditorRig &rig, const Program &program)
{
    rig.state.link.sendEnabled.store(0);
    Apply(rig, program);
    rig.state.link.sendEnabled.store(1);
}

TEST(ApplyToModels, EveryStageShowsTheRecord)
{
    EditorRig rig(10);
    Program p = Defaults();
    p.mode = 1;
    p.left.gain = -12.5;
    p.right.gain = 3.5;
    p.left.delay = 3.5;
    p.right.delay = 7.0;
    p.left.phase = 180;
    p.left.limitThreshold = 64;
    p.right.limitThreshold = 30;
    p.left.hold = 100;
    p.left.attack = 1000;
    p.left.decay = 500;
    p.right.hold = 7;
    ApplyWithSendingOff(rig, p);

    EXPECT_EQ(rig.state.mode, Mode::Bridge);
    EXPECT_EQ(rig.modes().diagram(), DiagramFor(Mode::Bridge));
    EXPECT_EQ(rig.gain(kLeftChannel).position(), -125);
    EXPECT_FALSE(rig.gain(kLeftChannel).muted());
    EXPECT_TRUE(rig.gain(kLeftChannel).sliderEnabled());
    EXPECT_FALSE(rig.gain(kLeftChannel).lampLit());
    EXPECT_EQ(rig.gain(kRightChannel).valueText(), QStringLiteral("3.5dB"));
    EXPECT_EQ(rig.delay(kLeftChannel).position(), 350);
    EXPECT_EQ(rig.delay(kRightChannel).position(), 700);
    EXPECT_TRUE(rig.modes().phaseInverted(kLeftChannel));
    EXPECT_FALSE(rig.modes().phaseInverted(kRightChannel));
    const LimiterModel &left = rig.limiter(kLeftChannel);
    EXPECT_FALSE(left.limiterOff());
    EXPECT_EQ(left.value(LimiterParameter::Threshold), 64);
    EXPECT_EQ(left.value(LimiterParameter::Hold), 100);
    EXPECT_EQ(left.value(LimiterParameter::Attack), 1000);
    EXPECT_EQ(left.value(LimiterParameter::Decay), 500);
    EXPECT_EQ(rig.limiter(kRightChannel).value(LimiterParameter::Threshold), 30);
    EXPECT_EQ(rig.limiter(kRightChannel).valueText(LimiterParameter::Threshold), QStringLiteral("-11dB"));
    EXPECT_EQ(rig.limiter(kRightChannel).value(LimiterParameter::Hold), 7);
    EXPECT_TRUE(rig.finish().empty());
}

// A window follows its model's signals: an applied gain must be announced even though the
// applier has already written it into the shared state the model reads.
TEST(ApplyToModels, AnAppliedGainIsAnnouncedToTheWindow)
{
    EditorRig rig(10);
    std::vector<int> shown;
    QObject::connect(&rig.gain(kLeftChannel), &GainModel::positionChanged, [&](int p) { shown.push_back(p); });
    Program p = Defaults();
    p.left.gain = -12.5;
    ApplyWithSendingOff(rig, p);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), -125);
}

TEST(ApplyToModels, DefaultProgramResetsEverything)
{
    EditorRig rig(10);
    Program p = Defaults();
    p.mode = 2;
    p.left.gain = 0;
    p.right.delay = 1.5;
    p.right.phase = 180;
    p.left.limitThreshold = 10;
    p.right.attack = 200;
    ApplyWithSendingOff(rig, p);
    rig.applier.LoadDefaultProgram();

    EXPECT_EQ(rig.state.mode, Mode::Stereo);
    EXPECT_EQ(rig.modes().diagram(), DiagramFor(Mode::Stereo));
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(SideName(ch));
        EXPECT_TRUE(rig.gain(ch).muted());
        EXPECT_EQ(rig.gain(ch).position(), kGainSliderMin);
        EXPECT_FALSE(rig.gain(ch).sliderEnabled());
        EXPECT_FALSE(rig.gain(ch).editEnabled());
        EXPECT_EQ(rig.delay(ch).position(), 0);
        EXPECT_FALSE(rig.modes().phaseInverted(ch));
        EXPECT_TRUE(rig.limiter(ch).limiterOff());
        EXPECT_FALSE(rig.limiter(ch).thresholdEnabled());
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Threshold), 0);
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Attack), 10);
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Hold), 0);
        EXPECT_EQ(rig.limiter(ch).value(LimiterParameter::Decay), 10);
    }
    EXPECT_TRUE(rig.finish().empty());
}

struct EdgeCase {
    const char *name;
    double gain;
    int threshold;
    bool muted;
    int position;
    bool limiterOff;
    int thresholdPosition;
};

// Test lists show the case's name.
void PrintTo(const EdgeCase &c, std::ostream *os)
{
    *os << c.name;
}

class ApplyEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ApplyEdges, GainMuteAndLimiterSwitch)
{
    const EdgeCase &c = GetParam();
    EditorRig rig(10);
    Program p = Defaults();
    p.left.gain = c.gain;
    p.left.limitThreshold = c.threshold;
    ApplyWithSendingOff(rig, p);
    EXPECT_EQ(rig.gain(kLeftChannel).muted(), c.muted);
    EXPECT_EQ(rig.gain(kLeftChannel).position(), c.position);
    EXPECT_EQ(rig.gain(kLeftChannel).sliderEnabled(), !c.muted);
    EXPECT_EQ(rig.limiter(kLeftChannel).limiterOff(), c.limiterOff);
    EXPECT_EQ(rig.limiter(kLeftChannel).value(LimiterParameter::Threshold), c.thresholdPosition);
}

INSTANTIATE_TEST_SUITE_P(Records, ApplyEdges,
                         ::testing::Values(EdgeCase{"GainAtBottomIsNotMuted", -60.0, 64, false, -600, false, 64},
                                           EdgeCase{"GainBelowBottomIsMuted", -60.1, 65, true, -600, true, 0},
                                           EdgeCase{"MutedGainAndOddThreshold", -100.0, 200, true, -600, true, 0},
                                           EdgeCase{"TopGainThresholdZero", 6.0, 0, false, 60, false, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

// Even with sending left on, applying sends only the mode steps' frames: the editors' own
// stages go in without a frame.
TEST(ApplyToModels, OnlyTheModeStepsSend)
{
    EditorRig rig(4);
    Program p = Defaults();
    p.mode = 2;
    p.left.gain = -3;
    p.left.delay = 2;
    p.left.phase = 180;
    p.left.limitThreshold = 40;
    p.left.hold = 20;
    Apply(rig, p);
    const std::vector<Sent> sent = rig.finish();
    ASSERT_FALSE(sent.empty());
    for (const Sent &s : sent)
        EXPECT_TRUE(s == (Sent{198, {100}}) || s == (Sent{195, {2}})) << ::testing::PrintToString(s);
    EXPECT_EQ(sent.back(), (Sent{195, {2}}));
}

}  // namespace
}  // namespace talvo::testing
