#include "editors/CrossoverCurve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace talvo {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kColumnsPerOctave = 36;
constexpr int kGridOffset = 35;  // equaliser grid point m is CrossoverTable()[m + 35]
constexpr int kGridCount = 360;

// Smooth slope types: stop-band depth S (dB) and the low-pass angle a (degrees) at which
// sin(t)/t takes the corner value. The resonant types 5..8 have no entry (zeros).
struct SmoothSlope {
    double depth;
    double angle;
};
constexpr std::array<SmoothSlope, kSlopeTypeCount> kSmooth = {{
    {6, 108.6038},   // 0  6dB Butterworth     sin(t)/t = 0.5
    {12, 108.6038},  // 1  12dB/0.5            0.5
    {12, 95.113},    // 2  12dB/0.6            0.6
    {12, 80.7976},   // 3  12dB/0.7            0.7
    {12, 64.8074},   // 4  12dB/0.8            0.8
    {0, 0},          // 5  12dB/1.0            resonant
    {0, 0},          // 6  12dB/1.2            resonant
    {0, 0},          // 7  12dB/1.5            resonant
    {0, 0},          // 8  12dB/2.0            resonant
    {10, 80.7976},   // 9  12dB Bessel         0.7
    {12, 73.0921},   // 10 12dB Butterworth    0.75
    {18, 59.4463},   // 11 18dB Butterworth    0.83
    {24, 50.5973},   // 12 24dB butterworth    0.875
    {18, 85.702},    // 13 24dB Link-Riley     0.6667
    {48, 35.4234},   // 14 48dB Butterworth    0.9375
    {48, 59.4463},   // 15 48dB Link-Riley     0.83
}};

// "12dB/1.0": fixed depth and the height of its bump.
constexpr double kResonantDepth = 12.0;
constexpr double kResonantBump = 1.134;
// Peaks of "12dB/1.2", "12dB/1.5", "12dB/2.0".
double ResonantPeak(int slope) { return slope == 6 ? 1.2 : slope == 7 ? 3.0 : 6.0; }

bool IsResonant(int slope) { return slope >= 5 && slope <= 8; }

int ValidSlope(int slope) { return slope >= 0 && slope < kSlopeTypeCount ? slope : 0; }
int ValidIndex(int index) { return std::clamp(index, 0, kCrossoverCount - 1); }

std::array<double, kCrossoverCount> MakeCornerTable() {
    const auto &x = CrossoverTable();
    std::array<double, kCrossoverCount> t{};
    for (int i = 0; i <= 114; ++i) t[i] = x[i];
    t[115] = 91.9;
    for (int i = 116; i <= 390; ++i) t[i] = x[i - 1];
    t[328] = 5550.0;
    t[391] = 19000.0;
    t[392] = 19400.0;
    t[393] = 19800.0;
    t[394] = 20000.0;
    return t;
}

std::array<int, kCrossoverCount> MakeCornerColumns() {
    const auto &x = CrossoverTable();
    const auto &corner = CurveCornerTable();
    std::array<int, kCrossoverCount> c{};
    for (int i = 0; i < kCrossoverCount; ++i) {
        int m = 0;
        while (m < kGridCount && x[m + kGridOffset] < corner[i]) ++m;
        c[i] = m;
    }
    return c;
}

// Everything that depends on the inputs but not on the column.
struct Prepared {
    int lowIndex, lowSlope, highIndex, highSlope;
    int lowCorner, highCorner;  // corner columns in force
    int mid;                    // between the two corners, for the resonant bumps
};

Prepared Prepare(const CrossoverCurveInput &in) {
    Prepared p{};
    p.lowIndex = ValidIndex(in.lowPassIndex);
    p.highIndex = ValidIndex(in.highPassIndex);
    p.lowSlope = ValidSlope(in.lowPassSlope);
    p.highSlope = ValidSlope(in.highPassSlope);
    // The resonant shapes are built on columns offset from the scroll position itself rather
    // than on the corner table, which puts their bump just below the corner frequency.
    p.lowCorner = IsResonant(p.lowSlope) ? p.lowIndex - 29 : CurveCornerColumn(p.lowIndex);
    p.highCorner = IsResonant(p.highSlope) ? p.highIndex - 36 : CurveCornerColumn(p.highIndex);
    p.mid = (p.lowCorner + p.highCorner) / 2;  // integer division truncates toward zero
    return p;
}

double Square(double v) { return v * v; }

