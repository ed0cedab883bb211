// talvo-ampsim: simulated TALVO amplifiers on a pseudo-terminal or a serial device.

#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "sim/SimOptions.h"
#include "talvo/Version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOptions = 2;

// Bytes are time-stamped when this process gets to read them; on a busy machine that can be a
// few milliseconds late, which must not show up as a program writing too fast.
constexpr double kTimingToleranceMs = 5.0;

talvo::sim::SerialServer *g_server = nullptr;

void onStopSignal(int)
{
    if (g_server)
        g_server->requestStop();
}

void installStopHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);

    if (app.arguments().mid(1).contains(QLatin1String("--version"))) {
        QTextStream(stdout) << "talvo-ampsim " << talvo::kVersion << "\n";
        return kExitOk;
    }
    const auto parsed = talvo::sim::ParseSimArguments(app.arguments().mid(1));
    if (!parsed.ok) {
        err << "talvo-ampsim: " << parsed.error << "\n";
        return kExitBadOptions;
    }
    const talvo::sim::SimOptions &opt = parsed.options;
    if (opt.help) {
        QTextStream(stdout) << talvo::sim::SimUsage();
        return kExitOk;
    }

    // The record is a running log: each line is written and flushed as it happens, so that
    // whatever stops the simulator, the record holds everything up to that moment.
    QFile recordFile(opt.recordPath);
    talvo::sim::Bus bus(talvo::sim::BusOptions{.timingToleranceMs = kTimingToleranceMs});
    if (!opt.recordPath.isEmpty()) {
        if (!recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            err << "talvo-ampsim: cannot write the record " << opt.recordPath << ": " << recordFile.errorString() << "\n";
            return kExitFailed;
        }
        bus.record().sink = [&recordFile](const QJsonObject &line) {
            recordFile.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
            recordFile.write("\n");
            recordFile.flush();
        };
    }
    for (const auto &amp : opt.amplifiers)
        bus.addAmplifier(amp);

    QString why;
    std::unique_ptr<talvo::sim::SerialServer> server =
        opt.tcp ? talvo::sim::SerialServer::listenTcp(opt.tcp->host, opt.tcp->port, &why)
        : opt.devicePath.isEmpty() ? talvo::sim::SerialServer::openPseudoTerminal(&why)
                                   : talvo::sim::SerialServer::openDevice(opt.devicePath, &why);
    if (!server) {
        err << "talvo-ampsim: " << why << "\n";
        return kExitFailed;
    }
    g_server = server.get();
    installStopHandlers();

    // The device path (or tcp://HOST:PORT) first and alone on its line: scripts and tests read
    // it from here.
    std::printf("%s\n", server->devicePath().toLocal8Bit().constData());
    std::fflush(stdout);

    for (std::size_t i = 0; i < bus.amplifierCount(); ++i) {
        const auto &a = bus.amplifier(i);
        err << "talvo-ampsim: amplifier ID " << a.id() << " sub-address " << a.subAddress() << ", firmware "
            << a.firmwareMajor() << "." << a.firmwareMinor() << ", bridge " << (a.bridgeAvailable() ? "yes" : "no")
            << ", program " << a.runningProgram() << "\n";
    }
    err.flush();

    const bool ok = server->serve(bus, &why);
    g_server = nullptr;
    bus.flush();
    if (!ok) {
        err << "talvo-ampsim: " << why << "\n";
        return kExitFailed;
    }
    return kExitOk;
}
