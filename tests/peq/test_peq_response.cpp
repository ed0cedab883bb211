#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "editors/CrossoverTable.h"
#include "peq/PeqResponse.h"

namespace talvo {
namespace {

// ---- A reference model written straight from the curve's definition, kept deliberately naive:
// an upward scan of the crossover table and a cosine per point.

int RefColumn(double f) {
    if (f <= 19.0) return 0;
    if (f > 20200.0) return 359;
    const auto &table = CrossoverTable();
    for (int i = 0; i < 360; ++i)
        if (table[i + 35] >= f) return i;
    return 359;
}

double RefResponse(int a, const PeqBand &band) {
    const int centre = RefColumn(band.freq);
    if (a == centre) return band.gain;  // the model is exactly the gain at the centre
    const int k = a - centre + 360;
    const double theta = (k >= 180 && k <= 540) ? 2.0 * std::numbers::pi * k / 360.0
                                                : 2.0 * std::numbers::pi * 180.0 / 360.0;
    const double r = 0.3 * band.q / 97.0 + 0.6;
    const double P = (1.0 - r * r) / (1.0 - 2.0 * r * std::cos(theta) + r * r);
    return band.gain * P * (1.0 - r) / (1.0 + r);
}

int RefRow(int a, const PeqBands &bands, const PeqFlats &flat) {
    int s = 80;
    for (int b = 0; b < 3; ++b) {
        const double R = flat[b] ? 0.0 : RefResponse(a, bands[b]);
        const double y = 200.0 - R * 16.666666666666668 - 120.0;
        s += static_cast<int>(std::ceil(y)) / 2;
    }
    return static_cast<int>(std::ceil(s * 3 / 6.0 - 24.0));
}

constexpr PeqBands kDefaults{{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}};
constexpr PeqFlats kNoFlat{false, false, false};

// ---- Frequency grid

TEST(PeqGrid, IsTheUpperCrossoverSliceWithItsTellingEntries) {
    const auto grid = PeqFrequencyTable();
    ASSERT_EQ(grid.size(), 360u);
    const std::vector<std::pair<int, double>> telling{
        {0, 19.7},   {22, 30.1},   {49, 50.6},   {84, 101},   {135, 270},   {167, 500},
        {203, 1000}, {226, 1560},  {239, 2000},  {287, 5040}, {323, 10100}, {359, 20200}};
    for (const auto &[index, freq] : telling) EXPECT_DOUBLE_EQ(grid[index], freq) << index;
    for (int i = 1; i < 360; ++i) EXPECT_LT(grid[i - 1], grid[i]) << i;
}

struct ColumnCase {
    double freq;
    int column;
};

TEST(PeqGrid, FreqToColumnSnapsUpToTheGrid) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const ColumnCase cases[] = {
        {-5.0, 0},    {0.0, 0},     {19.0, 0},     {19.01, 0},   {19.7, 0},    {19.71, 1},
        {30.0, 22},   {30.1, 22},   {90.2, 80},    {999.9, 203}, {1000.0, 203}, {1001.0, 204},
        {1200.0, 213}, {5441.0, 292}, {20100.0, 359}, {20200.0, 359}, {20200.01, 359},
        {1e9, 359},   {inf, 359},   {-inf, 0},     {nan, 0}};
    for (const auto &c : cases) EXPECT_EQ(FreqToColumn(c.freq), c.column) << c.freq;
    // Every grid value is its own column, and anything between two entries goes to the upper.
    const auto grid = PeqFrequencyTable();
    for (int i = 0; i < 360; ++i) {
        EXPECT_EQ(FreqToColumn(grid[i]), i);
        if (i > 0) {
            EXPECT_EQ(FreqToColumn((grid[i - 1] + grid[i]) / 2), i);
        }
    }
}

TEST(PeqGrid, GainToRowIsTheMarkerScale) {
    const std::vector<std::pair<double, int>> cases{
        {12.0, 25}, {6.0, 50}, {0.0, 75}, {-6.0, 100}, {-12.0, 125},
        {1.3, 70},  {0.1, 75}, {-0.1, 76}, {-3.5, 90}, {18.0, 0}, {-18.0, 150}};
    for (const auto &[gain, row] : cases) EXPECT_EQ(GainToRow(gain), row) << gain;
    for (int tenth = -120; tenth <= 120; ++tenth) {
        const double g = tenth / 10.0;
        EXPECT_EQ(GainToRow(g), static_cast<int>(std::ceil(75 - g * 50 / 12))) << g;
    }
}

// ---- One band

TEST(PeqBandResponse, PoleRadiusOfTheQRange) {
    EXPECT_NEAR(PeqPoleRadius(0.4), 0.60124, 5e-6);
    EXPECT_NEAR(PeqPoleRadius(3.0), 0.60928, 5e-6);
    EXPECT_NEAR(PeqPoleRadius(128.0), 0.99588, 5e-6);
}

TEST(PeqBandResponse, MatchesTheReferenceModelAtEveryColumn) {
    const PeqBand bands[] = {
        {19.7, 12.0, 0.4},  {30.0, -3.5, 3.0},    {1000.0, 12.0, 3.0}, {1001.0, -12.0, 10.0},
        {1560.0, 6.3, 128}, {20200.0, 9.9, 42.0}, {270.0, 0.1, 0.4},   {5500.0, -7.7, 64.5}};
    for (const PeqBand &band : bands) {
        for (int a = 0; a <= 360; ++a) {
            const double expected = RefResponse(a, band);
            EXPECT_NEAR(BandResponse(a, band), expected, 1e-12 * (1 + std::fabs(expected)))
                << "f " << band.freq << " g " << band.gain << " q " << band.q << " col " << a;
        }
    }
}

TEST(PeqBandResponse, ShapeOfTheBell) {
    for (double q : {0.4, 3.0, 10.0, 57.0, 128.0}) {
        const PeqBand band{1000.0, 12.0, q};  // centre column 203
        const double r = 0.3 * q / 97 + 0.6;
        const double far = 12.0 * std::pow((1 - r) / (1 + r), 2);
        EXPECT_EQ(BandResponse(203, band), 12.0) << q;  // exactly the gain at the centre
        for (int d = 1; d <= 156; ++d)                  // symmetric as far as the plot reaches
            EXPECT_NEAR(BandResponse(203 - d, band), BandResponse(203 + d, band), 1e-12);
        // 180 columns and beyond: flat at g ((1-r)/(1+r))^2.
        EXPECT_NEAR(BandResponse(23, band), far, 1e-12) << q;
        EXPECT_NEAR(BandResponse(0, band), far, 1e-12) << q;
        EXPECT_GT(BandResponse(24, band), far) << q;
    }
    // One octave (36 columns) off a +12 dB band: about 4.8 dB, and not much less up to Q 10 ...
    for (double q : {0.4, 3.0})
        EXPECT_NEAR(BandResponse(203 + 36, PeqBand{1000.0, 12.0, q}), 4.8, 0.15) << q;
    EXPECT_NEAR(BandResponse(203 + 36, PeqBand{1000.0, 12.0, 10.0}), 4.5, 0.3);
    // ... while Q 128 drops to about 0.64 dB a single column away.
    EXPECT_NEAR(BandResponse(204, PeqBand{1000.0, 12.0, 128.0}), 0.64, 0.01);
    // The response scales with the gain and a cut mirrors a boost.
    EXPECT_NEAR(BandResponse(180, PeqBand{1000.0, -6.0, 3.0}),
                -0.5 * BandResponse(180, PeqBand{1000.0, 12.0, 3.0}), 1e-12);
}

TEST(PeqBandResponse, OutOfRangeOrBrokenValuesStayFinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // From Q 129.33 up the pole radius would reach 1; the picture uses Q 128 as the amplifier does.
    for (double q : {129.333333333333333, 200.0, 255.99, 1e300})
        for (int a : {0, 202, 203, 204, 360})
            EXPECT_DOUBLE_EQ(BandResponse(a, {1000.0, 12.0, q}), BandResponse(a, {1000.0, 12.0, 128.0}))
                << q << " " << a;
    EXPECT_DOUBLE_EQ(BandResponse(150, {1000.0, 5.0, 0.0}), BandResponse(150, {1000.0, 5.0, 0.4}));
    EXPECT_EQ(BandResponse(203, {1000.0, nan, 3.0}), 0.0);
    EXPECT_EQ(BandResponse(200, {1000.0, 3.0, nan}), 0.0);
    EXPECT_EQ(BandResponse(200, {nan, 3.0, 3.0}), BandResponse(200, {19.7, 3.0, 3.0}));
    // Columns far off the plot are simply beyond the bell.
    EXPECT_DOUBLE_EQ(BandResponse(std::numeric_limits<int>::max(), {1000.0, 3.0, 3.0}),
                     BandResponse(0, {1000.0, 3.0, 3.0}));
    EXPECT_DOUBLE_EQ(BandResponse(std::numeric_limits<int>::min(), {1000.0, 3.0, 3.0}),
                     BandResponse(0, {1000.0, 3.0, 3.0}));
}

// ---- The three-band curve

TEST(PeqCurve, FlatBandsOrZeroGainsGiveTheZeroLine) {
    PeqBands loud = kDefaults;
    for (auto &band : loud) band.gain = 12.0;
    for (const auto &[bands, flat] : {std::pair{kDefaults, kNoFlat},
                                      std::pair{loud, PeqFlats{true, true, true}}}) {
        const PeqCurve curve = CurveRows(bands, flat);
        for (int a = 0; a <= 360; ++a) {
            EXPECT_EQ(curve[a], 76) << a;
            EXPECT_EQ(CurveRow(a, bands, flat), 76) << a;
        }
    }
}

TEST(PeqCurve, PeaksOfTheStatedExamples) {
    struct Case {
        PeqBands bands;
        int column;
        int row;
    };
    const Case cases[] = {
        {{{{1000.0, 12.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}}, 203, 26},
        {{{{1000.0, -12.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}}, 203, 126},
        {{{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {19.7, 12.0, 128.0}}}, 0, 26},
        {{{{30.0, 0.0, 3.0}, {20200.0, -12.0, 0.4}, {1560.0, 0.0, 3.0}}}, 359, 126},
        // All three at +12 dB on one frequency: far above the visible rows, not limited.
        {{{{1000.0, 12.0, 3.0}, {1000.0, 12.0, 50.0}, {1000.0, 12.0, 128.0}}}, 203, -74},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CurveRow(c.column, c.bands, kNoFlat), c.row) << c.column;
        EXPECT_EQ(CurveRows(c.bands, kNoFlat)[c.column], c.row) << c.column;
    }
}

TEST(PeqCurve, MatchesTheReferenceModelForMixedBands) {
    const PeqBands configs[] = {
        {{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}},
        {{{30.0, 3.5, 3.0}, {270.0, -6.2, 1.4}, {1560.0, 11.9, 7.5}}},
        {{{19.7, -12.0, 0.4}, {1000.0, 12.0, 128.0}, {20200.0, 6.0, 20.0}}},
        {{{101.0, 0.3, 3.0}, {101.0, 0.6, 3.0}, {101.0, 0.9, 3.0}}},
        {{{500.0, 1.3, 2.9}, {5040.0, -3.4, 3.0}, {10100.0, 4.5, 0.4}}},
        {{{2000.0, -12.0, 128.0}, {2040.0, 12.0, 128.0}, {50.6, -0.1, 64.0}}},
    };
    const PeqFlats flats[] = {kNoFlat, {true, false, false}, {false, true, true}};
    for (const PeqBands &bands : configs) {
        for (const PeqFlats &flat : flats) {
            const PeqCurve curve = CurveRows(bands, flat);
            for (int a = 0; a <= 360; ++a) {
                const int expected = RefRow(a, bands, flat);
                EXPECT_EQ(CurveRow(a, bands, flat), expected) << a;
                EXPECT_EQ(curve[a], expected) << a;
            }
        }
    }
}

TEST(PeqCurve, FlatBandCountsAsZeroGainAndKeepsItsValues) {
    const PeqBands bands{{{30.0, 6.0, 3.0}, {270.0, -9.0, 3.0}, {1560.0, 4.0, 3.0}}};
    PeqBands muted = bands;
    muted[1].gain = 0.0;
    EXPECT_EQ(CurveRows(bands, {false, true, false}), CurveRows(muted, kNoFlat));
    EXPECT_NE(CurveRows(bands, {false, true, false}), CurveRows(bands, kNoFlat));
}

TEST(PeqCurve, AbsurdValuesGiveRowsWithoutOverflow) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const PeqBands bands{{{1000.0, 1e300, 3.0}, {270.0, -inf, 3.0}, {nan, nan, nan}}};
    const PeqCurve curve = CurveRows(bands, kNoFlat);
    for (int a = 0; a <= 360; ++a) EXPECT_EQ(curve[a], CurveRow(a, bands, kNoFlat));
    EXPECT_EQ(GainToRow(inf), GainToRow(1e300));
    EXPECT_EQ(GainToRow(nan), 75);
    EXPECT_LT(GainToRow(1e300), -1000);
}

// ---- Requantising

TEST(PeqRequantise, RoundsToTenthsTheEditorsWay) {
    const std::vector<std::pair<double, double>> cases{
        {1.25, 1.3},  {1.23, 1.3},   {1.205, 1.2}, {1.2, 1.2},    {-1.25, -1.2}, {2.96, 3.0},
        {-3.45, -3.4}, {0.0, 0.0},   {12.0, 12.0}, {-12.0, -12.0}, {0.4, 0.4},   {128.0, 128.0},
        {11.95, 12.0}, {-0.05, 0.0}, {3.5, 3.5}};
    for (const auto &[in, out] : cases) EXPECT_DOUBLE_EQ(RequantiseTenth(in), out) << in;
    // Every tenth of the gain and Q ranges stays exactly where it is.
    for (int n = -120; n <= 1280; ++n) EXPECT_EQ(RequantiseTenth(n / 10.0), n / 10.0) << n;
}

TEST(PeqRequantise, ChangesGainsAndQsButNotFrequencies) {
    PeqBands bands{{{1001.0, 1.23, 2.96}, {19.7, -3.45, 0.4}, {20200.0, 12.0, 127.91}}};
    RequantiseBands(bands);
    const PeqBands expected{{{1001.0, 1.3, 3.0}, {19.7, -3.4, 0.4}, {20200.0, 12.0, 128.0}}};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(bands[b].freq, expected[b].freq) << b;
        EXPECT_DOUBLE_EQ(bands[b].gain, expected[b].gain) << b;
        EXPECT_DOUBLE_EQ(bands[b].q, expected[b].q) << b;
    }
}

}  // namespace
}  // namespace talvo
