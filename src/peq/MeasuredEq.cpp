#include "peq/MeasuredEq.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include "state/AppState.h"

namespace talvo {

namespace {

constexpr double kPi = std::numbers::pi;

// Only peaking filters become bands; their values must lie where a band can be put.
constexpr const char *kPeakingType = "PK";
constexpr const char *kNoFilterType = "NONE";
// A peaking filter's gain beyond this is no room correction; a band takes -12..+12 of it.
constexpr double kMaxAskedGain = 60.0;

enum class Key { Fc, Gain, Q };

std::optional<Key> KeyOf(const QString &token)
{
    if (token.compare(QLatin1String("Fc"), Qt::CaseInsensitive) == 0)
        return Key::Fc;
    if (token.compare(QLatin1String("Gain"), Qt::CaseInsensitive) == 0)
        return Key::Gain;
    if (token.compare(QLatin1String("Q"), Qt::CaseInsensitive) == 0)
        return Key::Q;
    return std::nullopt;
}

const char *KeyName(Key key)
{
    switch (key) {
    case Key::Fc: return "Fc";
    case Key::Gain: return "Gain";
    case Key::Q: return "Q";
    }
    return "";
}

// The unit a key's value may carry, written apart or glued: the factor it stands for, or
// nothing when it is no unit of that key.
std::optional<double> UnitFactor(Key key, const QString &unit)
{
    if (unit.isEmpty())
        return 1.0;
    if (key == Key::Fc && unit.compare(QLatin1String("Hz"), Qt::CaseInsensitive) == 0)
        return 1.0;
    if (key == Key::Fc && unit.compare(QLatin1String("kHz"), Qt::CaseInsensitive) == 0)
        return 1000.0;
    if (key == Key::Gain && unit.compare(QLatin1String("dB"), Qt::CaseInsensitive) == 0)
        return 1.0;
    return std::nullopt;
}

bool IsUnit(const QString &word)
{
    for (const char *unit : {"Hz", "kHz", "dB"})
        if (word.compare(QLatin1String(unit), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// A decimal number, a decimal comma allowed (some locales write one), with letters glued after
// it taken apart as its unit. No "nan" or "inf": what is no plain number is refused.
bool SplitNumber(const QString &token, double &value, QString &unit)
{
    static const QRegularExpression form(
        QStringLiteral("^([+-]?(?:[0-9]+(?:[.,][0-9]*)?|[.,][0-9]+)(?:[eE][+-]?[0-9]+)?)([A-Za-z]*)$"));
    const QRegularExpressionMatch m = form.match(token);
    if (!m.hasMatch())
        return false;
    QString number = m.captured(1);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    value = number.toDouble(&ok);
    unit = m.captured(2);
    return ok && std::isfinite(value);
}

QString Quoted(const QString &text)
{
    return QStringLiteral("\"%1\"").arg(text);
}

QString LineError(int line, const QString &what, const QString &text)
{
    return QStringLiteral("line %1: %2: %3").arg(line).arg(what, Quoted(text));
}

QString Plain(double value)
{
    return QString::number(value, 'g', 7);
}

// A value with at most `decimals` decimals and no trailing zeros: 1560, 63.7, 1000.5.
QString Trimmed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString BandText(const PeqBand &band)
{
    const double gain = std::fabs(band.gain) < 0.05 ? 0.0 : band.gain;
    return QStringLiteral("%1 Hz, %2 dB, Q %3")
        .arg(Trimmed(band.freq, 2), QString::number(gain, 'f', 1), QString::number(band.q, 'f', 1));
}

QString FilterLabel(const MeasuredFilter &filter)
{
    return filter.number > 0 ? QStringLiteral("Filter %1").arg(filter.number) : QStringLiteral("Filter");
}

struct LineOutcome {
    std::optional<MeasuredFilter> filter;
    std::optional<MeasuredNote> preamp;
    QString error;
};

// One line of the file. A line that is neither a filter line nor a preamp line is skipped.
LineOutcome ReadLine(int lineNumber, QString line)
{
    static const QRegularExpression filterLine(QStringLiteral("^filter\\s*([0-9]+)?\\s*:(.*)$"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression preampLine(QStringLiteral("^preamp\\s*:\\s*(\\S+)\\s*(dB)?\\s*$"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression space(QStringLiteral("\\s+"));

    LineOutcome outcome;
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')) ||
        line.startsWith(QLatin1String("//")))
        return outcome;
    // A comment after the values.
    if (const qsizetype hash = line.indexOf(QLatin1Char('#')); hash > 0)
        line = line.left(hash).trimmed();

    if (const QRegularExpressionMatch m = preampLine.match(line); m.hasMatch()) {
        double value = 0.0;
        QString unit;
        if (SplitNumber(m.captured(1), value, unit) && UnitFactor(Key::Gain, unit))
            outcome.preamp = MeasuredNote{lineNumber, line};
        return outcome;
    }
    const QRegularExpressionMatch m = filterLine.match(line);
    if (!m.hasMatch())
        return outcome;

    MeasuredFilter filter;
    filter.line = lineNumber;
    filter.text = line;
    if (!m.captured(1).isEmpty()) {
        bool ok = false;
        const int number = m.captured(1).toInt(&ok);
        filter.number = ok ? number : 0;
    }
    const QStringList tokens = m.captured(2).split(space, Qt::SkipEmptyParts);
    if (tokens.isEmpty() || (tokens[0].compare(QLatin1String("ON"), Qt::CaseInsensitive) != 0 &&
                             tokens[0].compare(QLatin1String("OFF"), Qt::CaseInsensitive) != 0)) {
        outcome.error = LineError(lineNumber, QStringLiteral("a filter line starts with ON or OFF"), line);
        return outcome;
    }
    filter.on = tokens[0].compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0;
    qsizetype i = 1;
    if (i < tokens.size() && !KeyOf(tokens[i]))
        filter.type = tokens[i++].toUpper();
    if (!filter.on) {
        // An OFF filter is ignored whatever else it says.
        outcome.filter = filter;
        return outcome;
    }

    std::array<bool, 3> seen{};
    for (; i < tokens.size(); ++i) {
        const std::optional<Key> key = KeyOf(tokens[i]);
        if (!key)
            continue;  // a word this reader has no use for ("BW", "Oct", "12dB" of a shelf)
        const char *name = KeyName(*key);
        if (seen[static_cast<std::size_t>(*key)]) {
            outcome.error = LineError(lineNumber, QStringLiteral("%1 is written twice").arg(QLatin1String(name)), line);
            return outcome;
        }
        seen[static_cast<std::size_t>(*key)] = true;
        if (i + 1 >= tokens.size()) {
            outcome.error = LineError(lineNumber, QStringLiteral("%1 has no value").arg(QLatin1String(name)), line);
            return outcome;
        }
        const QString &valueText = tokens[++i];
        double value = 0.0;
        QString unit;
        std::optional<double> factor;
        if (SplitNumber(valueText, value, unit))
            factor = UnitFactor(*key, unit);
        if (!factor) {
            outcome.error = LineError(
                lineNumber, QStringLiteral("%1 '%2' is not a number").arg(QLatin1String(name), valueText), line);
            return outcome;
        }
        // The unit written apart; a unit of another value ("Fc 63 dB") is a mistake, not a word
        // to pass over.
        if (unit.isEmpty() && i + 1 < tokens.size() && IsUnit(tokens[i + 1])) {
            const std::optional<double> apart = UnitFactor(*key, tokens[i + 1]);
            if (!apart) {
                outcome.error = LineError(lineNumber,
                                          QStringLiteral("%1 '%2 %3' has the wrong unit")
                                              .arg(QLatin1String(name), valueText, tokens[i + 1]),
                                          line);
                return outcome;
            }
            factor = apart;
            ++i;
        }
        value *= *factor;
        switch (*key) {
        case Key::Fc: filter.asked.freq = value; break;
        case Key::Gain: filter.asked.gain = value; break;
        case Key::Q: filter.asked.q = value; break;
        }
    }

    if (filter.type == QLatin1String(kPeakingType)) {
        for (Key key : {Key::Fc, Key::Gain, Key::Q}) {
            if (!seen[static_cast<std::size_t>(key)]) {
                outcome.error = LineError(
                    lineNumber,
                    QStringLiteral("a peaking filter needs Fc, Gain and Q, and %1 is missing").arg(QLatin1String(KeyName(key))),
                    line);
                return outcome;
            }
        }
        // Where no band can go, the file asks for something the amplifier cannot do.
        if (filter.asked.freq < kPeqMinFreq || filter.asked.freq > kPeqMaxFreq) {
            outcome.error = LineError(lineNumber,
                                      QStringLiteral("Fc %1 Hz is outside what a band can take (%2 Hz to %3 Hz)")
                                          .arg(Plain(filter.asked.freq), Plain(kPeqMinFreq), Plain(kPeqMaxFreq)),
                                      line);
            return outcome;
        }
        // No equaliser asks for more; far beyond it the response would not even be a number.
        if (std::fabs(filter.asked.gain) > kMaxAskedGain) {
            outcome.error = LineError(lineNumber,
                                      QStringLiteral("Gain %1 dB is beyond any equaliser filter (at most %2 dB either way)")
                                          .arg(Plain(filter.asked.gain), Plain(kMaxAskedGain)),
                                      line);
            return outcome;
        }
        if (filter.asked.q < kPeqMinQ || filter.asked.q > kPeqMaxQ) {
            outcome.error = LineError(lineNumber,
                                      QStringLiteral("Q %1 is outside what a band can take (%2 to %3)")
                                          .arg(Plain(filter.asked.q), Plain(kPeqMinQ), Plain(kPeqMaxQ)),
                                      line);
            return outcome;
        }
    }
    outcome.filter = filter;
    return outcome;
}

struct Effect {
    double peak = 0.0;  // the largest |dB| on the points
    double area = 0.0;  // the sum of |dB| over the points
};

Effect EffectOf(const PeqBand &filter)
{
    const PeqBand one[] = {filter};
    const FitCurve curve = PeakingCurve(one);
    Effect effect;
    for (double v : curve) {
        effect.peak = std::max(effect.peak, std::fabs(v));
        effect.area += std::fabs(v);
    }
    return effect;
}

}  // namespace

double FitPointFrequency(int point)
{
    return kFitLowestHz * std::pow(kFitHighestHz / kFitLowestHz, static_cast<double>(point) / (kFitPointCount - 1));
}

double PeakingResponseDb(double freq, const PeqBand &filter, double sampleRate)
{
    // The peaking equaliser of the audio-EQ cookbook:
    //   H(z) = (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2)
    // with A = 10^(gain/40), w0 = 2 pi fc / fs, alpha = sin(w0) / 2Q. Its squared magnitude at
    // w = 2 pi f / fs is taken in the cookbook's form with phi = sin^2(w/2),
    //   (x0 + x1 + x2)^2 - 4 (x0 x1 + 4 x0 x2 + x1 x2) phi + 16 x0 x2 phi^2,
    // for the b's over the same for the a's. The plainer form in cos w and cos 2w cancels almost
    // all its digits at low frequencies, where room corrections live (1e-4 dB off at 40 Hz).
    const double a = std::pow(10.0, filter.gain / 40.0);
    const double w0 = 2.0 * kPi * filter.freq / sampleRate;
    const double alpha = std::sin(w0) / (2.0 * filter.q);
    const double cosW0 = std::cos(w0);
    const double s = std::sin(kPi * freq / sampleRate);
    const double phi = s * s;
    auto squared = [phi](double x0, double x1, double x2) {
        const double sum = x0 + x1 + x2;
        return sum * sum - 4.0 * (x0 * x1 + 4.0 * x0 * x2 + x1 * x2) * phi + 16.0 * x0 * x2 * phi * phi;
    };
    const double num = squared(1.0 + alpha * a, -2.0 * cosW0, 1.0 - alpha * a);
    const double den = squared(1.0 + alpha / a, -2.0 * cosW0, 1.0 - alpha / a);
    return 10.0 * std::log10(num / den);
}

FitCurve PeakingCurve(std::span<const PeqBand> filters)
{
    FitCurve curve{};
    for (int i = 0; i < kFitPointCount; ++i) {
        const double f = FitPointFrequency(i);
        double sum = 0.0;
        for (const PeqBand &filter : filters)
            sum += PeakingResponseDb(f, filter);
        curve[static_cast<std::size_t>(i)] = sum;
    }
    return curve;
}

int MeasuredEq::peakingCount() const
{
    return static_cast<int>(std::count_if(filters.begin(), filters.end(), [](const MeasuredFilter &f) { return f.peaking(); }));
}

MeasuredEqRead ReadMeasuredEq(const QString &text)
{
    MeasuredEqRead read;
    if (text.trimmed().isEmpty()) {
        read.error = QStringLiteral("the file is empty");
        return read;
    }
    MeasuredEq eq;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const int lineNumber = static_cast<int>(n + 1);
        LineOutcome outcome = ReadLine(lineNumber, lines[n]);
        if (!outcome.error.isEmpty()) {
            read.error = outcome.error;
            read.errorLine = lineNumber;
            return read;
        }
        if (outcome.filter)
            eq.filters.push_back(std::move(*outcome.filter));
        if (outcome.preamp)
            eq.preamps.push_back(std::move(*outcome.preamp));
    }
    if (eq.peakingCount() == 0) {
        read.error = eq.filters.empty()
                         ? QStringLiteral("no filter line in the file (a line such as \"Filter 1: ON PK Fc 63 Hz Gain -5.0 dB Q 4.00\")")
                         : QStringLiteral("no peaking filter is ON (a line such as \"Filter 1: ON PK Fc 63 Hz Gain -5.0 dB Q 4.00\")");
        return read;
    }
    read.eq = std::move(eq);
    return read;
}

MeasuredEqRead ReadMeasuredEqFile(const QString &path)
{
    MeasuredEqRead read;
    const QFileInfo info(path);
    if (!info.exists()) {
        read.error = QStringLiteral("%1: no such file").arg(path);
        return read;
    }
    if (!info.isFile()) {
        read.error = QStringLiteral("%1 is not a regular file").arg(path);
        return read;
    }
    if (info.size() > kMaxFilterFileBytes) {
        read.error = QStringLiteral("%1 is %2 bytes long, too long for a filter file (at most %3)")
                         .arg(path)
                         .arg(info.size())
                         .arg(kMaxFilterFileBytes);
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return read;
    }
    // One byte more than allowed: a file that grew since it was looked at is still refused.
    const QByteArray bytes = file.read(kMaxFilterFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        read.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return read;
    }
    if (bytes.size() > kMaxFilterFileBytes) {
        read.error = QStringLiteral("%1 is too long for a filter file (at most %2 bytes)").arg(path).arg(kMaxFilterFileBytes);
        return read;
    }
    const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decode(encoding);
    QString text = decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    read = ReadMeasuredEq(text);
    if (!read.ok())
        read.error = QStringLiteral("%1: %2").arg(path, read.error);
    return read;
}

double ImportedFrequency(double asked)
{
    // Reset (and the default program) put 30 Hz into band 1, which lies between two grid steps;
    // a frequency the editor itself gives a band stays as it is, so that a default program's
    // bands come back unchanged from their own export.
    for (const PeqBand &band : kDefaultBands)
        if (asked == band.freq)
            return asked;
    return PeqFrequencyTable()[static_cast<std::size_t>(FreqToColumn(asked))];
}

double ImportedGain(double asked)
{
    return std::clamp(std::round(asked * 10.0) / 10.0, kPeqMinGain, kPeqMaxGain);
}

double ImportedQ(double asked)
{
    return std::clamp(std::round(asked * 10.0) / 10.0, kPeqMinQ, kPeqMaxQ);
}

EqImportPlan PlanEqImport(const MeasuredEq &eq, const PeqBands &current)
{
    EqImportPlan plan;
    plan.bands = current;
    plan.flats = {true, true, true};

    // The peaking filters by their effect on the response: the largest peak first, the wider
    // of two equal peaks first, then the earlier line.
    std::vector<std::size_t> peaking;
    std::vector<Effect> effects(eq.filters.size());
    std::vector<PeqBand> asked;
    for (std::size_t i = 0; i < eq.filters.size(); ++i) {
        if (!eq.filters[i].peaking())
            continue;
        peaking.push_back(i);
        effects[i] = EffectOf(eq.filters[i].asked);
        asked.push_back(eq.filters[i].asked);
    }
    std::vector<std::size_t> ranked = peaking;
    std::stable_sort(ranked.begin(), ranked.end(), [&](std::size_t x, std::size_t y) {
        if (effects[x].peak != effects[y].peak)
            return effects[x].peak > effects[y].peak;
        return effects[x].area > effects[y].area;
    });
    std::vector<std::size_t> kept(ranked.begin(), ranked.begin() + std::min<std::size_t>(ranked.size(), kPeqBandCount));
    std::sort(kept.begin(), kept.end());

    // Which band each kept filter takes.
    std::array<bool, kPeqBandCount + 1> numberTaken{};
    bool byNumber = true;
    for (std::size_t i : kept) {
        const int n = eq.filters[i].number;
        if (n < 1 || n > kPeqBandCount || numberTaken[static_cast<std::size_t>(n)]) {
            byNumber = false;
            break;
        }
        numberTaken[static_cast<std::size_t>(n)] = true;
    }
    std::vector<int> bandOf(eq.filters.size(), 0);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::size_t i = kept[k];
        const int band = byNumber ? eq.filters[i].number : static_cast<int>(k) + 1;
        bandOf[i] = band;
        const std::size_t slot = static_cast<std::size_t>(band - 1);
        const PeqBand &a = eq.filters[i].asked;
        plan.bands[slot] = {ImportedFrequency(a.freq), ImportedGain(a.gain), ImportedQ(a.q)};
        plan.flats[slot] = false;
        plan.sourceLine[slot] = eq.filters[i].line;
    }

    // The report in file order, preamp lines among the filters.
    std::vector<EqReportLine> lines;
    for (std::size_t i = 0; i < eq.filters.size(); ++i) {
        const MeasuredFilter &f = eq.filters[i];
        const QString head = QStringLiteral("line %1 (%2): ").arg(f.line).arg(FilterLabel(f));
        QString text;
        if (!f.on) {
            text = head + QStringLiteral("OFF; ignored");
        } else if (f.type == QLatin1String(kNoFilterType)) {
            text = head + QStringLiteral("no filter (None); ignored");
        } else if (f.type.isEmpty()) {
            text = head + QStringLiteral("no filter type written; not imported");
        } else if (!f.peaking()) {
            text = head + QStringLiteral("%1 is not a peaking filter; not imported (only peaking filters become bands)").arg(f.type);
        } else {
            const QString asks = QStringLiteral("PK %1 Hz, %2 dB, Q %3").arg(Plain(f.asked.freq), Plain(f.asked.gain), Plain(f.asked.q));
            if (const int band = bandOf[i]) {
                text = head + asks + QStringLiteral(" -> band %1: %2").arg(band).arg(BandText(plan.bands[static_cast<std::size_t>(band - 1)]));
                if (std::round(f.asked.gain * 10.0) / 10.0 != plan.bands[static_cast<std::size_t>(band - 1)].gain)
                    text += QStringLiteral(" (gain limited to %1 dB)").arg(f.asked.gain < 0 ? Plain(kPeqMinGain) : QStringLiteral("+") + Plain(kPeqMaxGain));
            } else {
                text = head + asks +
                       QStringLiteral("; left out: three bands only, and the three kept change the response more "
                                      "(this one up to %1 dB)")
                           .arg(QString::number(effects[i].peak, 'f', 1));
            }
        }
        lines.push_back({f.line, text});
    }
    for (const MeasuredNote &note : eq.preamps)
        lines.push_back({note.line, QStringLiteral("line %1: %2; not imported (the PEQ has no preamp; the channel's gain "
                                                   "is set in its gain editor)")
                                        .arg(note.line)
                                        .arg(note.text)});
    std::stable_sort(lines.begin(), lines.end(), [](const EqReportLine &x, const EqReportLine &y) { return x.line < y.line; });
    for (int b = 0; b < kPeqBandCount; ++b) {
        if (!plan.flats[static_cast<std::size_t>(b)])
            continue;
        lines.push_back({0, QStringLiteral("band %1: no filter left for it; FLAT (keeps %2)")
                                .arg(b + 1)
                                .arg(BandText(plan.bands[static_cast<std::size_t>(b)]))});
    }
    plan.report = std::move(lines);

    // The fit.
    plan.asked = PeakingCurve(asked);
    std::vector<PeqBand> given;
    for (int b = 0; b < kPeqBandCount; ++b)
        if (!plan.flats[static_cast<std::size_t>(b)])
            given.push_back(plan.bands[static_cast<std::size_t>(b)]);
    plan.given = PeakingCurve(given);
    for (int i = 0; i < kFitPointCount; ++i) {
        const double d = std::fabs(plan.asked[static_cast<std::size_t>(i)] - plan.given[static_cast<std::size_t>(i)]);
        if (d > plan.fit) {
            plan.fit = d;
            plan.fitPoint = i;
        }
    }
    return plan;
}

QString FitText(const EqImportPlan &plan)
{
    const QString where = plan.fit < 0.005 ? QString()
                                           : QStringLiteral(" (at %1 Hz)").arg(Trimmed(std::round(FitPointFrequency(plan.fitPoint)), 0));
    return QStringLiteral("largest difference %1 dB%2 between the file's peaking filters and the bands, over 20 Hz-20 kHz")
        .arg(QString::number(plan.fit, 'f', 2), where);
}

void StoreBands(RecordImage &record, int channel, const PeqBands &bands, const PeqFlats &flats)
{
    for (int b = 0; b < kPeqBandCount; ++b) {
        const BandImage image = EncodeBand(bands[static_cast<std::size_t>(b)], flats[static_cast<std::size_t>(b)]);
        std::copy(image.begin(), image.end(), record.begin() + BandImageOffset(channel, b));
    }
}

QString FilterFileText(const PeqBands &bands, const PeqFlats &flats, const QString &heading)
{
    QString text = QStringLiteral("Filter Settings file\n\n");
    if (!heading.isEmpty())
        text += heading + QLatin1Char('\n');
    text += QStringLiteral("Equaliser: Generic\n");
    for (int b = 0; b < kPeqBandCount; ++b) {
        const PeqBand &band = bands[static_cast<std::size_t>(b)];
        const bool flat = flats[static_cast<std::size_t>(b)];
        // Hundredths, as the program record keeps them.
        const double gain = std::fabs(band.gain) < 0.005 ? 0.0 : band.gain;
        text += QStringLiteral("Filter %1: %2 PK       Fc %3 Hz  Gain %4 dB  Q %5\n")
                    .arg(b + 1, 2)
                    .arg(flat ? QStringLiteral("OFF") : QStringLiteral("ON "))
                    .arg(Trimmed(band.freq, 2), 7)
                    .arg(QString::number(gain, 'f', 2), 6)
                    .arg(QString::number(band.q, 'f', 2), 6);
    }
    return text;
}

}  // namespace talvo
