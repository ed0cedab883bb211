#include "peq/PeqPlotPainter.h"

#include <QPainter>
#include <QPoint>

#include "peq/PeqPlotLayout.h"

namespace talvo {

void PaintPeqGrid(QPainter &painter, const PeqPlotStyle &style)
{
    painter.setPen(QPen(style.grid, 1));
    for (int row : kPeqGridRows)
        painter.drawLine(0, row, kPeqBitmapWidth, row);
    for (int column : kPeqGridColumns)
        painter.drawLine(column, 0, column, kPeqGridLineBottom);
}

void PaintPeqCurve(QPainter &painter, const PeqCurve &curve, const QColor &colour)
{
    std::array<QPoint, kPeqCurvePoints> points;
    for (int column = 0; column < kPeqCurvePoints; ++column)
        points[static_cast<std::size_t>(column)] = QPoint(column, curve[static_cast<std::size_t>(column)]);
    painter.setPen(QPen(colour, 1));
    painter.drawPolyline(points.data(), kPeqCurvePoints);
}

void PaintPeqMarkers(QPainter &painter, const PeqBands &bands, const PeqPlotStyle &style)
{
    painter.setBrush(Qt::NoBrush);
    for (int b = 0; b < kPeqBandCount; ++b) {
        const int x = FreqToColumn(bands[static_cast<std::size_t>(b)].freq);
        const int y = GainToRow(bands[static_cast<std::size_t>(b)].gain);
        painter.setPen(QPen(style.markers[static_cast<std::size_t>(b)], 1));
        // A one-pixel outline from x-3 to x+3: 7 x 7 pixels.
        painter.drawRect(x - kPeqMarkerHalfSize, y - kPeqMarkerHalfSize, 2 * kPeqMarkerHalfSize, 2 * kPeqMarkerHalfSize);
    }
}

void DrawPeqPlot(QImage &bitmap, const PeqBands &bands, const PeqCurve &curve, const PeqPlotStyle &style)
{
    if (bitmap.width() != kPeqBitmapWidth || bitmap.height() != kPeqBitmapHeight || bitmap.format() != QImage::Format_RGB32)
        bitmap = QImage(kPeqBitmapWidth, kPeqBitmapHeight, QImage::Format_RGB32);
    bitmap.fill(style.background);
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    PaintPeqGrid(painter, style);
    PaintPeqCurve(painter, curve, style.curve);
    PaintPeqMarkers(painter, bands, style);
}

QImage RenderPeqPlot(const PeqBands &bands, const PeqFlats &flats, const PeqPlotStyle &style)
{
    QImage bitmap;
    DrawPeqPlot(bitmap, bands, CurveRows(bands, flats), style);
    return bitmap;
}

}  // namespace talvo
