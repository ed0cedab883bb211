#pragma once
// The one plain state object of the application: what every window and controller shares.
// Widget-free and header-only, so that every library (and the tools) may include it.
// The application owns it; windows and controllers get it by reference and never copy it.

#include <array>

#include "link/LinkState.h"
#include "programs/PeqBand.h"
#include "programs/ProgramRecord.h"

namespace talvo {

inline constexpr int kTestModeNone = 0;
inline constexpr int kTestModeSine = 400;
inline constexpr int kTestModeNoise = 300;

// Before any program is applied both channels hold the default program's bands.
inline constexpr std::array<PeqBand, kBandCount> kDefaultBands{{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}};

struct PeqState {
    std::array<PeqBand, kBandCount> workingBands = kDefaultBands;
    std::array<PeqBand, kBandCount> leftBands = kDefaultBands;
    std::array<PeqBand, kBandCount> rightBands = kDefaultBands;
    std::array<bool, kBandCount> flatLeft{};
    std::array<bool, kBandCount> flatRight{};
    int peqChannel = 0;  // 0 left, otherwise right
};

// One gain editor's applied values: slider position in tenths of a dB (-600..60) and the
// muted flag (100 = muted). Both channels start muted at -60.0 dB.
struct InputGainState {
    int position = -600;
    int muted = kYes;

    friend bool operator==(const InputGainState &, const InputGainState &) = default;
};

struct AppState {
    LinkState link;
    RecordImage programBuffer = DefaultProgram();  // last program read from a file or amplifier
    RecordImage gatherBuffer = DefaultProgram();   // the editors collected into a record
    PeqState peq;
    Mode mode = Mode::Stereo;
    int testMode = kTestModeNone;
    // Firmware version from the connected amplifier's status block; 1.0 until one arrives.
    int firmwareMajor = 1;
    int firmwareMinor = 0;

    // The program the connected amplifier runs, from its status block; 0 when not connected.
    int currentProgram = 0;
    // Whether the connected amplifier offers bridge mode (the Mode menu's "Bridge" entry is
    // enabled while true); true again after a disconnect.
    bool bridgeAvailable = true;
    // What applying a program left in the two gain editors: [0] left, [1] right.
    std::array<InputGainState, 2> inputGains{};
};

}  // namespace talvo
