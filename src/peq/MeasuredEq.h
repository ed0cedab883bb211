#pragma once
// Measured EQ in and out: the filter-settings text files that room-measurement software writes
// (one filter a line) read into the three PEQ bands of a channel, and a channel's bands written
// back as such a file. Widget-free: talvoctl, the program's File > Import EQ... and the tests
// stand on the same functions.
//
// The two line forms read:
//   Filter  1: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.00     (the measurement software)
//   Filter: ON PK Fc 63 Hz Gain -5.0 dB Q 4.00                        (system-wide equalizers)
// with any amount of space, Fc / Gain / Q in any order, a unit written apart or glued to its
// number. OFF filters and "None" slots are ignored, comment lines (# ; //) and every line that
// is no filter line are skipped.
//
// The amplifier has three peaking bands a channel. A peaking filter becomes a band with its
// frequency taken to the next step of the PEQ grid (the 30 Hz of the default bands stays), its gain to 0.1 dB within -12..+12 and its
// Q to the nearest Q the editor offers (tenths, 0.4..128). Of more than three peaking filters
// the three with the largest effect on the response are kept. Shelf, pass and other filters
// are not imported, and a band no filter is left for becomes FLAT. Every decision is reported.
//
// The fit figure: the largest difference in dB between the response the file's peaking filters
// ask for and the one the bands give, over 361 points from 20 Hz to 20 kHz (as many as the PEQ
// curve has), both computed with the same peaking-filter formula (the common second-order
// peaking equaliser, at 48 kHz). The PEQ editor's own curve is a picture of the bands, not a
// filter model (its bell hardly narrows with Q below 10), so it cannot judge a fit.

#include <array>
#include <optional>
#include <span>
#include <vector>

#include <QString>

#include "peq/PeqResponse.h"
#include "programs/ProgramRecord.h"

namespace talvo {

// ---- The peaking-filter response and the fit's points.

inline constexpr double kFitSampleRate = 48000.0;
inline constexpr int kFitPointCount = kPeqCurvePoints;  // 361
inline constexpr double kFitLowestHz = 20.0;
inline constexpr double kFitHighestHz = 20000.0;

using FitCurve = std::array<double, kFitPointCount>;

// The frequency of point i (0..360): 20 Hz x 1000^(i / 360), so point 0 is 20 Hz, point 360
// 20 kHz, 36 points an octave as on the PEQ grid.
double FitPointFrequency(int point);

// The response in dB at `freq` of one peaking filter (centre frequency, gain in dB, Q) as a
// second-order digital filter at `sampleRate`: exactly the gain at the centre, 0 dB far away.
double PeakingResponseDb(double freq, const PeqBand &filter, double sampleRate = kFitSampleRate);

// The summed response of the filters at the 361 points.
FitCurve PeakingCurve(std::span<const PeqBand> filters);

// ---- Reading a filter file.

// Longer than any filter file; a larger one is refused before it is read.
inline constexpr qint64 kMaxFilterFileBytes = 1 << 20;

// One filter line as read.
struct MeasuredFilter {
    int line = 0;       // line number in the file, from 1
    QString text;       // the line as written, without surrounding space
    int number = 0;     // N of "Filter N:", 0 in the form without a number
    bool on = false;
    QString type;       // "PK", "LS", "HP", "NONE" ... in capitals; empty when none is written
    PeqBand asked;      // Fc, gain and Q as written; read for every filter that is ON
    bool peaking() const { return on && type == QLatin1String("PK"); }
};

// A line that is no filter but says something about the response ("Preamp: -6 dB").
struct MeasuredNote {
    int line = 0;
    QString text;
};

struct MeasuredEq {
    std::vector<MeasuredFilter> filters;  // every filter line, in file order
    std::vector<MeasuredNote> preamps;
    int peakingCount() const;
};

// The outcome of reading: the filters, or why the file was refused. `error` names the line
// ("line 7: Fc 'abc' is not a number: Filter 2: ON PK Fc abc Hz ...") or the whole file ("the
// file is empty", "no peaking filter is ON").
struct MeasuredEqRead {
    std::optional<MeasuredEq> eq;
    QString error;
    int errorLine = 0;  // 0: the file as a whole
    bool ok() const { return eq.has_value(); }
};

MeasuredEqRead ReadMeasuredEq(const QString &text);

// The file at `path` read and decoded (UTF-8 unless a byte-order mark says UTF-16): refused when
// it is no regular file, cannot be opened or is larger than kMaxFilterFileBytes. The error
// starts with the path.
MeasuredEqRead ReadMeasuredEqFile(const QString &path);

// ---- Into the bands.

// One line of the report: what a file line asked and what became of it, or a band's own note.
struct EqReportLine {
    int line = 0;  // the file's line; 0 for a band no filter was left for
    QString text;
};

struct EqImportPlan {
    PeqBands bands{};
    PeqFlats flats{};
    std::array<int, kPeqBandCount> sourceLine{};  // the file line behind each band; 0: none (FLAT)
    std::vector<EqReportLine> report;             // in file order, then the bands left FLAT
    FitCurve asked{};                             // the file's peaking filters
    FitCurve given{};                             // the bands that are not FLAT
    double fit = 0.0;                             // dB, the largest |asked - given|
    int fitPoint = 0;                             // where it is largest
};

// The bands for one channel whose bands are now `current` (a band that gets no filter keeps its
// values and becomes FLAT). Kept filters take bands 1, 2, 3 in file order;
// when each kept filter is numbered 1..3 and no two share a number, filter N takes band N
// (so that an exported channel with a FLAT band in the middle comes back as it was).
EqImportPlan PlanEqImport(const MeasuredEq &eq, const PeqBands &current);

// The figure as one line: "largest difference 1.23 dB (at 120 Hz) over 20 Hz-20 kHz".
QString FitText(const EqImportPlan &plan);

// The mapping of single values, as the plan does it.
// The next grid step; asked within 19.7..20200. The default bands' 30 Hz, off the grid, stays.
double ImportedFrequency(double asked);
double ImportedGain(double asked);       // tenths, limited to -12..+12
double ImportedQ(double asked);          // nearest tenth within 0.4..128

// The imported bands written into a program record: the three band images of the channel
// (kLeftChannel / kRightChannel), FLAT marks included; every other byte stays as it is.
void StoreBands(RecordImage &record, int channel, const PeqBands &bands, const PeqFlats &flats);

// ---- Out of the bands.

// A channel's bands as a filter-settings file of the first form: a header, then "Filter N: ON
// PK Fc ... Hz Gain ... dB Q ..." for bands 1..3, a FLAT band with OFF. `heading` goes on a
// line of its own under the header (the program and channel); lines end with "\n".
QString FilterFileText(const PeqBands &bands, const PeqFlats &flats, const QString &heading);

}  // namespace talvo
