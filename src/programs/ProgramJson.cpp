#include "programs/ProgramJson.h"

#include <cmath>

#include <QJsonArray>
#include <QSet>
#include <QStringList>

#include "programs/Windows1252.h"

namespace talvo {

namespace {

constexpr int kSlopeTypeCount = 16;
constexpr int kNoSlopeSelected = 255;
constexpr double kCrossoverMinHz = 10.0;
constexpr double kMinGainDb = -60.0;
constexpr double kMaxGainDb = 6.0;

// Byte offsets inside a channel block.
constexpr int kChannelGainSign = 34;
constexpr int kBandSign = 5;
constexpr int kLeftBlock = 16;
constexpr int kRightBlock = 64;

QString HexBytes(const std::uint8_t *bytes, int count)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(u' ');
}

// The sign byte that encoding `value` writes; -0.0 counts as 0 here because JSON turns it
// into 0 anyway.
std::uint8_t ImpliedSign(double value) { return value < 0.0 ? kSignNegative : kSignPositive; }

QJsonObject BandToJson(const std::uint8_t *image)
{
    const DecodedBand band = DecodeBand(image);
    QJsonObject o;
    o["freq"] = band.band.freq;
    o["gain"] = band.band.gain;
    o["q"] = band.band.q;
    o["flat"] = band.flat;
    if (image[kBandSign] != ImpliedSign(band.band.gain)) o["gainSign"] = image[kBandSign];
    return o;
}

QJsonObject FilterToJson(const CrossoverFilter &filter)
{
    QJsonObject o;
    o["slope"] = filter.slope;
    o["freq"] = filter.freq;
    return o;
}

QJsonObject ChannelToJson(const std::uint8_t *block, const ChannelSettings &ch)
{
    QJsonObject o;
    QJsonArray peq;
    for (int i = 0; i < kBandCount; ++i) peq.append(BandToJson(block + 8 * i));
    o["peq"] = peq;
    o["lowPass"] = FilterToJson(ch.lowPass);
    o["highPass"] = FilterToJson(ch.highPass);
    o["gain"] = ch.gain;
    if (block[kChannelGainSign] != ImpliedSign(ch.gain)) o["gainSign"] = block[kChannelGainSign];
    o["delay"] = ch.delay;
    o["limitThreshold"] = ch.limitThreshold;
    o["attack"] = ch.attack;
    o["hold"] = ch.hold;
    o["decay"] = ch.decay;
    o["phase"] = ch.phase;
    o["channelTail"] = HexBytes(ch.channelTail.data(), 3);
    return o;
}

// Walks one JSON object, remembering the key path for messages; the first error wins and
// later reads just return defaults.
class Reader {
public:
    Reader(QString *error, QString path) : error_(error), path_(std::move(path)) {}

    bool failed() const { return failed_; }

    void Fail(const QString &key, const QString &what)
    {
        if (failed_) return;
        failed_ = true;
        if (error_) *error_ = Key(key) + QStringLiteral(": ") + what;
    }

    // The full key path; an empty key names the object this reader walks.
    QString Key(const QString &key) const
    {
        if (!key.isEmpty()) return path_ + key;
        return path_.endsWith(u'.') ? path_.chopped(1) : path_;
    }

