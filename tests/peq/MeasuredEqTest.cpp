// Measured EQ files: real-looking filter files of both line forms read into the three bands,
// the fit figure against a computation of its own, the file written from bands and read back,
// and the files that are refused with the line named.

#include <cmath>
#include <complex>
#include <numbers>

#include <QColor>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "peq/EqFitPlot.h"
#include "peq/MeasuredEq.h"
#include "state/AppState.h"

namespace talvo::testing {
namespace {

// ---- An independent computation of the figure: the cookbook peaking filter evaluated as its
// transfer function on the unit circle (complex arithmetic, not the closed magnitude form),
// at 361 points spaced evenly in log frequency from 20 Hz to 20 kHz.

double DirectPeakingDb(double f, double f0, double gainDb, double q)
{
    const double fs = 48000.0;
    const double pi = std::numbers::pi;
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * pi * f0 / fs;
    const double alpha = std::sin(w0) / (2.0 * q);
    const std::complex<double> zInv = std::polar(1.0, -2.0 * pi * f / fs);
    const std::complex<double> num = (1.0 + alpha * a) - 2.0 * std::cos(w0) * zInv + (1.0 - alpha * a) * zInv * zInv;
    const std::complex<double> den = (1.0 + alpha / a) - 2.0 * std::cos(w0) * zInv + (1.0 - alpha / a) * zInv * zInv;
    return 20.0 * std::log10(std::abs(num / den));
}

double DirectSum(double f, const std::vector<PeqBand> &filters)
{
    double sum = 0.0;
    for (const PeqBand &b : filters)
        sum += DirectPeakingDb(f, b.freq, b.gain, b.q);
    return sum;
}

double DirectPoint(int i)
{
    return 20.0 * std::pow(1000.0, i / 360.0);
}

// The largest |asked - given| over the 361 points.
double DirectFit(const std::vector<PeqBand> &asked, const std::vector<PeqBand> &given)
{
    double worst = 0.0;
    for (int i = 0; i <= 360; ++i)
        worst = std::max(worst, std::fabs(DirectSum(DirectPoint(i), asked) - DirectSum(DirectPoint(i), given)));
    return worst;
}

// ---- Real-looking files.

// The measurement software's export: header, notes, five peaking filters, a shelf, an empty slot.
const char kFivePeaking[] =
    "Filter Settings file\r\n"
    "\r\n"
    "Room EQ V5.20\r\n"
    "Dated: 12-Mar-2024 14:02:51\r\n"
    "\r\n"
    "Notes:Main hall, left stack\r\n"
    "\r\n"
    "Equaliser: Generic\r\n"
    "Average 1\r\n"
    "Filter  1: ON  PK       Fc   42.5 Hz  Gain  -8.5 dB  Q  5.20\r\n"
    "Filter  2: ON  PK       Fc    240 Hz  Gain   2.5 dB  Q  2.10\r\n"
    "Filter  3: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.00\r\n"
    "Filter  4: ON  PK       Fc    118 Hz  Gain  -6.5 dB  Q  6.50\r\n"
    "Filter  5: ON  LS       Fc    105 Hz  Gain   4.0 dB\r\n"
    "Filter  6: ON  PK       Fc   1850 Hz  Gain  -1.5 dB  Q  1.80\r\n"
    "Filter  7: ON  None\r\n";

const PeqBands kNow{{{30.0, 0.0, 3.0}, {270.0, 1.0, 3.0}, {1560.0, -2.0, 3.0}}};

struct FileCase {
    const char *name;
    const char *text;
    PeqBands bands;   // what the bands get (a FLAT band keeps kNow's values)
    PeqFlats flats;
    // Substrings of the report lines, in order.
    std::vector<const char *> report;
};

const FileCase kFileCases[] = {
    {"MeasurementExportFivePeakingKeepsTheThreeLargest",
     kFivePeaking,
     {{{42.5, -8.5, 5.2}, {63.7, -5.0, 4.0}, {118.0, -6.5, 6.5}}},
     {false, false, false},
     {"line 10 (Filter 1): PK 42.5 Hz, -8.5 dB, Q 5.2 -> band 1: 42.5 Hz, -8.5 dB, Q 5.2",
      "line 11 (Filter 2): PK 240 Hz, 2.5 dB, Q 2.1; left out",
      "line 12 (Filter 3): PK 63 Hz, -5 dB, Q 4 -> band 2: 63.7 Hz, -5.0 dB, Q 4.0",
      "line 13 (Filter 4): PK 118 Hz, -6.5 dB, Q 6.5 -> band 3: 118 Hz, -6.5 dB, Q 6.5",
      "line 14 (Filter 5): LS is not a peaking filter; not imported",
      "line 15 (Filter 6): PK 1850 Hz, -1.5 dB, Q 1.8; left out",
      "line 16 (Filter 7): no filter (None); ignored"}},
    {"EqualizerFormWithPreampAndComments",
     "# written by hand for the hall\n"
     "Preamp: -6.5 dB\n"
     "Filter: ON PK Fc 63 Hz Gain -5.0 dB Q 4.00\n"
     "; another comment\n"
     "Filter: ON PK Fc 1.2kHz Gain +2.97 dB Q 0.71   # glued unit; was Q 0.5 before\n",
     {{{63.7, -5.0, 4.0}, {1210.0, 3.0, 0.7}, {1560.0, -2.0, 3.0}}},
     {false, false, true},
     {"line 2: Preamp: -6.5 dB; not imported",
      "line 3 (Filter): PK 63 Hz, -5 dB, Q 4 -> band 1: 63.7 Hz, -5.0 dB, Q 4.0",
      "line 5 (Filter): PK 1200 Hz, 2.97 dB, Q 0.71 -> band 2: 1210 Hz, 3.0 dB, Q 0.7",
      "band 3: no filter left for it; FLAT (keeps 1560 Hz, -2.0 dB, Q 3.0)"}},
    {"KeysInAnyOrderExtraSpaceAndTabs",
     "  Filter   1 :\tON   PK   Q 4.979   Gain   -3.04 dB\tFc 1000 Hz  \n"
     "Filter 2: ON PK Gain 12.5 dB Fc 19.7 Hz Q 128\n"
     "Filter 3: ON PK Fc 20200 Hz Q 0.4 Gain -14 dB\n",
     {{{1000.0, -3.0, 5.0}, {19.7, 12.0, 128.0}, {20200.0, -12.0, 0.4}}},
     {false, false, false},
     {"line 1 (Filter 1): PK 1000 Hz, -3.04 dB, Q 4.979 -> band 1: 1000 Hz, -3.0 dB, Q 5.0",
      "-> band 2: 19.7 Hz, 12.0 dB, Q 128.0 (gain limited to +12 dB)",
      "-> band 3: 20200 Hz, -12.0 dB, Q 0.4 (gain limited to -12 dB)"}},
    {"OffAndShelfFiltersAreNotImported",
     "Filter  1: OFF PK       Fc    100 Hz  Gain  -3.0 dB  Q  1.00\n"
     "Filter  2: ON  LSC      Fc     80 Hz  Gain   5.0 dB  Q  0.71\n"
     "Filter  3: ON  HP       Fc     30 Hz\n"
     "Filter  4: ON  PK       Fc   5000 Hz  Gain  -2.0 dB  Q  3.00\n",
     {{{5040.0, -2.0, 3.0}, {270.0, 1.0, 3.0}, {1560.0, -2.0, 3.0}}},
     {false, true, true},
     {"line 1 (Filter 1): OFF; ignored",
      "line 2 (Filter 2): LSC is not a peaking filter; not imported",
      "line 3 (Filter 3): HP is not a peaking filter; not imported",
      "line 4 (Filter 4): PK 5000 Hz, -2 dB, Q 3 -> band 1: 5040 Hz, -2.0 dB, Q 3.0",
      "band 2: no filter left for it; FLAT",
      "band 3: no filter left for it; FLAT"}},
    // Filters numbered 2 and 3 with 1 off: they keep their bands (what export then import
    // needs when band 1 is FLAT).
    {"NumberedFiltersKeepTheirBands",
     "Filter 1: OFF PK Fc 30 Hz Gain 0 dB Q 3\n"
     "Filter 2: ON PK Fc 500 Hz Gain -4 dB Q 8\n"
     "Filter 3: ON PK Fc 5040 Hz Gain 3 dB Q 1\n",
     {{{30.0, 0.0, 3.0}, {500.0, -4.0, 8.0}, {5040.0, 3.0, 1.0}}},
     {true, false, false},
     {"line 1 (Filter 1): OFF; ignored", "-> band 2: 500 Hz", "-> band 3: 5040 Hz", "band 1: no filter left for it; FLAT"}},
    // Equal peaks: the wider filters change more of the response and are kept.
    {"OfEqualPeaksTheNarrowestIsLeftOut",
     "Filter 1: ON PK Fc 100 Hz Gain -6 dB Q 1\n"
     "Filter 2: ON PK Fc 400 Hz Gain -6 dB Q 10\n"
     "Filter 3: ON PK Fc 1000 Hz Gain -6 dB Q 2\n"
     "Filter 4: ON PK Fc 4000 Hz Gain -6 dB Q 5\n",
     {{{101.0, -6.0, 1.0}, {1000.0, -6.0, 2.0}, {4000.0, -6.0, 5.0}}},
     {false, false, false},
     {"-> band 1: 101 Hz", "line 2 (Filter 2): PK 400 Hz, -6 dB, Q 10; left out", "-> band 2: 1000 Hz",
      "-> band 3: 4000 Hz"}},
};

class FilterFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(FilterFiles, BecomeTheBandsWithEveryChangeReported)
{
    const FileCase &c = GetParam();
    const MeasuredEqRead read = ReadMeasuredEq(QString::fromUtf8(c.text));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    const EqImportPlan plan = PlanEqImport(*read.eq, kNow);
    for (int b = 0; b < kPeqBandCount; ++b) {
        SCOPED_TRACE(b + 1);
        EXPECT_DOUBLE_EQ(plan.bands[b].freq, c.bands[b].freq);
        EXPECT_DOUBLE_EQ(plan.bands[b].gain, c.bands[b].gain);
        EXPECT_DOUBLE_EQ(plan.bands[b].q, c.bands[b].q);
        EXPECT_EQ(plan.flats[b], c.flats[b]);
        // What the editor keeps is what was imported: its tenths rounding changes nothing.
        EXPECT_DOUBLE_EQ(RequantiseTenth(plan.bands[b].gain), plan.bands[b].gain);
        EXPECT_DOUBLE_EQ(RequantiseTenth(plan.bands[b].q), plan.bands[b].q);
    }
    QStringList report;
    for (const EqReportLine &line : plan.report)
        report << line.text;
    std::size_t next = 0;
    for (const QString &line : report) {
        if (next < c.report.size() && line.contains(QString::fromUtf8(c.report[next])))
            ++next;
    }
    EXPECT_EQ(next, c.report.size()) << "missing in order: " << (next < c.report.size() ? c.report[next] : "")
                                     << "\nreport:\n" << report.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(, FilterFiles, ::testing::ValuesIn(kFileCases), [](const auto &info) { return std::string(info.param.name); });

// ---- The fit figure.

TEST(FitFigure, IsTheLargestDifferenceOfTheDirectComputation)
{
    const MeasuredEqRead read = ReadMeasuredEq(QString::fromLatin1(kFivePeaking));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    const EqImportPlan plan = PlanEqImport(*read.eq, kNow);
    const std::vector<PeqBand> asked{{42.5, -8.5, 5.2}, {240.0, 2.5, 2.1}, {63.0, -5.0, 4.0}, {118.0, -6.5, 6.5}, {1850.0, -1.5, 1.8}};
    const std::vector<PeqBand> given{{42.5, -8.5, 5.2}, {63.7, -5.0, 4.0}, {118.0, -6.5, 6.5}};
    for (int i = 0; i <= 360; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(plan.asked[i], DirectSum(DirectPoint(i), asked), 1e-6);
        EXPECT_NEAR(plan.given[i], DirectSum(DirectPoint(i), given), 1e-6);
    }
    const double expected = DirectFit(asked, given);
    EXPECT_NEAR(plan.fit, expected, 1e-6);
    // The two left-out filters: the larger, +2.5 dB, is most of the figure.
    EXPECT_GT(expected, 2.0);
    EXPECT_LT(expected, 3.0);
    EXPECT_TRUE(FitText(plan).startsWith(QStringLiteral("largest difference %1 dB").arg(expected, 0, 'f', 2)))
        << FitText(plan).toStdString();
}

TEST(FitFigure, ThePeakingFilterGivesItsGainAtItsCentreAndNothingFarAway)
{
    for (const PeqBand filter : {PeqBand{63.0, -5.0, 4.0}, PeqBand{1000.0, 12.0, 0.4}, PeqBand{20200.0, -12.0, 128.0}}) {
        EXPECT_NEAR(PeakingResponseDb(filter.freq, filter), filter.gain, 1e-6);
        EXPECT_NEAR(PeakingResponseDb(filter.freq, filter), DirectPeakingDb(filter.freq, filter.freq, filter.gain, filter.q), 1e-6);
    }
    EXPECT_NEAR(PeakingResponseDb(20.0, {20000.0, 6.0, 4.0}), 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(FitPointFrequency(0), 20.0);
    EXPECT_NEAR(FitPointFrequency(360), 20000.0, 1e-6);
}

// ---- Export, then import.

struct RoundTripCase {
    const char *name;
    PeqBands bands;
    PeqFlats flats;
};

const RoundTripCase kRoundTrips[] = {
    {"DefaultsWithGains", {{{30.0, 3.5, 3.0}, {270.0, -4.0, 3.0}, {1560.0, 0.0, 3.0}}}, {false, false, false}},
    {"MiddleBandFlat", {{{50.6, 4.5, 2.0}, {500.0, -6.0, 8.0}, {5040.0, 3.0, 1.0}}}, {false, true, false}},
    {"FirstBandFlat", {{{101.0, -4.0, 1.5}, {1560.0, 7.5, 30.0}, {10100.0, -9.0, 3.0}}}, {true, false, false}},
    {"EndsOfEveryRange", {{{19.7, -12.0, 0.4}, {20200.0, 12.0, 128.0}, {1000.0, -0.1, 0.5}}}, {false, false, false}},
};

class ExportImport : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ExportImport, GivesBackTheSameBands)
{
    const RoundTripCase &c = GetParam();
    const QString text = FilterFileText(c.bands, c.flats, QStringLiteral("TALVO program \"x\", LEFT channel"));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("^Filter  1: (ON |OFF) PK +Fc +[0-9.]+ Hz  Gain +-?[0-9.]+ dB  Q +[0-9.]+$"),
                                                 QRegularExpression::MultilineOption)))
        << text.toStdString();
    const MeasuredEqRead read = ReadMeasuredEq(text);
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    // Imported over other bands: a FLAT band comes back FLAT (its values are the target's).
    const EqImportPlan plan = PlanEqImport(*read.eq, c.bands);
    EXPECT_EQ(plan.bands, c.bands) << text.toStdString();
    EXPECT_EQ(plan.flats, c.flats);
    EXPECT_EQ(plan.fit, 0.0);
}

