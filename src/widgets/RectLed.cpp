#include "widgets/RectLed.h"

#include <QLinearGradient>
#include <QPainter>

namespace talvo {

RectLed::RectLed(QWidget *parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void RectLed::setActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    update();
}

void RectLed::setActiveColor(const QColor &color) {
    activeColor_ = color;
    update();
}

void RectLed::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor base = active_ ? activeColor_ : QColor(70, 70, 70);

    // A bezel and a vertical sheen make the lamp read as a physical part rather than a flat box.
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    p.setBrush(QColor(25, 25, 25));
    p.drawRoundedRect(frame, 2, 2);

    QLinearGradient sheen(frame.topLeft(), frame.bottomLeft());
    sheen.setColorAt(0.0, base.lighter(active_ ? 160 : 130));
    sheen.setColorAt(0.5, base);
    sheen.setColorAt(1.0, base.darker(140));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(frame.adjusted(2, 2, -2, -2), 1, 1);
}

}  // namespace talvo
