// The gain, delay and limiter windows: their names and texts, what they show of their models
// (applied programs, typed values, the test state), and a slider move reaching the amplifier.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "EditorUiSupport.h"
#include "editors/DelayModel.h"
#include "editors/DelayWindow.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "editors/LimiterModel.h"
#include "editors/LimiterWindow.h"
#include "shell/InterfaceTexts.h"
#include "state/ProgramApply.h"
#include "widgets/ArrowLamp.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo::test {
namespace {

using EditorWindowsTest = EditorApp;

// The text a control shows: a button's or label's text, a group's title.
QString TextOf(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    return QStringLiteral("<no text>");
}

struct ControlText {
    const char *name;
    const char *text;
};

struct WindowSpec {
    const char *objectName;
    const char *caption;
    std::vector<ControlText> texts;
    std::vector<const char *> controls;  // present, no text of their own
};

const std::vector<ControlText> kGainTexts{{"dxButton2", "MUTE"}, {"dxButton1", "OK"}};
const std::vector<ControlText> kDelayTexts{{"GroupBox1", "Units"},
                                           {"RadioButton1", "Millisecond"},
                                           {"RadioButton2", "Meter"},
                                           {"RadioButton3", "Feet"},
                                           {"dxButton1", "OK"}};
const std::vector<ControlText> kLimiterTexts{{"dxButton1", "ON"},          {"GroupBox1", "Hold Time"},
                                             {"GroupBox2", "Attack Time CST"}, {"GroupBox3", "Decay Time"},
                                             {"Label1", "ms"},              {"Label2", "dB/sec"},
                                             {"Label3", "dB/sec"},          {"dxButton2", "OK"}};
const std::vector<const char *> kGainControls{"fctrackbar1", "edit1", "led"};
const std::vector<const char *> kDelayControls{"fctrackbar1", "EDIT1"};
const std::vector<const char *> kLimiterControls{"fctrackbar1", "fctrackbar2", "fctrackbar3", "fctrackbar4",
                                                 "edit1",       "edit2",       "edit3",       "edit4",
                                                 "led"};

TEST_F(EditorWindowsTest, EveryWindowCarriesItsNamesAndTextsAndApplyTextsWritesThemBack) {
    Start();
    const std::vector<std::pair<QWidget *, WindowSpec>> windows{
        {&editors().gain(kLeftChannel), {"TForm5", "LEFT VOL", kGainTexts, kGainControls}},
        {&editors().gain(kRightChannel), {"TForm6", "RIGHT VOL", kGainTexts, kGainControls}},
        {&editors().delay(kLeftChannel), {"TForm9", "LEFT DELAY", kDelayTexts, kDelayControls}},
        {&editors().delay(kRightChannel), {"TForm10", "RIGHT DELAY", kDelayTexts, kDelayControls}},
        {&editors().limiter(kLeftChannel), {"TForm11", "LEFT LIMIT", kLimiterTexts, kLimiterControls}},
        {&editors().limiter(kRightChannel), {"TForm12", "RIGHT LIMIT", kLimiterTexts, kLimiterControls}},
    };
    for (const auto &[window, spec] : windows) {
        SCOPED_TRACE(spec.objectName);
        EXPECT_EQ(window->objectName(), spec.objectName);
        EXPECT_EQ(window->windowTitle(), spec.caption);
        EXPECT_EQ(window->parent(), &main()) << "every window belongs to the main window";
        for (const ControlText &c : spec.texts) {
            QWidget *control = window->findChild<QWidget *>(QString::fromLatin1(c.name));
            ASSERT_TRUE(control) << c.name;
            EXPECT_EQ(TextOf(control), c.text) << c.name;
            // Overwritten, then written back by the interface texts.
            if (auto *b = qobject_cast<QAbstractButton *>(control)) b->setText("x");
            if (auto *g = qobject_cast<QGroupBox *>(control)) g->setTitle("x");
            if (auto *l = qobject_cast<QLabel *>(control)) l->setText("x");
        }
        for (const char *name : spec.controls) EXPECT_TRUE(window->findChild<QWidget *>(name)) << name;
        window->setWindowTitle("x");
    }
    app().texts().ApplyTexts();
    for (const auto &[window, spec] : windows) {
        SCOPED_TRACE(spec.objectName);
        EXPECT_EQ(window->windowTitle(), spec.caption);
        for (const ControlText &c : spec.texts)
            EXPECT_EQ(TextOf(window->findChild<QWidget *>(QString::fromLatin1(c.name))), c.text) << c.name;
    }
}

TEST_F(EditorWindowsTest, SlidersHaveTheirRangesAndTheGainWindowsStartMutedAndDisabled) {
    Start();
    struct Range {
        QSlider *slider;
        int min, max, value;
    };
    std::vector<Range> ranges;
    for (int ch : {kLeftChannel, kRightChannel}) {
        ranges.push_back({editors().gain(ch).slider(), -600, 60, -600});
        ranges.push_back({editors().delay(ch).slider(), 0, 700, 0});
        LimiterWindow &lim = editors().limiter(ch);
        ranges.push_back({lim.slider(LimiterParameter::Threshold), 0, 64, 0});
        ranges.push_back({lim.slider(LimiterParameter::Hold), 0, 100, 0});
        ranges.push_back({lim.slider(LimiterParameter::Attack), 10, 1000, 10});
        ranges.push_back({lim.slider(LimiterParameter::Decay), 10, 1000, 10});
    }
    for (const Range &r : ranges) {
        SCOPED_TRACE(r.slider->window()->objectName().toStdString() + "." + r.slider->objectName().toStdString());
        EXPECT_EQ(r.slider->minimum(), r.min);
        EXPECT_EQ(r.slider->maximum(), r.max);
        EXPECT_EQ(r.slider->value(), r.value);
        EXPECT_EQ(r.slider->singleStep(), 1);
        EXPECT_EQ(r.slider->pageStep(), 10);
    }
    for (int ch : {kLeftChannel, kRightChannel}) {
        GainWindow &g = editors().gain(ch);
        EXPECT_FALSE(g.slider()->isEnabled());
        EXPECT_FALSE(g.valueBox()->isEnabled());
        EXPECT_TRUE(g.lamp()->isLit());
        EXPECT_EQ(g.valueBox()->text(), "-60.0dB");
        LimiterWindow &l = editors().limiter(ch);
        EXPECT_FALSE(l.slider(LimiterParameter::Threshold)->isEnabled()) << "the limiter starts off";
        EXPECT_FALSE(l.valueBox(LimiterParameter::Threshold)->isEnabled());
        EXPECT_FALSE(l.lamp()->isLit());
        EXPECT_TRUE(l.slider(LimiterParameter::Hold)->isEnabled());
        EXPECT_EQ(editors().delay(ch).valueBox()->text(), "0.00MS");
    }
}

TEST_F(EditorWindowsTest, AnAppliedProgramShowsInEveryWindow) {
    Start();
    Program p = DecodeProgram(DefaultProgram());
    p.left.gain = -12.5;
    p.left.delay = 3.5;
    p.left.limitThreshold = 41;
    p.left.hold = 20;
    p.left.attack = 1000;
    p.left.decay = 250;
    p.right.gain = kMutedGain;
    p.right.delay = 0.05;
    p.right.limitThreshold = kLimiterOff;
    app().state().programBuffer = EncodeProgram(p);
    app().programApplier().ApplyProgram();
    Pump();

    GainWindow &gl = editors().gain(kLeftChannel);
    EXPECT_EQ(gl.slider()->value(), -125);
    EXPECT_EQ(gl.valueBox()->text(), "-12.5dB");
    EXPECT_TRUE(gl.slider()->isEnabled());
    EXPECT_TRUE(gl.valueBox()->isEnabled());
    EXPECT_FALSE(gl.lamp()->isLit());
    GainWindow &gr = editors().gain(kRightChannel);
    EXPECT_EQ(gr.slider()->value(), -600);
    EXPECT_FALSE(gr.slider()->isEnabled());
    EXPECT_TRUE(gr.lamp()->isLit());

    EXPECT_EQ(editors().delay(kLeftChannel).slider()->value(), 350);
    EXPECT_EQ(editors().delay(kLeftChannel).valueBox()->text(), "3.50MS");
    EXPECT_EQ(editors().delay(kRightChannel).valueBox()->text(), "0.05MS");

    LimiterWindow &ll = editors().limiter(kLeftChannel);
    EXPECT_EQ(ll.slider(LimiterParameter::Threshold)->value(), 41);
    EXPECT_EQ(ll.valueBox(LimiterParameter::Threshold)->text(), "0dB");
    EXPECT_TRUE(ll.slider(LimiterParameter::Threshold)->isEnabled());
    EXPECT_TRUE(ll.lamp()->isLit());
    EXPECT_EQ(ll.slider(LimiterParameter::Hold)->value(), 20);
    EXPECT_EQ(ll.valueBox(LimiterParameter::Attack)->text(), "1000");
    EXPECT_EQ(ll.slider(LimiterParameter::Decay)->value(), 250);
    LimiterWindow &lr = editors().limiter(kRightChannel);
    EXPECT_FALSE(lr.slider(LimiterParameter::Threshold)->isEnabled());
    EXPECT_FALSE(lr.lamp()->isLit());
}

// Types into a value box as the operator does: select all, type, Enter.
void Type(ValueBox *box, const QString &text) {
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

TEST_F(EditorWindowsTest, TypedValuesMoveTheSlidersAndShowInTheirUnits) {
    Start();
    GainWindow &g = editors().gain(kLeftChannel);
    g.muteButton()->click();  // unmuted: the slider and its box are enabled
    ASSERT_TRUE(g.valueBox()->isEnabled());
    Type(g.valueBox(), "3.5");
    EXPECT_EQ(g.slider()->value(), 35);
    EXPECT_EQ(g.valueBox()->text(), "3.5dB");
    Type(g.valueBox(), "-12.5dB");  // with its unit, as the box shows it
    EXPECT_EQ(g.slider()->value(), -125);
    Type(g.valueBox(), "loud");  // not a number: nothing moves, the shown text comes back
    EXPECT_EQ(g.slider()->value(), -125);
    EXPECT_EQ(g.valueBox()->text(), "-12.5dB");
    g.muteButton()->click();
    EXPECT_FALSE(g.valueBox()->isEnabled()) << "muted: the box takes nothing";
    EXPECT_FALSE(g.slider()->isEnabled());

    DelayWindow &d = editors().delay(kLeftChannel);
    d.unitButton(1)->click();  // Meter
    EXPECT_EQ(d.valueBox()->text(), "0.00M");
    Type(d.valueBox(), "1");
    EXPECT_EQ(d.slider()->value(), 292);
    EXPECT_EQ(d.valueBox()->text(), "1.00M");
    Type(d.valueBox(), "9");  // beyond 2.401 m: the slider's end
    EXPECT_EQ(d.slider()->value(), 700);
    EXPECT_EQ(d.valueBox()->text(), "2.40M");
    d.unitButton(2)->click();  // Feet
    d.slider()->setValue(100);
    EXPECT_EQ(d.valueBox()->text(), "1.13FT");
    d.unitButton(0)->click();
    EXPECT_EQ(d.valueBox()->text(), "1.00MS");

    LimiterWindow &l = editors().limiter(kLeftChannel);
    l.onButton()->click();
    EXPECT_TRUE(l.lamp()->isLit());
    Type(l.valueBox(LimiterParameter::Threshold), "-10");
    EXPECT_EQ(l.slider(LimiterParameter::Threshold)->value(), 31);
    EXPECT_EQ(l.valueBox(LimiterParameter::Threshold)->text(), "-10dB");
    Type(l.valueBox(LimiterParameter::Hold), "150");
    EXPECT_EQ(l.slider(LimiterParameter::Hold)->value(), 100);
    l.onButton()->click();
    EXPECT_FALSE(l.lamp()->isLit());
    EXPECT_FALSE(l.slider(LimiterParameter::Threshold)->isEnabled());
}

TEST_F(EditorWindowsTest, TheGainBlockDuringASineTestOffersTheSliderAndNotTheMuteButton) {
    Start();
    app().state().testMode = kTestModeSine;
    QWidget *opened = ModalOpenedBy([&] { panel().block(SignalFlowPanel::Channel::Left, SignalFlowPanel::Stage::Gain)->click(); });
    ASSERT_EQ(opened, &editors().gain(kLeftChannel));
    GainWindow &g = editors().gain(kLeftChannel);
    EXPECT_TRUE(g.slider()->isEnabled());
    EXPECT_FALSE(g.muteButton()->isEnabled());
    EXPECT_FALSE(g.lamp()->isLit());
    EXPECT_TRUE(g.model().muted()) << "the mute flag itself stays";

    app().state().testMode = kTestModeNone;
    ModalOpenedBy([&] { panel().block(SignalFlowPanel::Channel::Left, SignalFlowPanel::Stage::Gain)->click(); });
    EXPECT_TRUE(g.muteButton()->isEnabled());
}

// The amplifier's live gain of a channel as the gain editor's slider position.
int LiveGainPosition(const sim::Amplifier &amp, int channel) {
    const auto g = amp.liveGains();
    const std::size_t at = channel == kLeftChannel ? 0 : 3;
    return GainPosition(GainFromBytes(g[at], g[at + 1], g[at + 2]));
}

TEST_F(EditorWindowsTest, MovingAGainSliderReachesTheAmplifierWithTheFinalValue) {
    // The resends after the last key stroke must find the bus free: time enough on a loaded
    // machine for the frame before them to go out.
    Clock::setSpeed(5.0);
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    for (int ch : {kLeftChannel, kRightChannel}) {
        SCOPED_TRACE(ch == kLeftChannel ? "left" : "right");
        GainWindow &g = editors().gain(ch);
        bool done = false;
        // The amplifier's program put the channel at 0.0 dB, not muted.
        ASSERT_FALSE(g.model().muted());
        ASSERT_EQ(g.slider()->value(), 0);
        WhenShown(&g, [&](QDialog *) {
            TrackSlider *s = g.slider();
            s->setFocus();
            // Quick key strokes: each step goes out only if the bus is free; the final value
            // surely does.
            for (int i = 0; i < 6; ++i) QTest::keyClick(s, Qt::Key_PageDown);
            QTest::keyClick(s, Qt::Key_Up);
            Wait(2000);  // the timer's resends and the pacing of the last frame
            done = true;
            g.okButton()->click();
        });
        g.Open();
        EXPECT_TRUE(done);
        EXPECT_EQ(g.slider()->value(), -59);
    }
    line().stop();
    const sim::Amplifier &amp = line().bus().amplifier(0);
    EXPECT_EQ(LiveGainPosition(amp, kLeftChannel), -59);
    EXPECT_EQ(LiveGainPosition(amp, kRightChannel), -59);
    // The last gain frame of each channel carries -5.9 dB.
    for (std::uint8_t command : {std::uint8_t(2), std::uint8_t(98)}) {
        const sim::FrameRecord *last = nullptr;
        for (const sim::FrameRecord &f : line().frames())
            if (f.frame.command == command) last = &f;
        ASSERT_TRUE(last) << int(command);
        EXPECT_EQ(last->frame.length, 3);
        EXPECT_EQ(last->frame.data[0], 5);
        EXPECT_EQ(last->frame.data[1], 90);
        EXPECT_EQ(last->frame.data[2], 0x55);
    }
}

}  // namespace
}  // namespace talvo::test
