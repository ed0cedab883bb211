#include "editors/CrossoverCurve.h"

#include <gtest/gtest.h>

#include <cmath>

namespace talvo {
namespace {

constexpr int kSlope6Butterworth = 0;
constexpr int kSlopeQ05 = 1;
constexpr int kSlopeQ10 = 5;
constexpr int kSlopeQ12 = 6;
constexpr int kSlopeQ15 = 7;
constexpr int kSlopeQ20 = 8;
constexpr int kSlope12Butterworth = 10;
constexpr int kSlope24LinkRiley = 13;
constexpr int kSlope48Butterworth = 14;
constexpr int kSlope48LinkRiley = 15;

const CrossoverCurvePoint &AtX(const CrossoverCurve &c, int x) { return c.points[x - 1]; }

// A high-pass at 10 Hz, 6 dB, is flat from x = 55 on; a low-pass at 20.2 kHz, 6 dB, is flat
// up to x = 340. Either leaves the other filter alone over most of the plot.
CrossoverCurveInput LowPassOnly(int index, int slope) {
    return {.highPassIndex = 0, .highPassSlope = kSlope6Butterworth, .lowPassIndex = index, .lowPassSlope = slope};
}
CrossoverCurveInput HighPassOnly(int index, int slope) {
    return {.highPassIndex = index, .highPassSlope = slope, .lowPassIndex = 394, .lowPassSlope = kSlope6Butterworth};
}

TEST(CurveCornerTable, ShiftedCopyOfTheCrossoverTable) {
    const auto &c = CurveCornerTable();
    const auto &x = CrossoverTable();
    for (int i = 0; i <= 114; ++i) EXPECT_EQ(c[i], x[i]) << i;
    EXPECT_EQ(c[115], 91.9);
    for (int i = 116; i <= 390; ++i)
        if (i != 328) {
            EXPECT_EQ(c[i], x[i - 1]) << i;
        }
    EXPECT_EQ(c[328], 5550.0);
    EXPECT_EQ(c[238], 981.0);
    EXPECT_EQ(c[390], 18300.0);
    EXPECT_EQ(c[391], 19000.0);
    EXPECT_EQ(c[392], 19400.0);
    EXPECT_EQ(c[393], 19800.0);
    EXPECT_EQ(c[394], 20000.0);
    for (int i = 1; i < kCrossoverCount; ++i) EXPECT_GT(c[i], c[i - 1]) << i;
    for (double absent : {5500.0, 18700.0, 20200.0})
        for (double v : c) EXPECT_NE(v, absent);
}

TEST(CurveCornerColumn, FirstGridColumnAtOrAboveTheCornerFrequency) {
    struct Case { int index; int column; };
    const Case cases[] = {
        {0, 0},     {35, 0},    {36, 1},    {100, 65},  {114, 79},  {115, 80},  {116, 80},
        {238, 202}, {327, 291}, {328, 293}, {329, 293}, {390, 354}, {391, 356}, {393, 358},
        {394, 359}, {-7, 0},    {999, 359},
    };
    for (const auto &c : cases) EXPECT_EQ(CurveCornerColumn(c.index), c.column) << "index " << c.index;
}

TEST(CurveRowForDb, ZeroAtEightyFivePixelsPerDb) {
    EXPECT_EQ(CurveRowForDb(0.0), 80);
    EXPECT_EQ(CurveRowForDb(-12.0), 140);
    EXPECT_EQ(CurveRowForDb(-17.2), 166);
    EXPECT_EQ(CurveRowForDb(6.0), 50);
    EXPECT_EQ(CurveRowForDb(-2.9999), 94);  // floor, not round
    EXPECT_EQ(CurveRowForDb(-3.0), 95);
    EXPECT_EQ(CurveRowForDb(-1e300), 1000000);
}

TEST(CrossoverCurve, TwelveDbButterworthLowPassAtOneKilohertz) {
    const CrossoverCurve c = ComputeCrossoverCurve(LowPassOnly(238, kSlope12Butterworth));
    EXPECT_EQ(c.lowPassCornerColumn, 202);
    for (int x = 1; x <= kCurveColumnCount; ++x) EXPECT_EQ(AtX(c, x).x, x);
    // Just under 3 dB down at the corner (the column of 981 Hz).
    EXPECT_NEAR(AtX(c, 238).db, -3.0, 1e-4);
    EXPECT_GT(AtX(c, 238).db, -3.0);
    EXPECT_EQ(AtX(c, 238).y, 94);
    // Exactly 12 dB down one octave further, then 9 dB per octave.
    EXPECT_EQ(AtX(c, 274).db, -12.0);
    EXPECT_EQ(AtX(c, 274).y, 140);
    EXPECT_DOUBLE_EQ(AtX(c, 310).db, -21.0);
    EXPECT_DOUBLE_EQ(AtX(c, 283).db, -12.0 - 9.0 / 4.0);
    // Flat between the two transitions.
    for (int x = 55; x <= 213; ++x) {
        EXPECT_EQ(AtX(c, x).db, 0.0) << x;
        EXPECT_EQ(AtX(c, x).y, 80) << x;
    }
    // Falling monotonically through the transition.
    for (int x = 214; x <= kCurveColumnCount; ++x) EXPECT_LT(AtX(c, x).db, AtX(c, x - 1).db) << x;
}

TEST(CrossoverCurve, CornerAttenuationOfEverySmoothSlope) {
    struct Case { int slope; double cornerDb; int cornerY; };
    // (sin(t)/t - 1) x S with the corner values of each type.
    const Case cases[] = {
        {0, -3.0, 94},    {1, -6.0, 109},  {2, -4.8, 104},   {3, -3.6, 97},    {4, -2.4, 91},
        {9, -3.0, 94},    {10, -3.0, 94},  {11, -3.06, 95},  {12, -3.0, 94},   {13, -6.0, 110},
        {14, -3.0, 94},   {15, -8.16, 120},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.slope);
        const CrossoverCurve lp = ComputeCrossoverCurve(LowPassOnly(238, k.slope));
        EXPECT_NEAR(AtX(lp, 238).db, k.cornerDb, 1e-4);
        EXPECT_EQ(AtX(lp, 238).y, k.cornerY);
        const CrossoverCurve hp = ComputeCrossoverCurve(HighPassOnly(238, k.slope));
        EXPECT_EQ(hp.highPassCornerColumn, 202);
        EXPECT_NEAR(AtX(hp, 238).db, k.cornerDb, 1e-4);
    }
}

TEST(CrossoverCurve, HighPassMirrorsLowPassAboutItsCorner) {
    for (int slope : {0, 1, 2, 3, 4, 9, 10, 11, 12, 13, 14, 15}) {
        SCOPED_TRACE(slope);
        const CrossoverCurveInput lp = LowPassOnly(250, slope);
        const CrossoverCurveInput hp = HighPassOnly(150, slope);
        const int jl = CurveCornerColumn(250);
        const int jh = CurveCornerColumn(150);
        for (int d = -100; d <= 100; ++d) {
            if (jh - d < kCurveFirstColumn || jl + d > kCurveLastColumn) continue;
            EXPECT_NEAR(CrossoverHighPassDb(hp, jh - d), CrossoverLowPassDb(lp, jl + d), 1e-9) << d;
        }
        // The stop band far from the corner: S dB at one octave, then (S - 3) dB per octave.
        const double S = -CrossoverLowPassDb(lp, jl + 36);
        EXPECT_NEAR(CrossoverLowPassDb(lp, jl + 72), -S - (S - 3), 1e-9);
        EXPECT_NEAR(CrossoverHighPassDb(hp, jh - 72), -S - (S - 3), 1e-9);
    }
}

TEST(CrossoverCurve, SixDbHighPassAtTenHertz) {
    const CrossoverCurveInput in = HighPassOnly(0, kSlope6Butterworth);
    // theta = (m + 72) x 71.3962 / 36.
    EXPECT_NEAR(CrossoverHighPassDb(in, -35), -2.91, 0.01);
    const double t = 2 * M_PI * 37 * 71.3962 / 36 / 360;
    EXPECT_NEAR(CrossoverHighPassDb(in, -35), (std::sin(t - M_PI) / (t - M_PI) - 1) * 6, 1e-12);
    EXPECT_LT(CrossoverHighPassDb(in, 18), 0.0);  // x = 54
    for (int m = 19; m <= kCurveLastColumn; ++m) EXPECT_EQ(CrossoverHighPassDb(in, m), 0.0) << m;
    // Rising through the transition.
    for (int m = -34; m <= 18; ++m) EXPECT_GT(CrossoverHighPassDb(in, m), CrossoverHighPassDb(in, m - 1)) << m;
}

TEST(CrossoverCurve, LowestHighPassPositionsPutTheCornerAtTheirOwnX) {
    // Below 19.7 Hz every position shares corner column 0; the transition is anchored on the
    // position instead, so each step still moves the curve.
    for (int p = 1; p < 36; ++p) {
        SCOPED_TRACE(p);
        const CrossoverCurve c = ComputeCrossoverCurve(HighPassOnly(p, kSlope12Butterworth));
        EXPECT_EQ(c.highPassCornerColumn, 0);
        EXPECT_NEAR(AtX(c, p).db, -3.0, 1e-4) << "corner at x = position";
    }
}

TEST(CrossoverCurve, PenBreaksBelowThePlot) {
    // A steep high-pass and a steep low-pass leave both stop bands far below the plot.
    const CrossoverCurve c = ComputeCrossoverCurve({.highPassIndex = 150,
                                                    .highPassSlope = kSlope48Butterworth,
                                                    .lowPassIndex = 300,
                                                    .lowPassSlope = kSlope48LinkRiley});
    EXPECT_FALSE(c.points.front().penDown);  // the first point only places the pen
    int breaks = 0;
    for (std::size_t i = 1; i < c.points.size(); ++i) {
        const auto &p = c.points[i];
        EXPECT_EQ(p.penDown, p.y < kCurvePenBreakY) << "x " << p.x;
        breaks += !p.penDown;
    }
    EXPECT_GT(breaks, 100);
    // The pass band between them is drawn.
    for (int x = 160; x <= 280; ++x) EXPECT_TRUE(AtX(c, x).penDown) << x;
    // Just outside the corners the curve leaves the plot: left of the high-pass and right of
    // the low-pass there is a run of breaks up to the edge.
    EXPECT_FALSE(AtX(c, 120).penDown);
    EXPECT_FALSE(AtX(c, 340).penDown);
    EXPECT_FALSE(AtX(c, 395).penDown);

    // A gentle curve stays on the plot: only the first point is a move.
    const CrossoverCurve gentle = ComputeCrossoverCurve(LowPassOnly(394, kSlope6Butterworth));
    for (std::size_t i = 1; i < gentle.points.size(); ++i) EXPECT_TRUE(gentle.points[i].penDown) << i;
}

TEST(CrossoverCurve, ResonantLowPassBumps) {
    struct Case { int slope; double peak; };
    const Case cases[] = {{kSlopeQ12, 1.2}, {kSlopeQ15, 3.0}, {kSlopeQ20, 6.0}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.slope);
        const CrossoverCurveInput in = LowPassOnly(238, k.slope);
        const CrossoverCurve c = ComputeCrossoverCurve(in);
        const int j = 238 - 29;
        EXPECT_EQ(c.lowPassCornerColumn, j);
        EXPECT_DOUBLE_EQ(CrossoverLowPassDb(in, j), k.peak);
        double highest = -1e9;
        for (int m = kCurveFirstColumn; m <= kCurveLastColumn; ++m) highest = std::max(highest, CrossoverLowPassDb(in, m));
        EXPECT_DOUBLE_EQ(highest, k.peak);
        // The rising half starts at mid = (j + 0) / 2, from 0 dB.
        EXPECT_EQ(CrossoverLowPassDb(in, j / 2), 0.0);
        EXPECT_GT(CrossoverLowPassDb(in, j / 2 + 1), 0.0);
        // The falling parabola: (m - j)^2 x -(12 - K) / 1296 + K.
        EXPECT_DOUBLE_EQ(CrossoverLowPassDb(in, j + 36), 2 * k.peak - 12.0);
        EXPECT_EQ(AtX(c, j + 36 + kCurveColumnToX).y, CurveRowForDb(2 * k.peak - 12.0));
        EXPECT_EQ(AtX(c, j + kCurveColumnToX).y, 80 - static_cast<int>(k.peak * 5));
    }
    // "12dB/1.0": a bump of 1.134 dB five columns before its corner, -12 dB an octave after.
    const CrossoverCurveInput in = LowPassOnly(238, kSlopeQ10);
    const int j = 209;
    EXPECT_NEAR(CrossoverLowPassDb(in, j - 5), 1.134, 1e-12);
    EXPECT_EQ(CrossoverLowPassDb(in, j), 0.0);
    EXPECT_NEAR(CrossoverLowPassDb(in, j + 36), -12.0, 1e-12);
    for (int m = kCurveFirstColumn; m <= kCurveLastColumn; ++m) EXPECT_LT(CrossoverLowPassDb(in, m), 1.5) << m;
}

