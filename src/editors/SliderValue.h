#pragma once
// How an editor slider takes a value: positions are whole numbers, and a fractional position
// is taken as the next whole position at or above it (291.55 becomes 292). Values computed
// from typed text carry binary noise (1.1 x 10 is 11.000000000000002), so anything within a
// millionth of a whole number counts as that number.

#include <algorithm>
#include <cmath>

namespace talvo {

inline int SliderPosition(double position, int min, int max)
{
    if (std::isnan(position))
        return min;
    const double nearest = std::nearbyint(position);
    const double whole = std::fabs(position - nearest) < 1e-6 ? nearest : std::ceil(position);
    return static_cast<int>(std::clamp(whole, double(min), double(max)));
}

// One slider's drag state: `dragging` while a mouse button (or, for the gain editors, a key)
// is held on it, and how many timer ticks still resend its value after a drag.
struct SliderDrag {
    bool dragging = false;
    int resendCount = 0;
};

}  // namespace talvo
