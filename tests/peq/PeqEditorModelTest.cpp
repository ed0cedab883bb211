// The PEQ editor model against a simulated amplifier: the band frames of drags, typed values,
// sliders, FLAT and Reset, what the refresh does to the values, and the pacing of a drag.

#include <gtest/gtest.h>

#include "editors/FrequencyText.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotLayout.h"
#include "tests/editors/EditorRig.h"

namespace talvo::testing {
namespace {

// The one PEQ editor on the rig's link, opened on a channel as its block opens it, with the
// timers stopped so that the tests tick by hand.
struct PeqRig : EditorRig {
    // Twice real time: a sender stalled by a busy machine still delivers whole frames.
    explicit PeqRig(double speed = 2) : EditorRig(speed) {}
    PeqEditorModel peq{state, link};

    void open(int channel)
    {
        peq.Open(channel);
        peq.Shown();
        peq.repaintTimer().stop();
        peq.tickTimer().stop();
    }
    // Only the PEQ frames (band and reset commands of both channels).
    std::vector<Sent> peqFrames()
    {
        std::vector<Sent> out;
        for (const Sent &s : finish())
            if ((s.command >= 5 && s.command <= 15) || (s.command >= 101 && s.command <= 111))
                out.push_back(s);
        return out;
    }
};

constexpr int kPlus = 0xAA;
constexpr int kMinus = 0x55;

TEST(PeqEditor, RightBandTwoFromTheMarkerWithTheDragsGainRequantised)
{
    PeqRig rig;
    rig.state.peq.rightBands[1] = {1560.0, -3.5, 3.0};
    rig.open(kRightChannel);
    EXPECT_EQ(rig.peq.caption(), QStringLiteral("RIGHT PEQ"));

    // Pressed and let go on the marker (column 226, row 90): the band goes out as it is.
    ASSERT_EQ(rig.peq.PickBandAt(226, GainToRow(-3.5)), 2);
    rig.peq.PlotPressed(226, GainToRow(-3.5));
    rig.peq.PlotReleased();
    rig.idle();
    // Dragged to y = 104: -3.45 dB, which the refresh makes -3.4 before it is sent.
    rig.peq.PlotPressed(226, GainToRow(-3.5));
    rig.peq.PlotMoved(226, 104);
    EXPECT_DOUBLE_EQ(rig.peq.bands()[1].gain, -3.4);
    rig.idle();
    rig.peq.PlotReleased();
    rig.peq.Closed();

    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{106, {6, 24, 0, 3, 50, kMinus, 3, 0}},
                                                   {106, {6, 24, 0, 3, 40, kMinus, 3, 0}},
                                                   {106, {6, 24, 0, 3, 40, kMinus, 3, 0}}}));
    EXPECT_EQ(rig.state.peq.rightBands[1], (PeqBand{1560.0, -3.4, 3.0}));
    EXPECT_EQ(rig.state.peq.leftBands, kDefaultBands);
    EXPECT_EQ(rig.peq.selectorPosition(), 2);
}

TEST(PeqEditor, DragSendsOnlyWhileNothingIsPendingAndTheReleaseSendsTheLastValue)
{
    PeqRig rig(1.0);  // a frame stays pending for 340 ms: far longer than the burst below
    rig.open(kLeftChannel);
    const int x = FreqToColumn(270.0);
    rig.peq.PlotPressed(x, GainToRow(0.0));
    // A burst of moves faster than a frame takes: the first goes out, the others find it
    // pending and send nothing.
    for (int y = 70; y >= 50; --y)
        rig.peq.PlotMoved(x + (70 - y), y);
    rig.peq.PlotReleased();
    const PeqBand last = rig.peq.bands()[1];
    EXPECT_DOUBLE_EQ(last.gain, 4.7);  // (81 - 50) x 0.15 = 4.65, requantised
    const auto frames = rig.peqFrames();
    ASSERT_EQ(frames.size(), 2u);
    // The first move: y 70 is +1.65 dB.
    EXPECT_EQ(frames.front(), (Sent{10, {1, 14, 0, 1, 70, kPlus, 3, 0}}));
    const auto bytes = PeqBandBytes(last);
    EXPECT_EQ(frames.back(), (Sent{10, std::vector<int>(bytes.begin(), bytes.end())}));
    EXPECT_EQ(DecodeProgram(rig.amplifier().liveProgram()).left.peq[1], last);
}

