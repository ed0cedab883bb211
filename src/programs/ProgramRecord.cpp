#include "programs/ProgramRecord.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace talvo {

namespace {

// Far beyond any field (the widest holds 65535.99) yet small enough that the int conversion
// below can never overflow, whatever a caller passes.
constexpr double kSplitLimit = 1.0e9;

std::uint8_t LowByte(int value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFFu); }

void PutWhole16(std::uint8_t *out, int whole)
{
    const unsigned w = static_cast<unsigned>(whole) & 0xFFFFu;
    out[0] = static_cast<std::uint8_t>(w >> 8);
    out[1] = static_cast<std::uint8_t>(w & 0xFFu);
}

int GetWhole16(const std::uint8_t *in) { return in[0] * 256 + in[1]; }

double PairValue(int whole, int hundredths) { return JoinHundredths(whole, hundredths); }

// Signed values (the channel gain and the band gains) travel as magnitude pair plus sign byte.
std::uint8_t SignByte(double value) { return value < 0.0 ? kSignNegative : kSignPositive; }

void EncodeFilter(std::uint8_t *out, const CrossoverFilter &filter)
{
    out[0] = LowByte(filter.slope);
    const HundredthsPair f = SplitHundredths(filter.freq);
    PutWhole16(out + 1, f.whole);
    out[3] = LowByte(f.hundredths);
}

CrossoverFilter DecodeFilter(const std::uint8_t *in)
{
    return CrossoverFilter{in[0], PairValue(GetWhole16(in + 1), in[3])};
}

// Integer fields go through the same split; only the 16-bit whole part is stored.
void PutInteger16(std::uint8_t *out, int value) { PutWhole16(out, SplitHundredths(value).whole); }

void EncodeChannel(std::uint8_t *out, const ChannelSettings &ch)
{
    for (int i = 0; i < kBandCount; ++i) {
        const BandImage band = EncodeBand(ch.peq[i], ch.flat[i]);
        std::copy(band.begin(), band.end(), out + 8 * i);
    }
    EncodeFilter(out + 24, ch.lowPass);
    EncodeFilter(out + 28, ch.highPass);

    const HundredthsPair gain = SplitHundredths(std::fabs(ch.gain));
    out[32] = LowByte(gain.whole);
    out[33] = LowByte(gain.hundredths);
    out[34] = SignByte(ch.gain);

    const HundredthsPair delay = SplitHundredths(ch.delay);
    out[35] = LowByte(delay.whole);
    out[36] = LowByte(delay.hundredths);

    out[37] = LowByte(ch.limitThreshold);
    PutInteger16(out + 38, ch.attack);
    out[40] = LowByte(ch.phase);
    PutInteger16(out + 41, ch.hold);
    PutInteger16(out + 43, ch.decay);
    std::copy(ch.channelTail.begin(), ch.channelTail.end(), out + 45);
}

ChannelSettings DecodeChannel(const std::uint8_t *in)
{
    ChannelSettings ch;
    for (int i = 0; i < kBandCount; ++i) {
        const DecodedBand band = DecodeBand(in + 8 * i);
        ch.peq[i] = band.band;
        ch.flat[i] = band.flat;
    }
    ch.lowPass = DecodeFilter(in + 24);
    ch.highPass = DecodeFilter(in + 28);
    const double gain = PairValue(in[32], in[33]);
    ch.gain = in[34] == kSignNegative ? -gain : gain;
    ch.delay = PairValue(in[35], in[36]);
    ch.limitThreshold = in[37];
    ch.attack = GetWhole16(in + 38);
    ch.phase = in[40];
    ch.hold = GetWhole16(in + 41);
    ch.decay = GetWhole16(in + 43);
    std::copy(in + 45, in + 48, ch.channelTail.begin());
    return ch;
}

// The two flat channel blocks shared by the default program and the fresh memory slots.
constexpr std::uint8_t kFlatChannel[48] = {
    0x00, 0x1E, 0x00, 0x00, 0x00, 0xAA, 0x03, 0x00,  // 30 Hz, 0 dB, Q 3
    0x01, 0x0E, 0x00, 0x00, 0x00, 0xAA, 0x03, 0x00,  // 270 Hz
    0x06, 0x18, 0x00, 0x00, 0x00, 0xAA, 0x03, 0x00,  // 1560 Hz
    0x00, 0x4E, 0xE8, 0x00,                          // low-pass slope 0 at 20200 Hz
    0x00, 0x00, 0x0A, 0x00,                          // high-pass slope 0 at 10 Hz
    0x64, 0x00, 0x55,                                // gain -100.00 dB: muted
    0x00, 0x00,                                      // delay 0.00 ms
    0x41,                                            // limiter off
    0x00, 0x0A,                                      // attack 10 dB/s
    0x00,                                            // phase normal
    0x00, 0x00,                                      // hold 0 ms
    0x00, 0x0A,                                      // decay 10 dB/s
    0x20, 0x20, 0x20,
};

