// The equaliser plot as painted: grid, curve and markers at their pixels in their colours.

#include <gtest/gtest.h>

#include "peq/PeqPlotLayout.h"
#include "peq/PeqPlotPainter.h"

namespace talvo {
namespace {

const PeqBands kFlatBands{{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}};

QColor At(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

TEST(PeqPlotPainter, ZeroBandsDrawTheCurveOnRow76AndTheMarkersOnRow75)
{
    const PeqPlotStyle style;
    const QImage image = RenderPeqPlot(kFlatBands, {});
    ASSERT_EQ(image.size(), QSize(kPeqBitmapWidth, kPeqBitmapHeight));
    for (int x : {0, 10, 100, 200, 300, 359})
        EXPECT_EQ(At(image, x, kPeqCurveZeroRow), style.curve) << x;
    EXPECT_EQ(At(image, 10, 75), style.grid) << "the 0 dB grid line";
    EXPECT_EQ(At(image, 48, 10), style.grid) << "the 50 Hz grid line";
    EXPECT_EQ(At(image, 47, 10), style.background);
    // Band 2's marker: a 7 x 7 outline around (135, 75), hollow inside.
    const int x = FreqToColumn(270.0);
    EXPECT_EQ(At(image, x - 3, 72), style.markers[1]);
    EXPECT_EQ(At(image, x + 3, 78), style.markers[1]);
    EXPECT_EQ(At(image, x - 3, 70), style.background);
    EXPECT_EQ(At(image, x + 1, 73), style.background) << "inside the square";
}

TEST(PeqPlotPainter, BoostedBandPeaksAtItsColumnAndAFlatOneDrawsOnlyItsMarker)
{
    const PeqPlotStyle style;
    PeqBands bands = kFlatBands;
    bands[1].gain = 12.0;
    bands[2].gain = -12.0;
    const QImage image = RenderPeqPlot(bands, {false, false, true});
    const int peak = FreqToColumn(270.0);
    EXPECT_EQ(At(image, peak, 26), style.curve);
    EXPECT_EQ(At(image, peak, kPeqCurveZeroRow), style.background);
    EXPECT_EQ(At(image, FreqToColumn(1560.0) - 3, 125), style.markers[2]) << "the FLAT band's marker at -12 dB";
    EXPECT_NE(At(image, FreqToColumn(1560.0), 126), style.curve) << "but no dip";
}

TEST(PeqPlotPainter, ACurveAboveTheBitmapIsClippedAndTheImageReused)
{
    PeqBands bands;
    bands.fill(PeqBand{1000.0, 12.0, 128.0});
    QImage image;
    DrawPeqPlot(image, bands, CurveRows(bands, {}));
    const uchar *first = image.constBits();
    ASSERT_EQ(CurveRows(bands, {})[static_cast<std::size_t>(FreqToColumn(1000.0))], -74);
    DrawPeqPlot(image, bands, CurveRows(bands, {}));
    EXPECT_EQ(image.constBits(), first);
    EXPECT_EQ(At(image, FreqToColumn(1000.0), 0), PeqPlotStyle().curve) << "the line runs up out of the top";
}

}  // namespace
}  // namespace talvo
