// talvoctl set: live values into one amplifier from a script, through the same editor models
// the windows use. Every pair is checked before the port is touched; then the amplifier is
// connected as the Connect window does, its running program read and applied, and each change
// goes out in the order given with exactly the frame its editor sends (with SendCommand, so
// none is dropped). Ends with the disconnect.
//
// A crossover filter and a PEQ band each travel as one frame holding all their parts, so the
// keys of one filter or one band are gathered into one frame, sent where the first of them
// stands; the parts not given are those of the program the amplifier runs (read at connect,
// or the default program once a mode change has reset it).

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QJsonArray>
#include <QRegularExpression>

#include "CliSupport.h"
#include "Commands.h"
#include "FleetCli.h"
#include "devices/ConnectProcedure.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverTable.h"
#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "editors/FrequencyText.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "peq/PeqEditorModel.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "set";

const char *const kSetUsage =
    "usage: talvoctl set --port PORT --id N [--sub S] [--mute] KEY=VALUE...\n"
    "\n"
    "Connects as `talvoctl connect` does (--mute: with the outputs muted), reads the program\n"
    "the amplifier runs, sends each change in the order given with the frame its editor sends,\n"
    "prints ONLINE and one line per change, and disconnects. Every pair is checked first: one\n"
    "bad pair and nothing is sent (exit 2). Exit 1 when the amplifier does not answer (OFFLINE)\n"
    "or the port fails.\n"
    "\n"
    "Keys (the names of `talvoctl show --json`), CH being `left` or `right`:\n"
    "  CH.gain=DB               -60..6 dB in steps of 0.1, or `muted`\n"
    "  CH.delay=MS              0..7 ms in steps of 0.01\n"
    "  CH.limitThreshold=POS    limiter on at slider position 0..64 (-41..+23 dB), or `off`\n"
    "  CH.hold=MS               0..100\n"
    "  CH.attack=DBS            10..1000 dB/s\n"
    "  CH.decay=DBS             10..1000 dB/s\n"
    "  CH.phase=DEG             0 or 180\n"
    "  CH.highPass.slope=N      high-pass slope type 0..15 (0 = 6dB Butterworth ..\n"
    "                           15 = 48dB Link-Riley)\n"
    "  CH.highPass.freq=HZ      10..16000 Hz, a `k` suffix allowed (2.5k)\n"
    "  CH.lowPass.slope=N       low-pass slope type 0..15\n"
    "  CH.lowPass.freq=HZ       35.1..20200 Hz, a `k` suffix allowed\n"
    "  CH.peq.B.freq=HZ         band B (1..3): 19.7..20200 Hz, a `k` suffix allowed\n"
    "  CH.peq.B.gain=DB         -12..12 dB, kept in tenths as the PEQ editor keeps it\n"
    "                           (1.23 becomes 1.3)\n"
    "  CH.peq.B.q=Q             0.4..128, kept in tenths the same way\n"
    "  CH.peq.B.flat=yes|no     FLAT: the band goes out without its gain\n"
    "  mode=MODE                stereo, bridge or mono: the whole mode change, which resets\n"
    "                           every setting to the default program and mutes both inputs,\n"
    "                           so give it before the other keys\n"
    "A value between two slider steps is taken as the slider takes it: at the next step up.\n"
    "A crossover or PEQ frequency is taken to the next frequency the editor offers at or\n"
    "above it. The keys of one filter or one band make one frame, sent where the first of them\n"
    "stands; the parts not given stay as the amplifier runs them. A command that would leave a\n"
    "channel's high-pass above its low-pass is refused as a whole.\n"
    "\n"
    "Many amplifiers: --id LIST (1-8,12,20-24; 5.2 for ID 5 at sub-address 2) and --port given\n"
    "several times (PORT=LIST for the IDs that port holds) set each amplifier in turn, every bus\n"
    "at once; a summary ends the run (--json: as JSON) and Ctrl+C stops cleanly. Exit 1 when\n"
    "any amplifier was not set (named).\n";