    // Refuses keys outside `allowed`: a misspelt optional key would otherwise vanish silently.
    void CheckKeys(const QJsonObject &o, const QStringList &allowed)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!allowed.contains(it.key())) Fail(it.key(), QStringLiteral("unknown key"));
        }
        for (const QString &key : allowed) {
            if (!optional_.contains(key) && !o.contains(key)) Fail(key, QStringLiteral("missing"));
        }
    }

    void SetOptional(const QStringList &keys) { optional_ = QSet<QString>(keys.begin(), keys.end()); }

    QJsonValue Get(const QJsonObject &o, const QString &key)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined()) Fail(key, QStringLiteral("missing"));
        return v;
    }

    double Number(const QJsonObject &o, const QString &key)
    {
        const QJsonValue v = Get(o, key);
        if (failed_) return 0.0;
        if (!v.isDouble()) {
            Fail(key, QStringLiteral("must be a number"));
            return 0.0;
        }
        return v.toDouble();
    }

    int Integer(const QJsonObject &o, const QString &key, int min, int max)
    {
        const double v = Number(o, key);
        if (failed_) return 0;
        if (v != std::floor(v)) {
            Fail(key, QStringLiteral("%1 must be a whole number").arg(Text(v)));
            return 0;
        }
        if (v < min || v > max) {
            Fail(key, QStringLiteral("%1 is out of range (%2 to %3)").arg(Text(v)).arg(min).arg(max));
            return 0;
        }
        return static_cast<int>(v);
    }

    // A value stored as whole part and hundredths: it must sit on a hundredth (allowing for
    // the last bits of a computed double) and its magnitude must fit maxWhole.maxHundredths.
    double Hundredths(const QJsonObject &o, const QString &key, bool allowNegative, int maxWhole,
                      int maxHundredths)
    {
        const double v = Number(o, key);
        if (failed_) return 0.0;
        const QString range = allowNegative
            ? QStringLiteral("-%1.%2 to %1.%2").arg(maxWhole).arg(maxHundredths, 2, 10, QLatin1Char('0'))
            : QStringLiteral("0 to %1.%2").arg(maxWhole).arg(maxHundredths, 2, 10, QLatin1Char('0'));
        const double magnitude = std::fabs(v);
        if ((!allowNegative && v < 0.0) || magnitude > maxWhole + 1.0) {
            Fail(key, QStringLiteral("%1 is out of range (%2)").arg(Text(v), range));
            return 0.0;
        }
        const HundredthsPair pair = SplitHundredths(magnitude);
        if (std::fabs(JoinHundredths(pair.whole, pair.hundredths) - magnitude) > 1e-6) {
            Fail(key, QStringLiteral("%1 is not a multiple of 0.01").arg(Text(v)));
            return 0.0;
        }
        if (pair.whole * 100 + pair.hundredths > maxWhole * 100 + maxHundredths) {
            Fail(key, QStringLiteral("%1 is out of range (%2)").arg(Text(v), range));
            return 0.0;
        }
        return v;
    }

    bool Bool(const QJsonObject &o, const QString &key)
    {
        const QJsonValue v = Get(o, key);
        if (failed_) return false;
        if (!v.isBool()) Fail(key, QStringLiteral("must be true or false"));
        return v.toBool();
    }

    QString String(const QJsonObject &o, const QString &key)
    {
        const QJsonValue v = Get(o, key);
        if (failed_) return {};
        if (!v.isString()) Fail(key, QStringLiteral("must be a string"));
        return v.toString();
    }

    QJsonObject Object(const QJsonObject &o, const QString &key)
    {
        const QJsonValue v = Get(o, key);
        if (failed_) return {};
        if (!v.isObject()) Fail(key, QStringLiteral("must be an object"));
        return v.toObject();
    }

    std::array<std::uint8_t, 3> Tail(const QJsonObject &o, const QString &key)
    {
        std::array<std::uint8_t, 3> tail{};
        QString text = String(o, key);
        if (failed_) return tail;
        text.remove(u' ');
        bool good = text.size() == 6;
        for (int i = 0; good && i < 3; ++i) {
            const uint byte = text.mid(2 * i, 2).toUInt(&good, 16);
            tail[i] = static_cast<std::uint8_t>(byte);
        }
        if (!good) Fail(key, QStringLiteral("must be three bytes in hex, like \"20 20 20\""));
        return tail;
    }

    // The sign byte to store: the one the gain implies, or "gainSign" when present and
    // consistent with the gain.
    std::uint8_t Sign(const QJsonObject &o, double gain)
    {
        if (!o.contains(QStringLiteral("gainSign"))) return ImpliedSign(gain);
        const int sign = Integer(o, QStringLiteral("gainSign"), 0, 255);
        if (failed_) return 0;
        if (gain < 0.0 && sign != kSignNegative)
            Fail(QStringLiteral("gainSign"),
                 QStringLiteral("%1 contradicts the negative gain (only 85 marks a negative gain)").arg(sign));
        else if (gain > 0.0 && sign == kSignNegative)
            Fail(QStringLiteral("gainSign"), QStringLiteral("85 marks a negative gain, but the gain is above 0"));
        return static_cast<std::uint8_t>(sign);
    }

    Reader Child(const QString &key) const { return Reader(error_, Key(key) + u'.'); }
    Reader Element(const QString &key, int index) const
    {
        return Reader(error_, Key(key) + QStringLiteral("[%1].").arg(index));
    }

    void Absorb(const Reader &child) { failed_ = failed_ || child.failed_; }

