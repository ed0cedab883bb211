#include "programs/ProgramRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestRecords.h"
#include "editors/CrossoverTable.h"
#include "peq/PeqResponse.h"

namespace talvo {
namespace {

using testing::VariedProgram;

RecordImage FromHex(const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    EXPECT_EQ(bytes.size(), kRecordSize);
    RecordImage image{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kRecordSize), image.begin());
    return image;
}

BandImage BandFromHex(const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    BandImage image{};
    std::copy_n(bytes.constData(), 8, image.begin());
    return image;
}

void ExpectSameChannel(const ChannelSettings &a, const ChannelSettings &b)
{
    for (int i = 0; i < kBandCount; ++i) {
        EXPECT_EQ(a.peq[i].freq, b.peq[i].freq) << "band " << i;
        EXPECT_EQ(a.peq[i].q, b.peq[i].q) << "band " << i;
        EXPECT_EQ(a.flat[i], b.flat[i]) << "band " << i;
        // A FLAT band's gain is decoded with 200 on it and then 200 taken off, in doubles: the
        // last bits of a value such as 0.1 do not come back.
        if (a.flat[i])
            EXPECT_NEAR(a.peq[i].gain, b.peq[i].gain, 1e-12) << "band " << i;
        else
            EXPECT_EQ(a.peq[i].gain, b.peq[i].gain) << "band " << i;
    }
    EXPECT_EQ(a.lowPass.slope, b.lowPass.slope);
    EXPECT_EQ(a.lowPass.freq, b.lowPass.freq);
    EXPECT_EQ(a.highPass.slope, b.highPass.slope);
    EXPECT_EQ(a.highPass.freq, b.highPass.freq);
    EXPECT_EQ(a.gain, b.gain);
    EXPECT_EQ(a.delay, b.delay);
    EXPECT_EQ(a.limitThreshold, b.limitThreshold);
    EXPECT_EQ(a.attack, b.attack);
    EXPECT_EQ(a.hold, b.hold);
    EXPECT_EQ(a.decay, b.decay);
    EXPECT_EQ(a.phase, b.phase);
    EXPECT_EQ(a.channelTail, b.channelTail);
}

TEST(SplitHundredths, RoundsBothPartsHalfToEven)
{
    struct Case { double value; int whole; int hundredths; };
    const Case cases[] = {
        {270.0, 270, 0}, {10.2, 10, 20},  {35.1, 35, 10},  {2.994, 2, 99},   {3.996, 4, 0},
        {0.125, 0, 12},  {0.375, 0, 38},  {0.625, 0, 62},  {1.875, 1, 88},   {2.5, 2, 50},
        {3.5, 3, 50},    {0.5, 0, 50},    {1.5, 1, 50},    {0.0, 0, 0},      {20200.0, 20200, 0},
        {65535.99, 65535, 99}, {6.99, 6, 99}, {0.01, 0, 1}, {1.41, 1, 41},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SplitHundredths(c.value), (HundredthsPair{c.whole, c.hundredths})) << c.value;
    }
}

TEST(SplitHundredths, EveryStoredPairSurvivesJoinAndSplit)
{
    // Every 16-bit whole part with every hundredths value: the decoded double must split back
    // into the same pair, or a record read and written again would change.
    for (int whole = 0; whole <= 65535; ++whole) {
        for (int h = 0; h < 100; ++h) {
            const HundredthsPair pair = SplitHundredths(JoinHundredths(whole, h));
            if (pair.whole != whole || pair.hundredths != h) {
                FAIL() << whole << "." << h << " came back as " << pair.whole << "." << pair.hundredths;
            }
        }
    }
}

TEST(SplitHundredths, NonFiniteAndHugeInputsStayDefined)
{
    EXPECT_EQ(SplitHundredths(std::numeric_limits<double>::quiet_NaN()), (HundredthsPair{0, 0}));
    EXPECT_EQ(SplitHundredths(std::numeric_limits<double>::infinity()).hundredths, 0);
    EXPECT_EQ(SplitHundredths(1e300).whole, 1000000000);
}

TEST(JoinHundredths, EveryCrossoverFrequencyDecodesToItsTableEntry)
{
    // Applying a record finds its crossover frequencies in the table by exact equality.
    for (double entry : CrossoverTable()) {
        const HundredthsPair pair = SplitHundredths(entry);
        EXPECT_EQ(JoinHundredths(pair.whole, pair.hundredths), entry) << entry;
    }
}

