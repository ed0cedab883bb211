#include "shell/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace talvo {

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    // A dark amplifier front plate with a teal sine wave across it.
    QLinearGradient plate(0, 0, 0, s);
    plate.setColorAt(0.0, QColor(58, 66, 78));
    plate.setColorAt(1.0, QColor(24, 28, 34));
    p.setPen(QPen(QColor(14, 16, 20), qMax(1.0, s / 32)));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);

    QPainterPath wave;
    const int steps = 48;
    for (int i = 0; i <= steps; ++i) {
        const qreal x = s * 0.14 + s * 0.72 * i / steps;
        const qreal y = s * 0.5 - s * 0.22 * std::sin(2.0 * M_PI * i / steps);
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 200, 190), qMax(1.5, s / 11), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);

    // Two output lamps along the bottom edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 60, 50));
    const qreal lamp = s * 0.1;
    p.drawEllipse(QRectF(s * 0.24, s * 0.78, lamp, lamp));
    p.setBrush(QColor(60, 210, 90));
    p.drawEllipse(QRectF(s * 0.66, s * 0.78, lamp, lamp));
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(AppIconPixmap(size));
    return icon;
}

}  // namespace talvo