private:
    static QString Text(double v) { return QString::number(v, 'g', 12); }

    QString *error_;
    QString path_;
    bool failed_ = false;
    QSet<QString> optional_;
};

void ReadBand(Reader &r, const QJsonObject &o, std::uint8_t *image)
{
    r.SetOptional({QStringLiteral("gainSign")});
    r.CheckKeys(o, {"freq", "gain", "q", "flat", "gainSign"});
    PeqBand band;
    band.freq = r.Hundredths(o, "freq", false, 65535, 99);
    const bool flat = r.Bool(o, "flat");
    // FLAT adds 200 to the whole-decibel byte, and a plain band must stay at or below 150.00
    // to be read back as plain.
    band.gain = flat ? r.Hundredths(o, "gain", true, 55, 99) : r.Hundredths(o, "gain", true, 150, 0);
    band.q = r.Hundredths(o, "q", false, 255, 99);
    const std::uint8_t sign = r.Sign(o, band.gain);
    if (r.failed()) return;
    const BandImage bytes = EncodeBand(band, flat);
    std::copy(bytes.begin(), bytes.end(), image);
    image[kBandSign] = sign;
}

CrossoverFilter ReadFilter(Reader &r, const QJsonObject &o)
{
    r.CheckKeys(o, {"slope", "freq"});
    CrossoverFilter filter;
    // 255 is what a slope list without a selection gathers as.
    filter.slope = r.Integer(o, "slope", 0, 255);
    if (!r.failed() && filter.slope > kSlopeTypeCount - 1 && filter.slope != kNoSlopeSelected)
        r.Fail("slope", QStringLiteral("%1 is out of range (0 to %2, or %3 for none)")
                            .arg(filter.slope).arg(kSlopeTypeCount - 1).arg(kNoSlopeSelected));
    filter.freq = r.Hundredths(o, "freq", false, 20200, 0);
    if (!r.failed() && filter.freq < kCrossoverMinHz)
        r.Fail("freq", QStringLiteral("%1 is out of range (10 to 20200.00)").arg(filter.freq));
    return filter;
}

