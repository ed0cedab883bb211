#pragma once
// The equaliser's frequency grid and the display model of its response curve.
//
// The curve is only a picture: the amplifier gets each band's frequency, gain and Q and does its
// own filtering. Everything here is pure and widget-free, so the plot painter, the editor's mouse
// and slider handling and the sine sweep all stand on the same functions.
//
// Plot coordinates: x = column = grid index (0..359, the curve also has column 360), y = row,
// growing downwards; 0 dB lies at row 75 for markers and row 76 for the curve.

#include <array>
#include <span>

#include "programs/PeqBand.h"

namespace talvo {

inline constexpr int kPeqGridSize = 360;                    // grid indices 0..359
inline constexpr int kPeqLastColumn = kPeqGridSize - 1;     // 20200 Hz
inline constexpr int kPeqCurvePoints = kPeqGridSize + 1;    // the curve runs over columns 0..360
inline constexpr int kPeqBandCount = 3;

using PeqBands = std::array<PeqBand, kPeqBandCount>;
using PeqFlats = std::array<bool, kPeqBandCount>;           // FLAT state of bands 1..3
using PeqCurve = std::array<int, kPeqCurvePoints>;          // the curve's row per column

// The 360-point grid, 19.7 Hz .. 20200 Hz: entries 35..394 of the crossover table. It is the
// frequency slider's scale, the plot's x axis and the snapping grid for typed frequencies.
std::span<const double, kPeqGridSize> PeqFrequencyTable();

// The grid index of a frequency: the first entry not below it (an exact grid value maps to its
// own index). 19.0 Hz or less (and NaN) gives 0; above 20200 Hz gives 359.
int FreqToColumn(double freq);

// The marker row of a gain: ceil(75 - gain x 50 / 12); +12 dB -> 25, 0 dB -> 75, -12 dB -> 125.
int GainToRow(double gain);

// The pole radius that stands for a band's Q: 0.3 x Q / 97 + 0.6.
double PeqPoleRadius(double q);

// The response of one band at a column (0..360), in dB: a bell of 180 columns to each side of
// the band's column, exactly the band's gain at its centre and flat beyond the bell.
double BandResponse(int column, const PeqBand &band);

// The curve's row at a column from the three bands; a FLAT band contributes nothing.
int CurveRow(int column, const PeqBands &bands, const PeqFlats &flat);

// All 361 curve rows at once, the same values as CurveRow column by column; what the painter
// calls on every refresh.
PeqCurve CurveRows(const PeqBands &bands, const PeqFlats &flat);

// One value rounded to tenths the way the editor keeps its gains and Qs: floor(v x 10 + 0.9) / 10.
// A tenth stays, anything clearly above a tenth goes up to the next one, a value less than 0.01
// above a tenth falls back to it (1.23 -> 1.3, 1.205 -> 1.2, -1.25 -> -1.2).
double RequantiseTenth(double value);

// Rounds the gains and then the Qs of bands 1..3 to tenths, in place. The stored values change,
// not just the picture.
void RequantiseBands(PeqBands &bands);

}  // namespace talvo
