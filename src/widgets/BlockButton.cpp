#include "widgets/BlockButton.h"

#include <QEnterEvent>
#include <QLinearGradient>
#include <QPainter>

namespace talvo {

BlockButton::BlockButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void BlockButton::setBaseColor(const QColor &color) {
    base_ = color;
    update();
}

QSize BlockButton::sizeHint() const {
    const QFontMetrics fm(font());
    return {qMax(72, fm.horizontalAdvance(text()) + 24), 44};
}

QSize BlockButton::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 12, 44};
}

void BlockButton::enterEvent(QEnterEvent *event) {
    hovered_ = true;
    update();
    QPushButton::enterEvent(event);
}

void BlockButton::leaveEvent(QEvent *event) {
    hovered_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void BlockButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);

    QColor base = isEnabled() ? base_ : QColor(130, 136, 142);
    if (isEnabled() && hovered_) base = base.lighter(118);
    const bool sunken = isDown() || isChecked();

    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, sunken ? base.darker(125) : base.lighter(150));
    g.setColorAt(0.48, sunken ? base.darker(110) : base.lighter(110));
    g.setColorAt(0.52, sunken ? base.darker(105) : base);
    g.setColorAt(1.0, sunken ? base : base.darker(135));
    p.setPen(QPen(base.darker(190), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(r, 5, 5);

    if (hasFocus()) {
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.0, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 3, 3);
    }

    p.setPen(isEnabled() ? QColor(Qt::white) : QColor(225, 228, 230));
    p.setFont(font());
    p.drawText(r.translated(0, sunken ? 1 : 0), Qt::AlignCenter, text());
}

}  // namespace talvo
