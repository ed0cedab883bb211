#pragma once
// Painting the crossover response curve, free of widgets (QtGui only): the crossover editor's
// plot and the command-line picture of a program draw with the same code.
//
// The picture is the editor's 394 x 160 plot: a teal grid on the background colour and the
// red curve, in the curve's own pixel coordinates (x = 1..395 for CrossoverTable index 0..394,
// 0 dB at y = 80, 5 pixels per dB). A caller that draws it at another place or size sets the
// painter's transform first.

#include <array>

#include <QColor>
#include <QImage>

#include "editors/CrossoverCurve.h"

class QPainter;

namespace talvo {

struct ChannelSettings;

struct CrossoverPlotStyle {
    QColor background{58, 110, 165};  // the classic desktop colour
    QColor grid{0, 128, 128};
    QColor curve{255, 0, 0};
};

// The labels around the plot: frequency texts under their grid columns ("10" at x = 1 ..
// "20K" at x = 395) and decibel texts at their rows ("+15dB" at y = 5 .. "-15dB" at y = 155).
struct CrossoverAxisLabel {
    int at;  // x for frequencies, y for decibels, in plot pixels
    const char *text;
};
inline constexpr std::array<CrossoverAxisLabel, 11> kCrossoverFrequencyLabels{{
    {1, "10"}, {36, "20"}, {84, "50"}, {120, "100"}, {156, "200"}, {203, "500"},
    {239, "1K"}, {275, "2K"}, {323, "5K"}, {359, "10K"}, {395, "20K"},
}};
inline constexpr std::array<CrossoverAxisLabel, 11> kCrossoverDbLabels{{
    {5, "+15dB"}, {20, "+12dB"}, {35, "+9dB"}, {50, "+6dB"}, {65, "+3dB"}, {80, "0dB"},
    {95, "-3dB"}, {110, "-6dB"}, {125, "-9dB"}, {140, "-12dB"}, {155, "-15dB"},
}};

// The curve input of a program's channel. A stored frequency that is not a table value is
// taken to the next table frequency at or above it.
CrossoverCurveInput CrossoverInputFor(const ChannelSettings &channel);

// The background and the grid over the whole 394 x 160 plot.
void PaintCrossoverGrid(QPainter &painter, const CrossoverPlotStyle &style = {});
// The curve alone, with the pen breaks of the computed points.
void PaintCrossoverCurve(QPainter &painter, const CrossoverCurve &curve, const QColor &colour);

// One full redraw: computes the curve and paints grid and curve into `image`, which becomes
// a 394 x 160 RGB32 image if it is not one already (an image of the right size is reused, so
// the editor's redraws allocate nothing).
void DrawCrossoverPlot(QImage &image, const CrossoverCurveInput &input, const CrossoverPlotStyle &style = {});
QImage RenderCrossoverPlot(const CrossoverCurveInput &input, const CrossoverPlotStyle &style = {});

}  // namespace talvo
