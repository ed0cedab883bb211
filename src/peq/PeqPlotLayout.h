#pragma once
// Fixed geometry of the equaliser plot, shared by the painter and the editor's hit tests.

#include <array>

namespace talvo {

inline constexpr int kPeqBitmapWidth = 360;
inline constexpr int kPeqBitmapHeight = 255;
inline constexpr int kPeqCopyHeight = 240;    // top-left 360 x 240 is copied to the plot area
inline constexpr int kPeqVisibleHeight = 150; // the plot area shows rows 0..149
inline constexpr int kPeqMarkerZeroRow = 75;  // 0 dB for markers
inline constexpr int kPeqCurveZeroRow = 76;   // 0 dB for the curve
inline constexpr int kPeqMarkerHalfSize = 3;  // markers are 7 x 7 outlines

// Horizontal grid lines at +12, +6, 0, -6, -12 dB.
inline constexpr std::array<int, 5> kPeqGridRows{25, 50, 75, 100, 125};
// Vertical grid lines at 50, 100, 200, 500 Hz, 1, 2, 5, 10 kHz.
inline constexpr std::array<int, 8> kPeqGridColumns{48, 84, 120, 167, 203, 239, 287, 323};
inline constexpr int kPeqGridLineBottom = 300;

}  // namespace talvo
