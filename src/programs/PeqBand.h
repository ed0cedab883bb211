#pragma once

namespace talvo {

// One parametric EQ band as the editors hold it. The FLAT state travels beside it.
struct PeqBand {
    double freq = 0.0;  // Hz, on the PEQ frequency grid
    double gain = 0.0;  // dB
    double q = 0.0;

    friend bool operator==(const PeqBand &, const PeqBand &) = default;
};

}  // namespace talvo
