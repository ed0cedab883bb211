// The crossover editor against a simulated amplifier: its frames, the limits taken when
// switching filters, typed frequencies, the send tick with its drag housekeeping and the
// three-pending skip, the curve snapshot, and applying a program.

#include <gtest/gtest.h>

#include "EditorRig.h"
#include "editors/CrossoverModel.h"

namespace talvo::testing {
namespace {

constexpr XoverFilter kHigh = XoverFilter::HighPass;
constexpr XoverFilter kLow = XoverFilter::LowPass;

// The editor as the window leaves it after FormShow, with both timers stopped so the test
// ticks by hand.
CrossoverModel &ShownEditor(EditorRig &rig, int channel) {
    CrossoverModel &x = rig.models.crossover(channel);
    x.Shown();
    x.sendTimer().stop();
    x.curveTimer().stop();
    return x;
}

// A view whose cursor the test moves.
struct FakeView {
    CrossoverModel::ViewState state;
    void attach(CrossoverModel &x) {
        x.SetViewProbe([this] { return state; });
    }
    void moveCursor() { state.cursor += QPoint(1, 0); }
};

// Every curve the editor asked to be drawn.
struct Redraws {
    std::vector<CrossoverCurveInput> drawn;
    explicit Redraws(CrossoverModel &x) {
        QObject::connect(&x, &CrossoverModel::curveRedraw, &x, [this](const CrossoverCurveInput &in) { drawn.push_back(in); });
    }
};

void ExpectFilter(const CrossoverModel &x, XoverFilter which, int position, int slope) {
    const char *name = which == XoverFilter::HighPass ? "high-pass" : "low-pass";
    EXPECT_EQ(x.filter(which).position, position) << name;
    EXPECT_EQ(x.filter(which).slope, slope) << name;
}

// Positions the two filters directly (as applying does), then shows the editor.
void PlaceFilters(CrossoverModel &x, int highPass, int lowPass) {
    x.Apply({0, CrossoverTable()[static_cast<std::size_t>(lowPass)]}, {0, CrossoverTable()[static_cast<std::size_t>(highPass)]});
}

TEST(CrossoverFrames, SlopeThenWholeHertzAndHundredths) {
    struct Case {
        const char *name;
        int slope;
        double hz;
        std::array<std::uint8_t, 4> bytes;
    };
    const Case cases[] = {
        {"35.1 Hz, 24 dB Link-Riley", 13, 35.1, {13, 0, 35, 10}},
        {"20200 Hz, 6 dB", 0, 20200.0, {0, 78, 232, 0}},
        {"16000 Hz, 12 dB Butterworth", 10, 16000.0, {10, 62, 128, 0}},
        {"10.2 Hz, 48 dB Link-Riley", 15, 10.2, {15, 0, 10, 20}},
    };
    for (const Case &c : cases) EXPECT_EQ(CrossoverFilterBytes(c.slope, c.hz), c.bytes) << c.name;
    EXPECT_EQ(CrossoverTraits(kLeftChannel).highPassCommand, 40);
    EXPECT_EQ(CrossoverTraits(kLeftChannel).lowPassCommand, 20);
    EXPECT_EQ(CrossoverTraits(kRightChannel).highPassCommand, 136);
    EXPECT_EQ(CrossoverTraits(kRightChannel).lowPassCommand, 116);
}

TEST(CrossoverEditor, FirstShowEditsTheLowPass) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    EXPECT_EQ(x.editing(), kLow);
    EXPECT_TRUE(x.filter(kLow).enabled);
    EXPECT_FALSE(x.filter(kHigh).enabled);
    EXPECT_EQ(x.filter(kLow).position, 394);
    EXPECT_EQ(x.filter(kLow).minimum, 65);
    EXPECT_EQ(x.filter(kHigh).maximum, 382);
    EXPECT_EQ(x.highPassLimitText(), QStringLiteral("16KHz"));
    EXPECT_EQ(x.lowPassLimitText(), QStringLiteral("35.1Hz"));
    // A later show keeps the filter of the last use.
    x.HighPassClicked();
    x.OkClicked();
    x.Shown();
    EXPECT_EQ(x.editing(), kHigh);
    x.OkClicked();
    EXPECT_TRUE(rig.finish().empty());
}

struct LimitCase {
    const char *name;
    XoverFilter chosen;
    int highPass;
    int lowPass;
    int minimum;  // of the chosen filter's bar
    int maximum;
};

class CrossoverLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(CrossoverLimits, TakenFromTheOtherFilterOnSwitching) {
    const LimitCase &c = GetParam();
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    PlaceFilters(x, c.highPass, c.lowPass);
    if (c.chosen == kHigh)
        x.HighPassClicked();
    else
        x.LowPassClicked();
    EXPECT_EQ(x.editing(), c.chosen);
    EXPECT_EQ(x.filter(c.chosen).minimum, c.minimum);
    EXPECT_EQ(x.filter(c.chosen).maximum, c.maximum);
    // The bar's own position stays: the limits here never cut into it.
    EXPECT_EQ(x.filter(kHigh).position, c.highPass);
    EXPECT_EQ(x.filter(kLow).position, c.lowPass);
    EXPECT_EQ(x.filter(c.chosen).pending, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Switching, CrossoverLimits,
    ::testing::Values(LimitCase{"HighPassUnderLowPassAt20200Hz", kHigh, 0, 394, 0, 382},
                      LimitCase{"HighPassUnderLowPassAt68Hz", kHigh, 30, 100, 0, 100},
                      LimitCase{"HighPassNeverBelow35Hz", kHigh, 10, 65, 0, 65},
                      LimitCase{"LowPassOverHighPassAt17Hz", kLow, 30, 394, 65, 394},
                      LimitCase{"LowPassOverHighPassAt481Hz", kLow, 200, 394, 200, 394}),
    [](const ::testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

TEST(CrossoverEditor, NarrowedLimitMovesTheFilterAndSendsIt) {
    // The high-pass above the low-pass (an odd record): switching to it pulls it down to the
    // low-pass corner, which counts as a change and goes out on the next tick.
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    PlaceFilters(x, 300, 100);
    x.HighPassClicked();
    EXPECT_EQ(x.filter(kHigh).position, 100);
    EXPECT_EQ(x.filter(kHigh).text, QStringLiteral("68.8Hz"));
    EXPECT_EQ(x.filter(kHigh).pending, 1);
    x.SendTick();
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{40, {0, 0, 68, 80}}}));
}

struct TypedCase {
    const char *name;
    XoverFilter filter;
    const char *text;
    int position;
    const char *shown;
};

class CrossoverTyped : public ::testing::TestWithParam<TypedCase> {};

TEST_P(CrossoverTyped, TakesTheNextTableFrequencyWithinTheBar) {
    const TypedCase &c = GetParam();
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    PlaceFilters(x, 100, 300);
    if (c.filter == kHigh)
        x.HighPassClicked();
    else
        x.LowPassClicked();
    x.FrequencyEntered(c.filter, QString::fromLatin1(c.text));
    EXPECT_EQ(x.filter(c.filter).position, c.position);
    EXPECT_EQ(x.filter(c.filter).text, QString::fromLatin1(c.shown));
    // Marked for sending in every case, unreadable text included.
    EXPECT_EQ(x.filter(c.filter).pending, 1);
    x.SendTick();
    const std::vector<Sent> sent = rig.finish();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, c.filter == kHigh ? 40 : 20);
    const auto bytes = CrossoverFilterBytes(0, CrossoverTable()[static_cast<std::size_t>(c.position)]);
    EXPECT_EQ(sent[0].data, std::vector<int>(bytes.begin(), bytes.end()));
}

