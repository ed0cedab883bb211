#pragma once
// The crossover frequency table (395 steps of about 1/36 octave, 10 Hz .. 20.2 kHz) and the
// 16 slope types. Records store crossover frequencies as values of this table and slopes as
// indices into the slope list.

#include <array>

namespace talvo {

inline constexpr int kCrossoverCount = 395;
inline constexpr int kSlopeTypeCount = 16;

// The indices each filter's editor offers.
inline constexpr int kHighPassLowest = 0;      // 10 Hz
inline constexpr int kHighPassHighest = 382;   // 16000 Hz
inline constexpr int kLowPassLowest = 65;      // 35.1 Hz
inline constexpr int kLowPassHighest = 394;    // 20200 Hz

const std::array<double, kCrossoverCount> &CrossoverTable();

// The index whose value equals freq exactly, or -1.
int CrossoverIndexOf(double freq);

// "6dB Butterworth" .. "48dB Link-Riley"; nullptr outside 0..15.
const char *SlopeTypeText(int index);

}  // namespace talvo
