// The crossover windows inside the whole application: their names and texts, the XOVER blocks
// opening them with the curve timer and the open flag, an applied program in the controls and
// the plot, switching filters, and typed frequencies, slope clicks and thumb drags reaching the
// amplifier.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "EditorUiSupport.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverPlot.h"
#include "editors/CrossoverTable.h"
#include "editors/CrossoverWindow.h"
#include "editors/EditorTimer.h"
#include "shell/InterfaceTexts.h"
#include "state/ProgramApply.h"

namespace talvo::test {
namespace {

using CrossoverWindowTest = EditorApp;

constexpr XoverFilter kHigh = XoverFilter::HighPass;
constexpr XoverFilter kLow = XoverFilter::LowPass;

QString TextOf(QWidget *w) {
    if (auto *b = qobject_cast<QPushButton *>(w)) return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    return QStringLiteral("<no text>");
}

TEST_F(CrossoverWindowTest, NamesTextsAndControls) {
    Start();
    const std::pair<int, std::pair<const char *, const char *>> windows[] = {
        {kLeftChannel, {"TForm7", "LEFT XOVER"}}, {kRightChannel, {"TForm8", "RIGHT XOVER"}}};
    const std::pair<const char *, const char *> texts[] = {
        {"fa", "HIGH PASS"}, {"fb", "LOW PASS"}, {"GroupBox1", "HIGH PASS FILTER"}, {"GroupBox2", "LOW PASS FILTER"},
        {"Panel2", "SLOPE"}, {"Panel4", "SLOPE"}, {"Label3", "10Hz"},           {"Label4", "16KHz"},
        {"Label5", "35.1Hz"}, {"Label6", "20.0kHz"}, {"dxButton1", "OK"}};
    for (const auto &[channel, names] : windows) {
        CrossoverWindow &w = editors().crossover(channel);
        SCOPED_TRACE(names.first);
        EXPECT_EQ(w.objectName(), names.first);
        EXPECT_EQ(w.windowTitle(), names.second);
        EXPECT_EQ(w.parent(), &main());
        for (const auto &[name, text] : texts) {
            QWidget *control = w.findChild<QWidget *>(QString::fromLatin1(name));
            ASSERT_TRUE(control) << name;
            EXPECT_EQ(TextOf(control), text) << name;
        }
        for (const char *list : {"ListBox3", "ListBox2"}) {
            auto *slopes = w.findChild<QListWidget *>(list);
            ASSERT_TRUE(slopes) << list;
            ASSERT_EQ(slopes->count(), kSlopeTypeCount);
            for (int i = 0; i < kSlopeTypeCount; ++i) EXPECT_EQ(slopes->item(i)->text(), SlopeTypeText(i));
        }
        auto *hp = w.findChild<QScrollBar *>("scrollbar1");
        auto *lp = w.findChild<QScrollBar *>("scrollbar2");
        ASSERT_TRUE(hp && lp);
        EXPECT_EQ(hp->minimum(), 0);
        EXPECT_EQ(hp->maximum(), 382);
        EXPECT_EQ(lp->minimum(), 65);
        EXPECT_EQ(lp->maximum(), 394);
        EXPECT_EQ(lp->value(), 394);
        EXPECT_TRUE(w.findChild<QLineEdit *>("edit1"));
        EXPECT_TRUE(w.findChild<QLineEdit *>("edit2"));
        QWidget *plot = w.findChild<QWidget *>("imagessss");
        ASSERT_TRUE(plot);
        EXPECT_EQ(plot->size(), QSize(kCurvePlotWidth, kCurvePlotHeight));
        w.setWindowTitle("x");
        w.filterButton(kHigh)->setText("x");
    }
    app().texts().ApplyTexts();
    EXPECT_EQ(editors().crossover(kRightChannel).windowTitle(), "RIGHT XOVER");
    EXPECT_EQ(editors().crossover(kLeftChannel).filterButton(kHigh)->text(), "HIGH PASS");
}

TEST_F(CrossoverWindowTest, XoverBlockOpensTheEditorWithItsCurveTimer) {
    Start();
    for (int channel : {kLeftChannel, kRightChannel}) {
        CrossoverModel &model = models().crossover(channel);
        CrossoverWindow &w = editors().crossover(channel);
        bool openWhileShown = false;
        bool curveTimerWhileShown = false;
        bool editingLowPass = false;
        WhenShown(&w, [&](QDialog *) {
            openWhileShown = model.editorOpen();
            curveTimerWhileShown = model.curveTimer().isActive();
            editingLowPass = w.group(kLow)->isEnabled() && !w.group(kHigh)->isEnabled() &&
                             w.filterButton(kLow)->isChecked();
            w.okButton()->click();
        });
        const auto side = channel == kLeftChannel ? SignalFlowPanel::Channel::Left : SignalFlowPanel::Channel::Right;
        panel().block(side, SignalFlowPanel::Stage::Crossover)->click();
        for (int i = 0; i < 50 && !openWhileShown; ++i) Wait(20);
        Wait(50);
        EXPECT_TRUE(openWhileShown) << channel;
        EXPECT_TRUE(curveTimerWhileShown) << channel;
        EXPECT_TRUE(editingLowPass) << "the first show edits the low-pass";
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(model.editorOpen());
        EXPECT_FALSE(model.curveTimer().isActive());
        EXPECT_FALSE(model.sendTimer().isActive());
    }
}

TEST_F(CrossoverWindowTest, AppliedProgramShowsInTheControlsAndThePlot) {
    Start();
    Program p = DecodeProgram(DefaultProgram());
    p.left.highPass = {10, 80.3};
    p.left.lowPass = {12, 5040.0};
    app().state().programBuffer = EncodeProgram(p);
    app().programApplier().ApplyProgram();
    Pump();

    CrossoverWindow &w = editors().crossover(kLeftChannel);
    EXPECT_EQ(w.scrollBar(kHigh)->value(), CrossoverIndexOf(80.3));
    EXPECT_EQ(w.scrollBar(kLow)->value(), CrossoverIndexOf(5040.0));
    EXPECT_EQ(w.slopeList(kHigh)->currentRow(), 10);
    EXPECT_EQ(w.slopeList(kLow)->currentRow(), 12);
    EXPECT_EQ(w.frequencyBox(kHigh)->text(), "80.3Hz");
    EXPECT_EQ(w.frequencyBox(kLow)->text(), "5.04KHz");
    EXPECT_EQ(w.limitLabel(4)->text(), "5.04KHz");
    EXPECT_EQ(w.limitLabel(5)->text(), "80.3Hz");
    // The plot shows the applied curve: the 0 dB line between the corners, nothing at 0 dB
    // beyond the low-pass corner.
    const QImage expected = RenderCrossoverPlot(CrossoverInputFor(p.left));
    EXPECT_EQ(w.plot()->image(), expected);
    EXPECT_NE(expected, RenderCrossoverPlot(CrossoverInputFor(DecodeProgram(DefaultProgram()).left)));
}

TEST_F(CrossoverWindowTest, SwitchingFiltersEnablesOneAndTakesItsLimit) {
    Start();
    CrossoverWindow &w = editors().crossover(kRightChannel);
    bool checked = false;
    WhenShown(&w, [&](QDialog *) {
        w.scrollBar(kLow)->setValue(100);  // 68.8 Hz
        w.filterButton(kHigh)->click();
        EXPECT_TRUE(w.group(kHigh)->isEnabled());
        EXPECT_FALSE(w.group(kLow)->isEnabled());
        EXPECT_EQ(w.scrollBar(kHigh)->maximum(), 100);
        w.scrollBar(kHigh)->setValue(200);  // limited by the bar
        EXPECT_EQ(w.scrollBar(kHigh)->value(), 100);
        EXPECT_EQ(w.frequencyBox(kHigh)->text(), "68.8Hz");
        EXPECT_EQ(w.limitLabel(5)->text(), "68.8Hz");
        w.filterButton(kLow)->click();
        EXPECT_EQ(w.scrollBar(kLow)->minimum(), 100);
        checked = true;
        w.okButton()->click();
    });
    w.Open();
    EXPECT_TRUE(checked);
}

// Types into a frequency box as the operator does: select all, type, Enter.
void Type(QLineEdit *box, const QString &text) {
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

TEST_F(CrossoverWindowTest, TypedFrequencyAndSlopeClickReachTheAmplifier) {
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    CrossoverWindow &w = editors().crossover(kLeftChannel);
    bool done = false;
    WhenShown(&w, [&](QDialog *) {
        Type(w.frequencyBox(kLow), "1k");
        EXPECT_EQ(w.scrollBar(kLow)->value(), 238);
        EXPECT_EQ(w.frequencyBox(kLow)->text(), "1000Hz");
        Wait(1000);  // two send ticks and the frame's pacing
        w.slopeList(kLow)->setCurrentRow(13);
        EXPECT_EQ(w.frequencyBox(kLow)->text(), "1000Hz");
        Wait(1000);
        done = true;
        w.okButton()->click();
    });
    w.Open();
    ASSERT_TRUE(done);
    line().stop();
    std::vector<std::vector<int>> lowPass;
    for (const sim::FrameRecord &f : line().frames())
        if (f.frame.command == 20) lowPass.push_back({f.frame.data.begin(), f.frame.data.begin() + f.frame.length});
    // 1000 Hz with the slope the connection read (0), then slope 13 at the same frequency.
    EXPECT_EQ(lowPass, (std::vector<std::vector<int>>{{0, 3, 232, 0}, {13, 3, 232, 0}}));
}

// The low-pass frames the amplifier received, as data bytes.
std::vector<std::vector<int>> LowPassFrames(SimBusLine &line) {
    std::vector<std::vector<int>> out;
    for (const sim::FrameRecord &f : line.frames())
        if (f.frame.command == 20) out.push_back({f.frame.data.begin(), f.frame.data.begin() + f.frame.length});
    return out;
}

std::vector<int> LowPassBytes(int slope, int position) {
    const auto bytes = CrossoverFilterBytes(slope, CrossoverTable()[static_cast<std::size_t>(position)]);
    return {bytes.begin(), bytes.end()};
}

// The thumb dragged to a new position and let go, then the mouse moved on over the group (which
// ends the drag): the position the window shows is the one the amplifier gets.
TEST_F(CrossoverWindowTest, TheLastPositionOfAThumbDragReachesTheAmplifier) {
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    CrossoverWindow &w = editors().crossover(kLeftChannel);
    const int slope = w.slopeList(kLow)->currentRow();
    ASSERT_NE(w.scrollBar(kLow)->value(), 260);
    bool done = false;
    WhenShown(&w, [&](QDialog *) {
        QScrollBar *bar = w.scrollBar(kLow);
        bar->setSliderDown(true);
        bar->setSliderPosition(300);
        bar->setSliderPosition(260);
        bar->setSliderDown(false);
        QTest::mouseMove(w.group(kLow), QPoint(2, 2));
        EXPECT_EQ(w.frequencyBox(kLow)->text(), "1.53KHz");
        Wait(1500);
        done = true;
        w.okButton()->click();
    });
    w.Open();
    ASSERT_TRUE(done);
    line().stop();
    const auto lowPass = LowPassFrames(line());
    ASSERT_FALSE(lowPass.empty()) << "no low-pass frame after the drag";
    EXPECT_EQ(lowPass.back(), LowPassBytes(slope, 260));
}

// A click on the slope that is already selected marks the filter for sending all the same.
TEST_F(CrossoverWindowTest, AClickOnTheSelectedSlopeSendsTheFilter) {
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    CrossoverWindow &w = editors().crossover(kLeftChannel);
    const int slope = w.slopeList(kLow)->currentRow();
    const int position = w.scrollBar(kLow)->value();
    ASSERT_GE(slope, 0);
    bool done = false;
    WhenShown(&w, [&](QDialog *) {
        QListWidget *slopes = w.slopeList(kLow);
        slopes->scrollToItem(slopes->item(slope));
        QTest::mouseClick(slopes->viewport(), Qt::LeftButton, {}, slopes->visualItemRect(slopes->item(slope)).center());
        EXPECT_EQ(slopes->currentRow(), slope);
        // The filter goes out on the window's next tick: wait for its frame, however late the
        // machine wakes this thread.
        const auto written = app().link().counters().framesWritten;
        app().link().WaitUntil([&] { return app().link().counters().framesWritten > written; }, 5000);
        done = true;
        w.okButton()->click();
    });
    w.Open();
    ASSERT_TRUE(done);
    line().stop();
    EXPECT_EQ(LowPassFrames(line()), (std::vector<std::vector<int>>{LowPassBytes(slope, position)}));
}

}  // namespace
}  // namespace talvo::test