RecordImage FlatRecord(const char (&name)[kNameSize + 1], std::uint8_t inUse)
{
    RecordImage image{};
    std::memcpy(image.data(), name, kNameSize);
    image[10] = 0;  // Stereo
    image[11] = inUse;
    image[12] = 255;
    image[13] = image[14] = image[15] = 0x14;
    std::copy(std::begin(kFlatChannel), std::end(kFlatChannel), image.begin() + 16);
    std::copy(std::begin(kFlatChannel), std::end(kFlatChannel), image.begin() + 64);
    return image;
}

}  // namespace

HundredthsPair SplitHundredths(double value)
{
    if (std::isnan(value)) value = 0.0;
    value = std::clamp(value, -kSplitLimit, kSplitLimit);
    // nearbyint follows the current rounding mode, which is round-half-even unless someone
    // changed it; the amplifier's encoder rounds ties the same way.
    const double whole = std::nearbyint(value);
    HundredthsPair pair;
    pair.whole = static_cast<int>(whole);
    pair.hundredths = static_cast<int>(std::nearbyint((value - whole) * 100.0));
    if (pair.hundredths < 0) {
        pair.whole -= 1;
        pair.hundredths += 100;
    }
    return pair;
}

// The whole part plus the hundredths as a fraction, both in doubles. Computing (whole * 100 + hundredths) / 100 instead gives a different last
// bit for a few pairs (1.61, 1.91, 4.81 among them), enough to move what the PEQ editor's
// tenths rounding makes of them. Every crossover table entry still decodes to its own literal.
double JoinHundredths(int whole, int hundredths)
{
    return static_cast<double>(whole) + hundredths / 100.0;
}

BandImage EncodeBand(const PeqBand &band, bool flat)
{
    BandImage out{};
    const HundredthsPair freq = SplitHundredths(band.freq);
    PutWhole16(out.data(), freq.whole);
    out[2] = LowByte(freq.hundredths);
    const HundredthsPair gain = SplitHundredths(std::fabs(band.gain));
    out[3] = LowByte(gain.whole + (flat ? 200 : 0));
    out[4] = LowByte(gain.hundredths);
    out[5] = SignByte(band.gain);
    const HundredthsPair q = SplitHundredths(band.q);
    out[6] = LowByte(q.whole);
    out[7] = LowByte(q.hundredths);
    return out;
}

DecodedBand DecodeBand(const std::uint8_t *image)
{
    DecodedBand result;
    result.band.freq = PairValue(GetWhole16(image), image[2]);
    // A FLAT band carries 200 on its whole decibels: the decoded value minus 200, in doubles.
    double gain = PairValue(image[3], image[4]);
    if (gain > 150.0) {
        result.flat = true;
        gain -= 200.0;
    }
    if (image[5] == kSignNegative) gain = -gain;
    result.band.gain = gain;
    result.band.q = PairValue(image[6], image[7]);
    return result;
}

RecordImage EncodeProgram(const Program &program)
{
    RecordImage image{};
    std::copy(program.name.begin(), program.name.end(), image.begin());
    image[10] = program.mode;
    image[11] = program.inUse;
    image[12] = program.programNumber;
    std::copy(program.headerTail.begin(), program.headerTail.end(), image.begin() + 13);
    EncodeChannel(image.data() + 16, program.left);
    EncodeChannel(image.data() + 64, program.right);
    return image;
}

Program DecodeProgram(const RecordImage &image)
{
    Program program;
    std::copy(image.begin(), image.begin() + kNameSize, program.name.begin());
    program.mode = image[10];
    program.inUse = image[11];
    program.programNumber = image[12];
    std::copy(image.begin() + 13, image.begin() + 16, program.headerTail.begin());
    program.left = DecodeChannel(image.data() + 16);
    program.right = DecodeChannel(image.data() + 64);
    return program;
}

RecordBlockBytes RecordBlock(const RecordImage &image, int k)
{
    RecordBlockBytes block{};
    if (k < 1 || k > kRecordBlockCount) return block;  // no such block: all zero
    const auto first = image.begin() + kRecordBlockSize * (k - 1);
    std::copy(first, first + kRecordBlockSize, block.begin());
    return block;
}

RecordImage DefaultProgram() { return FlatRecord(" FLAT DF  ", 1); }
RecordImage BlankSlotRecord() { return FlatRecord("PresetFlat", 0); }
RecordImage NewSlotRecord() { return FlatRecord("PresetFlat", 1); }

}  // namespace talvo