TEST(PeqEditor, PressedMarkerOfAFlatBandDragsNothingAndGivesTheSelectionBack)
{
    PeqRig rig;
    rig.state.peq.flatLeft[2] = true;
    rig.open(kLeftChannel);
    rig.peq.BandSelectorChanged(1);
    const int x = FreqToColumn(1560.0);
    rig.peq.PlotPressed(x, GainToRow(0.0));
    EXPECT_EQ(rig.peq.selectedBand(), kPeqPressedFlatBand);
    rig.peq.PlotMoved(x + 20, 40);
    EXPECT_EQ(rig.peq.bands()[2], kDefaultBands[2]);
    rig.peq.PlotReleased();
    EXPECT_EQ(rig.peq.selectedBand(), 1);
    EXPECT_EQ(rig.peq.plotDragging(), 0);
    // Pressed where no marker is: nothing picked, the selection comes back the same way.
    rig.peq.PlotPressed(300, 140);
    EXPECT_EQ(rig.peq.selectedBand(), kPeqPressedNoBand);
    rig.peq.PlotReleased();
    EXPECT_EQ(rig.peq.selectedBand(), 1);
    EXPECT_TRUE(rig.peqFrames().empty());
}

TEST(PeqEditor, FlatOnSendsTheFlatFrameAndOffTheRealBand)
{
    PeqRig rig;
    rig.state.peq.leftBands[0] = {30.1, 4.5, 2.0};
    rig.open(kLeftChannel);
    rig.peq.FlatClicked(1, true);
    EXPECT_TRUE(rig.state.peq.flatLeft[0]);
    EXPECT_FALSE(rig.peq.slidersEnabled());
    EXPECT_FALSE(rig.peq.rowEnabled(1));
    // No response, but the marker stays where the band is.
    EXPECT_EQ(rig.peq.curve()[static_cast<std::size_t>(FreqToColumn(30.1))], kPeqCurveZeroRow);
    EXPECT_EQ(rig.peq.PickBandAt(FreqToColumn(30.1), GainToRow(4.5)), 1);
    rig.peq.FlatClicked(1, false);
    EXPECT_TRUE(rig.peq.slidersEnabled());
    EXPECT_LT(rig.peq.curve()[static_cast<std::size_t>(FreqToColumn(30.1))], kPeqCurveZeroRow);
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{5, {0, 30, 10, 0, 0, 0, 2, 0}}, {5, {0, 30, 10, 4, 50, kPlus, 2, 0}}}));
}

TEST(PeqEditor, ACountdownSendAfterFlatIsTickedKeepsTheBandFlat)
{
    PeqRig rig;
    rig.open(kLeftChannel);
    rig.peq.SliderKeyDown(PeqSlider::Gain);
    rig.peq.SliderMoved(PeqSlider::Gain, 180);  // +6 dB
    rig.peq.SliderKeyUp(PeqSlider::Gain);
    rig.peq.SliderMovementFinished(PeqSlider::Gain);
    rig.idle();
    rig.peq.FlatClicked(1, true);
    rig.peq.Tick();  // the countdown's send comes after the tick of the box
    const auto frames = rig.peqFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), (Sent{5, {0, 30, 0, 0, 0, 0, 3, 0}}));
}

TEST(PeqEditor, ResetSendsTheResetCommandAndPutsTheMarkersOnTheZeroLine)
{
    PeqRig rig;
    rig.state.peq.leftBands = {PeqBand{50.6, 6.0, 1.0}, PeqBand{1000.0, -9.0, 20.0}, PeqBand{10100.0, 12.0, 128.0}};
    rig.state.peq.flatLeft[1] = true;
    rig.open(kLeftChannel);
    rig.peq.SendPeqReset();
    EXPECT_EQ(rig.peq.bands(), kDefaultBands);
    EXPECT_TRUE(rig.state.peq.flatLeft[1]) << "the FLAT flags stay";
    for (double freq : {30.0, 270.0, 1560.0})
        EXPECT_NE(rig.peq.PickBandAt(FreqToColumn(freq), kPeqMarkerZeroRow), 0) << freq;
    EXPECT_EQ(rig.peq.rowGainText(3), QStringLiteral("0.00dB"));
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{6, {0}}}));
}

