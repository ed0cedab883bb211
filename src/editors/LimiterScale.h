#pragma once

namespace talvo {

// The limiter threshold slider runs 0..64 for -41 dB .. +23 dB; 65 means the limiter is off.
inline constexpr int kLimiterThresholdOffsetDb = 41;
inline constexpr int LimiterThresholdDb(int position) { return position - kLimiterThresholdOffsetDb; }

}  // namespace talvo
