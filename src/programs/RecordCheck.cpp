#include "programs/RecordCheck.h"

#include <cmath>

#include "programs/PeqBand.h"

namespace talvo {

namespace {

constexpr int kNoSlopeSelected = 255;  // what a slope list without a selection gathers as
constexpr int kFlatMark = 200;         // added to a FLAT band's whole-decibel byte
constexpr int kFlatAbove = 150;        // a band gain above this is FLAT
constexpr int kMinGainCentiDb = -6000;
constexpr int kMaxGainCentiDb = 600;
constexpr int kMutedCentiDb = -10000;         // a muted channel as the gain editor gathers it
constexpr int kStoredMutedCentiDb = -6200;    // as a program written with "Mute" comes back
constexpr int kMaxDelayCentiMs = 700;
constexpr int kMinRate = 10;                  // attack and decay, dB/s
constexpr int kMaxRate = 1000;
constexpr int kMaxHold = 100;                 // ms
constexpr int kInvertedPhase = 180;
// The crossover editor's lists: sixteen slope types, and the ends of its frequency table that
// each filter's bar reaches (the table itself lives with the editor, above this folder).
constexpr int kSlopeTypeCount = 16;
constexpr double kHighPassLowestHz = 10.0;
constexpr double kHighPassHighestHz = 16000.0;
constexpr double kLowPassLowestHz = 35.1;
constexpr double kLowPassHighestHz = 20200.0;

// Values are compared in hundredths, as the record stores them: no rounding can let one slip.
int Hundredths(double value) { return static_cast<int>(std::lround(value * 100.0)); }

QString Number(int hundredths) { return QString::number(hundredths / 100.0, 'g', 12); }

class Checker {
public:
    explicit Checker(const RecordImage &record) : record_(record) {}

    std::optional<RecordFault> fault;

    void Channel(const QString &channel, int base)
    {
        const std::uint8_t *c = record_.data() + base;
        for (int i = 0; i < kBandCount; ++i)
            Band(QStringLiteral("%1.peq[%2].").arg(channel).arg(i), c + 8 * i);
        Filter(channel + QStringLiteral(".lowPass."), c + 24, kLowPassLowestHz,
               kLowPassHighestHz);
        Filter(channel + QStringLiteral(".highPass."), c + 28, kHighPassLowestHz,
               kHighPassHighestHz);

        const QString gainKey = channel + QStringLiteral(".gain");
        if (const std::optional<int> magnitude = Pair(gainKey, c + 32, 1)) {
            const int gain = c[34] == kSignNegative ? -*magnitude : *magnitude;
            if (gain != kMutedCentiDb && gain != kStoredMutedCentiDb && (gain < kMinGainCentiDb || gain > kMaxGainCentiDb))
                Fail(gainKey, QStringLiteral("%1 is out of range (%2 to %3, or %4 or %5 when muted)")
                                  .arg(Number(gain), Number(kMinGainCentiDb), Number(kMaxGainCentiDb),
                                       Number(kMutedCentiDb), Number(kStoredMutedCentiDb)));
        }
        const QString delayKey = channel + QStringLiteral(".delay");
        if (const std::optional<int> delay = Pair(delayKey, c + 35, 1))
            Range(delayKey, *delay, 0, kMaxDelayCentiMs);
        Whole(channel + QStringLiteral(".limitThreshold"), c[37], 0, kLimiterOff);
        Whole(channel + QStringLiteral(".attack"), Word(c + 38), kMinRate, kMaxRate);
        if (c[40] != 0 && c[40] != kInvertedPhase)
            Fail(channel + QStringLiteral(".phase"), QStringLiteral("%1 is out of range (0 or 180)").arg(c[40]));
        Whole(channel + QStringLiteral(".hold"), Word(c + 41), 0, kMaxHold);
        Whole(channel + QStringLiteral(".decay"), Word(c + 43), kMinRate, kMaxRate);
    }

private:
    void Fail(const QString &key, const QString &what)
    {
        if (!fault)
            fault = RecordFault{key, what};
    }

