#include "programs/ProgramJson.h"

#include <cmath>

#include <QJsonArray>
#include <QSet>
#include <QStringList>

#include "programs/Windows1252.h"

namespace talvo {

namespace {

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

// Fields stored as a whole part (one or two bytes) followed by a hundredths byte. Bytes that
// encoding their own decoded value does not give back (a hundredths byte of 100 or more, a band
// gain whole byte between 151 and 199) are shown next to the value as "<key>Bytes", so that
// pack can put back exactly the bytes the file held.
struct PairField {
    const char *key;
    int offset;  // inside the band, filter or channel block
    int length;
};
constexpr PairField kBandPairs[] = {{"freq", 0, 3}, {"gain", 3, 2}, {"q", 6, 2}};
constexpr PairField kFilterPairs[] = {{"freq", 1, 3}};
constexpr PairField kChannelPairs[] = {{"gain", 32, 2}, {"delay", 35, 2}};
constexpr int kLowPassOffset = 24;
constexpr int kHighPassOffset = 28;

QString BytesKey(const char *key) { return QLatin1String(key) + QStringLiteral("Bytes"); }

template <std::size_t N>
QStringList BytesKeys(const PairField (&fields)[N])
{
    QStringList keys;
    for (const PairField &f : fields) keys << BytesKey(f.key);
    return keys;
}

template <std::size_t N>
void AddUncanonicalBytes(QJsonObject &o, const PairField (&fields)[N], const std::uint8_t *actual,
                         const std::uint8_t *canonical)
{
    for (const PairField &f : fields) {
        if (!std::equal(actual + f.offset, actual + f.offset + f.length, canonical + f.offset))
            o[BytesKey(f.key)] = HexBytes(actual + f.offset, f.length);
    }
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
    AddUncanonicalBytes(o, kBandPairs, image, EncodeBand(band.band, band.flat).data());
    return o;
}

QJsonObject FilterToJson(const CrossoverFilter &filter, const std::uint8_t *image, const std::uint8_t *canonical)
{
    QJsonObject o;
    o["slope"] = filter.slope;
    o["freq"] = filter.freq;
    AddUncanonicalBytes(o, kFilterPairs, image, canonical);
    return o;
}

// `canonical` is the block as encoding the decoded settings writes it.
QJsonObject ChannelToJson(const std::uint8_t *block, const std::uint8_t *canonical, const ChannelSettings &ch)
{
    QJsonObject o;
    QJsonArray peq;
    for (int i = 0; i < kBandCount; ++i) peq.append(BandToJson(block + 8 * i));
    o["peq"] = peq;
    o["lowPass"] = FilterToJson(ch.lowPass, block + kLowPassOffset, canonical + kLowPassOffset);
    o["highPass"] = FilterToJson(ch.highPass, block + kHighPassOffset, canonical + kHighPassOffset);
    o["gain"] = ch.gain;
    if (block[kChannelGainSign] != ImpliedSign(ch.gain)) o["gainSign"] = block[kChannelGainSign];
    AddUncanonicalBytes(o, kChannelPairs, block, canonical);
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
        HexBytes(o, key, tail.data(), 3, QStringLiteral("three bytes in hex, like \"20 20 20\""));
        return tail;
    }

    // Reads `count` bytes written in hex into `out`; `what` describes the form in the message.
    void HexBytes(const QJsonObject &o, const QString &key, std::uint8_t *out, int count, const QString &what)
    {
        QString text = String(o, key);
        if (failed_) return;
        text.remove(u' ');
        bool good = text.size() == 2 * count;
        for (int i = 0; good && i < count; ++i)
            out[i] = static_cast<std::uint8_t>(text.mid(2 * i, 2).toUInt(&good, 16));
        if (!good) Fail(key, QStringLiteral("must be %1").arg(what));
    }

    // Puts the exact bytes of every "<key>Bytes" present over the encoded ones. The caller
    // checks afterwards that they read back as the values given.
    template <std::size_t N>
    QList<const PairField *> ExactBytes(const QJsonObject &o, const PairField (&fields)[N], std::uint8_t *block)
    {
        QList<const PairField *> placed;
        for (const PairField &f : fields) {
            if (!o.contains(BytesKey(f.key))) continue;
            HexBytes(o, BytesKey(f.key), block + f.offset, f.length,
                     QStringLiteral("%1 bytes in hex").arg(f.length));
            placed << &f;
        }
        return placed;
    }

