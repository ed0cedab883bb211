#pragma once

namespace talvo {

// The values the PEQ editor gives a band.
inline constexpr double kPeqMinGain = -12.0;
inline constexpr double kPeqMaxGain = 12.0;
inline constexpr double kPeqMinQ = 0.4;
inline constexpr double kPeqMaxQ = 128.0;
inline constexpr double kPeqMinFreq = 19.7;
inline constexpr double kPeqMaxFreq = 20200.0;

// One parametric EQ band as the editors hold it. The FLAT state travels beside it.
struct PeqBand {
    double freq = 0.0;  // Hz, on the PEQ frequency grid
    double gain = 0.0;  // dB
    double q = 0.0;

    friend bool operator==(const PeqBand &, const PeqBand &) = default;
};

}  // namespace talvo