struct TypedCase {
    const char *name;
    const char *text;
    double freq;    // band 3 afterwards
    const char *shown;
};

class PeqTypedFrequency : public ::testing::TestWithParam<TypedCase> {};

TEST_P(PeqTypedFrequency, TableRowTakesTheNextGridFrequency)
{
    const TypedCase &c = GetParam();
    PeqRig rig;
    rig.open(kLeftChannel);
    rig.peq.BandSelectorChanged(1);
    rig.peq.RowFrequencyKeyPressed(3);
    rig.peq.FrequencyEntered(3, QString::fromLatin1(c.text));
    EXPECT_DOUBLE_EQ(rig.peq.bands()[2].freq, c.freq);
    EXPECT_EQ(rig.peq.rowFrequencyText(3), QString::fromLatin1(c.shown));
    EXPECT_EQ(rig.peq.selectedBand(), 3);
    EXPECT_EQ(rig.peq.selectorPosition(), 3);
    EXPECT_EQ(rig.peq.sliderPosition(PeqSlider::Freq), FreqToColumn(c.freq));
    // Read or not, the refresh that ends the entry sends the band.
    const auto frames = rig.peqFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, 15);
}

INSTANTIATE_TEST_SUITE_P(Texts, PeqTypedFrequency,
                         ::testing::Values(TypedCase{"Kilo", "1.2k", 1210.0, "1.21KHz"},
                                           TypedCase{"BelowTen", "5", 19.7, "19.7Hz"},
                                           TypedCase{"AboveTheTop", "25k", 20200.0, "20.2KHz"},
                                           TypedCase{"NotANumber", "abc", 1560.0, "1.56KHz"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct SliderCase {
    const char *name;
    PeqSlider slider;
    int position;
    double freq, gain, q;  // band 1 afterwards
};

class PeqSliderScale : public ::testing::TestWithParam<SliderCase> {};

TEST_P(PeqSliderScale, PositionWritesTheSelectedBand)
{
    const SliderCase &c = GetParam();
    PeqRig rig;
    rig.open(kLeftChannel);
    rig.peq.SliderMouseDown(c.slider);
    rig.peq.SliderMoved(c.slider, c.position);
    EXPECT_EQ(rig.peq.bands()[0], (PeqBand{c.freq, c.gain, c.q}));
    EXPECT_EQ(rig.peq.sliderPosition(c.slider), PeqSliderPosition(c.slider, rig.peq.bands()[0]));
}

INSTANTIATE_TEST_SUITE_P(
    Scales, PeqSliderScale,
    ::testing::Values(SliderCase{"QPositionTwoIsTheLowestQ", PeqSlider::Q, 2, 30.0, 0.0, 0.4},
                      SliderCase{"QPosition35", PeqSlider::Q, 35, 30.0, 0.0, 3.5},
                      SliderCase{"QTop", PeqSlider::Q, 1280, 30.0, 0.0, 128.0},
                      SliderCase{"GainBottom", PeqSlider::Gain, 0, 30.0, -12.0, 3.0},
                      SliderCase{"GainStep", PeqSlider::Gain, 133, 30.0, 1.3, 3.0},
                      SliderCase{"FreqOneKilohertz", PeqSlider::Freq, 203, 1000.0, 0.0, 3.0},
                      SliderCase{"FreqTop", PeqSlider::Freq, 359, 20200.0, 0.0, 3.0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PeqEditor, SliderMovesOnlyWriteWhileTheOperatorWorksIt)
{
    PeqRig rig;
    rig.open(kLeftChannel);
    rig.peq.SliderMoved(PeqSlider::Gain, 200);  // e.g. the wheel: no mouse or key held
    EXPECT_EQ(rig.peq.bands()[0].gain, 0.0);
    rig.peq.SliderKeyDown(PeqSlider::Gain);
    rig.peq.SliderMoved(PeqSlider::Gain, 150);
    rig.peq.SliderKeyUp(PeqSlider::Gain);
    EXPECT_EQ(rig.peq.bands()[0].gain, 3.0);
    rig.idle();
    // The finished movement: the next tick sends once more, the one after does not.
    rig.peq.SliderMovementFinished(PeqSlider::Gain);
    rig.peq.Tick();
    rig.idle();
    rig.peq.Tick();
    EXPECT_EQ(rig.peq.finishCountdown(PeqSlider::Gain), 1);
    const Sent plusThree{5, {0, 30, 0, 3, 0, kPlus, 3, 0}};
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{plusThree, plusThree}));
}

TEST(PeqEditor, TypedGainIsRequantisedBeforeItIsSent)
{
    PeqRig rig;
    rig.open(kLeftChannel);
    rig.peq.GainEntered(2, 1.23);
    EXPECT_DOUBLE_EQ(rig.peq.bands()[1].gain, 1.3);
    EXPECT_EQ(rig.peq.rowGainText(2), QStringLiteral("1.30dB"));
    EXPECT_EQ(rig.peq.selectedGainText(), QStringLiteral("1.30"));
    EXPECT_EQ(rig.peq.sliderPosition(PeqSlider::Gain), 133);
    rig.peq.QEntered(0, 2.96);
    EXPECT_DOUBLE_EQ(rig.peq.bands()[1].q, 3.0);
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{10, {1, 14, 0, 1, 30, kPlus, 3, 0}}, {10, {1, 14, 0, 1, 30, kPlus, 3, 0}}}));
}