    // Exact bytes that read as another value than the one beside them are refused: pack would
    // otherwise write something other than what the JSON says.
    void CheckExactBytes(const QList<const PairField *> &placed, const char *key, double given, double read)
    {
        if (failed_) return;
        for (const PairField *f : placed) {
            if (QLatin1String(f->key) == QLatin1String(key) && std::fabs(given - read) > 1e-6)
                Fail(BytesKey(f->key), QStringLiteral("reads as %1, not %2").arg(Text(read), Text(given)));
        }
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
    const QStringList optional = QStringList{QStringLiteral("gainSign")} + BytesKeys(kBandPairs);
    r.SetOptional(optional);
    r.CheckKeys(o, QStringList{"freq", "gain", "q", "flat"} + optional);
    // With exact bytes beside it, a value is whatever those bytes read as, which the read-back
    // below checks; the ranges are those of the bytes an encoder writes.
    const auto value = [&](const char *key, bool allowNegative, int maxWhole, int maxHundredths) {
        return o.contains(BytesKey(key)) ? r.Number(o, key) : r.Hundredths(o, key, allowNegative, maxWhole, maxHundredths);
    };
    PeqBand band;
    band.freq = value("freq", false, 65535, 99);
    const bool flat = r.Bool(o, "flat");
    // FLAT adds 200 to the whole-decibel byte, and a plain band must stay at or below 150.00
    // to be read back as plain.
    band.gain = flat ? value("gain", true, 55, 99) : value("gain", true, 150, 0);
    band.q = value("q", false, 255, 99);
    if (r.failed()) return;
    BandImage bytes = EncodeBand(band, flat);
    const QList<const PairField *> exact = r.ExactBytes(o, kBandPairs, bytes.data());
    // Exact gain bytes decide the sign themselves (a whole byte of 151 reads as a FLAT -49
    // under a positive sign byte), so only the read-back below judges them.
    const bool exactGain = o.contains(BytesKey("gain"));
    const std::uint8_t sign = !exactGain ? r.Sign(o, band.gain)
                              : o.contains(QStringLiteral("gainSign"))
                                  ? static_cast<std::uint8_t>(r.Integer(o, QStringLiteral("gainSign"), 0, 255))
                                  : ImpliedSign(band.gain);
    if (r.failed()) return;
    bytes[kBandSign] = sign;
    if (!exact.isEmpty()) {
        const DecodedBand read = DecodeBand(bytes.data());
        r.CheckExactBytes(exact, "freq", band.freq, read.band.freq);
        r.CheckExactBytes(exact, "gain", band.gain, read.band.gain);
        r.CheckExactBytes(exact, "q", band.q, read.band.q);
        if (!r.failed() && read.flat != flat)
            r.Fail("flat", QStringLiteral("the gain bytes read as %1").arg(read.flat ? "flat" : "not flat"));
        if (r.failed()) return;
    }
    std::copy(bytes.begin(), bytes.end(), image);
}

CrossoverFilter ReadFilter(Reader &r, const QJsonObject &o)
{
    r.SetOptional(BytesKeys(kFilterPairs));
    r.CheckKeys(o, QStringList{"slope", "freq"} + BytesKeys(kFilterPairs));
    CrossoverFilter filter;
    filter.slope = r.Integer(o, "slope", 0, 255);
    filter.freq = r.Hundredths(o, "freq", false, 65535, 99);
    return filter;
}

void ReadChannel(Reader &r, const QJsonObject &o, std::uint8_t *block)
{
    const QStringList optional = QStringList{QStringLiteral("gainSign")} + BytesKeys(kChannelPairs);
    r.SetOptional(optional);
    r.CheckKeys(o, QStringList{"peq", "lowPass", "highPass", "gain", "delay", "limitThreshold", "attack", "hold",
                               "decay", "phase", "channelTail"} + optional);
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

    struct FilterPlace {
        const char *key;
        CrossoverFilter &filter;
        int offset;
    };
    const FilterPlace filters[] = {{"lowPass", ch.lowPass, kLowPassOffset}, {"highPass", ch.highPass, kHighPassOffset}};
    for (const FilterPlace &place : filters) {
        const QJsonObject fo = r.Object(o, place.key);
        if (r.failed()) break;
        Reader fr = r.Child(place.key);
        place.filter = ReadFilter(fr, fo);
        r.Absorb(fr);
    }

    ch.gain = r.Hundredths(o, "gain", true, 255, 99);
    const std::uint8_t sign = r.Sign(o, ch.gain);
    ch.delay = r.Hundredths(o, "delay", false, 255, 99);
    ch.limitThreshold = r.Integer(o, "limitThreshold", 0, 255);
    ch.attack = r.Integer(o, "attack", 0, 65535);
    ch.hold = r.Integer(o, "hold", 0, 65535);
    ch.decay = r.Integer(o, "decay", 0, 65535);
    ch.phase = r.Integer(o, "phase", 0, 255);
    ch.channelTail = r.Tail(o, "channelTail");
    if (r.failed()) return;

    Program scratch;
    scratch.left = ch;
    const RecordImage encoded = EncodeProgram(scratch);
    std::copy_n(encoded.begin() + kLeftBlock, 48, block);
    // The bands carry their own sign bytes (gainSign), so they are copied in whole.
    for (int i = 0; i < kBandCount; ++i) std::copy(bands[i].begin(), bands[i].end(), block + 8 * i);
    block[kChannelGainSign] = sign;

    const QList<const PairField *> exact = r.ExactBytes(o, kChannelPairs, block);
    QList<const PairField *> exactFilter[2];
    for (int i = 0; i < 2; ++i) {
        Reader fr = r.Child(filters[i].key);
        exactFilter[i] = fr.ExactBytes(o.value(QLatin1String(filters[i].key)).toObject(), kFilterPairs,
                                       block + filters[i].offset);
        r.Absorb(fr);
    }
    if (r.failed()) return;
    RecordImage placed{};
    std::copy_n(block, 48, placed.begin() + kLeftBlock);
    const ChannelSettings read = DecodeProgram(placed).left;
    r.CheckExactBytes(exact, "gain", ch.gain, read.gain);
    r.CheckExactBytes(exact, "delay", ch.delay, read.delay);
    for (int i = 0; i < 2; ++i) {
        Reader fr = r.Child(filters[i].key);
        fr.CheckExactBytes(exactFilter[i], "freq", filters[i].filter.freq,
                           (i == 0 ? read.lowPass : read.highPass).freq);
        r.Absorb(fr);
    }
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
    const RecordImage canonical = EncodeProgram(program);
    o["left"] = ChannelToJson(record.data() + kLeftBlock, canonical.data() + kLeftBlock, program.left);
    o["right"] = ChannelToJson(record.data() + kRightBlock, canonical.data() + kRightBlock, program.right);
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
