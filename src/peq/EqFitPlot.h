#pragma once
// The picture of a measured-EQ import, free of widgets (QtGui only): the response the file's
// peaking filters ask for and the one the bands give, on one plot over the fit's 361 points
// (x = point, 20 Hz at 0, 20 kHz at 360, 36 points an octave), with a marker for each band that
// takes part. The gain scale is the PEQ plot's (25 rows per 6 dB) over a wider range, +-24 dB,
// since a measured correction often sums to more than one band can give.

#include <array>

#include <QColor>
#include <QImage>

#include "peq/MeasuredEq.h"

namespace talvo {

inline constexpr int kFitPlotWidth = kFitPointCount;  // columns 0..360
inline constexpr int kFitPlotHeight = 201;            // rows 0..200: +24 dB .. -24 dB
inline constexpr int kFitPlotZeroRow = 100;

struct FitPlotStyle {
    QColor background{0, 0, 0};
    QColor grid{0, 128, 128};
    QColor asked{255, 160, 0};   // the file
    QColor given{0, 255, 255};   // the bands, in the PEQ curve's colour
    std::array<QColor, kPeqBandCount> markers{QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 0)};
};

// Where a gain and a frequency lie on the plot (rounded to the pixel; not limited).
int FitPlotRow(double db);
int FitPlotColumn(double freq);

// Captions: gains at their rows, frequencies at their columns.
struct FitPlotLabel {
    int at;
    const char *text;
};
inline constexpr std::array<FitPlotLabel, 9> kFitGainLabels{{
    {0, "+24dB"}, {25, "+18dB"}, {50, "+12dB"}, {75, "+6dB"}, {100, "0dB"},
    {125, "-6dB"}, {150, "-12dB"}, {175, "-18dB"}, {200, "-24dB"},
}};
// The frequencies the vertical grid lines stand at, and their captions.
inline constexpr std::array<double, 10> kFitGridFrequencies{20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
inline constexpr std::array<const char *, 10> kFitFrequencyTexts{"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"};

// Grid, the file's curve, the bands' curve over it, then the markers of the bands that are not
// FLAT, into a kFitPlotWidth x kFitPlotHeight image.
QImage RenderEqFitPlot(const EqImportPlan &plan, const FitPlotStyle &style = {});

}  // namespace talvo