INSTANTIATE_TEST_SUITE_P(, ExportImport, ::testing::ValuesIn(kRoundTrips), [](const auto &info) { return std::string(info.param.name); });

// ---- Refused files.

struct BadCase {
    const char *name;
    const char *text;
    const char *says;  // the message starts with it
};

const BadCase kBadCases[] = {
    {"Empty", "", "the file is empty"},
    {"OnlySpace", "  \r\n\t\r\n", "the file is empty"},
    {"NoFilterLine", "Filter Settings file\nNotes: nothing yet\n", "no filter line in the file"},
    {"NoPeakingFilterOn",
     "Filter 1: OFF PK Fc 63 Hz Gain -5 dB Q 4\nFilter 2: ON LS Fc 80 Hz Gain 3 dB\nFilter 3: ON None\n",
     "no peaking filter is ON"},
    {"FrequencyNotANumber", "Filter 1: ON PK Fc 63 Hz Gain -5 dB Q 4\n\nFilter 2: ON PK Fc abc Hz Gain -3 dB Q 2\n",
     "line 3: Fc 'abc' is not a number: \"Filter 2: ON PK Fc abc Hz Gain -3 dB Q 2\""},
    {"GainNotANumber", "Filter: ON PK Fc 63 Hz Gain -5,0,1 dB Q 4\n", "line 1: Gain '-5,0,1' is not a number"},
    {"QNotANumberNan", "Filter: ON PK Fc 63 Hz Gain -5 dB Q nan\n", "line 1: Q 'nan' is not a number"},
    {"NumberTooLargeForADouble", "Filter: ON PK Fc 63 Hz Gain -5 dB Q 1e999\n", "line 1: Q '1e999' is not a number"},
    {"WrongUnit", "Filter: ON PK Fc 63 dB Gain -5 dB Q 4\n", "line 1: Fc '63 dB' has the wrong unit"},
    {"FrequencyBelowTheGrid", "Filter 1: ON PK Fc 15 Hz Gain -5 dB Q 4\n",
     "line 1: Fc 15 Hz is outside what a band can take (19.7 Hz to 20200 Hz)"},
    {"FrequencyAboveTheGrid", "# top\nFilter 1: ON PK Fc 21kHz Gain -5 dB Q 4\n",
     "line 2: Fc 21000 Hz is outside what a band can take"},
    {"QTooLow", "Filter 1: ON PK Fc 100 Hz Gain -5 dB Q 0.3\n", "line 1: Q 0.3 is outside what a band can take (0.4 to 128)"},
    {"QTooHigh", "Filter 1: ON PK Fc 100 Hz Gain -5 dB Q 200\n", "line 1: Q 200 is outside what a band can take"},
    {"QMissing", "Filter 1: ON PK Fc 100 Hz Gain -5 dB BW Oct 0.5\n", "line 1: a peaking filter needs Fc, Gain and Q, and Q is missing"},
    {"GainBeyondAnyEqualiser", "Filter 1: ON PK Fc 100 Hz Gain -1e300 dB Q 2\n", "line 1: Gain -1e+300 dB is beyond any equaliser"},
    {"NeitherOnNorOff", "Filter 1: PK Fc 100 Hz Gain -5 dB Q 2\n", "line 1: a filter line starts with ON or OFF"},
    {"KeyTwice", "Filter 1: ON PK Fc 100 Hz Fc 200 Hz Gain -5 dB Q 2\n", "line 1: Fc is written twice"},
};

