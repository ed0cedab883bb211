#pragma once
// The 112-byte program record: the one image in which a program travels between files,
// the amplifier's memory (seven 16-byte blocks) and the editors.

#include <array>
#include <cstdint>

#include "programs/PeqBand.h"

namespace talvo {

inline constexpr int kRecordSize = 112;
inline constexpr int kRecordBlockSize = 16;
inline constexpr int kRecordBlockCount = 7;
inline constexpr int kNameSize = 10;
inline constexpr int kBandCount = 3;

inline constexpr std::uint8_t kSignPositive = 0xAA;
inline constexpr std::uint8_t kSignNegative = 0x55;
inline constexpr int kLimiterOff = 65;
inline constexpr double kMutedGain = -100.0;
inline constexpr double kMuteThreshold = -60.1;  // a decoded gain at or below this is muted

using RecordImage = std::array<std::uint8_t, kRecordSize>;
using BandImage = std::array<std::uint8_t, 8>;
using RecordBlockBytes = std::array<std::uint8_t, kRecordBlockSize>;

// A non-negative value as (whole, hundredths), both rounded half to even.
struct HundredthsPair {
    int whole = 0;
    int hundredths = 0;
    friend bool operator==(const HundredthsPair &, const HundredthsPair &) = default;
};
// Values outside 0..1e9 are clamped to it and NaN counts as 0, so no input can misbehave.
HundredthsPair SplitHundredths(double value);
// whole + hundredths / 100.0 in doubles. Not always the double nearest to the decimal: 1, 61
// gives the double just below 1.61, which the PEQ editor's tenths rounding turns into 1.6.
double JoinHundredths(int whole, int hundredths);

struct DecodedBand {
    PeqBand band;
    bool flat = false;
};
BandImage EncodeBand(const PeqBand &band, bool flat);
DecodedBand DecodeBand(const std::uint8_t *image);  // reads 8 bytes

struct CrossoverFilter {
    int slope = 0;      // SlopeType index 0..15
    double freq = 0.0;  // Hz, a CrossoverTable value
};

enum class Mode : std::uint8_t { Stereo = 0, Bridge = 1, Mono = 2 };

struct ChannelSettings {
    std::array<PeqBand, kBandCount> peq{};
    std::array<bool, kBandCount> flat{};
    CrossoverFilter lowPass;
    CrossoverFilter highPass;
    double gain = 0.0;         // dB; kMutedGain when muted
    double delay = 0.0;        // ms
    int limitThreshold = kLimiterOff;  // slider position 0..64, 65 = off
    int attack = 10;           // dB/s
    int hold = 0;              // ms
    int decay = 10;            // dB/s
    int phase = 0;             // 180 = inverted
    std::array<std::uint8_t, 3> channelTail{0x20, 0x20, 0x20};

    bool muted() const { return gain <= kMuteThreshold; }
};

struct Program {
    std::array<std::uint8_t, kNameSize> name{};  // raw code-page bytes, space filled
    std::uint8_t mode = 0;                        // Mode; kept raw so odd files survive
    std::uint8_t inUse = 1;
    std::uint8_t programNumber = 255;
    std::array<std::uint8_t, 3> headerTail{0x20, 0x20, 0x20};
    ChannelSettings left;
    ChannelSettings right;
};

// Out-of-range values are stored modulo the field's width; the editors never produce them.
RecordImage EncodeProgram(const Program &program);
Program DecodeProgram(const RecordImage &image);

// Where the 8-byte image of band `band` (0..2) of a channel (0 left, 1 right) lies in the record.
inline constexpr int BandImageOffset(int channel, int band) { return 16 + 48 * channel + 8 * band; }

// A record whose inUse byte is 0 is an empty slot, whatever else it holds.
inline bool RecordInUse(const RecordImage &image) { return image[11] != 0; }

// Block k (1..7): bytes 16(k-1) .. 16k-1 of the record; all zero for any other k.
RecordBlockBytes RecordBlock(const RecordImage &image, int k);

RecordImage DefaultProgram();     // " FLAT DF  ", in use, header tail 14 14 14
RecordImage BlankSlotRecord();    // "PresetFlat", not in use: an empty memory slot
RecordImage NewSlotRecord();      // "PresetFlat", in use: a fresh slot of the manage window

}  // namespace talvo
