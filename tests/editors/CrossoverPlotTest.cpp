// The painted crossover plot: grid and curve where the curve's pixel coordinates put them,
// nothing outside the plot, and a program's channel turned into the curve input.
#include "editors/CrossoverPlot.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "programs/ProgramRecord.h"

namespace talvo {
namespace {

constexpr int kSlope6Butterworth = 0;
constexpr int kSlope12Butterworth = 10;
constexpr int kSlope48Butterworth = 14;

const CrossoverPlotStyle kStyle;

QRgb At(const QImage &image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
bool IsCurve(const QImage &image, int x, int y) { return At(image, x, y) == (kStyle.curve.rgb() & 0xFFFFFF); }

TEST(CrossoverPlot, GridAndBackground) {
    // A curve far below the plot everywhere leaves the grid and background alone: both
    // filters at 10 Hz, 48 dB.
    const QImage image = RenderCrossoverPlot({0, kSlope48Butterworth, 0, kSlope48Butterworth});
    ASSERT_EQ(image.size(), QSize(kCurvePlotWidth, kCurvePlotHeight));
    const QRgb grid = kStyle.grid.rgb() & 0xFFFFFF;
    const QRgb background = kStyle.background.rgb() & 0xFFFFFF;
    for (int y : {0, 16, 80, 144}) EXPECT_EQ(At(image, 200, y), grid) << "row " << y;
    for (int x : kCurveGridColumnsX) EXPECT_EQ(At(image, x, 100), grid) << "column " << x;
    EXPECT_EQ(At(image, 37, 8), background);
    EXPECT_EQ(At(image, 200, 100), background);
    EXPECT_EQ(At(image, 393, 159), background);
}

TEST(CrossoverPlot, CurveAtItsComputedRows) {
    // 12 dB Butterworth low-pass at 1 kHz: 0 dB (y = 80) across the pass band, just under
    // 3 dB down at its corner column (y = 94), 12 dB down one octave further (y = 140).
    const CrossoverCurveInput input{0, kSlope6Butterworth, 238, kSlope12Butterworth};
    const QImage image = RenderCrossoverPlot(input);
    EXPECT_TRUE(IsCurve(image, 150, 80));
    EXPECT_TRUE(IsCurve(image, 238, 94));
    EXPECT_TRUE(IsCurve(image, 274, 140));
    // Every column the curve crosses inside the plot holds curve pixels: the points are joined.
    const CrossoverCurve curve = ComputeCrossoverCurve(input);
    for (const CrossoverCurvePoint &p : curve.points)
        if (p.penDown && p.y < kCurvePlotHeight && p.x < kCurvePlotWidth) {
            EXPECT_TRUE(IsCurve(image, p.x, p.y)) << "x " << p.x;
        }
}

TEST(CrossoverPlot, NothingSpillsBelowThePlot) {
    // 48 dB Butterworth low-pass at 1 kHz: its stop band runs hundreds of pixels down. Painted
    // on a canvas with room below the plot (as a larger picture has), nothing lands there.
    const CrossoverCurveInput input{0, kSlope6Butterworth, 238, kSlope48Butterworth};
    QImage canvas(kCurvePlotWidth, 3 * kCurvePlotHeight, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    PaintCrossoverCurve(painter, ComputeCrossoverCurve(input), kStyle.curve);
    painter.end();
    EXPECT_TRUE(IsCurve(canvas, 250, 156));  // the last point inside the plot
    for (int y = kCurvePlotHeight; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) ASSERT_EQ(At(canvas, x, y), 0u) << "x " << x << " y " << y;
}

TEST(CrossoverPlot, RedrawReusesTheImage) {
    QImage image;
    DrawCrossoverPlot(image, {0, kSlope6Butterworth, 238, kSlope12Butterworth});
    const uchar *bits = image.constBits();
    DrawCrossoverPlot(image, {0, kSlope6Butterworth, 394, kSlope6Butterworth});
    EXPECT_EQ(image.constBits(), bits);
    // The new curve replaced the old one: the former corner pixel is background again.
    EXPECT_FALSE(IsCurve(image, 274, 140));
    EXPECT_TRUE(IsCurve(image, 274, 80));
}

TEST(CrossoverPlot, PaintsThroughTheCallersTransform) {
    // Twice the size, shifted: the 0 dB line at x = 150 lands at (2 * 150 + 10, 2 * 80 + 20).
    QImage big(2 * kCurvePlotWidth + 20, 2 * kCurvePlotHeight + 40, QImage::Format_RGB32);
    big.fill(Qt::black);
    QPainter painter(&big);
    painter.translate(10, 20);
    painter.scale(2, 2);
    PaintCrossoverGrid(painter, kStyle);
    PaintCrossoverCurve(painter, ComputeCrossoverCurve({0, kSlope6Butterworth, 394, kSlope6Butterworth}), kStyle.curve);
    painter.end();
    EXPECT_TRUE(IsCurve(big, 310, 180) || IsCurve(big, 310, 181));
    EXPECT_EQ(At(big, 5, 5), 0u);  // outside the plot untouched
}

TEST(CrossoverInputFor, TableFrequenciesAndOthers) {
    struct Case {
        const char *name;
        double lowPassHz;
        double highPassHz;
        int lowPassIndex;
        int highPassIndex;
    };
    const Case cases[] = {
        {"table values", 20200.0, 10.0, 394, 0},
        {"one kilohertz and 68.8", 1000.0, 68.8, 238, 100},
        {"between entries goes up", 12000.0, 92.0, 367, 115},
        {"beyond the table stays at its ends", 30000.0, 5.0, 394, 0},
    };
    for (const Case &c : cases) {
        ChannelSettings channel;
        channel.lowPass = {13, c.lowPassHz};
        channel.highPass = {7, c.highPassHz};
        const CrossoverCurveInput input = CrossoverInputFor(channel);
        EXPECT_EQ(input.lowPassIndex, c.lowPassIndex) << c.name;
        EXPECT_EQ(input.highPassIndex, c.highPassIndex) << c.name;
        EXPECT_EQ(input.lowPassSlope, 13) << c.name;
        EXPECT_EQ(input.highPassSlope, 7) << c.name;
    }
}

}  // namespace
}  // namespace talvo