// Pairs whose value depends on decoding as whole + hundredths / 100 rather than as a count of
// hundredths divided by 100: the last bit decides what the PEQ editor's tenths rounding keeps.
struct RequantisedBandCase {
    const char *name;
    const char *bandHex;
    double gain;  // after RequantiseBands
    double q;
};

class DecodedBandRequantised : public ::testing::TestWithParam<RequantisedBandCase> {};

TEST_P(DecodedBandRequantised, KeepsTheTenthTheStoredPairRoundsTo)
{
    const RequantisedBandCase &c = GetParam();
    PeqBands bands{DecodeBand(BandFromHex(c.bandHex).data()).band, PeqBand{1000.0, 0.0, 1.0},
                   PeqBand{1000.0, 0.0, 1.0}};
    RequantiseBands(bands);
    EXPECT_EQ(bands[0].gain, c.gain);
    EXPECT_EQ(bands[0].q, c.q);
}

const RequantisedBandCase kRequantisedBandCases[] = {
    {"Q_1_61_Becomes_1_6", "03E8000000AA013D", 0.0, 1.6},
    {"Q_1_91_Becomes_2_0", "03E8000000AA015B", 0.0, 2.0},
    {"Gain_4_81_Becomes_4_9", "03E8000451AA0300", 4.9, 3.0},
};

