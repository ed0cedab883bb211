// The fleet form of talvoctl connect and talvoctl memory (list, backup, restore, recall), and
// talvoctl inventory: the same procedures as the single commands, run on the fleet runner over
// ID lists on several buses at once, ending with the summary.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "CliSupport.h"
#include "Commands.h"
#include "FleetCli.h"
#include "devices/BusSearch.h"
#include "devices/ConnectProcedure.h"
#include "memory/FleetMemory.h"
#include "memory/MemoryController.h"
#include "programs/Windows1252.h"
#include "state/AppState.h"

namespace talvo::cli {

namespace {

const char *const kInventoryUsage =
    "usage: talvoctl inventory --port PORT... [--range 1-64|65-128|129-192|193-255] [--json]\n"
    "\n"
    "Searches each bus over the range (default 1-64) as `talvoctl search` does, all buses at\n"
    "once, then connects to each amplifier found in turn and reads its firmware, its mode and\n"
    "the program it runs. Prints one table (bus, ID, sub, firmware, mode, program, time: when\n"
    "the amplifier was read) or, with --json, one JSON document. A port given as PORT=LIST is\n"
    "not searched: the amplifiers of the list are read instead. Ctrl+C stops cleanly.\n"
    "Exit status: 0 every amplifier found was read, 1 one was not (named) or a bus failed,\n"
    "2 refused (bad arguments; nothing sent).\n";

QString TrimmedRight(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

MemoryPrompts QuietPrompts()
{
    MemoryPrompts prompts;
    prompts.ask = [](const QString &, const QString &, bool) { return true; };
    prompts.tell = [](const QString &, const QString &, bool) {};
    prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = kYes; };
    return prompts;
}

QString ModeWord(int mode)
{
    switch (mode) {
    case static_cast<int>(Mode::Bridge):
        return QStringLiteral("bridge");
    case static_cast<int>(Mode::Mono):
        return QStringLiteral("mono");
    default:
        return QStringLiteral("stereo");
    }
}

// ---- The works.

class ConnectWork : public FleetWork {
public:
    bool Run(FleetSession &s, FleetResult &r) override
    {
        const QString firmware = QStringLiteral("%1.%2").arg(s.state.firmwareMajor).arg(s.state.firmwareMinor);
        r.details.insert(QStringLiteral("firmware"), firmware);
        r.details.insert(QStringLiteral("program"), s.state.currentProgram);
        r.details.insert(QStringLiteral("bridge"), s.state.bridgeAvailable);
        r.done = QStringLiteral("ONLINE, firmware %1, program %2, bridge %3")
                     .arg(firmware)
                     .arg(s.state.currentProgram)
                     .arg(s.state.bridgeAvailable ? QStringLiteral("yes") : QStringLiteral("no"));
        if (s.connect.LastOutcome() == ConnectOutcome::OnlineWithoutProgram) {
            r.problem = QStringLiteral("part of its program did not arrive");
            return false;
        }
        return true;
    }
};

class InventoryWork : public FleetWork {
public:
    bool Run(FleetSession &s, FleetResult &r) override
    {
        const QString firmware = QStringLiteral("%1.%2").arg(s.state.firmwareMajor).arg(s.state.firmwareMinor);
        r.details.insert(QStringLiteral("firmware"), firmware);
        r.details.insert(QStringLiteral("program"), s.state.currentProgram);
        r.details.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODate));
        const std::optional<RecordImage> &record = s.connect.LastReadOut();
        if (!record) {
            r.problem = QStringLiteral("part of its program did not arrive; its mode and name are unknown");
            return false;
        }
        const Program program = DecodeProgram(*record);
        const QString name = TrimmedRight(
            Windows1252ToString(QByteArrayView(reinterpret_cast<const char *>(program.name.data()), kNameSize)));
        r.details.insert(QStringLiteral("mode"), ModeWord(program.mode));
        r.details.insert(QStringLiteral("name"), name);
        r.done = QStringLiteral("firmware %1, %2, program %3 %4").arg(firmware, ModeWord(program.mode)).arg(s.state.currentProgram).arg(name);
        return true;
    }
};

