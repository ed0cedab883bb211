#include "widgets/ArrowLamp.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace talvo {

namespace {
constexpr int kThickness = 18;  // across the arrow
constexpr int kMinLength = 22;  // along the arrow
}  // namespace

ArrowLamp::ArrowLamp(Direction direction, QWidget *parent) : QWidget(parent), direction_(direction) {
    if (direction_ == Direction::Right)
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    else
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void ArrowLamp::setLitColor(const QColor &color) {
    litColor_ = color;
    update();
}

void ArrowLamp::setLit(bool lit) {
    if (lit_ == lit) return;
    lit_ = lit;
    update();
}

QSize ArrowLamp::sizeHint() const {
    return direction_ == Direction::Right ? QSize(34, kThickness) : QSize(kThickness, 34);
}

QSize ArrowLamp::minimumSizeHint() const {
    return direction_ == Direction::Right ? QSize(kMinLength, kThickness) : QSize(kThickness, kMinLength);
}

void ArrowLamp::changeEvent(QEvent *event) {
    if (event->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(event);
}

void ArrowLamp::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    // Drawn pointing right in a (length x thickness) box, then turned for a downward arrow.
    const bool down = direction_ == Direction::Down;
    const qreal length = down ? height() : width();
    const qreal thick = down ? width() : height();
    if (down) {
        p.translate(width(), 0);
        p.rotate(90);
    }

    const qreal shaft = thick * 0.36;
    const qreal head = qMin(thick * 0.75, length * 0.5);
    const qreal mid = thick / 2.0;
    QPainterPath path;
    path.moveTo(1, mid - shaft / 2);
    path.lineTo(length - head, mid - shaft / 2);
    path.lineTo(length - head, 1);
    path.lineTo(length - 1, mid);
    path.lineTo(length - head, thick - 1);
    path.lineTo(length - head, mid + shaft / 2);
    path.lineTo(1, mid + shaft / 2);
    path.closeSubpath();

    const QColor fill = isEnabled() && lit_ ? litColor_ : QColor(95, 105, 100);
    p.setPen(QPen(fill.darker(170), 1.0));
    p.setBrush(fill);
    p.drawPath(path);
}

}  // namespace talvo
