#pragma once
// The sine generator's frequency frames as the simulated amplifier receives them.

#include <vector>

#include "testsignal/TestSignalController.h"
#include "tests/editors/EditorRig.h"

namespace talvo::testing {

// The frame that sends the generator's grid frequency at `index`.
inline Sent FrequencyFrame(int index)
{
    const auto b = SineFrequencyBytes(SineGridFrequency(index));
    return {kSineFrequencyCommand, {b[0], b[1], b[2]}};
}

// Only the sine frequency frames, in the order received.
inline std::vector<Sent> FrequencyFrames(const std::vector<Sent> &frames)
{
    std::vector<Sent> out;
    for (const Sent &s : frames)
        if (s.command == kSineFrequencyCommand)
            out.push_back(s);
    return out;
}

}  // namespace talvo::testing