// The high-pass bar runs 0..300 (up to the low-pass), the low-pass bar 100..394.
INSTANTIATE_TEST_SUITE_P(
    Enter, CrossoverTyped,
    ::testing::Values(TypedCase{"HighPass5IsTenHertz", kHigh, "5", 0, "10Hz"},
                      TypedCase{"HighPass1k", kHigh, "1k", 238, "1000Hz"},
                      TypedCase{"HighPass1000Hz", kHigh, "1000Hz", 238, "1000Hz"},
                      TypedCase{"HighPass92IsNextEntry94", kHigh, "92", 115, "94Hz"},
                      TypedCase{"HighPassAboveItsLimit", kHigh, "5k", 300, "3.3KHz"},
                      TypedCase{"HighPassAbcChangesNothing", kHigh, "abc", 100, "68.8Hz"},
                      TypedCase{"LowPass25kIsTheMaximum", kLow, "25k", 394, "20.2KHz"},
                      TypedCase{"LowPassBelowItsLimit", kLow, "20", 100, "68.8Hz"},
                      TypedCase{"LowPass1k", kLow, "1k", 238, "1000Hz"},
                      TypedCase{"LowPassAbcChangesNothing", kLow, "abc", 300, "3.3KHz"}),
    [](const ::testing::TestParamInfo<TypedCase> &info) { return std::string(info.param.name); });

