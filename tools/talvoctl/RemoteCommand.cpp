// talvoctl remote: the room remote without a display (a small computer in the rack). Connects
// as `talvoctl connect` does, keeps the link, serves the phone page and the JSON API over the
// same models the desktop program has, prints the page's address with its pairing token, and
// on Ctrl+C (or SIGTERM) stops serving, disconnects and ends.

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include "CliSupport.h"
#include "Commands.h"
#include "devices/ConnectProcedure.h"
#include "editors/EditorModels.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "memory/MemoryController.h"
#include "peq/PeqEditorModel.h"
#include "state/ProgramApply.h"
#include "remote/QrCode.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteHost.h"
#include "state/AppState.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "remote";

const char *const kRemoteUsage =
    "usage: talvoctl remote --port PORT --id N [--sub S] [--mute] --listen [HOST:]PORT [--qr]\n"
    "\n"
    "Connects as `talvoctl connect` does (--mute: with the outputs muted) and keeps the link,\n"
    "then serves the room remote: the phone page and the JSON API (docs/remote-api.md) on\n"
    "--listen, HOST being an IPv4 address, an IPv6 address in brackets, localhost or any\n"
    "(every address of the machine); loopback when no HOST is given. Prints ONLINE, then the\n"
    "page's address with its pairing token (http://HOST:PORT/?token=...; --qr adds it as a\n"
    "QR code in text), and serves until Ctrl+C or SIGTERM; then disconnects (exit 0). Exit 1\n"
    "when the amplifier does not answer, the address cannot be listened on, or the port was\n"
    "lost meanwhile; exit 2 for bad arguments (nothing sent).\n";

// The longest wait for frames still queued when the command ends.
constexpr double kDrainMs = 3000;

// Ctrl+C and SIGTERM reach the event loop through a socket pair: a handler may only write.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    if (g_signalPipe[1] >= 0)
        (void)!::write(g_signalPipe[1], &byte, 1);
}

class StopSignals {
public:
    StopSignals()
    {
        ok_ = ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0;
        if (!ok_)
            return;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals()
    {
        if (!ok_)
            return;
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    bool ok() const { return ok_; }
    int readEnd() const { return g_signalPipe[0]; }

private:
    bool ok_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// The QR code in text: two modules per character row, so that it stays square in a terminal.
QString QrText(const QrMatrix &qr)
{
    constexpr int quiet = 4;
    const int side = qr.size + 2 * quiet;
    const auto dark = [&](int x, int y) {
        x -= quiet;
        y -= quiet;
        return x >= 0 && y >= 0 && x < qr.size && y < qr.size && qr.isDark(x, y);
    };
    QString out;
    // Light modules are drawn, dark ones left blank: most terminals show light text on dark.
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            const bool top = !dark(x, y);
            const bool bottom = y + 1 < side ? !dark(x, y + 1) : false;
            out += top && bottom ? QChar(0x2588) : top ? QChar(0x2580) : bottom ? QChar(0x2584) : QChar(' ');
        }
        out += QLatin1Char('\n');
    }
    return out;
}

}  // namespace

int RunRemoteCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kRemoteUsage))
        return kExitOk;
    QString problem;
    const std::optional<CommandLine> line =
        ParseCommandLine(args, {kAmplifierOptions + QStringList{"--listen"}, {"--mute", "--qr"}, false}, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl remote --help)"));
    const std::optional<QString> portText = line->value("--port");
    const std::optional<ConnectRequest> request = ConnectRequestFrom(portText, line->value("--id"), line->value("--sub"),
                                                                     line->flag("--mute"), kName,
                                                                     QStringLiteral("see talvoctl remote --help"), err);
    if (!request)
        return kExitRefused;
    const std::optional<QString> listenText = line->value("--listen");
    if (!listenText)
        return Refuse(err, kName, QStringLiteral("missing --listen [HOST:]PORT (see talvoctl remote --help)"));
    const std::optional<ListenAddress> listen = ParseListenAddress(*listenText, problem);
    if (!listen)
        return Refuse(err, kName, QStringLiteral("--listen %1").arg(problem));

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
    MemoryController memory(state, link, applier);
    memory.SetGather([&models] { models.GatherProgram(); });
    // No one to ask: the remote answers its own questions (RemoteControl) and failures are
    // said on stderr.
    MemoryPrompts prompts;
    prompts.ask = [](const QString &, const QString &, bool) { return false; };
    prompts.tell = [&err](const QString &, const QString &text, bool) {
        err << "talvoctl remote: " << text << '\n';
        err.flush();
    };
    prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = 0; };
    memory.SetPrompts(prompts);
    ConnectController connect(state, link, session->linkController, applier);

    const bool online = connect.Connect(*request);
    out << (online ? kOnlineText : kOfflineText) << '\n';
    out.flush();
    bool failed = !online;
    if (!online) {
        const QString why = ConnectFailureClause(connect.LastOutcome(), request->id, *portText);
        if (!why.isEmpty())
            err << "talvoctl remote: " << why << '\n';
    } else {
        RemoteModels remote{state, link, models, peq, memory, &connect, &session->linkController, nullptr, prompts,
                            [name = *portText] { return name; }};
        RemoteControl control(remote);
        RemoteHost host(control);
        QString error;
        StopSignals stopSignals;
        if (!stopSignals.ok()) {
            err << "talvoctl remote: cannot watch for Ctrl+C\n";
            failed = true;
        } else if (!host.Start(listen->address, listen->port, &error)) {
            err << "talvoctl remote: cannot listen on " << *listenText << ": " << error << '\n';
            failed = true;
        } else {
            out << host.pageUrl() << '\n';
            if (line->flag("--qr"))
                out << QrText(host.qrCode());
            out.flush();
            err.flush();
            QEventLoop loop;
            QSocketNotifier stop(stopSignals.readEnd(), QSocketNotifier::Read);
            QObject::connect(&stop, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
            loop.exec();
            host.Stop();
            // The server goes before the models it drives.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    err.flush();
    // A port lost while serving was said as it happened; the amplifier may have missed changes.
    return failed || link.PortLost() ? kExitFailed : kExitOk;
}

}  // namespace talvo::cli