INSTANTIATE_TEST_SUITE_P(, DecodedBandRequantised, ::testing::ValuesIn(kRequantisedBandCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Band, FlatPlusFourAndAHalfAtOneKilohertz)
{
    const BandImage image = EncodeBand({1000.0, 4.5, 1.41}, true);
    EXPECT_EQ(image, BandFromHex("03E800CC32AA0129"));
    const DecodedBand back = DecodeBand(image.data());
    EXPECT_TRUE(back.flat);
    EXPECT_EQ(back.band, (PeqBand{1000.0, 4.5, 1.41}));

    const BandImage negative = EncodeBand({1000.0, -4.5, 1.41}, true);
    EXPECT_EQ(negative, BandFromHex("03E800CC3255" "0129"));
    const DecodedBand negativeBack = DecodeBand(negative.data());
    EXPECT_TRUE(negativeBack.flat);
    EXPECT_EQ(negativeBack.band.gain, -4.5);
}

TEST(Band, DecodeRules)
{
    struct Case { const char *hex; double gain; bool flat; };
    const Case cases[] = {
        {"03E8000432AA0129", 4.5, false},
        {"03E8000432550129", -4.5, false},
        {"03E8000432000129", 4.5, false},   // any sign byte but 55 is non-negative
        {"03E8000432FF0129", 4.5, false},
        {"03E8009600AA0129", 150.0, false},  // 150.00 is still plain
        {"03E8009601AA0129", -49.99, true},  // 150.01 is above 150: FLAT, minus 200
        {"03E800C80AAA0129", 0.1, true},     // 200.10: FLAT, then 200 subtracted
        {"03E800CC0A550129", -4.1, true},
        {"03E800FF63AA0129", 55.99, true},
    };
    for (const Case &c : cases) {
        const DecodedBand band = DecodeBand(BandFromHex(c.hex).data());
        EXPECT_NEAR(band.band.gain, c.gain, 1e-12) << c.hex;
        EXPECT_EQ(band.flat, c.flat) << c.hex;
        EXPECT_EQ(band.band.freq, 1000.0);
        EXPECT_EQ(band.band.q, 1.41);
    }
}

TEST(Band, ZeroMagnitudeWithNegativeSignDecodesAsNegativeZero)
{
    const DecodedBand band = DecodeBand(BandFromHex("03E800C80055012A").data());
    EXPECT_TRUE(band.flat);
    EXPECT_EQ(band.band.gain, 0.0);
    EXPECT_TRUE(std::signbit(band.band.gain));
    // A gain of zero is written as non-negative, as the editors expect.
    EXPECT_EQ(EncodeBand({1000.0, 0.0, 1.42}, false)[5], kSignPositive);
}

TEST(ChannelGain, SignedAndMutedEncodings)
{
    Program p = DecodeProgram(DefaultProgram());
    p.left.gain = -3.5;
    p.right.gain = 6.0;
    const RecordImage image = EncodeProgram(p);
    EXPECT_EQ(image[16 + 32], 0x03);
    EXPECT_EQ(image[16 + 33], 0x32);
    EXPECT_EQ(image[16 + 34], 0x55);
    EXPECT_EQ(image[64 + 32], 0x06);
    EXPECT_EQ(image[64 + 33], 0x00);
    EXPECT_EQ(image[64 + 34], 0xAA);

    const Program defaults = DecodeProgram(DefaultProgram());  // stored 64 00 55
    EXPECT_EQ(defaults.left.gain, -100.0);
    EXPECT_TRUE(defaults.left.muted());

    ChannelSettings ch;
    for (const auto &[gain, muted] : {std::pair{-60.0, false}, std::pair{-60.1, true}, std::pair{6.0, false}}) {
        ch.gain = gain;
        EXPECT_EQ(ch.muted(), muted) << gain;
    }
}

TEST(Program, DefaultProgramBytes)
{
    const char *channel =
        "001E000000AA0300" "010E000000AA0300" "0618000000AA0300"
        "004EE800" "00000A00" "640055" "0000" "41" "000A" "00" "0000" "000A" "202020";
    const QByteArray hex = QByteArray("20464C4154204446" "2020" "00" "01" "FF" "141414") + channel + channel;
    EXPECT_EQ(DefaultProgram(), FromHex(hex.constData()));

    const Program p = DecodeProgram(DefaultProgram());
    const double freqs[] = {30.0, 270.0, 1560.0};
    for (int i = 0; i < kBandCount; ++i) {
        EXPECT_EQ(p.left.peq[i], (PeqBand{freqs[i], 0.0, 3.0}));
        EXPECT_FALSE(p.left.flat[i]);
    }
    EXPECT_EQ(p.left.lowPass.freq, 20200.0);
    EXPECT_EQ(p.left.highPass.freq, 10.0);
    EXPECT_EQ(p.left.limitThreshold, kLimiterOff);
    EXPECT_EQ(p.left.attack, 10);
    EXPECT_EQ(p.left.decay, 10);
    EXPECT_EQ(p.left.hold, 0);
    EXPECT_EQ(p.mode, 0);
    EXPECT_EQ(p.programNumber, 255);
    ExpectSameChannel(p.left, p.right);

    EXPECT_EQ(EncodeProgram(p), DefaultProgram());
    // A file writer replaces only the header tail.
    Program saved = p;
    saved.headerTail = {0x20, 0x20, 0x20};
    RecordImage expected = DefaultProgram();
    expected[13] = expected[14] = expected[15] = 0x20;
    EXPECT_EQ(EncodeProgram(saved), expected);
}

TEST(Program, SlotRecordsShareTheFlatChannels)
{
    const RecordImage def = DefaultProgram();
    for (const auto &[record, inUse] : {std::pair{BlankSlotRecord(), 0}, std::pair{NewSlotRecord(), 1}}) {
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(record.data()), 10), QByteArray("PresetFlat"));
        EXPECT_EQ(record[10], 0);
        EXPECT_EQ(record[11], inUse);
        EXPECT_EQ(record[12], 255);
        EXPECT_EQ(record[13], 0x14);
        EXPECT_EQ(record[15], 0x14);
        EXPECT_TRUE(std::equal(record.begin() + 16, record.end(), def.begin() + 16));
    }
    EXPECT_FALSE(RecordInUse(BlankSlotRecord()));
    EXPECT_TRUE(RecordInUse(NewSlotRecord()));
}

TEST(Program, InUseZeroIsBlankWhateverElseItHolds)
{
    RecordImage image = EncodeProgram(VariedProgram());
    image[11] = 0;
    EXPECT_FALSE(RecordInUse(image));
    image[11] = 2;  // the amplifier may report any non-zero value for a used slot
    EXPECT_TRUE(RecordInUse(image));
}