// A typed frequency is a finished change: it reaches the amplifier even when another frame
// is still on the line as Enter is pressed (no countdown or release follows to send it later).
TEST(PeqEditor, TypedFrequencyGoesOutWhileAFrameIsPending)
{
    PeqRig rig(1.0);  // a frame stays pending for 340 ms
    rig.open(kLeftChannel);
    rig.peq.GainEntered(1, 2.0);
    ASSERT_GE(rig.state.link.pendingFrames.load(), 1) << "the gain's frame is still on the line";
    rig.peq.FrequencyEntered(1, QStringLiteral("1k"));
    EXPECT_DOUBLE_EQ(rig.peq.bands()[0].freq, 1000.0);
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{5, {0, 30, 0, 2, 0, kPlus, 3, 0}}, {5, {3, 232, 0, 2, 0, kPlus, 3, 0}}}));
}

TEST(PeqEditor, OpeningTheOtherChannelShowsItsFlagsWithoutSendingAndClosingStoresTheBands)
{
    PeqRig rig;
    rig.state.peq.flatRight = {false, true, false};
    rig.state.peq.rightBands[0].gain = -6.0;
    rig.open(kLeftChannel);
    rig.peq.GainEntered(1, 2.0);
    rig.peq.Closed();
    rig.idle();
    rig.open(kRightChannel);
    EXPECT_TRUE(rig.peq.flatBox(2));
    EXPECT_EQ(rig.peq.selectorPosition(), 2);
    EXPECT_FALSE(rig.peq.slidersEnabled());
    EXPECT_EQ(rig.peq.bands()[0].gain, -6.0);
    rig.peq.Closed();
    EXPECT_EQ(rig.state.peq.leftBands[0].gain, 2.0);
    // Only the typed gain went out.
    EXPECT_EQ(rig.peqFrames(), (std::vector<Sent>{{5, {0, 30, 0, 2, 0, kPlus, 3, 0}}}));
}

TEST(PeqEditor, OfflineEditsChangeTheBandsAndSendNothing)
{
    PeqRig rig;
    rig.state.link.linkActive = 0;
    rig.open(kLeftChannel);
    rig.peq.GainEntered(1, -7.5);
    rig.peq.FlatClicked(2, true);
    rig.peq.SendPeqReset();
    rig.peq.GainEntered(3, 4.0);
    rig.peq.Closed();
    EXPECT_EQ(rig.state.peq.leftBands[2].gain, 4.0);
    EXPECT_TRUE(rig.state.peq.flatLeft[1]);
    EXPECT_TRUE(rig.peqFrames().empty());
}

TEST(PeqEditor, RepaintTimerRunsWhileOpenOnTheSharedClock)
{
    PeqRig rig;
    rig.peq.Open(kLeftChannel);
    rig.peq.Shown();
    rig.state.peq.workingBands[0].gain = 1.23;  // as if another handler changed it
    rig.link.WaitPumping(3 * kPeqRepaintMs);
    EXPECT_DOUBLE_EQ(rig.peq.bands()[0].gain, 1.3) << "a repaint ran and requantised";
    rig.peq.Closed();
    EXPECT_FALSE(rig.peq.repaintTimer().isActive());
    EXPECT_FALSE(rig.peq.tickTimer().isActive());
}

}  // namespace
}  // namespace talvo::testing
