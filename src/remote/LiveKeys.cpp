#include "remote/LiveKeys.h"

#include <array>

#include <QRegularExpression>
#include <QStringList>

#include "editors/CrossoverTable.h"
#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "editors/FrequencyText.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqResponse.h"

namespace talvo {

namespace {

struct KeyInfo {
    const char *name;
    LiveStage stage;
    double min;
    double max;
    double positionsPerUnit;  // slider positions per unit of the value
    const char *special;      // the word taken instead of a number, or null
};

constexpr KeyInfo kChannelKeys[] = {
    {"gain", LiveStage::Gain, -60, 6, 10, "muted"},
    {"delay", LiveStage::Delay, 0, 7, 100, nullptr},
    {"limitThreshold", LiveStage::Threshold, 0, 64, 1, "off"},
    {"hold", LiveStage::Hold, 0, 100, 1, nullptr},
    {"attack", LiveStage::Attack, 10, 1000, 1, nullptr},
    {"decay", LiveStage::Decay, 10, 1000, 1, nullptr},
    {"phase", LiveStage::Phase, 0, 180, 1, nullptr},
};

}  // namespace

std::optional<long long> ParseWholeNumber(const QString &text, long long min, long long max)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,18}$"));
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9a-fA-F]{1,15}$"));
    bool ok = false;
    long long value = 0;
    if (decimal.match(text).hasMatch())
        value = text.toLongLong(&ok, 10);
    else if (hex.match(text).hasMatch())
        value = text.mid(2).toLongLong(&ok, 16);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> ParseDecimalText(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^[-+]?([0-9]{1,9}(\\.[0-9]{0,9})?|\\.[0-9]{1,9})$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

namespace {

QString Range(double min, double max)
{
    return QStringLiteral("%1..%2").arg(min).arg(max);
}

// A frequency in Hz, "2.5k" meaning 2500 Hz.
std::optional<double> ParseHertz(const QString &text)
{
    const bool kilo = text.endsWith(QLatin1Char('k')) || text.endsWith(QLatin1Char('K'));
    const std::optional<double> number = ParseDecimalText(kilo ? text.chopped(1) : text);
    if (!number)
        return std::nullopt;
    return kilo ? *number * 1000 : *number;
}

// The filter or band keys after "left." / "right.": "lowPass.freq", "peq.2.gain". False when
// `name` is none of them; otherwise `problem` is empty or names what is wrong with the value.
bool ParseFilterOrBand(LiveChange &c, const QString &name, const QString &value, const QString &pair, QString &problem)
{
    const QStringList parts = name.split(QLatin1Char('.'));
    if (parts.size() == 2 && (parts[0] == QLatin1String("highPass") || parts[0] == QLatin1String("lowPass"))) {
        c.stage = LiveStage::Filter;
        const bool high = parts[0] == QLatin1String("highPass");
        c.filter = high ? XoverFilter::HighPass : XoverFilter::LowPass;
        if (parts[1] == QLatin1String("slope")) {
            c.part = LivePart::Slope;
            const std::optional<long long> slope = ParseWholeNumber(value, 0, kSlopeTypeCount - 1);
            if (!slope)
                problem = QStringLiteral("'%1': the slope is a whole number 0..%2").arg(pair).arg(kSlopeTypeCount - 1);
            c.value = slope.value_or(0);
            return true;
        }
        if (parts[1] == QLatin1String("freq")) {
            c.part = LivePart::Freq;
            const int lowest = high ? kHighPassLowest : kLowPassLowest;
            const int highest = high ? kHighPassHighest : kLowPassHighest;
            const double min = CrossoverTable()[static_cast<std::size_t>(lowest)];
            const double max = CrossoverTable()[static_cast<std::size_t>(highest)];
            const std::optional<double> hz = ParseHertz(value);
            if (!hz)
                problem = QStringLiteral("'%1': '%2' is not a frequency in Hz (a k suffix allowed)").arg(pair, value);
            else if (*hz < min || *hz > max)
                problem = QStringLiteral("'%1': %2 Hz is outside %3 Hz").arg(pair).arg(*hz).arg(Range(min, max));
            else
                c.value = CrossoverPositionForFrequency(*hz, lowest, highest);
            return true;
        }
        return false;
    }
    if (parts.size() != 3 || parts[0] != QLatin1String("peq"))
        return false;
    const std::optional<long long> band = ParseWholeNumber(parts[1], 1, kPeqBandCount);
    if (!band || parts[1].size() != 1)
        return false;
    c.stage = LiveStage::Band;
    c.band = static_cast<int>(*band);
    if (parts[2] == QLatin1String("flat")) {
        c.part = LivePart::Flat;
        if (value == QLatin1String("yes") || value == QLatin1String("no"))
            c.value = value == QLatin1String("yes") ? 1 : 0;
        else
            problem = QStringLiteral("'%1': flat is yes or no").arg(pair);
        return true;
    }
    double min = 0;
    double max = 0;
    if (parts[2] == QLatin1String("freq")) {
        c.part = LivePart::Freq;
        min = kPeqMinFreq;
        max = kPeqMaxFreq;
    } else if (parts[2] == QLatin1String("gain")) {
        c.part = LivePart::Gain;
        min = kPeqMinGain;
        max = kPeqMaxGain;
    } else if (parts[2] == QLatin1String("q")) {
        c.part = LivePart::Q;
        min = kPeqMinQ;
        max = kPeqMaxQ;
    } else {
        return false;
    }
    const std::optional<double> number = c.part == LivePart::Freq ? ParseHertz(value) : ParseDecimalText(value);
    if (!number) {
        problem = c.part == LivePart::Freq ? QStringLiteral("'%1': '%2' is not a frequency in Hz (a k suffix allowed)").arg(pair, value)
                                       : QStringLiteral("'%1': '%2' is not a number").arg(pair, value);
    } else if (*number < min || *number > max) {
        problem = QStringLiteral("'%1': %2 is outside %3").arg(pair, value, Range(min, max));
    } else if (c.part == LivePart::Freq) {
        c.value = PeqFrequencyTable()[static_cast<std::size_t>(FreqToColumn(*number))];
    } else {
        // Kept as the editor's refresh keeps every gain and Q.
        c.value = RequantiseTenth(*number);
    }
    return true;
}

}  // namespace

std::optional<LiveChange> ParseLiveChange(const QString &key, const QString &value, QString &problem,
                                          const QString &keysHint)
{
    // Every message quotes the pair as it would be written on a command line.
    const QString pair = key + QLatin1Char('=') + value;
    LiveChange c;
    c.key = key;

    if (c.key == QLatin1String("mode")) {
        c.stage = LiveStage::Mode;
        const QString v = value.toLower();
        if (v == QLatin1String("stereo"))
            c.value = static_cast<double>(Mode::Stereo);
        else if (v == QLatin1String("bridge"))
            c.value = static_cast<double>(Mode::Bridge);
        else if (v == QLatin1String("mono"))
            c.value = static_cast<double>(Mode::Mono);
        else {
            problem = QStringLiteral("'%1': the mode is stereo, bridge or mono").arg(pair);
            return std::nullopt;
        }
        return c;
    }

    const qsizetype dot = c.key.indexOf(QLatin1Char('.'));
    const QString side = c.key.left(dot);
    const QString name = dot < 0 ? QString() : c.key.mid(dot + 1);
    const KeyInfo *info = nullptr;
    for (const KeyInfo &k : kChannelKeys) {
        if (name == QLatin1String(k.name))
            info = &k;
    }
    const bool sideKnown = dot >= 0 && (side == QLatin1String("left") || side == QLatin1String("right"));
    c.channel = side == QLatin1String("left") ? kLeftChannel : kRightChannel;
    if (sideKnown && !info && ParseFilterOrBand(c, name, value, pair, problem)) {
        if (!problem.isEmpty())
            return std::nullopt;
        return c;
    }
    if (!sideKnown || !info) {
        problem = QStringLiteral("'%1': unknown key '%2'").arg(pair, c.key);
        if (!keysHint.isEmpty())
            problem += QStringLiteral(" (%1)").arg(keysHint);
        return std::nullopt;
    }
    c.stage = info->stage;
    if (info->special && value == QLatin1String(info->special)) {
        c.special = true;
        return c;
    }
    const std::optional<double> number = ParseDecimalText(value);
    if (!number) {
        problem = QStringLiteral("'%1': '%2' is not a number%3")
                      .arg(pair, value, info->special ? QStringLiteral(" or %1").arg(QLatin1String(info->special)) : QString());
        return std::nullopt;
    }
    if (c.stage == LiveStage::Phase ? (*number != 0 && *number != 180) : (*number < info->min || *number > info->max)) {
        problem = c.stage == LiveStage::Phase ? QStringLiteral("'%1': the phase is 0 or 180").arg(pair)
                                          : QStringLiteral("'%1': %2 is outside %3").arg(pair, value, Range(info->min, info->max));
        return std::nullopt;
    }
    c.value = *number * info->positionsPerUnit;
    return c;
}

std::optional<LiveChange> ParseLivePair(const QString &pair, QString &problem, const QString &keysHint)
{
    const qsizetype eq = pair.indexOf(QLatin1Char('='));
    if (eq < 0) {
        problem = QStringLiteral("'%1' is not KEY=VALUE").arg(pair);
        return std::nullopt;
    }
    return ParseLiveChange(pair.left(eq), pair.mid(eq + 1), problem, keysHint);
}

const char *LiveModeName(Mode mode)
{
    switch (mode) {
    case Mode::Bridge:
        return "bridge";
    case Mode::Mono:
        return "mono";
    default:
        return "stereo";
    }
}

namespace {

// Sends one change through its editor and gives what the editor shows for it.
QString SendChange(EditorModels &models, const LiveChange &c)
{
    switch (c.stage) {
    case LiveStage::Gain: {
        GainModel &gain = models.gain(c.channel);
        if (c.special) {
            gain.CommitMute();
            return QStringLiteral("muted");
        }
        gain.CommitPosition(c.value);
        return gain.valueText();
    }
    case LiveStage::Delay:
        models.delay(c.channel).CommitPosition(c.value);
        return DelayText(models.delay(c.channel).position(), DelayUnit::Millisecond);
    case LiveStage::Threshold: {
        LimiterModel &limiter = models.limiter(c.channel);
        if (c.special) {
            limiter.CommitOff();
            return QStringLiteral("off");
        }
        limiter.CommitValue(LimiterParameter::Threshold, c.value);
        return limiter.valueText(LimiterParameter::Threshold);
    }
    case LiveStage::Hold:
    case LiveStage::Attack:
    case LiveStage::Decay: {
        const LimiterParameter p = c.stage == LiveStage::Hold     ? LimiterParameter::Hold
                                   : c.stage == LiveStage::Attack ? LimiterParameter::Attack
                                                              : LimiterParameter::Decay;
        models.limiter(c.channel).CommitValue(p, c.value);
        return models.limiter(c.channel).valueText(p);
    }
    case LiveStage::Phase:
        models.modes().CommitPhase(c.channel, static_cast<int>(c.value));
        return QString::number(static_cast<int>(c.value));
    case LiveStage::Mode:
        models.modes().ChangeMode(static_cast<Mode>(static_cast<int>(c.value)));
        return QLatin1String(LiveModeName(models.modes().mode()));
    case LiveStage::Filter:
    case LiveStage::Band:
        break;  // a whole filter or band goes out as one step (SendGroup)
    }
    return QString();
}

}  // namespace


bool LiveStep::sameGroup(const LiveChange &c) const
{
    return grouped() && c.stage == first.stage && c.channel == first.channel &&
           (c.stage == LiveStage::Filter ? c.filter == first.filter : c.band == first.band);
}

QString LiveStep::name() const
{
    if (!grouped())
        return first.key;
    const QString side = first.channel == kLeftChannel ? QStringLiteral("left") : QStringLiteral("right");
    if (first.stage == LiveStage::Filter)
        return side + (first.filter == XoverFilter::HighPass ? QStringLiteral(".highPass") : QStringLiteral(".lowPass"));
    return side + QStringLiteral(".peq.%1").arg(first.band);
}

bool LiveStep::complete() const
{
    return first.stage == LiveStage::Filter ? slope && position : freq && gain && q && flat;
}

std::vector<LiveStep> GatherLiveSteps(const std::vector<LiveChange> &changes)
{
    std::vector<LiveStep> steps;
    bool modeSeen = false;
    for (const LiveChange &c : changes) {
        LiveStep *step = nullptr;
        for (LiveStep &s : steps) {
            if (s.sameGroup(c))
                step = &s;
        }
        if (!step) {
            steps.emplace_back();
            step = &steps.back();
            step->first = c;
            step->afterMode = modeSeen;
        }
        modeSeen = modeSeen || c.stage == LiveStage::Mode;
        if (!step->grouped())
            continue;
        switch (c.part) {
        case LivePart::Slope:
            step->slope = static_cast<int>(c.value);
            break;
        case LivePart::Freq:
            if (c.stage == LiveStage::Filter)
                step->position = static_cast<int>(c.value);
            else
                step->freq = c.value;
            break;
        case LivePart::Gain:
            step->gain = c.value;
            break;
        case LivePart::Q:
            step->q = c.value;
            break;
        case LivePart::Flat:
            step->flat = c.value != 0;
            break;
        }
    }
    return steps;
}

namespace {

const ChannelSettings &ChannelOf(const Program &p, int channel)
{
    return channel == kLeftChannel ? p.left : p.right;
}

const Program &DefaultSettings()
{
    static const Program program = DecodeProgram(DefaultProgram());
    return program;
}

// Where a stored crossover frequency sits on its filter's scroll bar.
int FilterPosition(XoverFilter which, double hz)
{
    return which == XoverFilter::HighPass ? CrossoverPositionForFrequency(hz, kHighPassLowest, kHighPassHighest)
                                          : CrossoverPositionForFrequency(hz, kLowPassLowest, kLowPassHighest);
}

}  // namespace

std::optional<QString> LiveCrossoverConflict(const std::vector<LiveStep> &steps, const Program *running)
{
    std::array<std::optional<int>, 2> high{}, low{};
    const auto load = [&](const Program &p) {
        for (int ch : {kLeftChannel, kRightChannel}) {
            high[static_cast<std::size_t>(ch)] = FilterPosition(XoverFilter::HighPass, ChannelOf(p, ch).highPass.freq);
            low[static_cast<std::size_t>(ch)] = FilterPosition(XoverFilter::LowPass, ChannelOf(p, ch).lowPass.freq);
        }
    };
    const auto check = [&]() -> std::optional<QString> {
        for (int ch : {kLeftChannel, kRightChannel}) {
            const auto &h = high[static_cast<std::size_t>(ch)];
            const auto &l = low[static_cast<std::size_t>(ch)];
            if (h && l && *h > *l) {
                const QString side = ch == kLeftChannel ? QStringLiteral("left") : QStringLiteral("right");
                const auto &table = CrossoverTable();
                return QStringLiteral("the %1 high-pass (%2) would be above the %1 low-pass (%3)")
                    .arg(side, FormatFrequency(table[static_cast<std::size_t>(*h)]),
                         FormatFrequency(table[static_cast<std::size_t>(*l)]));
            }
        }
        return std::nullopt;
    };
    if (running)
        load(*running);
    for (const LiveStep &s : steps) {
        if (s.first.stage == LiveStage::Mode) {
            if (auto problem = check())
                return problem;
            load(DefaultSettings());
        } else if (s.first.stage == LiveStage::Filter && s.position) {
            (s.first.filter == XoverFilter::HighPass ? high : low)[static_cast<std::size_t>(s.first.channel)] = *s.position;
        }
    }
    return check();
}

std::optional<QString> ResolveLiveSteps(std::vector<LiveStep> &steps, const Program &running)
{
    for (LiveStep &s : steps) {
        const ChannelSettings &base = ChannelOf(s.afterMode ? DefaultSettings() : running, s.first.channel);
        if (s.first.stage == LiveStage::Filter) {
            const CrossoverFilter &f = s.first.filter == XoverFilter::HighPass ? base.highPass : base.lowPass;
            if (!s.slope && (f.slope < 0 || f.slope >= kSlopeTypeCount))
                return QStringLiteral("the amplifier's %1 slope is %2, none of 0..%3: give %1.slope as well")
                    .arg(s.name())
                    .arg(f.slope)
                    .arg(kSlopeTypeCount - 1);
            s.resolvedSlope = s.slope.value_or(f.slope);
            s.resolvedPosition = s.position.value_or(FilterPosition(s.first.filter, f.freq));
        } else if (s.first.stage == LiveStage::Band) {
            const auto slot = static_cast<std::size_t>(s.first.band - 1);
            const PeqBand &b = base.peq[slot];
            // The editor's refresh keeps every band's gain and Q in tenths before it sends.
            s.resolvedBand = {s.freq.value_or(b.freq), s.gain.value_or(RequantiseTenth(b.gain)),
                              s.q.value_or(RequantiseTenth(b.q))};
            s.resolvedFlat = s.flat.value_or(base.flat[slot]);
        }
    }
    return std::nullopt;
}

namespace {

// Sends one filter or band through its editor and gives what it shows for it.
QString SendGroup(EditorModels &models, PeqEditorModel &peq, const LiveStep &s)
{
    if (s.first.stage == LiveStage::Filter) {
        CrossoverModel &x = models.crossover(s.first.channel);
        x.CommitFilter(s.first.filter, s.resolvedSlope, s.resolvedPosition);
        return QStringLiteral("%1 %2").arg(QLatin1String(SlopeTypeText(s.resolvedSlope)), x.filter(s.first.filter).text);
    }
    peq.CommitBand(s.first.channel, s.first.band, s.resolvedBand, s.resolvedFlat);
    return QStringLiteral("%1 %2 Q %3%4")
        .arg(PeqFrequencyText(s.resolvedBand.freq), PeqGainText(s.resolvedBand.gain, true), PeqQText(s.resolvedBand.q),
             s.resolvedFlat ? QStringLiteral(" FLAT") : QString());
}

}  // namespace

QString SendLiveStep(EditorModels &models, PeqEditorModel &peq, const LiveStep &step)
{
    return step.grouped() ? SendGroup(models, peq, step) : SendChange(models, step.first);
}

}  // namespace talvo