TEST(Program, EveryFieldAtItsOffset)
{
    // The left channel of VariedProgram, byte by byte.
    const QByteArray left = QByteArray::fromHex(
        "00230ACC32AA0129"   // 35.10 Hz, FLAT +4.50 dB, Q 1.41
        "03E8000B1E550032"   // 1000 Hz, -11.30 dB, Q 0.50
        "4D5800C800AA1400"   // 19800 Hz, FLAT 0.00 dB, Q 20.00
        "0D3E8000"           // low-pass slope 13 at 16000 Hz
        "0300230A"           // high-pass slope 3 at 35.10 Hz
        "0C3255"             // gain -12.50 dB
        "0663"               // delay 6.99 ms
        "29"                 // threshold position 41
        "03E8"               // attack 1000
        "B4"                 // phase 180
        "0064"               // hold 100
        "0101"               // decay 257
        "202020");
    const RecordImage image = EncodeProgram(VariedProgram());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(image.data()) + 16, 48).toHex(' '), left.toHex(' '));
    EXPECT_EQ(image[10], 2);
    EXPECT_EQ(image[11], 1);
    EXPECT_EQ(image[12], 7);
    EXPECT_EQ(image[13], 1);
    EXPECT_EQ(image[15], 3);
    EXPECT_EQ(image[64 + 45], 0x00);
    EXPECT_EQ(image[64 + 46], 0xFF);
    EXPECT_EQ(image[64 + 47], 0x7F);
}

TEST(Program, VariedProgramRoundTrips)
{
    const Program p = VariedProgram();
    const Program back = DecodeProgram(EncodeProgram(p));
    EXPECT_EQ(back.name, p.name);
    EXPECT_EQ(back.mode, p.mode);
    EXPECT_EQ(back.inUse, p.inUse);
    EXPECT_EQ(back.programNumber, p.programNumber);
    EXPECT_EQ(back.headerTail, p.headerTail);
    ExpectSameChannel(back.left, p.left);
    ExpectSameChannel(back.right, p.right);
    EXPECT_EQ(EncodeProgram(back), EncodeProgram(p));
}

TEST(Program, FillerBytesDoNotAffectTheDecodedValues)
{
    const RecordImage plain = EncodeProgram(VariedProgram());
    RecordImage odd = plain;
    odd[13] = 0xDE;
    odd[14] = 0xAD;
    odd[15] = 0x00;
    for (int base : {16, 64}) {
        odd[base + 45] = 0x99;
        odd[base + 46] = 0x00;
        odd[base + 47] = 0xFF;
    }
    Program a = DecodeProgram(plain);
    Program b = DecodeProgram(odd);
    a.headerTail = b.headerTail;
    a.left.channelTail = b.left.channelTail;
    a.right.channelTail = b.right.channelTail;
    ExpectSameChannel(a.left, b.left);
    ExpectSameChannel(a.right, b.right);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.mode, b.mode);
}

TEST(Program, EveryCrossoverFrequencySurvivesAsBothFilters)
{
    Program p = DecodeProgram(DefaultProgram());
    const auto &table = CrossoverTable();
    for (int i = 0; i < kCrossoverCount; ++i) {
        p.left.lowPass.freq = table[i];
        p.right.highPass.freq = table[i];
        const Program back = DecodeProgram(EncodeProgram(p));
        EXPECT_EQ(back.left.lowPass.freq, table[i]) << "index " << i;
        EXPECT_EQ(back.right.highPass.freq, table[i]) << "index " << i;
        EXPECT_EQ(CrossoverIndexOf(back.left.lowPass.freq), i);
    }
}

TEST(Program, CrossoverFrequencyWireExamples)
{
    Program p = DecodeProgram(DefaultProgram());
    p.left.lowPass = {13, 35.1};
    const RecordImage image = EncodeProgram(p);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(image.data()) + 16 + 24, 4), QByteArray::fromHex("0D00230A"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(image.data()) + 16 + 28, 4), QByteArray::fromHex("00000A00"));
}

TEST(RecordBlock, SevenBlocksMakeTheRecord)
{
    const RecordImage image = EncodeProgram(VariedProgram());
    RecordImage joined{};
    for (int k = 1; k <= kRecordBlockCount; ++k) {
        const RecordBlockBytes block = RecordBlock(image, k);
        std::copy(block.begin(), block.end(), joined.begin() + kRecordBlockSize * (k - 1));
    }
    EXPECT_EQ(joined, image);
    EXPECT_EQ(RecordBlock(image, 2)[0], image[16]);
    EXPECT_EQ(RecordBlock(image, 0), RecordBlockBytes{});
    EXPECT_EQ(RecordBlock(image, 8), RecordBlockBytes{});
}

}  // namespace
}  // namespace talvo
