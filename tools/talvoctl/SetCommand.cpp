// talvoctl set: live values into one amplifier from a script, through the same editor models
// the windows use. Every pair is checked before the port is touched; then the amplifier is
// connected as the Connect window does, its running program read and applied, and each change
// goes out in the order given with exactly the frame its editor sends (with SendCommand, so
// none is dropped). Ends with the disconnect.

#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QRegularExpression>

#include "CliSupport.h"
#include "Commands.h"
#include "devices/ConnectProcedure.h"
#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "programs/ProgramApply.h"
#include "state/AppState.h"

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
    "  mode=MODE                stereo, bridge or mono: the whole mode change, which resets\n"
    "                           every setting to the default program and mutes both inputs,\n"
    "                           so give it before the other keys\n"
    "A value between two slider steps is taken as the slider takes it: at the next step up.\n";

// The longest wait for frames still queued when a procedure ends: a few frames and pauses.
constexpr double kDrainMs = 3000;
// A queued change takes at most a 16-byte frame and its pacing on the line.
constexpr double kDrainPerChangeMs = 400;

enum class Stage { Gain, Delay, Threshold, Hold, Attack, Decay, Phase, Mode };

struct Change {
    QString key;
    Stage stage = Stage::Gain;
    int channel = kLeftChannel;
    double value = 0;   // in the stage's slider positions (phase: degrees; mode: Mode)
    bool special = false;  // gain `muted`, threshold `off`
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
    if (dot < 0 || (side != QLatin1String("left") && side != QLatin1String("right")) || !info) {
        problem = QStringLiteral("'%1': unknown key '%2' (see talvoctl set --help)").arg(pair, c.key);
        return std::nullopt;
    }
    c.channel = side == QLatin1String("left") ? kLeftChannel : kRightChannel;
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

// The frame the last change left in outFrame: "(command 2: 12 50 85)".
QString FrameText(const CommandFrame &f)
{
    QString text = QStringLiteral("(command %1:").arg(f.command);
    for (int i = 0; i < f.length && i < kMaxFrameData; ++i)
        text += QStringLiteral(" %1").arg(f.data[static_cast<std::size_t>(i)]);
    return text + QLatin1Char(')');
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
    }
    return QString();
}

}  // namespace

int RunSetCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    std::optional<QString> portText, idText, subText;
    bool mute = false;
    std::vector<Change> changes;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString problem;
        if (TakeOption(args, i, QStringLiteral("--port"), portText, problem) ||
            TakeOption(args, i, QStringLiteral("--id"), idText, problem) ||
            TakeOption(args, i, QStringLiteral("--sub"), subText, problem)) {
            if (!problem.isEmpty())
                return Refuse(err, kName, problem);
            continue;
        }
        if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            out << kSetUsage;
            out.flush();
            return kExitOk;
        }
        if (args[i] == QLatin1String("--mute")) {
            mute = true;
            continue;
        }
        if (args[i].startsWith(QLatin1String("--")))
            return Refuse(err, kName, QStringLiteral("unknown option '%1' (see talvoctl set --help)").arg(args[i]));
        const std::optional<Change> change = ParsePair(args[i], problem);
        if (!change)
            return Refuse(err, kName, problem);
        changes.push_back(*change);
    }
    if (!portText || portText->isEmpty())
        return Refuse(err, kName, QStringLiteral("missing --port COMn or a device path (see talvoctl set --help)"));
    if (!idText)
        return Refuse(err, kName, QStringLiteral("missing --id N (see talvoctl set --help)"));
    const std::optional<ConnectRequest> request = ConnectRequestFrom(*idText, subText, mute, kName, err);
    if (!request)
        return kExitRefused;
    if (changes.empty())
        return Refuse(err, kName, QStringLiteral("nothing to set: give at least one KEY=VALUE (see talvoctl set --help)"));
    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));

    AppState state;
    Link link(state.link);
    int status = kExitOk;
    if (!OpenLinkOnPort(link, *portText, kName, err, status))
        return status;
    LinkController linkController(link);
    ProgramApplier applier(state);
    // Created before connecting, so that the program read at connection lands in the editors.
    EditorModels models(state, link, applier);
    ConnectController connect(state, link, linkController, applier);

    int lostFrames = 0;
    bool online = connect.Connect(*request);
    out << (online ? kOnlineText : kOfflineText) << '\n';
    if (!online) {
        err << "talvoctl set: amplifier " << request->id << " did not answer; nothing was set\n";
    } else if (!state.bridgeAvailable) {
        for (const Change &c : changes) {
            if (c.stage == Stage::Mode && static_cast<int>(c.value) == static_cast<int>(Mode::Bridge)) {
                err << "talvoctl set: amplifier " << request->id << " offers no bridge mode; nothing was set\n";
                online = false;
                break;
            }
        }
    }
    out.flush();
    err.flush();

    if (online) {
        // A frame the I/O thread could not write (or discarded) means a change did not go out.
        const QMetaObject::Connection lost = QObject::connect(&link, &Link::frameDone, [&lostFrames](bool written) {
            if (!written)
                ++lostFrames;
        });
        for (const Change &c : changes) {
            const QString shown = Send(models, c);
            out << c.key << ' ' << shown;
            if (c.stage != Stage::Mode)
                out << ' ' << FrameText(state.link.outFrame);
            out << '\n';
            out.flush();
        }
        link.WaitForIdle(kDrainMs + kDrainPerChangeMs * static_cast<double>(changes.size()));
        QObject::disconnect(lost);
        if (lostFrames > 0)
            err << "talvoctl set: " << lostFrames << " frame(s) could not be written to the port\n";
    }

    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    err.flush();
    return online && lostFrames == 0 ? kExitOk : kExitFailed;
}

}  // namespace talvo::cli