// The longest wait for frames still queued when a procedure ends: a few frames and pauses.
constexpr double kDrainMs = 3000;

enum class Stage { Gain, Delay, Threshold, Hold, Attack, Decay, Phase, Mode, Filter, Band };

// The parts of a crossover filter and of a PEQ band.
enum class Part { Slope, Freq, Gain, Q, Flat };

struct Change {
    QString key;
    Stage stage = Stage::Gain;
    int channel = kLeftChannel;
    // In the stage's slider positions (phase: degrees; mode: Mode; a filter's frequency: its
    // CrossoverTable index; a band's frequency: Hz on the PEQ grid; flat: 1 or 0).
    double value = 0;
    bool special = false;  // gain `muted`, threshold `off`
    XoverFilter filter = XoverFilter::HighPass;  // Stage::Filter
    int band = 0;                                // Stage::Band, 1..3
    Part part = Part::Slope;                     // Stage::Filter and Stage::Band
};

struct KeyInfo {
    const char *name;
    Stage stage;
    double min;
    double max;
    double positionsPerUnit;  // slider positions per unit of the value
    const char *special;      // the word taken instead of a number, or null
};

constexpr KeyInfo kChannelKeys[] = {
    {"gain", Stage::Gain, -60, 6, 10, "muted"},
    {"delay", Stage::Delay, 0, 7, 100, nullptr},
    {"limitThreshold", Stage::Threshold, 0, 64, 1, "off"},
    {"hold", Stage::Hold, 0, 100, 1, nullptr},
    {"attack", Stage::Attack, 10, 1000, 1, nullptr},
    {"decay", Stage::Decay, 10, 1000, 1, nullptr},
    {"phase", Stage::Phase, 0, 180, 1, nullptr},
};

