// The editors' slider and value box: the left and right gain sliders' mouse behaviours and
// wheel steps (on the windows' own sliders), the events a slider reports, and how a value box
// reads typed text.

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include "EditorUiSupport.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "state/ProgramApply.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo::test {
namespace {

using SliderWidgetsTest = EditorApp;

void SendMouse(TrackSlider *s, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), s->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(s, &e);
}
void Press(TrackSlider *s, QPoint at) { SendMouse(s, QEvent::MouseButtonPress, at, Qt::LeftButton); }
void Move(TrackSlider *s, QPoint at) { SendMouse(s, QEvent::MouseMove, at, Qt::LeftButton); }
void Release(TrackSlider *s, QPoint at) { SendMouse(s, QEvent::MouseButtonRelease, at, Qt::NoButton); }

void Wheel(TrackSlider *s, int notches) {
    const QPointF at(s->width() / 2.0, s->height() / 2.0);
    QWheelEvent e(at, s->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(s, &e);
}

// A gain window shown (not modally) and unmuted, its slider in the middle of its range.
TrackSlider *ReadySlider(GainWindow &g) {
    g.show();
    g.muteButton()->click();
    TrackSlider *s = g.slider();
    s->setValue(-270);
    QApplication::processEvents();
    return s;
}

// A point on the track this far above the thumb's top edge (or below its bottom edge).
QPoint BesideThumb(TrackSlider *s, int above) {
    const QRect h = s->handleRect();
    return above > 0 ? QPoint(h.center().x(), h.top() - above) : QPoint(h.center().x(), h.bottom() - above);
}

TEST_F(SliderWidgetsTest, TheLeftGainSliderPagesOnceTowardAClickAndDragsOnlyByItsThumb) {
    Start();
    GainWindow &g = editors().gain(kLeftChannel);
    TrackSlider *s = ReadySlider(g);

    // Above the thumb: one page (1 dB) up, however long the button is held.
    QPoint at = BesideThumb(s, 30);
    Press(s, at);
    QTest::qWait(700);  // longer than any auto-repeat delay
    Release(s, at);
    EXPECT_EQ(s->value(), -260);
    at = BesideThumb(s, -30);
    Press(s, at);
    Release(s, at);
    EXPECT_EQ(s->value(), -270);
    // Moving after a press beside the thumb does not drag.
    Press(s, BesideThumb(s, 30));
    Move(s, BesideThumb(s, 60));
    Release(s, BesideThumb(s, 60));
    EXPECT_EQ(s->value(), -260);

    // The thumb itself drags.
    const QPoint thumb = s->handleRect().center();
    Press(s, thumb);
    Move(s, thumb - QPoint(0, 40));
    Release(s, thumb - QPoint(0, 40));
    EXPECT_GT(s->value(), -260 + 10);
    EXPECT_EQ(g.valueBox()->text(), GainText(s->value()));
    g.hide();
}

TEST_F(SliderWidgetsTest, TheRightGainSliderIgnoresClicksAndFollowsADragFromAnywhere) {
    Start();
    GainWindow &g = editors().gain(kRightChannel);
    TrackSlider *s = ReadySlider(g);

    const QPoint at = BesideThumb(s, 30);
    Press(s, at);
    QTest::qWait(700);
    Release(s, at);
    EXPECT_EQ(s->value(), -270) << "a click never moves it";
    Press(s, s->handleRect().center());
    Release(s, s->handleRect().center());
    EXPECT_EQ(s->value(), -270);

    // From a point beside the thumb: the value follows the distance, and coming back to the
    // starting point gives the starting value back.
    const QPoint start = BesideThumb(s, -20);
    Press(s, start);
    Move(s, start - QPoint(0, 30));
    const int up30 = s->value();
    Move(s, start - QPoint(0, 60));
    const int up60 = s->value();
    EXPECT_GT(up30, -270);
    EXPECT_NEAR(up60 - (-270), 2 * (up30 - (-270)), 2) << "twice the distance, twice the change";
    Move(s, start + QPoint(0, 30));
    EXPECT_LT(s->value(), -270);
    Move(s, start);
    EXPECT_EQ(s->value(), -270);
    Move(s, start - QPoint(0, 60));
    Release(s, start - QPoint(0, 60));
    EXPECT_EQ(s->value(), up60);
    EXPECT_EQ(g.valueBox()->text(), GainText(up60));
    g.hide();
}

TEST_F(SliderWidgetsTest, AWheelNotchMovesTheLeftGainTenDecibelsAndTheRightHalfADecibel) {
    Start();
    const struct {
        int channel;
        int step;
    } cases[] = {{kLeftChannel, 100}, {kRightChannel, 5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.channel == kLeftChannel ? "left" : "right");
        GainWindow &g = editors().gain(c.channel);
        TrackSlider *s = ReadySlider(g);
        QSignalSpy finished(s, &TrackSlider::positionChangeFinished);
        Wheel(s, 1);
        EXPECT_EQ(s->value(), -270 + c.step);
        Wheel(s, -2);
        EXPECT_EQ(s->value(), -270 - c.step);
        EXPECT_EQ(finished.count(), 2) << "every notch that moves it finishes a change";
        g.hide();
    }
}

TEST_F(SliderWidgetsTest, KeysStepAndPageAndTheChangeFinishesWhenTheKeyIsLetGo) {
    Start();
    TrackSlider s(Qt::Vertical);
    s.setRange(0, 700);
    s.resize(30, 200);
    s.show();
    std::vector<QString> events;
    QObject::connect(&s, &TrackSlider::keyPressed, [&] { events.push_back("down"); });
    QObject::connect(&s, &TrackSlider::keyReleased, [&] { events.push_back("up"); });
    QObject::connect(&s, &TrackSlider::positionChanged, [&](int v) { events.push_back(QString::number(v)); });
    QObject::connect(&s, &TrackSlider::positionChangeFinished, [&] { events.push_back("finished"); });
    QTest::keyClick(&s, Qt::Key_Up);
    QTest::keyClick(&s, Qt::Key_PageUp);
    EXPECT_EQ(events, (std::vector<QString>{"down", "1", "up", "finished", "down", "11", "up", "finished"}));
    // A key that moves nothing finishes nothing.
    events.clear();
    QTest::keyClick(&s, Qt::Key_Down);
    QTest::keyClick(&s, Qt::Key_A);
    EXPECT_EQ(events, (std::vector<QString>{"down", "10", "up", "finished", "down", "up"}));
    EXPECT_FALSE(s.isHeld());
}

TEST(ValueBoxTest, TypedTextIsReadWithOrWithoutItsUnitAndLimitedToTheRange) {
    ValueBox box;
    box.setUnit(QStringLiteral("dB"));
    box.setRange(-60, 6);
    const struct {
        const char *typed;
        std::optional<double> value;
    } cases[] = {
        {"3.5", 3.5},  {"-12.5dB", -12.5}, {" 2 DB ", 2.0}, {"1,5", 1.5}, {"99", 6.0},
        {"-61", -60.0}, {"", std::nullopt}, {"dB", std::nullopt}, {"loud", std::nullopt}, {"inf", std::nullopt},
    };
    for (const auto &c : cases) EXPECT_EQ(box.readTyped(QString::fromLatin1(c.typed)), c.value) << c.typed;
}

}  // namespace
}  // namespace talvo::test