class ListWork : public FleetWork {
public:
    bool Run(FleetSession &s, FleetResult &r) override
    {
        MemoryController memory(s.state, s.link, s.applier);
        memory.SetPrompts(QuietPrompts());
        const MemoryOutcome outcome = memory.Refresh();
        QJsonArray slotList;
        QStringList programs;
        QStringList silent;
        for (int i = 1; i <= kMemorySlotCount; ++i) {
            const SlotState &st = memory.slotState(i);
            QJsonObject o{{QStringLiteral("slot"), i}};
            if (!st.answered) {
                o.insert(QStringLiteral("status"), QStringLiteral("no answer"));
                silent << QString::number(i);
            } else if (st.inUse) {
                o.insert(QStringLiteral("status"), QStringLiteral("program"));
                o.insert(QStringLiteral("name"), TrimmedRight(st.name));
                programs << QStringLiteral("%1 %2").arg(i).arg(TrimmedRight(st.name));
            } else {
                o.insert(QStringLiteral("status"), QStringLiteral("empty"));
            }
            slotList.append(o);
        }
        r.details.insert(QStringLiteral("slots"), slotList);
        r.done = programs.isEmpty() ? QStringLiteral("no programs")
                                    : QStringLiteral("%1 program%2: %3")
                                          .arg(programs.size())
                                          .arg(programs.size() == 1 ? QString() : QStringLiteral("s"))
                                          .arg(programs.join(QStringLiteral(", ")));
        if (!silent.isEmpty() || !outcome.ok) {
            r.problem = s.StopRequested() ? QStringLiteral("stopped; the list is incomplete")
                        : silent.isEmpty() ? outcome.message
                                           : QStringLiteral("no answer for slot%1 %2")
                                                 .arg(silent.size() == 1 ? QString() : QStringLiteral("s"))
                                                 .arg(silent.join(QStringLiteral(", ")));
            return false;
        }
        return true;
    }
};

class RecallWork : public FleetWork {
public:
    explicit RecallWork(int slot) : slot_(slot) {}
    bool Run(FleetSession &s, FleetResult &r) override
    {
        MemoryController memory(s.state, s.link, s.applier);
        memory.SetPrompts(QuietPrompts());
        const MemoryOutcome outcome = memory.Upload(slot_);
        if (!outcome.ok) {
            r.problem = s.StopRequested() ? QStringLiteral("stopped during the recall") : outcome.message;
            return false;
        }
        if (!memory.slotState(slot_).inUse) {
            r.problem = QStringLiteral("slot %1 holds no program; nothing was recalled").arg(slot_);
            return false;
        }
        r.details.insert(QStringLiteral("slot"), slot_);
        r.done = QStringLiteral("recalled slot %1").arg(slot_);
        return true;
    }

private:
    int slot_;
};

bool NeedsApplication(const char *command, QTextStream &err, int &status)
{
    if (QCoreApplication::instance())
        return true;
    status = Refuse(err, command, QStringLiteral("needs an application object to run its event loop"));
    return false;
}

// The folder of a fleet backup or restore: named as DIR/ or an existing folder.
bool NamesFolder(const QString &text)
{
    return text.endsWith(QLatin1Char('/')) || QFileInfo(text).isDir();
}

}  // namespace

bool WantsMemoryFleet(const QStringList &args)
{
    if (args.isEmpty())
        return false;
    const QString action = args.first();
    const QStringList rest = args.mid(1);
    if (WantsFleet(rest))
        return true;
    if (action != QLatin1String("backup") && action != QLatin1String("restore"))
        return false;
    QStringList others;
    QString problem;
    TakeAllPorts(rest, others, problem);
    const std::optional<CommandLine> line = ParseCommandLine(
        others, {{QStringLiteral("--id"), QStringLiteral("--sub"), QStringLiteral("--name")}, {"--json", "--mute"}, true}, problem);
    return line && line->positional.size() == 1 && NamesFolder(line->positional.first());
}

