#include "editors/CrossoverPlot.h"

#include <QPainter>
#include <QPoint>


#include "editors/FrequencyText.h"
#include "programs/ProgramRecord.h"

namespace talvo {

namespace {

int PositionOf(double hz) {
    const int exact = CrossoverIndexOf(hz);
    return exact >= 0 ? exact : CrossoverPositionForFrequency(hz, 0, kCrossoverCount - 1);
}

}  // namespace

CrossoverCurveInput CrossoverInputFor(const ChannelSettings &channel) {
    CrossoverCurveInput input;
    input.highPassIndex = PositionOf(channel.highPass.freq);
    input.highPassSlope = channel.highPass.slope;
    input.lowPassIndex = PositionOf(channel.lowPass.freq);
    input.lowPassSlope = channel.lowPass.slope;
    return input;
}

void PaintCrossoverGrid(QPainter &painter, const CrossoverPlotStyle &style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect plot(0, 0, kCurvePlotWidth, kCurvePlotHeight);
    painter.setClipRect(plot, Qt::IntersectClip);
    painter.fillRect(plot, style.background);
    painter.setPen(QPen(style.grid, 0));
    for (int row = 0; row < kCurveGridRowCount; ++row) {
        const int y = row * kCurveGridRowStep;
        painter.drawLine(0, y, kCurvePlotWidth, y);
    }
    for (int x : kCurveGridColumnsX) painter.drawLine(x, 0, x, kCurvePlotHeight);
    painter.restore();
}

void PaintCrossoverCurve(QPainter &painter, const CrossoverCurve &curve, const QColor &colour) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colour, 0));
    // The stop band runs far below the plot; in a larger picture it must not show there.
    painter.setClipRect(QRect(0, 0, kCurvePlotWidth, kCurvePlotHeight), Qt::IntersectClip);
    // Runs of joined points go out as one polyline each; a point with the pen up starts a new
    // run (and, alone, draws nothing, as moving the pen does not).
    QPoint run[kCurveColumnCount];
    int length = 0;
    const auto flush = [&] {
        if (length > 1) painter.drawPolyline(run, length);
        length = 0;
    };
    for (const CrossoverCurvePoint &p : curve.points) {
        if (!p.penDown) flush();
        run[length++] = QPoint(p.x, p.y);
    }
    flush();
    painter.restore();
}

void DrawCrossoverPlot(QImage &image, const CrossoverCurveInput &input, const CrossoverPlotStyle &style) {
    if (image.width() != kCurvePlotWidth || image.height() != kCurvePlotHeight || image.format() != QImage::Format_RGB32)
        image = QImage(kCurvePlotWidth, kCurvePlotHeight, QImage::Format_RGB32);
    const CrossoverCurve curve = ComputeCrossoverCurve(input);
    QPainter painter(&image);
    PaintCrossoverGrid(painter, style);
    PaintCrossoverCurve(painter, curve, style.curve);
}

QImage RenderCrossoverPlot(const CrossoverCurveInput &input, const CrossoverPlotStyle &style) {
    QImage image;
    DrawCrossoverPlot(image, input, style);
    return image;
}

}  // namespace talvo