std::optional<double> ParseDecimal(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^[-+]?([0-9]{1,9}(\\.[0-9]{0,9})?|\\.[0-9]{1,9})$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString Range(double min, double max)
{
    return QStringLiteral("%1..%2").arg(min).arg(max);
}

// A frequency in Hz, "2.5k" meaning 2500 Hz.
std::optional<double> ParseHertz(const QString &text)
{
    const bool kilo = text.endsWith(QLatin1Char('k')) || text.endsWith(QLatin1Char('K'));
    const std::optional<double> number = ParseDecimal(kilo ? text.chopped(1) : text);
    if (!number)
        return std::nullopt;
    return kilo ? *number * 1000 : *number;
}

// The filter or band keys after "left." / "right.": "lowPass.freq", "peq.2.gain". False when
// `name` is none of them; otherwise `problem` is empty or names what is wrong with the value.
bool ParseFilterOrBand(Change &c, const QString &name, const QString &value, const QString &pair, QString &problem)
{
    const QStringList parts = name.split(QLatin1Char('.'));
    if (parts.size() == 2 && (parts[0] == QLatin1String("highPass") || parts[0] == QLatin1String("lowPass"))) {
        c.stage = Stage::Filter;
        const bool high = parts[0] == QLatin1String("highPass");
        c.filter = high ? XoverFilter::HighPass : XoverFilter::LowPass;
        if (parts[1] == QLatin1String("slope")) {
            c.part = Part::Slope;
            const std::optional<long long> slope = ParseNumber(value, 0, kSlopeTypeCount - 1);
            if (!slope)
                problem = QStringLiteral("'%1': the slope is a whole number 0..%2").arg(pair).arg(kSlopeTypeCount - 1);
            c.value = slope.value_or(0);
            return true;
        }
        if (parts[1] == QLatin1String("freq")) {
            c.part = Part::Freq;
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
    const std::optional<long long> band = ParseNumber(parts[1], 1, kPeqBandCount);
    if (!band || parts[1].size() != 1)
        return false;
    c.stage = Stage::Band;
    c.band = static_cast<int>(*band);
    if (parts[2] == QLatin1String("flat")) {
        c.part = Part::Flat;
        if (value == QLatin1String("yes") || value == QLatin1String("no"))
            c.value = value == QLatin1String("yes") ? 1 : 0;
        else
            problem = QStringLiteral("'%1': flat is yes or no").arg(pair);
        return true;
    }
    double min = 0;
    double max = 0;
    if (parts[2] == QLatin1String("freq")) {
        c.part = Part::Freq;
        min = kPeqMinFreq;
        max = kPeqMaxFreq;
    } else if (parts[2] == QLatin1String("gain")) {
        c.part = Part::Gain;
        min = kPeqMinGain;
        max = kPeqMaxGain;
    } else if (parts[2] == QLatin1String("q")) {
        c.part = Part::Q;
        min = kPeqMinQ;
        max = kPeqMaxQ;
    } else {
        return false;
    }
    const std::optional<double> number = c.part == Part::Freq ? ParseHertz(value) : ParseDecimal(value);
    if (!number) {
        problem = c.part == Part::Freq ? QStringLiteral("'%1': '%2' is not a frequency in Hz (a k suffix allowed)").arg(pair, value)
                                       : QStringLiteral("'%1': '%2' is not a number").arg(pair, value);
    } else if (*number < min || *number > max) {
        problem = QStringLiteral("'%1': %2 is outside %3").arg(pair, value, Range(min, max));
    } else if (c.part == Part::Freq) {
        c.value = PeqFrequencyTable()[static_cast<std::size_t>(FreqToColumn(*number))];
    } else {
        // Kept as the editor's refresh keeps every gain and Q.
        c.value = RequantiseTenth(*number);
    }
    return true;
}

// One KEY=VALUE, checked; `problem` names what is wrong when the result is empty.
std::optional<Change> ParsePair(const QString &pair, QString &problem)
{
    const qsizetype eq = pair.indexOf(QLatin1Char('='));
    if (eq < 0) {
        problem = QStringLiteral("'%1' is not KEY=VALUE").arg(pair);
        return std::nullopt;
    }
    Change c;
    c.key = pair.left(eq);
    const QString value = pair.mid(eq + 1);

    if (c.key == QLatin1String("mode")) {
        c.stage = Stage::Mode;
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
        problem = QStringLiteral("'%1': unknown key '%2' (see talvoctl set --help)").arg(pair, c.key);
        return std::nullopt;
    }
    c.stage = info->stage;
    if (info->special && value == QLatin1String(info->special)) {
        c.special = true;
        return c;
    }
    const std::optional<double> number = ParseDecimal(value);
    if (!number) {
        problem = QStringLiteral("'%1': '%2' is not a number%3")
                      .arg(pair, value, info->special ? QStringLiteral(" or %1").arg(QLatin1String(info->special)) : QString());
        return std::nullopt;
    }
    if (c.stage == Stage::Phase ? (*number != 0 && *number != 180) : (*number < info->min || *number > info->max)) {
        problem = c.stage == Stage::Phase ? QStringLiteral("'%1': the phase is 0 or 180").arg(pair)
                                          : QStringLiteral("'%1': %2 is outside %3").arg(pair, value, Range(info->min, info->max));
        return std::nullopt;
    }
    c.value = *number * info->positionsPerUnit;
    return c;
}

const char *ModeName(Mode mode)
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

// Sends one change through its editor and gives what the editor shows for it.
QString Send(EditorModels &models, const Change &c)
{
    switch (c.stage) {
    case Stage::Gain: {
        GainModel &gain = models.gain(c.channel);
        if (c.special) {
            gain.CommitMute();
            return QStringLiteral("muted");
        }
        gain.CommitPosition(c.value);
        return gain.valueText();
    }
    case Stage::Delay:
        models.delay(c.channel).CommitPosition(c.value);
        return DelayText(models.delay(c.channel).position(), DelayUnit::Millisecond);
    case Stage::Threshold: {
        LimiterModel &limiter = models.limiter(c.channel);
        if (c.special) {
            limiter.CommitOff();
            return QStringLiteral("off");
        }
        limiter.CommitValue(LimiterParameter::Threshold, c.value);
        return limiter.valueText(LimiterParameter::Threshold);
    }
    case Stage::Hold:
    case Stage::Attack:
    case Stage::Decay: {
        const LimiterParameter p = c.stage == Stage::Hold     ? LimiterParameter::Hold
                                   : c.stage == Stage::Attack ? LimiterParameter::Attack
                                                              : LimiterParameter::Decay;
        models.limiter(c.channel).CommitValue(p, c.value);
        return models.limiter(c.channel).valueText(p);
    }
    case Stage::Phase:
        models.modes().CommitPhase(c.channel, static_cast<int>(c.value));
        return QString::number(static_cast<int>(c.value));
    case Stage::Mode:
        models.modes().ChangeMode(static_cast<Mode>(static_cast<int>(c.value)));
        return QLatin1String(ModeName(models.modes().mode()));
    case Stage::Filter:
    case Stage::Band:
        break;  // a whole filter or band goes out as one step (SendGroup)
    }
    return QString();
}

// One frame's worth of the command: a single change, or every key of one filter or one band
// (the first of them in `first`), with the parts resolved against the running program.
struct Step {
    Change first;
    std::optional<int> slope;     // filter
    std::optional<int> position;  // filter
    std::optional<double> freq;   // band
    std::optional<double> gain;
    std::optional<double> q;
    std::optional<bool> flat;
    bool afterMode = false;  // a mode change (which resets every setting) comes before it
    // Resolved before anything is sent.
    int resolvedSlope = 0;
    int resolvedPosition = 0;
    PeqBand resolvedBand;
    bool resolvedFlat = false;

    bool grouped() const { return first.stage == Stage::Filter || first.stage == Stage::Band; }
    bool sameGroup(const Change &c) const
    {
        return grouped() && c.stage == first.stage && c.channel == first.channel &&
               (c.stage == Stage::Filter ? c.filter == first.filter : c.band == first.band);
    }
    QString name() const
    {
        const QString side = first.channel == kLeftChannel ? QStringLiteral("left") : QStringLiteral("right");
        if (first.stage == Stage::Filter)
            return side + (first.filter == XoverFilter::HighPass ? QStringLiteral(".highPass") : QStringLiteral(".lowPass"));
        return side + QStringLiteral(".peq.%1").arg(first.band);
    }
    // Everything the frame holds was given.
    bool complete() const
    {
        return first.stage == Stage::Filter ? slope && position : freq && gain && q && flat;
    }
};

std::vector<Step> GatherSteps(const std::vector<Change> &changes)
{
    std::vector<Step> steps;
    bool modeSeen = false;
    for (const Change &c : changes) {
        Step *step = nullptr;
        for (Step &s : steps) {
            if (s.sameGroup(c))
                step = &s;
        }
        if (!step) {
            steps.emplace_back();
            step = &steps.back();
            step->first = c;
            step->afterMode = modeSeen;
        }
        modeSeen = modeSeen || c.stage == Stage::Mode;
        if (!step->grouped())
            continue;
        switch (c.part) {
        case Part::Slope:
            step->slope = static_cast<int>(c.value);
            break;
        case Part::Freq:
            if (c.stage == Stage::Filter)
                step->position = static_cast<int>(c.value);
            else
                step->freq = c.value;
            break;
        case Part::Gain:
            step->gain = c.value;
            break;
        case Part::Q:
            step->q = c.value;
            break;
        case Part::Flat:
            step->flat = c.value != 0;
            break;
        }
    }
    return steps;
}

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

// Whether the command would leave a channel's high-pass above its low-pass: followed through
// the steps from the running program (unknown when `running` is null, until a mode change
// resets it), looked at before every mode change and at the end. Gives what is wrong.
std::optional<QString> CrossoverConflict(const std::vector<Step> &steps, const Program *running)
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
    for (const Step &s : steps) {
        if (s.first.stage == Stage::Mode) {
            if (auto problem = check())
                return problem;
            load(DefaultSettings());
        } else if (s.first.stage == Stage::Filter && s.position) {
            (s.first.filter == XoverFilter::HighPass ? high : low)[static_cast<std::size_t>(s.first.channel)] = *s.position;
        }
    }
    return check();
}

// Fills the parts of each filter and band that were not given from the program the amplifier
// runs (or, after a mode change, the default program). Gives what is wrong when a filter's
// running slope is none of the 16 and no slope was given.
std::optional<QString> ResolveSteps(std::vector<Step> &steps, const Program &running)
{
    for (Step &s : steps) {
        const ChannelSettings &base = ChannelOf(s.afterMode ? DefaultSettings() : running, s.first.channel);
        if (s.first.stage == Stage::Filter) {
            const CrossoverFilter &f = s.first.filter == XoverFilter::HighPass ? base.highPass : base.lowPass;
            if (!s.slope && (f.slope < 0 || f.slope >= kSlopeTypeCount))
                return QStringLiteral("the amplifier's %1 slope is %2, none of 0..%3: give %1.slope as well")
                    .arg(s.name())
                    .arg(f.slope)
                    .arg(kSlopeTypeCount - 1);
            s.resolvedSlope = s.slope.value_or(f.slope);
            s.resolvedPosition = s.position.value_or(FilterPosition(s.first.filter, f.freq));
        } else if (s.first.stage == Stage::Band) {
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

// Sends one filter or band through its editor and gives what it shows for it.
QString SendGroup(EditorModels &models, PeqEditorModel &peq, const Step &s)
{
    if (s.first.stage == Stage::Filter) {
        CrossoverModel &x = models.crossover(s.first.channel);
        x.CommitFilter(s.first.filter, s.resolvedSlope, s.resolvedPosition);
        return QStringLiteral("%1 %2").arg(QLatin1String(SlopeTypeText(s.resolvedSlope)), x.filter(s.first.filter).text);
    }
    peq.CommitBand(s.first.channel, s.first.band, s.resolvedBand, s.resolvedFlat);
    return QStringLiteral("%1 %2 Q %3%4")
        .arg(PeqFrequencyText(s.resolvedBand.freq), PeqGainText(s.resolvedBand.gain, true), PeqQText(s.resolvedBand.q),
             s.resolvedFlat ? QStringLiteral(" FLAT") : QString());
}


// After a connect: whether the steps can go to this amplifier. Empty when they can; otherwise
// what stands in the way (the caller adds that nothing was set), with `refused` set when it is
// the command itself that this amplifier's program makes wrong (filters that would cross).
// The parts of filters and bands not given are filled from the program just read.
std::optional<QString> CheckSteps(const AppState &state, const ConnectController &connect, int id,
                                  const std::vector<Change> &changes, std::vector<Step> &steps, bool &refused)
{
    if (!state.bridgeAvailable) {
        for (const Change &c : changes) {
            if (c.stage == Stage::Mode && static_cast<int>(c.value) == static_cast<int>(Mode::Bridge))
                return QStringLiteral("amplifier %1 offers no bridge mode").arg(id);
        }
    }
    // A filter is weighed against the other filter of its channel, so it always needs them.
    const bool needsRunning = std::any_of(steps.begin(), steps.end(), [](const Step &s) {
        return s.grouped() && !s.afterMode && (s.first.stage == Stage::Filter || !s.complete());
    });
    if (needsRunning && !connect.LastReadOut())
        return QStringLiteral("the program amplifier %1 runs could not be read, so its filters and bands are unknown").arg(id);
    const Program running = DecodeProgram(state.programBuffer);
    std::optional<QString> problem = CrossoverConflict(steps, &running);
    if (!problem)
        problem = ResolveSteps(steps, running);
    if (problem)
        refused = true;
    return problem;
}

// Sends the steps in order through their editors. Each is listed (`listed`: its name, what its
// editor shows, and its frame unless it is the mode change) once the port took its frames:
// after a frame that could not be written, a lost port (said as it happened) or `stop`,
// nothing more is sent. Gives the number of frames that could not be written.
int SendSteps(AppState &state, Link &link, EditorModels &models, PeqEditorModel &peq, const std::vector<Step> &steps,
              const std::function<void(const QString &name, const QString &shown, const QString &frame)> &listed,
              const std::function<bool()> &stop)
{
    int lostFrames = 0;
    // A frame the I/O thread could not write (or discarded) means a change did not go out.
    const QMetaObject::Connection lost = QObject::connect(&link, &Link::frameDone, [&lostFrames](bool written) {
        if (!written)
            ++lostFrames;
    });
    for (const Step &s : steps) {
        if (stop && stop())
            break;
        const Change &c = s.first;
        const QString shown = s.grouped() ? SendGroup(models, peq, s) : Send(models, c);
        const QString frame = FrameText(state.link.outFrame);
        const int failedBefore = lostFrames;
        link.WaitForIdle(kDrainMs);
        if (lostFrames > failedBefore)
            break;
        listed(s.grouped() ? s.name() : c.key, shown, c.stage != Stage::Mode ? frame : QString());
        if (link.PortLost())
            break;
    }
    link.WaitForIdle(kDrainMs);  // at once, unless the last change's frames are held up
    QObject::disconnect(lost);
    return lostFrames;
}

// One amplifier of `talvoctl set` with an ID list: its editors made before the connect (so that
// the program read lands in them), then the same checks and frames as the single command.
class SetWork : public FleetWork {
public:
    SetWork(std::vector<Change> changes, std::vector<Step> steps) : changes_(std::move(changes)), steps_(std::move(steps)) {}

    void Prepare(FleetSession &s) override
    {
        models_ = std::make_unique<EditorModels>(s.state, s.link, s.applier);
        peq_ = std::make_unique<PeqEditorModel>(s.state, s.link);
    }

    bool Run(FleetSession &s, FleetResult &r) override
    {
        bool refused = false;
        if (const std::optional<QString> problem = CheckSteps(s.state, s.connect, s.amplifier.id, changes_, steps_, refused)) {
            r.problem = *problem + QStringLiteral("; nothing was set");
            return false;
        }
        QStringList lines;
        QJsonArray changes;
        const int lostFrames = SendSteps(
            s.state, s.link, *models_, *peq_, steps_,
            [&](const QString &name, const QString &shown, const QString &frame) {
                lines << name + QLatin1Char(' ') + shown;
                changes.append(frame.isEmpty() ? lines.last() : lines.last() + QLatin1Char(' ') + frame);
            },
            [&s] { return s.StopRequested(); });
        r.details.insert(QStringLiteral("changes"), changes);
        r.done = lines.isEmpty() ? QStringLiteral("nothing set") : QStringLiteral("set ") + lines.join(QStringLiteral(", "));
        if (s.StopRequested() && lines.size() < static_cast<qsizetype>(steps_.size())) {
            r.problem = QStringLiteral("stopped after %1 of %2 changes").arg(lines.size()).arg(steps_.size());
            return false;
        }
        if (s.link.PortLost()) {
            r.problem = QStringLiteral("the port was lost: %1").arg(s.link.Loss().reason());
            return false;
        }
        if (lostFrames > 0) {
            r.problem = QStringLiteral("%1 frame(s) could not be written to the port").arg(lostFrames);
            return false;
        }
        return true;
    }

private:
    std::vector<Change> changes_;
    std::vector<Step> steps_;
    std::unique_ptr<EditorModels> models_;
    std::unique_ptr<PeqEditorModel> peq_;
};

}  // namespace

int RunSetCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kSetUsage))
        return kExitOk;
    if (WantsFleet(args) || args.contains(QLatin1String("--json")))
        return RunSetFleet(args, out, err);
    QString problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, {kAmplifierOptions, {"--mute"}, true}, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl set --help)"));
    std::vector<Change> changes;
    for (const QString &pair : line->positional) {
        const std::optional<Change> change = ParsePair(pair, problem);
        if (!change)
            return Refuse(err, kName, problem);
        changes.push_back(*change);
    }
    const std::optional<QString> portText = line->value("--port");
    const std::optional<ConnectRequest> request = ConnectRequestFrom(portText, line->value("--id"), line->value("--sub"),
                                                                     line->flag("--mute"), kName,
                                                                     QStringLiteral("see talvoctl set --help"), err);
    if (!request)
        return kExitRefused;
    if (changes.empty())
        return Refuse(err, kName, QStringLiteral("nothing to set: give at least one KEY=VALUE (see talvoctl set --help)"));
    std::vector<Step> steps = GatherSteps(changes);
    if (const auto conflict = CrossoverConflict(steps, nullptr))
        return Refuse(err, kName, *conflict);
    int status = kExitOk;
    const std::unique_ptr<AmplifierSession> session = OpenSession(*portText, kName, err, status);
    if (!session)
        return status;
    AppState &state = session->state;
    Link &link = session->link;
    ProgramApplier &applier = session->applier;
    // Created before connecting, so that the program read at connection lands in the editors.
    EditorModels models(state, link, applier);
    PeqEditorModel peq(state, link);
    ConnectController connect(state, link, session->linkController, applier);

    int lostFrames = 0;
    bool online = connect.Connect(*request);
    out << (online ? kOnlineText : kOfflineText) << '\n';
    if (!online) {
        const QString why = ConnectFailureClause(connect.LastOutcome(), request->id, *portText);
        if (!why.isEmpty())
            err << "talvoctl set: " << why << "; nothing was set\n";
    }
    // The parts of filters and bands not given come from the program just read; a command
    // that would cross a channel's filters goes out not at all.
    bool refused = false;
    if (online) {
        if (const std::optional<QString> why = CheckSteps(state, connect, request->id, changes, steps, refused)) {
            err << "talvoctl set: " << *why << "; nothing was set\n";
            online = false;
        }
    }
    out.flush();
    err.flush();

    if (online) {
        lostFrames = SendSteps(
            state, link, models, peq, steps,
            [&out](const QString &name, const QString &shown, const QString &frame) {
                out << name << ' ' << shown;
                if (!frame.isEmpty())
                    out << ' ' << frame;
                out << '\n';
                out.flush();
            },
            {});
        if (lostFrames > 0 && !link.PortLost())
            err << "talvoctl set: " << lostFrames << " frame(s) could not be written to the port\n";
    }

    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    err.flush();
    if (refused)
        return kExitRefused;
    // A port lost at any point (said as it happened) fails the command, even when every frame
    // was taken by the port before the loss showed: the amplifier may not have had them all.
    return online && lostFrames == 0 && !link.PortLost() ? kExitOk : kExitFailed;
}