TEST(CrossoverEditor, SlopeClickSendsSlopeWithTheCurrentFrequency) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kRightChannel);
    PlaceFilters(x, 0, 274);  // low-pass 2000 Hz
    x.SlopeClicked(kLow, 13);
    // After a slope click the kHz texts drop the ".0".
    EXPECT_EQ(x.filter(kLow).text, QStringLiteral("2KHz"));
    EXPECT_EQ(x.highPassLimitText(), QStringLiteral("2KHz"));
    EXPECT_EQ(x.curveSnapshot().lowPassSlope, 13);
    x.SendTick();
    // The send step writes the texts of a change again.
    EXPECT_EQ(x.filter(kLow).text, QStringLiteral("2.0KHz"));
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{116, {13, 7, 208, 0}}}));
}

TEST(CrossoverEditor, LimitLabelsFollowTheOtherFilter) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    x.PositionChanged(kLow, 382);  // 16000 Hz
    EXPECT_EQ(x.highPassLimitText(), QStringLiteral("16KHz"));
    x.PositionChanged(kLow, 381);  // 15700 Hz
    EXPECT_EQ(x.highPassLimitText(), QStringLiteral("15.7KHz"));
    x.HighPassClicked();
    x.PositionChanged(kHigh, 200);
    EXPECT_EQ(x.lowPassLimitText(), QStringLiteral("481Hz"));
    // 35 Hz or less leaves the label alone after a change, and shows 35.1Hz while dragging.
    x.PositionChanged(kHigh, 64);  // 34.4 Hz
    EXPECT_EQ(x.lowPassLimitText(), QStringLiteral("481Hz"));
    x.Scrolled(kHigh, 10);
    EXPECT_EQ(x.lowPassLimitText(), QStringLiteral("35.1Hz"));
    EXPECT_TRUE(rig.finish().empty());
}

TEST(CrossoverEditor, BurstBetweenTicksMakesOneFramePerFilter) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    for (int p : {390, 380, 370, 360}) x.PositionChanged(kLow, p);
    x.SlopeClicked(kLow, 14);
    x.HighPassClicked();
    x.PositionChanged(kHigh, 238);
    x.SendTick();
    x.SendTick();  // nothing left pending
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{40, {0, 3, 232, 0}}, {20, {14, 41, 4, 0}}}));
}

TEST(CrossoverEditor, SkippedWhileThreeFramesArePending) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    // The queue as three frames still on their way leave it (none really queued).
    x.PositionChanged(kLow, 300);
    rig.state.link.pendingFrames += 3;
    x.SendTick();
    rig.state.link.pendingFrames -= 3;
    // Skipped, not retried: the filter is no longer pending.
    EXPECT_EQ(x.filter(kLow).pending, 0);
    x.SendTick();
    // Two pending still let it through.
    x.PositionChanged(kLow, 301);
    rig.state.link.pendingFrames += 2;
    x.SendTick();
    rig.state.link.pendingFrames -= 2;
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{20, {0, 13, 32, 0}}}));
}

TEST(CrossoverEditor, HeldThumbResendsUntilTheCursorStandsStill) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    FakeView view;
    view.attach(x);
    view.state.focused = kLow;
    x.ScrollBarMouseDown(kLow);
    x.Scrolled(kLow, 300);
    x.PositionChanged(kLow, 300);
    EXPECT_TRUE(x.filter(kLow).dragging);
    int sent = 0;
    // The cursor moves: every tick sends the held value.
    for (int tick = 0; tick < 3; ++tick) {
        view.moveCursor();
        x.SendTick();
        rig.idle();
        ++sent;
    }
    // Still: the drag lasts three more ticks (each sending), the fourth ends it.
    for (int tick = 0; tick < 3; ++tick) {
        x.SendTick();
        rig.idle();
        ++sent;
        EXPECT_TRUE(x.filter(kLow).dragging) << "still tick " << tick + 1;
    }
    x.SendTick();
    EXPECT_FALSE(x.filter(kLow).dragging);
    EXPECT_EQ(x.stillTicks(), 0);
    x.SendTick();
    x.SendTick();
    const std::vector<Sent> frames = rig.finish();
    EXPECT_EQ(frames, std::vector<Sent>(static_cast<std::size_t>(sent), Sent{20, {0, 12, 228, 0}}));
}

