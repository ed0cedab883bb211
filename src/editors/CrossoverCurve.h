#pragma once
// The crossover editor's response curve. It is not computed from filter transfer functions but
// sketched in pixel space: each filter contributes a sin(t)/t-shaped transition around its
// corner column, placed so the corner lies at the attenuation typical of its slope type and
// continued by a straight line into the stop band; the resonant slope types ("12dB/1.0" ..
// "12dB/2.0") are drawn as pairs of parabolas with a bump below the corner.
//
// This header holds the computation only: the painter walks `points` in order, moving the pen
// to a point whose `penDown` is false and drawing a line to every other point.

#include "editors/CrossoverTable.h"

#include <array>

namespace talvo {

// Plot surface and axes.
inline constexpr int kCurvePlotWidth = 394;
inline constexpr int kCurvePlotHeight = 160;
// Column m runs from -35 to 359 and is drawn at x = m + 36, so x = k + 1 shows
// CrossoverTable()[k]; column m >= 0 is the frequency of the equaliser grid point m.
inline constexpr int kCurveFirstColumn = -35;
inline constexpr int kCurveLastColumn = 359;
inline constexpr int kCurveColumnCount = kCurveLastColumn - kCurveFirstColumn + 1;  // 395
inline constexpr int kCurveColumnToX = 36;
// Points this far down are not joined to their neighbours, so a deep stop band shows as a gap
// instead of a line along the bottom edge.
inline constexpr int kCurvePenBreakY = 166;
// Background grid: horizontal lines every 16 pixels (y = 0 .. 176), vertical lines at the
// columns of 20, 50, 100, 200, 500 Hz and 1, 2, 5, 10 kHz.
inline constexpr int kCurveGridRowStep = 16;
inline constexpr int kCurveGridRowCount = 12;
inline constexpr std::array<int, 9> kCurveGridColumnsX = {36, 84, 120, 156, 203, 239, 275, 323, 359};

// Frequencies used only to place the curve's corners: CrossoverTable shifted by one step from
// index 115 on, with 91.9 at 115, 5550 at 328 and 19000, 19400, 19800, 20000 at 391..394.
const std::array<double, kCrossoverCount> &CurveCornerTable();

// The smallest column m in 0..359 whose grid frequency is at least CurveCornerTable()[index],
// or 360 if there is none. index is clamped to 0..394.
int CurveCornerColumn(int index);

// Pixel row of a response of db decibels: 0 dB at y = 80, 5 pixels per dB, attenuation down.
int CurveRowForDb(double db);

struct CrossoverCurveInput {
    int highPassIndex = 0;    // position in CrossoverTable; clamped to 0..394
    int highPassSlope = 0;    // slope type; outside 0..15 counts as 0
    int lowPassIndex = 394;
    int lowPassSlope = 0;
};

struct CrossoverCurvePoint {
    int x = 0;             // 1..395
    int y = 0;             // CurveRowForDb(db)
    bool penDown = false;  // false: move the pen here without drawing
    double db = 0.0;       // low-pass plus high-pass contribution
};

struct CrossoverCurve {
    // Column m at points[m + 35], left to right.
    std::array<CrossoverCurvePoint, kCurveColumnCount> points{};
    // Corner columns in force: for a resonant slope type the column the parabolas are built on.
    int lowPassCornerColumn = 0;
    int highPassCornerColumn = 0;
};

// The two contributions on their own, for column m (kCurveFirstColumn..kCurveLastColumn).
double CrossoverLowPassDb(const CrossoverCurveInput &input, int m);
double CrossoverHighPassDb(const CrossoverCurveInput &input, int m);

CrossoverCurve ComputeCrossoverCurve(const CrossoverCurveInput &input);

}  // namespace talvo
