#pragma once
// Painting the equaliser plot, free of widgets (QtGui only): the PEQ editor's plot and the
// command-line picture of a program draw with the same code.
//
// The plot is painted into a 360 x 255 bitmap in plot coordinates (x = grid column, 0 dB at
// row 75 for the markers and row 76 for the curve); the editor shows its top 360 x 150. One
// paint clears the bitmap, draws the teal grid, the aqua curve over columns 0..360 (clipped,
// not limited, where it leaves the bitmap) and a 7 x 7 square marker per band, FLAT or not,
// in the band's colour: red, yellow, lime.

#include <array>

#include <QColor>
#include <QImage>

#include "peq/PeqResponse.h"

class QPainter;

namespace talvo {

struct PeqPlotStyle {
    QColor background{0, 0, 0};
    QColor grid{0, 128, 128};
    QColor curve{0, 255, 255};
    std::array<QColor, kPeqBandCount> markers{QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 0)};
};

// The captions around the plot (yellow on black in the editor): gain texts at their rows
// beside it, frequency texts under their columns.
struct PeqAxisLabel {
    int at;  // row for gains, column for frequencies, in plot pixels
    const char *text;
};
inline constexpr std::array<PeqAxisLabel, 7> kPeqGainLabels{{
    {0, "+18dB"}, {25, "+12dB"}, {50, "+6dB"}, {75, "0dB"}, {100, "-6dB"}, {125, "-12dB"}, {150, "-18dB"},
}};
inline constexpr std::array<PeqAxisLabel, 10> kPeqFrequencyLabels{{
    {0, "20"}, {48, "50"}, {84, "100"}, {120, "200"}, {167, "500"},
    {203, "1k"}, {239, "2k"}, {287, "5k"}, {323, "10k"}, {359, "20K"},
}};
inline const QColor kPeqCaptionColour{255, 255, 0};

// One full paint of grid, curve and markers into `bitmap`, which becomes a 360 x 255 RGB32
// image if it is not one already (an image of the right size is reused, so the editor's
// refreshes allocate nothing).
void DrawPeqPlot(QImage &bitmap, const PeqBands &bands, const PeqCurve &curve, const PeqPlotStyle &style = {});
// The same with the curve computed from the bands and their FLAT flags.
QImage RenderPeqPlot(const PeqBands &bands, const PeqFlats &flats, const PeqPlotStyle &style = {});

// Grid, curve and markers alone, for a caller that places them with the painter's transform.
void PaintPeqGrid(QPainter &painter, const PeqPlotStyle &style = {});
void PaintPeqCurve(QPainter &painter, const PeqCurve &curve, const QColor &colour);
void PaintPeqMarkers(QPainter &painter, const PeqBands &bands, const PeqPlotStyle &style = {});

}  // namespace talvo
