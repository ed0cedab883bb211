#include "peq/EqFitPlot.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPolygonF>

namespace talvo {

namespace {

constexpr double kRowsPerDb = 50.0 / 12.0;  // the PEQ plot's scale
constexpr int kMarkerHalfSize = 3;
// Far outside the picture, so that no value (however absurd) overflows the painter.
constexpr double kRowLimit = 1.0e5;

double RowOf(double db)
{
    if (std::isnan(db))
        db = 0.0;
    return std::clamp(kFitPlotZeroRow - db * kRowsPerDb, -kRowLimit, kRowLimit);
}

void PaintCurve(QPainter &painter, const FitCurve &curve, const QColor &colour)
{
    QPolygonF line;
    for (int i = 0; i < kFitPointCount; ++i)
        line << QPointF(i, RowOf(curve[static_cast<std::size_t>(i)]));
    painter.setPen(QPen(colour, 1));
    painter.drawPolyline(line);
}

}  // namespace

int FitPlotRow(double db)
{
    return static_cast<int>(std::lround(RowOf(db)));
}

int FitPlotColumn(double freq)
{
    if (!(freq > 0.0))
        return 0;
    const double column = (kFitPointCount - 1) * std::log(freq / kFitLowestHz) / std::log(kFitHighestHz / kFitLowestHz);
    return static_cast<int>(std::lround(std::clamp(column, -kRowLimit, kRowLimit)));
}

QImage RenderEqFitPlot(const EqImportPlan &plan, const FitPlotStyle &style)
{
    QImage image(kFitPlotWidth, kFitPlotHeight, QImage::Format_RGB32);
    image.fill(style.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(style.grid, 1));
    for (const FitPlotLabel &label : kFitGainLabels)
        painter.drawLine(0, label.at, kFitPlotWidth, label.at);
    for (double f : kFitGridFrequencies)
        painter.drawLine(FitPlotColumn(f), 0, FitPlotColumn(f), kFitPlotHeight);

    PaintCurve(painter, plan.asked, style.asked);
    PaintCurve(painter, plan.given, style.given);

    painter.setBrush(Qt::NoBrush);
    for (int b = 0; b < kPeqBandCount; ++b) {
        if (plan.flats[static_cast<std::size_t>(b)])
            continue;
        const PeqBand &band = plan.bands[static_cast<std::size_t>(b)];
        painter.setPen(QPen(style.markers[static_cast<std::size_t>(b)], 1));
        painter.drawRect(FitPlotColumn(band.freq) - kMarkerHalfSize, FitPlotRow(band.gain) - kMarkerHalfSize,
                         2 * kMarkerHalfSize, 2 * kMarkerHalfSize);
    }
    return image;
}

}  // namespace talvo