double LowPass(const Prepared &p, int m) {
    const int j = p.lowCorner;
    const int s = p.lowSlope;
    if (s == 5) {
        const double P = kResonantDepth;
        const double x2 = j + 36;
        const double r = 205.0 * P / (5.0 * 36.0 + 5.0 * P) - x2;
        const double k = -(P / 36.0) / (x2 - r);  // x2 - r = 2 x2 - 10.25, never zero
        if (m > j - 5) return (m - j) * k * (m - r);
        // The bump rises from 0 at mid to its height at j - 5. When the two coincide there is
        // no column left for it, so its scale is only formed where it is used.
        if (m > p.mid) return Square(m - p.mid) * (5.0 / Square(j - 5 - p.mid)) * kResonantBump / 5.0;
        return 0.0;
    }
    if (IsResonant(s)) {
        const double K = ResonantPeak(s);
        const double k = -(12.0 - K) / 1296.0;
        if (m > j) return Square(m - j) * k + K;
        if (m > p.mid) return Square(m - p.mid) * (K / Square(j - p.mid));
        return 0.0;
    }
    const double S = kSmooth[s].depth;
    const double a = kSmooth[s].angle;
    // theta reaches 180 degrees exactly one octave past the corner; deciding on the column
    // keeps that point on the straight stop-band line (exactly -S) whatever the rounding.
    if (m - j >= kColumnsPerOctave) return (3.0 - S) * (m - j) / 36.0 - 3.0;
    const double theta = (180.0 - a) / 36.0 * (m - j) + a;
    if (theta <= 0.0) return 0.0;
    const double t = 2.0 * kPi * theta / 360.0;
    return (std::sin(t) / t - 1.0) * S;
}

double HighPass(const Prepared &p, int m) {
    const int j = p.highCorner;
    const int s = p.highSlope;
    if (s == 5) {
        const double P = kResonantDepth;
        const double x1 = j - 36;
        const double r = 205.0 * P / (5.0 * P + (x1 - j)) + x1;  // x1 + 102.5
        const double k = (P / (x1 - j)) / (x1 - r);
        if (m < j + 5) return -k * (m - j) * (m - r);
        if (m < p.mid) return Square(m - p.mid) * (5.0 / Square(j + 5 - p.mid)) * kResonantBump / 5.0;
        return 0.0;
    }
    if (IsResonant(s)) {
        const double K = ResonantPeak(s);
        const double k = -(12.0 - K) / 1296.0;
        if (m < j) return Square(m - j) * k + K;
        if (m < p.mid && p.mid != j) return Square(m - p.mid) * (K / Square(j - p.mid));
        return 0.0;
    }
    const double S = kSmooth[s].depth;
    const double b = 180.0 - kSmooth[s].angle;
    // Below column 0 the corner table cannot place corners under 19.7 Hz, so for the lowest
    // positions the transition is anchored on the position itself (corner at x = position).
    const int n = p.highIndex < 36 ? (m + 36 - p.highIndex) + 36 : (m - j) + 36;
    if (n <= 0) return (m - j) * (3.0 - S) / -36.0 - 3.0;
    const double theta = n * b / 36.0;
    if (theta >= 180.0) return 0.0;
    const double t = 2.0 * kPi * theta / 360.0;
    return (std::sin(t - kPi) / (t - kPi) - 1.0) * S;
}

}  // namespace

const std::array<double, kCrossoverCount> &CurveCornerTable() {
    static const std::array<double, kCrossoverCount> table = MakeCornerTable();
    return table;
}

int CurveCornerColumn(int index) {
    static const std::array<int, kCrossoverCount> columns = MakeCornerColumns();
    return columns[ValidIndex(index)];
}

int CurveRowForDb(double db) {
    const double row = std::floor((12.0 - db) * 5.0 + 30.0) - 10.0;
    // Far stop-band values are hundreds of dB down; keep the row within int range regardless.
    return static_cast<int>(std::clamp(row, -1.0e6, 1.0e6));
}

double CrossoverLowPassDb(const CrossoverCurveInput &input, int m) {
    return LowPass(Prepare(input), m);
}

double CrossoverHighPassDb(const CrossoverCurveInput &input, int m) {
    return HighPass(Prepare(input), m);
}

CrossoverCurve ComputeCrossoverCurve(const CrossoverCurveInput &input) {
    const Prepared p = Prepare(input);
    CrossoverCurve curve;
    curve.lowPassCornerColumn = p.lowCorner;
    curve.highPassCornerColumn = p.highCorner;
    for (int m = kCurveFirstColumn; m <= kCurveLastColumn; ++m) {
        CrossoverCurvePoint &pt = curve.points[m - kCurveFirstColumn];
        pt.db = LowPass(p, m) + HighPass(p, m);
        pt.x = m + kCurveColumnToX;
        pt.y = CurveRowForDb(pt.db);
        pt.penDown = m != kCurveFirstColumn && pt.y < kCurvePenBreakY;
    }
    return curve;
}

}  // namespace talvo
