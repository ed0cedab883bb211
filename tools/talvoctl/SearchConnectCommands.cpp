// talvoctl search and talvoctl connect: the program's own bus search and connect procedures,
// without windows, for installers checking a bus or saving an amplifier's live program.

#include <optional>

#include <QCoreApplication>
#include <QRegularExpression>

#include "CliSupport.h"
#include "Commands.h"
#include "FleetCli.h"
#include "devices/BusSearch.h"
#include "devices/ConnectProcedure.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "link/Settings.h"
#include "programs/ProgramFile.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo::cli {

namespace {

const char *const kSearchUsage = "usage: talvoctl search --port PORT [--range 1-64|65-128|129-192|193-255]";
const char *const kConnectUsage = "usage: talvoctl connect --port PORT --id N [--sub S] [--mute] [--save FILE.VKP]";
const char *const kConnectHelp =
    "usage: talvoctl connect --port PORT --id N [--sub S] [--mute] [--save FILE.VKP]\n"
    "       talvoctl connect --port PORT[=LIST]... --id LIST [--mute] [--json]\n"
    "  LIST: IDs and ranges (1-8,12,20-24; 5.2 for ID 5 at sub-address 2): each amplifier is\n"
    "  connected in turn, every bus at once, and a summary ends the run; Ctrl+C stops cleanly";
// The longest wait for frames still queued when a procedure ends: a few frames and pauses.
constexpr double kDrainMs = 3000;

}  // namespace

int RunSearchCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kSearchUsage))
        return kExitOk;
    constexpr const char *kName = "search";
    QString problem;
    const std::optional<CommandLine> line =
        ParseCommandLine(args, {{QStringLiteral("--port"), QStringLiteral("--range")}, {}, false}, problem);
    if (!line)
        return Refuse(err, kName, QStringLiteral("%1 (%2)").arg(problem, QLatin1String(kSearchUsage)));
    const std::optional<QString> portText = line->value("--port");
    const std::optional<QString> rangeText = line->value("--range");
    if (!portText || portText->isEmpty())
        return Refuse(err, kName, QStringLiteral("missing --port COMn, a device path or tcp://HOST:PORT (%1)").arg(QLatin1String(kSearchUsage)));
    int rangeIndex = 0;
    if (rangeText) {
        rangeIndex = -1;
        for (int r = 0; r < kSearchRangeCount; ++r) {
            const IdRange range = SearchRange(r);
            if (*rangeText == QStringLiteral("%1-%2").arg(range.first).arg(range.last))
                rangeIndex = r;
        }
        if (rangeIndex < 0)
            return Refuse(err, kName, QStringLiteral("--range '%1' is not one of 1-64, 65-128, 129-192, 193-255").arg(*rangeText));
    }
    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));

    AppState state;
    Link link(state.link);
    int status = kExitOk;
    if (!OpenLinkOnPort(link, *portText, kName, err, status))
        return status;

    SearchController search(link);
    QObject::connect(&search, &SearchController::deviceFound, [&out](int id) {
        out << "ID " << id << '\n';
        out.flush();
    });
    search.WindowShown();
    search.Search(rangeIndex);
    search.WindowClosed();
    link.WaitForIdle(kDrainMs);

    const IdRange range = SearchRange(rangeIndex);
    const auto count = search.Found().size();
    out << (count == 0 ? QStringLiteral("no amplifier") : count == 1 ? QStringLiteral("1 amplifier")
                                                                     : QStringLiteral("%1 amplifiers").arg(count))
        << " found in IDs " << range.first << ".." << range.last << '\n';
    out.flush();
    // The loss was said on stderr as it happened; the IDs above were found before it.
    return search.LostPort() ? kExitFailed : kExitOk;
}

int RunConnectCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kConnectHelp))
        return kExitOk;
    if (WantsFleet(args) || args.contains(QLatin1String("--json")))
        return RunConnectFleet(args, out, err);
    constexpr const char *kName = "connect";
    QString parseProblem;
    const std::optional<CommandLine> line =
        ParseCommandLine(args, {kAmplifierOptions + QStringList{"--save"}, {"--mute"}, false}, parseProblem);
    if (!line)
        return Refuse(err, kName, QStringLiteral("%1 (%2)").arg(parseProblem, QLatin1String(kConnectUsage)));
    const std::optional<QString> portText = line->value("--port");
    const std::optional<QString> saveText = line->value("--save");
    const std::optional<ConnectRequest> request = ConnectRequestFrom(
        portText, line->value("--id"), line->value("--sub"), line->flag("--mute"), kName, QLatin1String(kConnectUsage), err);
    if (!request)
        return kExitRefused;
    if (saveText && saveText->isEmpty())
        return Refuse(err, kName, QStringLiteral("--save needs a file name"));
    int status = kExitOk;
    const std::unique_ptr<AmplifierSession> session = OpenSession(*portText, kName, err, status);
    if (!session)
        return status;
    AppState &state = session->state;
    Link &link = session->link;
    ProgramApplier &applier = session->applier;
    ConnectController connect(state, link, session->linkController, applier);

    const bool online = connect.Connect(*request);
    out << (online ? kOnlineText : kOfflineText) << '\n';
    if (online) {
        out << FirmwareStatusText(state.firmwareMajor, state.firmwareMinor).trimmed() << '\n';
        out << "program " << state.currentProgram << '\n';
        out << "bridge " << (state.bridgeAvailable ? "yes" : "no") << '\n';
    }
    out.flush();

    // The program is saved whenever it arrived whole, even when the link failed afterwards:
    // it is what the amplifier runs, and the failure is told beside it.
    QString saved;
    QString problem;
    if (saveText) {
        if (const auto &record = connect.LastReadOut()) {
            const FileResult written = WriteRecordFile(*saveText, *record);
            if (written) {
                saved = *saveText;
                out << "saved " << saved << '\n';
            } else {
                problem = written.message;
            }
        } else {
            problem = QStringLiteral("%1 was not written").arg(*saveText);
            if (online)
                problem.prepend(QStringLiteral("the amplifier's program did not arrive complete; "));
        }
        out.flush();
    }

    // The program ends here: the disconnect of a program closing (the shorter progress run).
    // A disconnect frame that could not be written means the line failed after connecting.
    int failedFrames = 0;
    const QMetaObject::Connection onFrame =
        QObject::connect(&link, &Link::frameDone, [&failedFrames](bool written) { failedFrames += written ? 0 : 1; });
    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    QObject::disconnect(onFrame);

    // One line on what failed: the link's failure first, then what became of the program. A
    // lost port was said as it happened, with its reason, and has no clause here.
    const bool failed = !online || failedFrames > 0 || !problem.isEmpty() || link.PortLost();
    QString linkFailure;
    if (!online)
        linkFailure = ConnectFailureClause(connect.LastOutcome(), request->id, *portText);
    else if (failedFrames > 0)
        linkFailure = QStringLiteral("the disconnect could not be sent to ID %1 on %2").arg(request->id).arg(*portText);
    if (!saved.isEmpty() && !linkFailure.isEmpty())
        err << "talvoctl connect: the program was saved to " << saved << ", then the link failed: " << linkFailure << '\n';
    else if (!linkFailure.isEmpty() && !problem.isEmpty())
        err << "talvoctl connect: " << linkFailure << "; " << problem << '\n';
    else if (!linkFailure.isEmpty())
        err << "talvoctl connect: " << linkFailure << '\n';
    else if (!problem.isEmpty())
        err << "talvoctl connect: " << problem << '\n';
    err.flush();
    return failed ? kExitFailed : kExitOk;
}

}  // namespace talvo::cli
