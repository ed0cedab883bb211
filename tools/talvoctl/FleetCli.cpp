#include "FleetCli.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include "CliSupport.h"
#include "Commands.h"

namespace talvo::cli {

namespace {

constexpr int kBarWidth = 30;

// Ctrl+C for the length of a fleet run: the handler only writes a byte into a pipe, and the
// main thread's event loop hears it and asks the runner to stop. Whatever ends the process
// meanwhile, the signal does not: the frames on the line finish, each link disconnects, and the
// summary is printed.
int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const int saved = errno;
    if (g_stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    }
    errno = saved;
}

class StopSignal {
public:
    explicit StopSignal(std::function<void()> onStop)
    {
        if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            g_stopPipe[0] = g_stopPipe[1] = -1;
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [onStop = std::move(onStop)] {
            char bytes[16];
            while (::read(g_stopPipe[0], bytes, sizeof bytes) > 0) {
            }
            onStop();
        });
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
        installed_ = true;
    }
    ~StopSignal()
    {
        if (installed_) {
            sigaction(SIGINT, &oldInt_, nullptr);
            sigaction(SIGTERM, &oldTerm_, nullptr);
        }
        notifier_.reset();
        for (int &fd : g_stopPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    StopSignal(const StopSignal &) = delete;
    StopSignal &operator=(const StopSignal &) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    bool installed_ = false;
};

bool IsTerminal(QTextStream &stream)
{
    const auto *file = qobject_cast<QFile *>(stream.device());
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

QString Where(const FleetResult &r)
{
    return QStringLiteral("ID %1 on %2").arg(r.amplifier.text(), r.port);
}

// What the summary's last column says: what was done, then why it is not done.
QString Account(const FleetResult &r)
{
    if (r.problem.isEmpty())
        return r.done;
    if (r.done.isEmpty())
        return r.problem;
    return r.done + QStringLiteral("; ") + r.problem;
}

QString Padded(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

void PrintTable(const std::vector<FleetResult> &results, QTextStream &out)
{
    int busWidth = 3;
    for (const FleetResult &r : results)
        busWidth = std::max(busWidth, static_cast<int>(r.port.size()));
    out << Padded(QStringLiteral("bus"), busWidth) << "  " << Padded(QStringLiteral("ID"), 7) << "  "
        << Padded(QStringLiteral("result"), 9) << "  " << QStringLiteral("seconds").rightJustified(7) << "  what was done\n";
    for (const FleetResult &r : results) {
        out << Padded(r.port, busWidth) << "  " << Padded(r.amplifier.text(), 7) << "  "
            << Padded(FleetStatusText(r.status), 9) << "  "
            << (r.status == FleetStatus::NotDone ? QStringLiteral("-") : QString::number(r.seconds, 'f', 1)).rightJustified(7)
            << "  " << Account(r) << '\n';
    }
}

QString Counts(const std::vector<FleetResult> &results)
{
    QStringList parts;
    for (FleetStatus s : {FleetStatus::Done, FleetStatus::NoAnswer, FleetStatus::Failed, FleetStatus::Stopped,
                          FleetStatus::NotDone}) {
        const auto n = std::count_if(results.begin(), results.end(), [s](const FleetResult &r) { return r.status == s; });
        if (n > 0 || s == FleetStatus::Done)
            parts << QStringLiteral("%1 %2").arg(n).arg(FleetStatusText(s));
    }
    return QStringLiteral("%1 amplifier%2: %3")
        .arg(results.size())
        .arg(results.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(parts.join(QStringLiteral(", ")));
}

QJsonObject ResultJson(const FleetResult &r)
{
    QJsonObject o = r.details;
    o.insert(QStringLiteral("bus"), r.port);
    o.insert(QStringLiteral("id"), r.amplifier.id);
    o.insert(QStringLiteral("sub"), r.amplifier.sub ? QJsonValue(*r.amplifier.sub) : QJsonValue());
    o.insert(QStringLiteral("result"), FleetStatusText(r.status));
    o.insert(QStringLiteral("done"), r.done);
    o.insert(QStringLiteral("problem"), r.problem);
    o.insert(QStringLiteral("seconds"), std::round(r.seconds * 10) / 10);
    return o;
}

}  // namespace

QStringList TakeAllPorts(const QStringList &args, QStringList &rest, QString &problem)
{
    QStringList ports;
    rest.clear();
    for (qsizetype i = 0; i < args.size(); ++i) {
        std::optional<QString> value;
        QString why;
        if (TakeOption(args, i, QStringLiteral("--port"), value, why)) {
            if (!why.isEmpty()) {
                problem = why;
                return {};
            }
            ports << *value;
            continue;
        }
        rest << args[i];
    }
    return ports;
}

bool WantsFleet(const QStringList &args)
{
    QStringList rest;
    QString problem;
    const QStringList ports = TakeAllPorts(args, rest, problem);
    if (!problem.isEmpty())
        return false;  // the single command says what is wrong, as it always did
    if (ports.size() > 1)
        return true;
    for (const QString &port : ports) {
        if (port.contains(QLatin1Char('=')))
            return true;
    }
    for (qsizetype i = 0; i < rest.size(); ++i) {
        std::optional<QString> id;
        QString why;
        if (TakeOption(rest, i, QStringLiteral("--id"), id, why) && id && LooksLikeIdList(*id))
            return true;
    }
    return false;
}

std::optional<FleetPlan> FleetPlanFrom(const QStringList &ports, const std::optional<QString> &idText,
                                       const std::optional<QString> &subText, bool mute, QString &problem)
{
    if (ports.isEmpty()) {
        problem = QStringLiteral("missing --port COMn, a device path or tcp://HOST:PORT");
        return std::nullopt;
    }
    if (subText) {
        problem = QStringLiteral("--sub goes with a single --id; in a list write ID.SUB (5.2)");
        return std::nullopt;
    }
    std::optional<std::vector<FleetAddress>> common;
    if (idText) {
        QString why;
        common = ParseIdList(*idText, &why);
        if (!common) {
            problem = QStringLiteral("--id '%1': %2").arg(*idText, why);
            return std::nullopt;
        }
    }
    FleetPlan plan;
    plan.mute = mute;
    QStringList seen;
    for (const QString &text : ports) {
        QString why;
        const std::optional<FleetPortSpec> spec = ParsePortSpec(text, &why);
        if (!spec) {
            problem = why;
            return std::nullopt;
        }
        if (!ResolveFleetPort(spec->port, &why)) {
            problem = why;
            return std::nullopt;
        }
        const QString key = spec->port.startsWith(QLatin1String("com"), Qt::CaseInsensitive) ? spec->port.toUpper() : spec->port;
        if (seen.contains(key)) {
            problem = QStringLiteral("--port %1 given more than once").arg(spec->port);
            return std::nullopt;
        }
        seen << key;
        FleetBus bus;
        bus.port = spec->port;
        if (spec->ids) {
            bus.amplifiers = *spec->ids;
        } else if (common) {
            bus.amplifiers = *common;
        } else {
            problem = QStringLiteral("missing --id LIST for --port %1 (or give it as %1=LIST)").arg(spec->port);
            return std::nullopt;
        }
        plan.buses.push_back(bus);
    }
    return plan;
}

int RunFleet(FleetRunner &runner, const char *command, const QString &label, bool json, QTextStream &out,
             QTextStream &err, const FleetTable &table)
{
    const bool bar = IsTerminal(err);
    bool stopping = false;
    StopSignal signal([&] {
        if (!stopping) {
            if (bar)
                err << "\r\033[K";
            err << "talvoctl " << command
                << ": stopping: the frames on the line finish, then each amplifier is disconnected\n";
            err.flush();
        }
        stopping = true;
        runner.RequestStop();
    });

    const auto drawBar = [&] {
        if (!bar)
            return;
        const int planned = std::max(1, runner.Planned());
        const int filled = kBarWidth * runner.Finished() / planned;
        err << "\r[" << QString(filled, QLatin1Char('#')) << QString(kBarWidth - filled, QLatin1Char('.')) << "] "
            << runner.Finished() << '/' << runner.Planned();
        err.flush();
    };
    QObject::connect(&runner, &FleetRunner::busPlanned, [&](int, int) { drawBar(); });
    QObject::connect(&runner, &FleetRunner::busFailed, [&](int bus, const QString &problem) {
        if (bar)
            err << "\r\033[K";
        err << "talvoctl " << command << ": " << runner.plan().buses[static_cast<std::size_t>(bus)].port << ": "
            << problem << '\n';
        err.flush();
        drawBar();
    });
    QObject::connect(&runner, &FleetRunner::amplifierFinished, [&](const FleetResult &r) {
        if (bar)
            err << "\r\033[K";
        err << '[' << runner.Finished() << '/' << runner.Planned() << "] " << r.port << " ID " << r.amplifier.text()
            << ": " << FleetStatusText(r.status);
        const QString account = Account(r);
        if (!account.isEmpty() && account != FleetStatusText(r.status))
            err << ": " << account;
        if (r.status != FleetStatus::NotDone)
            err << QStringLiteral(" (%1 s)").arg(r.seconds, 0, 'f', 1);
        err << '\n';
        err.flush();
        drawBar();
    });

    runner.RunToEnd();
    if (bar)
        err << "\r\033[K";

    const std::vector<FleetResult> results = runner.Results();
    if (json) {
        QJsonArray amplifiers;
        for (const FleetResult &r : results)
            amplifiers.append(ResultJson(r));
        QJsonArray buses;
        for (std::size_t i = 0; i < runner.plan().buses.size(); ++i) {
            QJsonObject b{{QStringLiteral("port"), runner.plan().buses[i].port}};
            if (!runner.BusProblems()[i].isEmpty())
                b.insert(QStringLiteral("problem"), runner.BusProblems()[i]);
            buses.append(b);
        }
        QJsonObject counts;
        for (FleetStatus s : {FleetStatus::Done, FleetStatus::NoAnswer, FleetStatus::Failed, FleetStatus::Stopped,
                              FleetStatus::NotDone}) {
            counts.insert(FleetStatusText(s), static_cast<int>(std::count_if(
                                                  results.begin(), results.end(),
                                                  [s](const FleetResult &r) { return r.status == s; })));
        }
        out << QJsonDocument(QJsonObject{{QStringLiteral("command"), label},
                                         {QStringLiteral("stopped"), runner.StopRequested()},
                                         {QStringLiteral("buses"), buses},
                                         {QStringLiteral("amplifiers"), amplifiers},
                                         {QStringLiteral("counts"), counts}})
                   .toJson(QJsonDocument::Indented);
    } else {
        if (table)
            table(results, out);
        else
            PrintTable(results, out);
        out << Counts(results) << '\n';
    }
    out.flush();

    QStringList notDone;
    for (const FleetResult &r : results) {
        if (r.status != FleetStatus::Done)
            notDone << QStringLiteral("%1 (%2)").arg(Where(r), FleetStatusText(r.status));
    }
    bool busFailed = false;
    for (const QString &p : runner.BusProblems())
        busFailed = busFailed || !p.isEmpty();
    if (!notDone.isEmpty())
        err << "talvoctl " << command << ": not done: " << notDone.join(QStringLiteral(", ")) << '\n';
    err.flush();
    return notDone.isEmpty() && !busFailed ? kExitOk : kExitFailed;
}

}  // namespace talvo::cli