void ReadChannel(Reader &r, const QJsonObject &o, std::uint8_t *block)
{
    r.SetOptional({QStringLiteral("gainSign")});
    r.CheckKeys(o, {"peq", "lowPass", "highPass", "gain", "gainSign", "delay", "limitThreshold",
                    "attack", "hold", "decay", "phase", "channelTail"});
    ChannelSettings ch;

    const QJsonValue peqValue = r.Get(o, "peq");
    if (!r.failed() && (!peqValue.isArray() || peqValue.toArray().size() != kBandCount))
        r.Fail("peq", QStringLiteral("must be an array of %1 band objects").arg(kBandCount));
    std::array<BandImage, kBandCount> bands{};
    for (int i = 0; i < kBandCount && !r.failed(); ++i) {
        Reader br = r.Element("peq", i);
        const QJsonValue v = peqValue.toArray().at(i);
        if (!v.isObject())
            br.Fail({}, QStringLiteral("must be an object"));
        else
            ReadBand(br, v.toObject(), bands[i].data());
        r.Absorb(br);
    }

    for (const char *key : {"lowPass", "highPass"}) {
        const QJsonObject fo = r.Object(o, key);
        if (r.failed()) break;
        Reader fr = r.Child(key);
        (QLatin1String(key) == QLatin1String("lowPass") ? ch.lowPass : ch.highPass) = ReadFilter(fr, fo);
        r.Absorb(fr);
    }

    // The ranges the editors produce: a record outside them could not have come from this
    // program, and the amplifier would get values no editor can show.
    ch.gain = r.Hundredths(o, "gain", true, 255, 99);
    if (!r.failed() && ch.gain != kMutedGain && (ch.gain < kMinGainDb || ch.gain > kMaxGainDb))
        r.Fail("gain", QStringLiteral("%1 is out of range (-60.00 to 6.00, or -100 for muted)").arg(ch.gain));
    const std::uint8_t sign = r.Sign(o, ch.gain);
    ch.delay = r.Hundredths(o, "delay", false, 7, 0);
    ch.limitThreshold = r.Integer(o, "limitThreshold", 0, kLimiterOff);
    ch.attack = r.Integer(o, "attack", 10, 1000);
    ch.hold = r.Integer(o, "hold", 0, 100);
    ch.decay = r.Integer(o, "decay", 10, 1000);
    ch.phase = r.Integer(o, "phase", 0, 180);
    if (!r.failed() && ch.phase != 0 && ch.phase != 180)
        r.Fail("phase", QStringLiteral("%1 is out of range (0 or 180)").arg(ch.phase));
    ch.channelTail = r.Tail(o, "channelTail");
    if (r.failed()) return;

    Program scratch;
    scratch.left = ch;
    const RecordImage encoded = EncodeProgram(scratch);
    std::copy_n(encoded.begin() + kLeftBlock, 48, block);
    // The bands carry their own sign bytes (gainSign), so they are copied in whole.
    for (int i = 0; i < kBandCount; ++i) std::copy(bands[i].begin(), bands[i].end(), block + 8 * i);
    block[kChannelGainSign] = sign;
}

}  // namespace

QJsonObject RecordToJson(const RecordImage &record)
{
    const Program program = DecodeProgram(record);
    QJsonObject o;
    o["name"] = ProgramNameText(program.name);
    o["mode"] = program.mode;
    o["inUse"] = program.inUse;
    o["programNumber"] = program.programNumber;
    o["headerTail"] = HexBytes(program.headerTail.data(), 3);
    o["left"] = ChannelToJson(record.data() + kLeftBlock, program.left);
    o["right"] = ChannelToJson(record.data() + kRightBlock, program.right);
    return o;
}

std::optional<RecordImage> RecordFromJson(const QJsonObject &object, QString *error,
                                          const QString &keyPrefix)
{
    Reader r(error, keyPrefix);
    r.CheckKeys(object, {"name", "mode", "inUse", "programNumber", "headerTail", "left", "right"});
    RecordImage record{};

    const QString name = r.String(object, "name");
    if (!r.failed()) {
        qsizetype bad = -1;
        const std::optional<QByteArray> bytes = StringToWindows1252(name, &bad);
        if (!bytes)
            r.Fail("name", QStringLiteral("character U+%1 at position %2 has no Windows-1252 byte")
                               .arg(name.at(bad).unicode(), 4, 16, QLatin1Char('0'))
                               .arg(bad + 1));
        else if (bytes->size() > kNameSize)
            r.Fail("name", QStringLiteral("is %1 bytes long; at most %2 fit").arg(bytes->size()).arg(kNameSize));
        else {
            std::fill_n(record.begin(), kNameSize, ' ');
            std::copy(bytes->begin(), bytes->end(), record.begin());
        }
    }
    record[10] = static_cast<std::uint8_t>(r.Integer(object, "mode", 0, 255));
    record[11] = static_cast<std::uint8_t>(r.Integer(object, "inUse", 0, 255));
    record[12] = static_cast<std::uint8_t>(r.Integer(object, "programNumber", 0, 255));
    const std::array<std::uint8_t, 3> headerTail = r.Tail(object, "headerTail");
    std::copy(headerTail.begin(), headerTail.end(), record.begin() + 13);

    for (const auto &[key, offset] : {std::pair{"left", kLeftBlock}, std::pair{"right", kRightBlock}}) {
        const QJsonObject co = r.Object(object, key);
        if (r.failed()) break;
        Reader cr = r.Child(key);
        ReadChannel(cr, co, record.data() + offset);
        r.Absorb(cr);
    }
    if (r.failed()) return std::nullopt;
    return record;
}

}  // namespace talvo