TEST(CrossoverCurve, ResonantHighPassShapes) {
    const CrossoverCurveInput q10 = HighPassOnly(200, kSlopeQ10);
    const int j = 200 - 36;
    EXPECT_EQ(ComputeCrossoverCurve(q10).highPassCornerColumn, j);
    EXPECT_NEAR(CrossoverHighPassDb(q10, j + 5), 1.134, 1e-12);
    EXPECT_EQ(CrossoverHighPassDb(q10, j), 0.0);
    EXPECT_NEAR(CrossoverHighPassDb(q10, j - 36), -12.0, 1e-12);

    const CrossoverCurveInput q20 = HighPassOnly(200, kSlopeQ20);
    EXPECT_DOUBLE_EQ(CrossoverHighPassDb(q20, j), 6.0);
    EXPECT_DOUBLE_EQ(CrossoverHighPassDb(q20, j - 36), 0.0);  // 2K - 12 with K = 6
    // Falls back to 0 dB at mid, between the two corners.
    const int mid = (CurveCornerColumn(394) + j) / 2;
    EXPECT_EQ(CrossoverHighPassDb(q20, mid), 0.0);
    EXPECT_GT(CrossoverHighPassDb(q20, mid - 1), 0.0);
}

// When the corner of a resonant filter coincides with the column between the two corners, its
// bump has no width and its scale would divide by zero. The curve is still drawn in full.
TEST(CrossoverCurve, CoincidingResonantCornersStillGiveAFullCurve) {
    struct Case { CrossoverCurveInput in; const char *what; };
    const Case cases[] = {
        // 12dB/1.0 low-pass at 238 (corner 209) and a high-pass at 235 (corner 199): mid = 204
        // = 209 - 5, the start of the bump.
        {{.highPassIndex = 235, .highPassSlope = kSlope12Butterworth, .lowPassIndex = 238, .lowPassSlope = kSlopeQ10},
         "12dB/1.0 low-pass"},
        // 12dB/1.5 high-pass and a smooth low-pass at the same position: both corners 164.
        {{.highPassIndex = 200, .highPassSlope = kSlopeQ15, .lowPassIndex = 200, .lowPassSlope = kSlope12Butterworth},
         "12dB/1.5 high-pass"},
        // 12dB/2.0 low-pass with the high-pass corner on top of it.
        {{.highPassIndex = 245, .highPassSlope = kSlope12Butterworth, .lowPassIndex = 238, .lowPassSlope = kSlopeQ20},
         "12dB/2.0 low-pass"},
        // 12dB/1.0 high-pass whose bump start (corner + 5) is mid.
        {{.highPassIndex = 200, .highPassSlope = kSlopeQ10, .lowPassIndex = 210, .lowPassSlope = kSlope12Butterworth},
         "12dB/1.0 high-pass"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        const CrossoverCurve c = ComputeCrossoverCurve(k.in);
        const int mid = (c.lowPassCornerColumn + c.highPassCornerColumn) / 2;
        const bool lowResonant = k.in.lowPassSlope >= 5 && k.in.lowPassSlope <= 8;
        const int j = lowResonant ? c.lowPassCornerColumn : c.highPassCornerColumn;
        const int bumpStart = (lowResonant ? k.in.lowPassSlope : k.in.highPassSlope) == kSlopeQ10
                                  ? (lowResonant ? j - 5 : j + 5)
                                  : j;
        ASSERT_EQ(mid, bumpStart) << "the case must make the bump empty";
        for (const auto &p : c.points) {
            ASSERT_TRUE(std::isfinite(p.db)) << p.x;
            EXPECT_EQ(p.y, CurveRowForDb(p.db));
        }
        // On the far side of mid the resonant filter adds nothing.
        for (int m = kCurveFirstColumn; m <= kCurveLastColumn; ++m) {
            if (lowResonant && m <= mid) {
                EXPECT_EQ(CrossoverLowPassDb(k.in, m), 0.0) << m;
            }
            if (!lowResonant && m >= mid) {
                EXPECT_EQ(CrossoverHighPassDb(k.in, m), 0.0) << m;
            }
        }
    }
}

TEST(CrossoverCurve, SumOfBothFilters) {
    const CrossoverCurveInput in{.highPassIndex = 100, .highPassSlope = kSlope24LinkRiley,
                                 .lowPassIndex = 300, .lowPassSlope = kSlopeQ15};
    const CrossoverCurve c = ComputeCrossoverCurve(in);
    for (int m = kCurveFirstColumn; m <= kCurveLastColumn; ++m) {
        const auto &p = c.points[m - kCurveFirstColumn];
        EXPECT_EQ(p.x, m + 36);
        EXPECT_DOUBLE_EQ(p.db, CrossoverLowPassDb(in, m) + CrossoverHighPassDb(in, m)) << m;
    }
    // High-pass corner at x = 101 (column 65 shows 68.8 Hz) is 6 dB down.
    EXPECT_NEAR(AtX(c, 101).db, -6.0, 1e-4);
}

TEST(CrossoverCurve, OutOfRangeInputsAreClamped) {
    const CrossoverCurve reference = ComputeCrossoverCurve({0, kSlope6Butterworth, 394, kSlopeQ05});
    const CrossoverCurve odd = ComputeCrossoverCurve({-20, 77, 5000, kSlopeQ05});
    for (std::size_t i = 0; i < reference.points.size(); ++i) {
        EXPECT_EQ(odd.points[i].db, reference.points[i].db) << i;
        EXPECT_EQ(odd.points[i].y, reference.points[i].y) << i;
    }
    const CrossoverCurve negativeSlope = ComputeCrossoverCurve({0, -1, 394, -1});
    const CrossoverCurve zeroSlope = ComputeCrossoverCurve({0, 0, 394, 0});
    for (std::size_t i = 0; i < zeroSlope.points.size(); ++i) EXPECT_EQ(negativeSlope.points[i].db, zeroSlope.points[i].db);
}

}  // namespace
}  // namespace talvo