TEST(CrossoverEditor, DragEndsOnKeyReleaseOrMouseOutside) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    FakeView view;
    view.attach(x);
    view.state.focused = kLow;
    x.Scrolled(kLow, 300);
    x.ScrollBarKeyUp(kHigh);  // a key let go on either bar ends both drags at the next tick
    EXPECT_TRUE(x.filter(kLow).dragging);
    view.moveCursor();
    x.SendTick();
    EXPECT_FALSE(x.filter(kLow).dragging);
    x.Scrolled(kLow, 301);
    x.MouseMovedOutside();
    EXPECT_FALSE(x.filter(kLow).dragging);
    // Neither tick found a held thumb, and the drag itself marks nothing pending.
    view.moveCursor();
    x.SendTick();
    EXPECT_TRUE(rig.finish().empty());
}

TEST(CrossoverEditor, HiddenWindowStopsTheSendTimer) {
    EditorRig rig(10);
    CrossoverModel &x = rig.models.crossover(kLeftChannel);
    FakeView view;
    view.attach(x);
    x.Shown();
    EXPECT_TRUE(x.sendTimer().isActive());
    x.PositionChanged(kLow, 300);
    view.state.visible = false;
    x.SendTick();
    EXPECT_FALSE(x.sendTimer().isActive());
    // That last tick still sent what was pending.
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{20, {0, 12, 228, 0}}}));
}

// The send timer itself, at the clock's speed: a change is on the wire within a tick or two.
TEST(CrossoverEditor, SendTimerDeliversAChange) {
    EditorRig rig(10);
    CrossoverModel &x = rig.models.crossover(kRightChannel);
    x.Shown();
    x.HighPassClicked();
    x.PositionChanged(kHigh, 155);  // 202 Hz
    ASSERT_TRUE(rig.link.WaitUntil([&] { return x.filter(kHigh).pending == 0; }, 20000));
    x.OkClicked();
    EXPECT_FALSE(x.sendTimer().isActive());
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{136, {0, 0, 202, 0}}}));
}

TEST(CrossoverCurveSnapshot, CurveTickDrawsTheControlsWhileTheEditorIsOpen) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    Redraws redraws(x);
    x.PositionChanged(kLow, 238);
    // A keyboard change does not reach the snapshot by itself ...
    EXPECT_EQ(x.curveSnapshot().lowPassIndex, 394);
    // ... the curve tick takes all four from the controls, but draws only while open.
    x.CurveTick();
    EXPECT_EQ(x.curveSnapshot().lowPassIndex, 238);
    EXPECT_TRUE(redraws.drawn.empty());
    x.EditorOpening();
    EXPECT_TRUE(x.editorOpen());
    EXPECT_TRUE(x.curveTimer().isActive());
    x.curveTimer().stop();
    x.HighPassClicked();
    x.PositionChanged(kHigh, 119);
    x.CurveTick();
    ASSERT_EQ(redraws.drawn.size(), 1u);
    const CrossoverCurveInput drawn = redraws.drawn[0];
    EXPECT_EQ(drawn.highPassIndex, 119);
    EXPECT_EQ(drawn.lowPassIndex, 238);
    x.EditorClosed();
    EXPECT_FALSE(x.editorOpen());
    EXPECT_FALSE(x.curveTimer().isActive());
    x.CurveTick();
    EXPECT_EQ(redraws.drawn.size(), 1u);
}

TEST(CrossoverCurveSnapshot, DragsSlopesAndSendStepsUpdateItAtOnce) {
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    x.Scrolled(kLow, 300);
    EXPECT_EQ(x.curveSnapshot().lowPassIndex, 300);
    x.SlopeClicked(kLow, 11);
    EXPECT_EQ(x.curveSnapshot().lowPassSlope, 11);
    x.HighPassClicked();
    x.PositionChanged(kHigh, 50);
    EXPECT_EQ(x.curveSnapshot().highPassIndex, 0);
    x.ScrollBarMouseDown(kHigh);
    EXPECT_EQ(x.curveSnapshot().highPassIndex, 50);
    x.PositionChanged(kHigh, 60);
    x.SendTick();  // the send step takes the position
    EXPECT_EQ(x.curveSnapshot().highPassIndex, 60);
    rig.finish();
}

