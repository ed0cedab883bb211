#pragma once
// The editors' slider: a QSlider that reports the events the editors act on (mouse and key
// held and let go, position changed, position change finished) and offers the two mouse
// behaviours the editors use:
//
//   PageTowardClick  a click on the track beside the thumb moves it one page toward the click
//                    (once, however long the button is held); the thumb itself is dragged
//   DragAnywhere     a click never moves it; dragging from anywhere on the slider moves it by
//                    the distance the mouse travels
//
// The mouse-wheel step is the slider's own (wheelStep positions per notch), independent of
// the page step. positionChangeFinished follows a mouse or key interaction that changed the
// position, once the button or key is let go, and every wheel notch that moved it.

#include <QSlider>

namespace talvo {

class TrackSlider : public QSlider {
    Q_OBJECT
public:
    enum class MouseMode { PageTowardClick, DragAnywhere };

    explicit TrackSlider(Qt::Orientation orientation = Qt::Vertical, QWidget *parent = nullptr);

    MouseMode mouseMode() const { return mouseMode_; }
    void setMouseMode(MouseMode mode) { mouseMode_ = mode; }
    int wheelStep() const { return wheelStep_; }
    void setWheelStep(int positions) { wheelStep_ = positions; }

    // Whether a mouse button or a key is held on the slider right now.
    bool isHeld() const { return mouseHeld_ || keysHeld_ > 0; }
    // Where the thumb is drawn, in the slider's coordinates.
    QRect handleRect() const;

signals:
    void mousePressed();
    void mouseReleased();
    void keyPressed();
    void keyReleased();
    // The position moved by any means (user, program); QSlider's valueChanged under the
    // editors' name.
    void positionChanged(int position);
    void positionChangeFinished();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool onHandle(const QPoint &pos) const { return handleRect().contains(pos); }
    int pixelOf(const QPoint &pos) const;  // along the slider
    int grooveSpan() const;                // pixels the thumb travels from end to end
    void finishIfMoved();

    MouseMode mouseMode_ = MouseMode::PageTowardClick;
    int wheelStep_ = 1;
    bool mouseHeld_ = false;
    bool draggingThumb_ = false;  // PageTowardClick: the press was on the thumb
    int keysHeld_ = 0;
    int pressPixel_ = 0;
    int pressValue_ = 0;
    int valueAtStart_ = 0;  // when the current interaction began
    double wheelRemainder_ = 0.0;
};

}  // namespace talvo