int RunMemoryFleet(const QStringList &args, QTextStream &out, QTextStream &err)
{
    constexpr const char *kName = "memory";
    const QString action = args.first();
    QStringList rest;
    QString problem;
    const QStringList ports = TakeAllPorts(args.mid(1), rest, problem);
    if (!problem.isEmpty())
        return Refuse(err, kName, problem);
    const std::optional<CommandLine> line = ParseCommandLine(
        rest, {{QStringLiteral("--id"), QStringLiteral("--sub"), QStringLiteral("--name")}, {"--json", "--mute"}, true}, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (talvoctl memory --help)"));
    const QHash<QString, int> positionalCount{{QStringLiteral("list"), 0},
                                              {QStringLiteral("backup"), 1},
                                              {QStringLiteral("restore"), 1},
                                              {QStringLiteral("recall"), 1}};
    if (!positionalCount.contains(action))
        return Refuse(err, kName,
                      QStringLiteral("%1 goes to one amplifier: give one --port and a single --id N (ID lists and "
                                     "several ports go with list, backup, restore and recall)")
                          .arg(action));
    if (line->positional.size() != positionalCount.value(action))
        return Refuse(err, kName,
                      QStringLiteral("%1 takes %2 argument(s), %3 given (talvoctl memory --help)")
                          .arg(action)
                          .arg(positionalCount.value(action))
                          .arg(line->positional.size()));
    if (line->value(QStringLiteral("--name")))
        return Refuse(err, kName, QStringLiteral("--name goes with write only"));
    const bool mute = line->flag(QStringLiteral("--mute"));
    if (mute && action != QLatin1String("restore"))
        return Refuse(err, kName, QStringLiteral("--mute goes with write and restore only"));
    int slot = 0;
    if (action == QLatin1String("recall")) {
        const auto n = ParseNumber(line->positional.first(), 1, kMemorySlotCount);
        if (!n)
            return Refuse(err, kName, QStringLiteral("slot '%1' is not a number in 1..20").arg(line->positional.first()));
        slot = static_cast<int>(*n);
    }
    QString folder;
    if (action == QLatin1String("backup") || action == QLatin1String("restore")) {
        folder = line->positional.first();
        if (!QFileInfo(folder).isDir())
            return Refuse(err, kName,
                          QStringLiteral("%1 of several amplifiers needs a folder: %2 is none").arg(action, folder));
    }

    std::optional<FleetPlan> plan =
        FleetPlanFrom(ports, line->value(QStringLiteral("--id")), line->value(QStringLiteral("--sub")), false, problem);
    if (!plan)
        return Refuse(err, kName, problem);

    FleetWorkFactory factory;
    if (action == QLatin1String("list")) {
        factory = [](int, const FleetAddress &) { return std::make_unique<ListWork>(); };
    } else if (action == QLatin1String("recall")) {
        factory = [slot](int, const FleetAddress &) { return std::make_unique<RecallWork>(slot); };
    } else {
        if (const QString clash = FleetFileNameClash(*plan); !clash.isEmpty())
            return Refuse(err, kName, clash);
        if (action == QLatin1String("backup")) {
            factory = FleetBackupFactory(*plan, folder);
        } else {
            auto set = std::make_shared<FleetRestoreSet>(LoadFleetRestore(*plan, folder));
            if (!set->problems.isEmpty())
                return Refuse(err, kName,
                              QStringLiteral("nothing was sent: %1").arg(set->problems.join(QStringLiteral("; "))));
            factory = FleetRestoreFactory(set, mute);
        }
    }
    int status = kExitOk;
    if (!NeedsApplication(kName, err, status))
        return status;
    FleetRunner runner(*plan, factory);
    return RunFleet(runner, kName, QStringLiteral("memory ") + action, line->flag(QStringLiteral("--json")), out, err);
}

int RunConnectFleet(const QStringList &args, QTextStream &out, QTextStream &err)
{
    constexpr const char *kName = "connect";
    QStringList rest;
    QString problem;
    const QStringList ports = TakeAllPorts(args, rest, problem);
    if (!problem.isEmpty())
        return Refuse(err, kName, problem);
    const std::optional<CommandLine> line = ParseCommandLine(
        rest, {{QStringLiteral("--id"), QStringLiteral("--sub"), QStringLiteral("--save")}, {"--mute", "--json"}, false}, problem);
    if (!line)
        return Refuse(err, kName, problem);
    if (line->value(QStringLiteral("--save")))
        return Refuse(err, kName, QStringLiteral("--save goes with one amplifier (a single --id N on one --port)"));
    const std::optional<FleetPlan> plan = FleetPlanFrom(ports, line->value(QStringLiteral("--id")),
                                                        line->value(QStringLiteral("--sub")), line->flag("--mute"), problem);
    if (!plan)
        return Refuse(err, kName, problem);
    int status = kExitOk;
    if (!NeedsApplication(kName, err, status))
        return status;
    FleetRunner runner(*plan, [](int, const FleetAddress &) { return std::make_unique<ConnectWork>(); });
    return RunFleet(runner, kName, QStringLiteral("connect"), line->flag(QStringLiteral("--json")), out, err);
}

int RunInventoryCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    constexpr const char *kName = "inventory";
    if (HelpAsked(args, out, kInventoryUsage))
        return kExitOk;
    QStringList rest;
    QString problem;
    const QStringList ports = TakeAllPorts(args, rest, problem);
    if (!problem.isEmpty())
        return Refuse(err, kName, problem);
    const std::optional<CommandLine> line = ParseCommandLine(rest, {{QStringLiteral("--range")}, {"--json"}, false}, problem);
    if (!line)
        return Refuse(err, kName, QStringLiteral("%1 (talvoctl inventory --help)").arg(problem));
    if (ports.isEmpty())
        return Refuse(err, kName, QStringLiteral("missing --port COMn, a device path or tcp://HOST:PORT (talvoctl inventory --help)"));
    IdRange range = SearchRange(0);
    if (const std::optional<QString> rangeText = line->value(QStringLiteral("--range"))) {
        bool known = false;
        for (int r = 0; r < kSearchRangeCount; ++r) {
            const IdRange candidate = SearchRange(r);
            if (*rangeText == QStringLiteral("%1-%2").arg(candidate.first).arg(candidate.last)) {
                range = candidate;
                known = true;
            }
        }
        if (!known)
            return Refuse(err, kName, QStringLiteral("--range '%1' is not one of 1-64, 65-128, 129-192, 193-255").arg(*rangeText));
    }
    FleetPlan plan;
    QStringList seen;
    for (const QString &text : ports) {
        const std::optional<FleetPortSpec> spec = ParsePortSpec(text, &problem);
        if (!spec || !ResolveFleetPort(spec->port, &problem))
            return Refuse(err, kName, problem);
        if (seen.contains(spec->port))
            return Refuse(err, kName, QStringLiteral("--port %1 given more than once").arg(spec->port));
        seen << spec->port;
        FleetBus bus;
        bus.port = spec->port;
        if (spec->ids)
            bus.amplifiers = *spec->ids;
        else
            bus.search = range;
        plan.buses.push_back(bus);
    }
    int status = kExitOk;
    if (!NeedsApplication(kName, err, status))
        return status;
    FleetRunner runner(plan, [](int, const FleetAddress &) { return std::make_unique<InventoryWork>(); });
    const auto table = [](const std::vector<FleetResult> &results, QTextStream &o) {
        int busWidth = 3;
        for (const FleetResult &r : results)
            busWidth = std::max(busWidth, static_cast<int>(r.port.size()));
        const auto row = [&](const QString &bus, const QString &id, const QString &sub, const QString &firmware,
                             const QString &mode, const QString &program, const QString &time) {
            o << bus.leftJustified(busWidth) << "  " << id.leftJustified(3) << "  " << sub.leftJustified(5) << "  "
              << firmware.leftJustified(8) << "  " << mode.leftJustified(6) << "  " << program.leftJustified(16) << "  "
              << time << '\n';
        };
        row(QStringLiteral("bus"), QStringLiteral("ID"), QStringLiteral("sub"), QStringLiteral("firmware"),
            QStringLiteral("mode"), QStringLiteral("program"), QStringLiteral("time"));
        for (const FleetResult &r : results) {
            const QJsonObject &d = r.details;
            const QString sub = r.amplifier.sub ? QString::number(*r.amplifier.sub) : QStringLiteral("-");
            if (r.status != FleetStatus::Done && !d.contains(QStringLiteral("firmware"))) {
                row(r.port, QString::number(r.amplifier.id), sub, QStringLiteral("-"), QStringLiteral("-"),
                    QStringLiteral("(%1)").arg(FleetStatusText(r.status)), QStringLiteral("-"));
                continue;
            }
            const QString program = QStringLiteral("%1 %2").arg(d.value(QStringLiteral("program")).toInt())
                                        .arg(d.value(QStringLiteral("name")).toString(QStringLiteral("?")));
            row(r.port, QString::number(r.amplifier.id), sub, d.value(QStringLiteral("firmware")).toString(),
                d.value(QStringLiteral("mode")).toString(QStringLiteral("?")), program.trimmed(),
                d.value(QStringLiteral("time")).toString());
        }
    };
    return RunFleet(runner, kName, QStringLiteral("inventory"), line->flag(QStringLiteral("--json")), out, err, table);
}

}  // namespace talvo::cli
