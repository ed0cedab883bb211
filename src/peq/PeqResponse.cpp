#include "peq/PeqResponse.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "editors/CrossoverTable.h"

namespace talvo {

namespace {

constexpr int kGridOffset = 35;        // grid index 0 is crossover index 35 (19.7 Hz)
constexpr double kLowestFreq = 19.0;   // at or below: column 0
constexpr double kHighestFreq = 20200.0;
constexpr int kBellHalfWidth = 180;    // columns to each side of the centre (five octaves)

// The amplifier takes Q only within 0.4..128 (the band frame is clamped to it), so the picture
// uses the same range. It also keeps the pole radius below 1: from Q 129.33 up the model's
// denominator reaches zero at the centre and the curve would turn into NaN or nonsense.
constexpr double kMinQ = 0.4;
constexpr double kMaxQ = 128.0;

// Far beyond anything drawable; keeps every rounding to int well inside int's range even for
// absurd band values read from a damaged file.
constexpr double kRowLimit = 1.0e6;

constexpr double kCurveRowsPerDb = 16.666666666666668;  // 50 / 3

// cos(2 pi k / 360) for k = 180..540, the only angles the bell uses. Looked up rather than
// recomputed so that CurveRows (361 columns x 3 bands on every refresh) stays cheap; BandResponse
// uses the same table, so both give identical values.
const std::array<double, 2 * kBellHalfWidth + 1> &BellCosines() {
    static const std::array<double, 2 * kBellHalfWidth + 1> table = [] {
        std::array<double, 2 * kBellHalfWidth + 1> t{};
        for (int i = 0; i < static_cast<int>(t.size()); ++i) {
            const int k = i + 360 - kBellHalfWidth;
            t[i] = std::cos(2.0 * std::numbers::pi * k / 360.0);
        }
        return t;
    }();
    return table;
}

// Ceil of a finite or non-finite double as an int, NaN counting as 0 and everything clamped
// to +-kRowLimit, so that no input can make the conversion undefined.
int SafeCeil(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::ceil(std::clamp(v, -kRowLimit, kRowLimit)));
}

// One band prepared for evaluation along the curve: its centre column and pole radius.
struct PreparedBand {
    int centre = 0;
    double gain = 0.0;
    double r = 0.0;
    bool usable = false;  // false: a NaN gain or Q, which draws as a flat band
};

PreparedBand Prepare(const PeqBand &band) {
    PreparedBand p;
    p.centre = FreqToColumn(band.freq);
    p.gain = band.gain;
    p.r = PeqPoleRadius(std::clamp(band.q, kMinQ, kMaxQ));
    p.usable = !std::isnan(band.gain) && !std::isnan(band.q);
    return p;
}

double Evaluate(const PreparedBand &p, int column) {
    if (!p.usable) return 0.0;
    const long long distance = static_cast<long long>(column) - p.centre;
    // At the centre the bell is exactly the band's gain; computed through the formula it can
    // miss by an ulp, and the curve's integer rounding would then put a +12 dB peak one row low.
    if (distance == 0) return p.gain;
    const double r = p.r;
    const double c = (distance >= -kBellHalfWidth && distance <= kBellHalfWidth)
                         ? BellCosines()[static_cast<std::size_t>(distance + kBellHalfWidth)]
                         : -1.0;  // cos(pi): flat beyond the bell
    const double P = (1.0 - r * r) / (1.0 - 2.0 * r * c + r * r);
    const double result = p.gain * P * (1.0 - r) / (1.0 + r);
    return std::isfinite(result) ? result : 0.0;
}

int RowFromResponses(const double (&responses)[kPeqBandCount]) {
    int sum = 80;
    for (double response : responses) {
        const double y = 200.0 - response * kCurveRowsPerDb - 120.0;
        sum += SafeCeil(y) / 2;  // integer division truncating toward zero
    }
    return SafeCeil(sum * 3 / 6.0 - 24.0);
}

}  // namespace

std::span<const double, kPeqGridSize> PeqFrequencyTable() {
    return std::span<const double, kPeqGridSize>(CrossoverTable().data() + kGridOffset,
                                                 kPeqGridSize);
}

int FreqToColumn(double freq) {
    if (!(freq > kLowestFreq)) return 0;  // also NaN
    if (freq > kHighestFreq) return kPeqLastColumn;
    const auto grid = PeqFrequencyTable();
    // The grid rises strictly, so the first entry not below freq is what an upward scan finds.
    const auto it = std::lower_bound(grid.begin(), grid.end(), freq);
    return static_cast<int>(it - grid.begin());
}

int GainToRow(double gain) {
    if (std::isnan(gain)) gain = 0.0;
    return SafeCeil(75.0 - gain * 50.0 / 12.0);
}

double PeqPoleRadius(double q) {
    return 0.3 * q / 97.0 + 0.6;
}

double BandResponse(int column, const PeqBand &band) {
    return Evaluate(Prepare(band), column);
}

int CurveRow(int column, const PeqBands &bands, const PeqFlats &flat) {
    double responses[kPeqBandCount];
    for (int b = 0; b < kPeqBandCount; ++b)
        responses[b] = flat[b] ? 0.0 : BandResponse(column, bands[b]);
    return RowFromResponses(responses);
}

PeqCurve CurveRows(const PeqBands &bands, const PeqFlats &flat) {
    PreparedBand prepared[kPeqBandCount];
    for (int b = 0; b < kPeqBandCount; ++b) prepared[b] = Prepare(bands[b]);
    PeqCurve rows{};
    for (int column = 0; column < kPeqCurvePoints; ++column) {
        double responses[kPeqBandCount];
        for (int b = 0; b < kPeqBandCount; ++b)
            responses[b] = flat[b] ? 0.0 : Evaluate(prepared[b], column);
        rows[static_cast<std::size_t>(column)] = RowFromResponses(responses);
    }
    return rows;
}

double RequantiseTenth(double value) {
    return std::floor(value * 10.0 + 0.9) / 10.0;
}

void RequantiseBands(PeqBands &bands) {
    for (PeqBand &band : bands) band.gain = RequantiseTenth(band.gain);
    for (PeqBand &band : bands) band.q = RequantiseTenth(band.q);
}

}  // namespace talvo
