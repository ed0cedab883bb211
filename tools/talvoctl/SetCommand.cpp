// talvoctl set: live values into one amplifier from a script, through the same editor models
// the windows use. Every pair is checked before the port is touched; then the amplifier is
// connected as the Connect window does, its running program read and applied, and each change
// goes out in the order given with exactly the frame its editor sends (with SendCommand, so
// none is dropped). Ends with the disconnect. The keys and their checks are the room remote's
// as well (remote/LiveKeys.h).
//
// A crossover filter and a PEQ band each travel as one frame holding all their parts, so the
// keys of one filter or one band are gathered into one frame, sent where the first of them
// stands; the parts not given are those of the program the amplifier runs (read at connect,
// or the default program once a mode change has reset it).

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QJsonArray>

#include "CliSupport.h"
#include "Commands.h"
#include "FleetCli.h"
#include "devices/ConnectProcedure.h"
#include "editors/EditorModels.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "peq/PeqEditorModel.h"
#include "programs/ProgramRecord.h"
#include "remote/LiveKeys.h"
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

// Every KEY=VALUE of the command line, checked whole before anything is sent. False, with
// `problem` naming the first bad pair, when one is wrong.
bool ParsePairs(const QStringList &pairs, std::vector<LiveChange> &changes, QString &problem)
{
    for (const QString &pair : pairs) {
        const std::optional<LiveChange> change = ParseLivePair(pair, problem, QStringLiteral("see talvoctl set --help"));
        if (!change)
            return false;
        changes.push_back(*change);
    }
    return true;
}

// After a connect: whether the steps can go to this amplifier. Empty when they can; otherwise
// what stands in the way (the caller adds that nothing was set), with `refused` set when it is
// the command itself that this amplifier's program makes wrong (filters that would cross).
// The parts of filters and bands not given are filled from the program just read.
std::optional<QString> CheckSteps(const AppState &state, const ConnectController &connect, int id,
                                  const std::vector<LiveChange> &changes, std::vector<LiveStep> &steps, bool &refused)
{
    if (!state.bridgeAvailable) {
        for (const LiveChange &c : changes) {
            if (c.stage == LiveStage::Mode && static_cast<int>(c.value) == static_cast<int>(Mode::Bridge))
                return QStringLiteral("amplifier %1 offers no bridge mode").arg(id);
        }
    }
    // A filter is weighed against the other filter of its channel, so it always needs them.
    const bool needsRunning = std::any_of(steps.begin(), steps.end(), [](const LiveStep &s) {
        return s.grouped() && !s.afterMode && (s.first.stage == LiveStage::Filter || !s.complete());
    });
    if (needsRunning && !connect.LastReadOut())
        return QStringLiteral("the program amplifier %1 runs could not be read, so its filters and bands are unknown").arg(id);
    const Program running = DecodeProgram(state.programBuffer);
    std::optional<QString> problem = LiveCrossoverConflict(steps, &running);
    if (!problem)
        problem = ResolveLiveSteps(steps, running);
    if (problem)
        refused = true;
    return problem;
}

// Sends the steps in order through their editors. Each is listed (`listed`: its name, what its
// editor shows, and its frame unless it is the mode change) once the port took its frames:
// after a frame that could not be written, a lost port (said as it happened) or `stop`,
// nothing more is sent. Gives the number of frames that could not be written.
int SendSteps(AppState &state, Link &link, EditorModels &models, PeqEditorModel &peq, const std::vector<LiveStep> &steps,
              const std::function<void(const QString &name, const QString &shown, const QString &frame)> &listed,
              const std::function<bool()> &stop)
{
    int lostFrames = 0;
    // A frame the I/O thread could not write (or discarded) means a change did not go out.
    const QMetaObject::Connection lost = QObject::connect(&link, &Link::frameDone, [&lostFrames](bool written) {
        if (!written)
            ++lostFrames;
    });
    for (const LiveStep &s : steps) {
        if (stop && stop())
            break;
        const LiveChange &c = s.first;
        const QString shown = SendLiveStep(models, peq, s);
        const QString frame = FrameText(state.link.outFrame);
        const int failedBefore = lostFrames;
        link.WaitForIdle(kDrainMs);
        if (lostFrames > failedBefore)
            break;
        listed(s.name(), shown, c.stage != LiveStage::Mode ? frame : QString());
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
    SetWork(std::vector<LiveChange> changes, std::vector<LiveStep> steps) : changes_(std::move(changes)), steps_(std::move(steps)) {}

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
    std::vector<LiveChange> changes_;
    std::vector<LiveStep> steps_;
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
    std::vector<LiveChange> changes;
    if (!ParsePairs(line->positional, changes, problem))
        return Refuse(err, kName, problem);
    const std::optional<QString> portText = line->value("--port");
    const std::optional<ConnectRequest> request = ConnectRequestFrom(portText, line->value("--id"), line->value("--sub"),
                                                                     line->flag("--mute"), kName,
                                                                     QStringLiteral("see talvoctl set --help"), err);
    if (!request)
        return kExitRefused;
    if (changes.empty())
        return Refuse(err, kName, QStringLiteral("nothing to set: give at least one KEY=VALUE (see talvoctl set --help)"));
    std::vector<LiveStep> steps = GatherLiveSteps(changes);
    if (const auto conflict = LiveCrossoverConflict(steps, nullptr))
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
    std::vector<LiveChange> changes;
    if (!ParsePairs(line->positional, changes, problem))
        return Refuse(err, kName, problem);
    const std::optional<FleetPlan> plan = FleetPlanFrom(ports, line->value(QStringLiteral("--id")),
                                                        line->value(QStringLiteral("--sub")), line->flag("--mute"), problem);
    if (!plan)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl set --help)"));
    if (changes.empty())
        return Refuse(err, kName, QStringLiteral("nothing to set: give at least one KEY=VALUE (see talvoctl set --help)"));
    const std::vector<LiveStep> steps = GatherLiveSteps(changes);
    if (const auto conflict = LiveCrossoverConflict(steps, nullptr))
        return Refuse(err, kName, *conflict);
    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));
    FleetRunner runner(*plan, [changes, steps](int, const FleetAddress &) { return std::make_unique<SetWork>(changes, steps); });
    return RunFleet(runner, kName, QStringLiteral("set"), line->flag(QStringLiteral("--json")), out, err);
}

}  // namespace talvo::cli