    static int Word(const std::uint8_t *p) { return p[0] * 256 + p[1]; }

    // A whole part of `wholeBytes` bytes followed by its hundredths byte, in hundredths;
    // nothing when the hundredths byte is not 0..99.
    std::optional<int> Pair(const QString &key, const std::uint8_t *p, int wholeBytes)
    {
        const int whole = wholeBytes == 2 ? Word(p) : p[0];
        const int hundredths = p[wholeBytes];
        if (hundredths > 99) {
            Fail(key, QStringLiteral("hundredths byte %1 is out of range (0 to 99)").arg(hundredths));
            return std::nullopt;
        }
        return whole * 100 + hundredths;
    }

    void Range(const QString &key, int hundredths, int lowest, int highest)
    {
        if (hundredths < lowest || hundredths > highest)
            Fail(key, QStringLiteral("%1 is out of range (%2 to %3)")
                          .arg(Number(hundredths), Number(lowest), Number(highest)));
    }

    void Whole(const QString &key, int value, int lowest, int highest)
    {
        if (value < lowest || value > highest)
            Fail(key, QStringLiteral("%1 is out of range (%2 to %3)").arg(value).arg(lowest).arg(highest));
    }

    void Band(const QString &prefix, const std::uint8_t *band)
    {
        const QString freqKey = prefix + QStringLiteral("freq");
        if (const std::optional<int> freq = Pair(freqKey, band, 2))
            Range(freqKey, *freq, Hundredths(kPeqMinFreq), Hundredths(kPeqMaxFreq));

        const QString gainKey = prefix + QStringLiteral("gain");
        if (std::optional<int> magnitude = Pair(gainKey, band + 3, 1)) {
            // The decoder's reading: above 150 dB the band is FLAT and 200 comes off. Whole
            // bytes 151..199 leave a negative magnitude, which no encoder writes.
            if (*magnitude > kFlatAbove * 100)
                *magnitude -= kFlatMark * 100;
            if (*magnitude < 0)
                Fail(gainKey, QStringLiteral("whole byte %1 is out of range (0 to %2, or %3 to %4 when FLAT)")
                                  .arg(band[3])
                                  .arg(int(kPeqMaxGain))
                                  .arg(kFlatMark)
                                  .arg(kFlatMark + int(kPeqMaxGain)));
            else
                Range(gainKey, band[5] == kSignNegative ? -*magnitude : *magnitude, Hundredths(kPeqMinGain),
                      Hundredths(kPeqMaxGain));
        }

        const QString qKey = prefix + QStringLiteral("q");
        if (const std::optional<int> q = Pair(qKey, band + 6, 1))
            Range(qKey, *q, Hundredths(kPeqMinQ), Hundredths(kPeqMaxQ));
    }

    void Filter(const QString &prefix, const std::uint8_t *filter, double lowestHz, double highestHz)
    {
        const int slope = filter[0];
        if (slope >= kSlopeTypeCount && slope != kNoSlopeSelected)
            Fail(prefix + QStringLiteral("slope"), QStringLiteral("%1 is out of range (0 to %2, or %3 for none)")
                                                       .arg(slope)
                                                       .arg(kSlopeTypeCount - 1)
                                                       .arg(kNoSlopeSelected));
        const QString freqKey = prefix + QStringLiteral("freq");
        if (const std::optional<int> freq = Pair(freqKey, filter + 1, 2))
            Range(freqKey, *freq, Hundredths(lowestHz), Hundredths(highestHz));
    }

    const RecordImage &record_;
};

}  // namespace

std::optional<RecordFault> CheckRecordValues(const RecordImage &record)
{
    Checker checker(record);
    checker.Channel(QStringLiteral("left"), 16);
    checker.Channel(QStringLiteral("right"), 64);
    return checker.fault;
}

}  // namespace talvo