class RefusedFilterFiles : public ::testing::TestWithParam<BadCase> {};

TEST_P(RefusedFilterFiles, SayWhyNamingTheLine)
{
    const MeasuredEqRead read = ReadMeasuredEq(QString::fromUtf8(GetParam().text));
    EXPECT_FALSE(read.ok());
    EXPECT_TRUE(read.error.startsWith(QString::fromUtf8(GetParam().says))) << read.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(, RefusedFilterFiles, ::testing::ValuesIn(kBadCases), [](const auto &info) { return std::string(info.param.name); });

// ---- The picture: both curves where their values are, the bands' over the file's.

TEST(FitPlot, DrawsTheFileAndTheBandsAtTheirGains)
{
    const MeasuredEqRead read = ReadMeasuredEq(QString::fromLatin1(kFivePeaking));
    ASSERT_TRUE(read.ok());
    const EqImportPlan plan = PlanEqImport(*read.eq, kNow);
    const QImage image = RenderEqFitPlot(plan);
    ASSERT_EQ(image.size(), QSize(kFitPlotWidth, kFitPlotHeight));
    const FitPlotStyle style;
    // At the +2.5 dB filter left out (240 Hz) the curves part: the file's above the bands'.
    const int column = FitPlotColumn(240.0);
    auto rowOf = [&](const QColor &colour) {
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(column, y) == colour)
                return y;
        return -1;
    };
    EXPECT_EQ(rowOf(style.asked), FitPlotRow(plan.asked[column]));
    EXPECT_EQ(rowOf(style.given), FitPlotRow(plan.given[column]));
    EXPECT_LT(rowOf(style.asked), rowOf(style.given));
}

}  // namespace
}  // namespace talvo::testing