int RunSetFleet(const QStringList &args, QTextStream &out, QTextStream &err)
{
    QStringList rest;
    QString problem;
    const QStringList ports = TakeAllPorts(args, rest, problem);
    if (!problem.isEmpty())
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl set --help)"));
    const std::optional<CommandLine> line =
        ParseCommandLine(rest, {{QStringLiteral("--id"), QStringLiteral("--sub")}, {"--mute", "--json"}, true}, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl set --help)"));
    std::vector<Change> changes;
    for (const QString &pair : line->positional) {
        const std::optional<Change> change = ParsePair(pair, problem);
        if (!change)
            return Refuse(err, kName, problem);
        changes.push_back(*change);
    }
    const std::optional<FleetPlan> plan = FleetPlanFrom(ports, line->value(QStringLiteral("--id")),
                                                        line->value(QStringLiteral("--sub")), line->flag("--mute"), problem);
    if (!plan)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl set --help)"));
    if (changes.empty())
        return Refuse(err, kName, QStringLiteral("nothing to set: give at least one KEY=VALUE (see talvoctl set --help)"));
    const std::vector<Step> steps = GatherSteps(changes);
    if (const auto conflict = CrossoverConflict(steps, nullptr))
        return Refuse(err, kName, *conflict);
    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));
    FleetRunner runner(*plan, [changes, steps](int, const FleetAddress &) { return std::make_unique<SetWork>(changes, steps); });
    return RunFleet(runner, kName, QStringLiteral("set"), line->flag(QStringLiteral("--json")), out, err);
}

}  // namespace talvo::cli