TEST(CrossoverApply, ProgramShowsInBothEditorsAndNothingIsSent) {
    EditorRig rig(10);
    Redraws leftRedraws(rig.models.crossover(kLeftChannel));
    Program p = DecodeProgram(DefaultProgram());
    p.left.lowPass = {13, 1000.0};
    p.left.highPass = {10, 68.8};
    p.right.lowPass = {200, 2000.0};  // a slope outside the list
    p.right.highPass = {7, 16000.0};
    rig.state.link.sendEnabled.store(0);
    rig.state.programBuffer = EncodeProgram(p);
    rig.applier.ApplyProgram();
    rig.state.link.sendEnabled.store(1);

    const CrossoverModel &left = rig.models.crossover(kLeftChannel);
    ExpectFilter(left, kLow, 238, 13);
    EXPECT_EQ(left.filter(kLow).text, QStringLiteral("1000Hz"));
    ExpectFilter(left, kHigh, 100, 10);
    EXPECT_EQ(left.filter(kHigh).text, QStringLiteral("68.8Hz"));
    EXPECT_EQ(left.highPassLimitText(), QStringLiteral("1000Hz"));
    EXPECT_EQ(left.lowPassLimitText(), QStringLiteral("68.8Hz"));
    // The curve is redrawn at once from what was applied, slopes included.
    ASSERT_EQ(leftRedraws.drawn.size(), 1u);
    const CrossoverCurveInput drawn = leftRedraws.drawn[0];
    EXPECT_EQ(drawn.lowPassIndex, 238);
    EXPECT_EQ(drawn.lowPassSlope, 13);
    EXPECT_EQ(drawn.highPassIndex, 100);
    EXPECT_EQ(drawn.highPassSlope, 10);

    const CrossoverModel &right = rig.models.crossover(kRightChannel);
    ExpectFilter(right, kLow, 274, -1);
    ExpectFilter(right, kHigh, 382, 7);
    EXPECT_EQ(right.filter(kHigh).pending, 0);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(CrossoverApply, FrequencyNotInTheTableKeepsThePosition) {
    EditorRig rig(10);
    CrossoverModel &x = rig.models.crossover(kLeftChannel);
    PlaceFilters(x, 20, 300);
    x.Apply({12, 12000.0}, {9, 10.05});
    ExpectFilter(x, kLow, 300, 12);
    ExpectFilter(x, kHigh, 20, 9);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(CrossoverApply, ShowsARecordOutsideTheBarsLimits) {
    // The last switch left the low-pass bar at 200..394; a record with the low-pass at 35.1 Hz
    // still shows as it is, and the next switch takes the limits again.
    EditorRig rig(10);
    CrossoverModel &x = ShownEditor(rig, kLeftChannel);
    PlaceFilters(x, 200, 394);
    x.HighPassClicked();
    x.LowPassClicked();
    EXPECT_EQ(x.filter(kLow).minimum, 200);
    PlaceFilters(x, 0, 65);
    EXPECT_EQ(x.filter(kLow).position, 65);
    EXPECT_EQ(x.filter(kLow).minimum, 65);
    x.HighPassClicked();
    EXPECT_EQ(x.filter(kHigh).maximum, 65);
    EXPECT_EQ(x.filter(kHigh).position, 0);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(CrossoverCommit, SendsOneFilterWhateverIsQueued) {
    EditorRig rig(10);
    CrossoverModel &x = rig.models.crossover(kLeftChannel);
    x.CommitFilter(kHigh, 13, 382);
    x.CommitFilter(kLow, 0, 394);
    x.CommitFilter(kLow, 99, 10);  // slope and position limited to the filter's own range
    EXPECT_EQ(rig.finish(), (std::vector<Sent>{{40, {13, 62, 128, 0}}, {20, {0, 78, 232, 0}}, {20, {15, 0, 35, 10}}}));
}

}  // namespace
}  // namespace talvo::testing
