#include "widgets/TrackSlider.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

namespace talvo {

namespace {
constexpr double kWheelNotch = 120.0;  // angle delta of one wheel notch
}  // namespace

TrackSlider::TrackSlider(Qt::Orientation orientation, QWidget *parent) : QSlider(orientation, parent) {
    setSingleStep(1);
    setPageStep(10);
    setTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, &TrackSlider::positionChanged);
}

QRect TrackSlider::handleRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

int TrackSlider::pixelOf(const QPoint &pos) const { return orientation() == Qt::Vertical ? pos.y() : pos.x(); }

int TrackSlider::grooveSpan() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = orientation() == Qt::Vertical ? groove.height() - handle.height() : groove.width() - handle.width();
    return std::max(1, span);
}

void TrackSlider::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || mouseHeld_ || maximum() == minimum()) {
        event->ignore();
        return;
    }
    event->accept();
    mouseHeld_ = true;
    if (keysHeld_ == 0) valueAtStart_ = value();
    setFocus(Qt::MouseFocusReason);
    emit mousePressed();

    if (mouseMode_ == MouseMode::DragAnywhere) {
        pressPixel_ = pixelOf(event->position().toPoint());
        pressValue_ = value();
        setSliderDown(true);
        return;
    }
    if (onHandle(event->position().toPoint())) {
        draggingThumb_ = true;
        QSlider::mousePressEvent(event);
        return;
    }
    // Beside the thumb: one page toward the click, however long the button stays down.
    const QRect handle = handleRect();
    const QPoint p = event->position().toPoint();
    const bool towardStart = orientation() == Qt::Vertical ? p.y() < handle.top() : p.x() < handle.left();
    // Upright, a vertical slider has its maximum on top and a horizontal one on the right.
    const bool increase = orientation() == Qt::Vertical ? towardStart != invertedAppearance()
                                                        : !towardStart != invertedAppearance();
    triggerAction(increase ? SliderPageStepAdd : SliderPageStepSub);
}

void TrackSlider::mouseMoveEvent(QMouseEvent *event) {
    if (!mouseHeld_) {
        event->ignore();
        return;
    }
    event->accept();
    if (mouseMode_ == MouseMode::PageTowardClick) {
        if (draggingThumb_) QSlider::mouseMoveEvent(event);
        return;
    }
    // The value follows the distance travelled, at the scale of the thumb's own travel.
    const int travelled = pixelOf(event->position().toPoint()) - pressPixel_;
    const bool pixelsRaiseValue = orientation() == Qt::Vertical ? invertedAppearance() : !invertedAppearance();
    const double perPixel = double(maximum() - minimum()) / grooveSpan();
    const int delta = int(std::lround(travelled * perPixel)) * (pixelsRaiseValue ? 1 : -1);
    setSliderPosition(std::clamp(pressValue_ + delta, minimum(), maximum()));
}

void TrackSlider::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !mouseHeld_) {
        event->ignore();
        return;
    }
    event->accept();
    if (draggingThumb_)
        QSlider::mouseReleaseEvent(event);
    else if (mouseMode_ == MouseMode::DragAnywhere)
        setSliderDown(false);
    mouseHeld_ = false;
    draggingThumb_ = false;
    emit mouseReleased();
    if (keysHeld_ == 0) finishIfMoved();
}

void TrackSlider::wheelEvent(QWheelEvent *event) {
    const QPoint angle = event->angleDelta();
    const int raw = std::abs(angle.y()) >= std::abs(angle.x()) ? angle.y() : -angle.x();
    event->accept();
    if (raw == 0) return;
    // Fine-grained wheels deliver parts of a notch; whole notches move the slider.
    wheelRemainder_ += raw / kWheelNotch * (invertedControls() ? -1 : 1);
    const int notches = int(wheelRemainder_);
    if (notches == 0) return;
    wheelRemainder_ -= notches;
    valueAtStart_ = value();
    setValue(std::clamp(value() + notches * wheelStep_, minimum(), maximum()));
    if (!isHeld()) finishIfMoved();
}

void TrackSlider::keyPressEvent(QKeyEvent *event) {
    if (!event->isAutoRepeat()) {
        if (!isHeld()) valueAtStart_ = value();
        ++keysHeld_;
        emit keyPressed();
    }
    QSlider::keyPressEvent(event);
}

void TrackSlider::keyReleaseEvent(QKeyEvent *event) {
    if (event->isAutoRepeat()) {
        QSlider::keyReleaseEvent(event);
        return;
    }
    // A release whose press went to another widget (focus moved in between) still ends the hold.
    keysHeld_ = std::max(0, keysHeld_ - 1);
    emit keyReleased();
    QSlider::keyReleaseEvent(event);
    if (!isHeld()) finishIfMoved();
}

void TrackSlider::focusOutEvent(QFocusEvent *event) {
    // A key held while the focus goes elsewhere never sends its release here.
    if (keysHeld_ > 0) {
        keysHeld_ = 0;
        emit keyReleased();
        if (!isHeld()) finishIfMoved();
    }
    QSlider::focusOutEvent(event);
}

void TrackSlider::finishIfMoved() {
    if (value() == valueAtStart_) return;
    valueAtStart_ = value();
    emit positionChangeFinished();
}

}  // namespace talvo
