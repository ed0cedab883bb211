// talvoctl memory: the amplifier's twenty program slots from the command line, through the
// same memory controller as the memory window, so that an installer can back up and restore
// every amplifier of a bus from a script.

#include <optional>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "CliSupport.h"
#include "Commands.h"
#include "FleetCli.h"
#include "devices/ConnectProcedure.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "memory/MemoryController.h"
#include "memory/MemoryFile.h"
#include "programs/ProgramFile.h"
#include "programs/Windows1252.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "memory";
const char *const kShortUsage = "usage: talvoctl memory ACTION --port PORT --id N [--sub S] ...; talvoctl memory --help";
const char *const kUsage =
    "usage: talvoctl memory ACTION --port PORT --id N [--sub S] [ARGS...]\n"
    "\n"
    "Connects as the Connect window does (outputs not muted), runs the action on the\n"
    "amplifier's twenty program slots as the memory window does, and disconnects.\n"
    "\n"
    "Actions:\n"
    "  list [--json]                 one line per slot: `SLOT: NAME`, `SLOT: (empty)`, or\n"
    "                                `SLOT: (no answer)` (then exit 1)\n"
    "  read SLOT OUT.VKP             save one slot as a program file (written only when the\n"
    "                                whole program arrived)\n"
    "  backup OUT.DMP                save all twenty slots as a memory file; when a slot that\n"
    "                                holds a program does not arrive, nothing is written (exit 1)\n"
    "  write SLOT FILE.VKP [--name NAME] [--mute]\n"
    "                                write a program file into a slot under NAME (default: the\n"
    "                                name stored in the file); --mute stores both gains muted\n"
    "  restore FILE.DMP [--mute]     write a memory file: used records into their own slots,\n"
    "                                blank records delete their slots\n"
    "  delete SLOT|all               delete one slot or all twenty\n"
    "  recall SLOT                   make the amplifier run the slot (its outputs muted)\n"
    "\n"
    "SLOT is 1..20. Exit status: 0 done, 1 failed (offline, port, a slot that did not answer or\n"
    "may not have been stored), 2 refused (bad arguments or input file; nothing sent).\n"
    "\n"
    "Many amplifiers (list, backup, restore, recall): --id LIST (1-8,12,20-24; 5.2 for ID 5 at\n"
    "sub-address 2) and --port given several times (PORT=LIST for the IDs that port holds) do\n"
    "each amplifier in turn, every bus at once, and end with a summary (--json: as JSON);\n"
    "Ctrl+C stops cleanly. backup DIR/ writes DIR/<port>-ID012.DMP per amplifier (ID005-SUB2\n"
    "with a sub-address; <port> is COM3, ttyUSB0 for /dev/ttyUSB0, rack-a-4001 for\n"
    "tcp://rack-a:4001), each whole or not at all; restore DIR/ reads the same names and sends\n"
    "nothing unless every file is there and passes the check (exit 2). Exit 1 when any\n"
    "amplifier was not done (named).\n";
// The longest wait for frames still queued when the tool ends.
constexpr double kDrainMs = 3000;

struct Arguments {
    QString action;
    std::optional<QString> port, id, sub, name;
    bool json = false;
    bool mute = false;
    QStringList positional;
};

std::optional<int> SlotFrom(const QString &text)
{
    const auto n = ParseNumber(text, 1, kMemorySlotCount);
    return n ? std::optional<int>(static_cast<int>(*n)) : std::nullopt;
}

QString TrimmedRight(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

}  // namespace

int RunMemoryCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.isEmpty())
        return Refuse(err, kName, QStringLiteral("missing the action (%1)").arg(QLatin1String(kShortUsage)));
    if (HelpAsked(args, out, kUsage))
        return kExitOk;
    if (WantsMemoryFleet(args))
        return RunMemoryFleet(args, out, err);

    QString problem;
    const std::optional<CommandLine> line =
        ParseCommandLine(args.mid(1), {kAmplifierOptions + QStringList{"--name"}, {"--json", "--mute"}, true}, problem);
    if (!line)
        return Refuse(err, kName, QStringLiteral("%1 (%2)").arg(problem, QLatin1String(kShortUsage)));
    Arguments a;
    a.action = args.first();
    a.port = line->value("--port");
    a.id = line->value("--id");
    a.sub = line->value("--sub");
    a.name = line->value("--name");
    a.json = line->flag("--json");
    a.mute = line->flag("--mute");
    a.positional = line->positional;

    // Everything is checked before anything goes to the bus.
    const QHash<QString, int> positionalCount{{QStringLiteral("list"), 0},   {QStringLiteral("read"), 2},
                                              {QStringLiteral("backup"), 1}, {QStringLiteral("write"), 2},
                                              {QStringLiteral("restore"), 1}, {QStringLiteral("delete"), 1},
                                              {QStringLiteral("recall"), 1}};
    if (!positionalCount.contains(a.action))
        return Refuse(err, kName,
                      QStringLiteral("unknown action '%1': list, read, backup, write, restore, delete or recall")
                          .arg(a.action));
    if (a.positional.size() != positionalCount.value(a.action))
        return Refuse(err, kName,
                      QStringLiteral("%1 takes %2 argument(s), %3 given (talvoctl memory --help)")
                          .arg(a.action)
                          .arg(positionalCount.value(a.action))
                          .arg(a.positional.size()));
    if (a.json && a.action != QLatin1String("list"))
        return Refuse(err, kName, QStringLiteral("--json goes with list only"));
    if (a.mute && a.action != QLatin1String("write") && a.action != QLatin1String("restore"))
        return Refuse(err, kName, QStringLiteral("--mute goes with write and restore only"));
    if (a.name && a.action != QLatin1String("write"))
        return Refuse(err, kName, QStringLiteral("--name goes with write only"));

    int slot = 0;
    const bool takesSlot = a.action == QLatin1String("read") || a.action == QLatin1String("write") ||
                           a.action == QLatin1String("recall") ||
                           (a.action == QLatin1String("delete") && a.positional.first() != QLatin1String("all"));
    if (takesSlot) {
        const auto n = SlotFrom(a.positional.first());
        if (!n)
            return Refuse(err, kName, QStringLiteral("slot '%1' is not a number in 1..20").arg(a.positional.first()));
        slot = *n;
    }
    const QString file = a.positional.isEmpty() ? QString() : a.positional.last();
    if ((a.action == QLatin1String("read") || a.action == QLatin1String("backup")) && file.isEmpty())
        return Refuse(err, kName, QStringLiteral("the output file name is empty"));

    RecordImage record{};
    MemoryImage image{};
    QString nameText;
    if (a.action == QLatin1String("write")) {
        const FileResult read = ReadCheckedRecordFile(file, record);
        if (!read)
            return Refuse(err, kName, read.message);
        if (!RecordInUse(record))
            return Refuse(err, kName, QStringLiteral("%1 holds a blank program (not in use); nothing to write").arg(file));
        std::array<std::uint8_t, kNameSize> stored{};
        std::copy_n(record.begin(), kNameSize, stored.begin());
        nameText = ProgramNameText(stored);
        if (a.name) {
            if (a.name->size() > kNameSize)
                return Refuse(err, kName, QStringLiteral("--name '%1' is longer than 10 characters").arg(*a.name));
            qsizetype bad = -1;
            if (!StringToWindows1252(*a.name, &bad))
                return Refuse(err, kName,
                              QStringLiteral("--name '%1': the character '%2' cannot be stored in a program name")
                                  .arg(*a.name, a.name->at(bad)));
            nameText = *a.name;
        }
    } else if (a.action == QLatin1String("restore")) {
        const FileResult read = ReadCheckedMemoryFile(file, image);
        if (!read)
            return Refuse(err, kName, read.message);
    }

    const std::optional<ConnectRequest> request =
        ConnectRequestFrom(a.port, a.id, a.sub, false, kName, QLatin1String(kShortUsage), err);
    if (!request)
        return kExitRefused;
    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));

    AppState state;
    Link link(state.link);
    int status = kExitOk;
    if (!OpenLinkOnPort(link, *a.port, kName, err, status))
        return status;
    LinkController linkController(link);
    ProgramApplier applier(state);
    ConnectController connect(state, link, linkController, applier);
    MemoryController memory(state, link, applier);

    // The operator's part is in the arguments: every question is answered yes (the files were
    // named on purpose), and what the window would say goes to stderr.
    MemoryPrompts prompts;
    prompts.ask = [](const QString &, const QString &, bool) { return true; };
    prompts.tell = [&err, &link](const QString &, const QString &text, bool) {
        // A lost port was said as it happened, with its reason; what follows only repeats it.
        if (link.PortLost())
            return;
        err << "talvoctl memory: " << text << '\n';
        err.flush();
    };
    prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = kYes; };
    memory.SetPrompts(prompts);

    const bool online = connect.Connect(*request);
    if (!online) {
        const QString why = ConnectFailureClause(connect.LastOutcome(), request->id, *a.port);
        if (!why.isEmpty())
            err << "talvoctl memory: " << why << '\n';
        err.flush();
        state.link.shuttingDown = kYes;
        connect.Disconnect();
        link.WaitForIdle(kDrainMs);
        return kExitFailed;
    }

    bool ok = true;
    if (a.action == QLatin1String("list")) {
        ok = memory.Refresh().ok;
        QJsonArray rows;
        for (int i = 1; i <= kMemorySlotCount; ++i) {
            const SlotState &s = memory.slotState(i);
            QJsonObject o{{QStringLiteral("slot"), i}};
            if (!s.answered) {
                o.insert(QStringLiteral("status"), QStringLiteral("no answer"));
                if (!a.json)
                    out << i << ": (no answer)\n";
            } else if (s.inUse) {
                o.insert(QStringLiteral("status"), QStringLiteral("program"));
                o.insert(QStringLiteral("name"), TrimmedRight(s.name));
                if (!a.json)
                    out << i << ": " << TrimmedRight(s.name) << '\n';
            } else {
                o.insert(QStringLiteral("status"), QStringLiteral("empty"));
                if (!a.json)
                    out << i << ": (empty)\n";
            }
            rows.append(o);
            ok = ok && s.answered;
        }
        if (a.json)
            out << QJsonDocument(QJsonObject{{QStringLiteral("slots"), rows}}).toJson(QJsonDocument::Indented);
    } else if (a.action == QLatin1String("read")) {
        ok = memory.SaveSlot(slot, file).ok;
        if (ok)
            out << "saved slot " << slot << " to " << file << '\n';
    } else if (a.action == QLatin1String("backup")) {
        ok = memory.SaveMemory(file, false).ok;
        if (ok)
            out << "saved the memory to " << file << '\n';
    } else if (a.action == QLatin1String("write")) {
        memory.nameDialog().name = nameText;
        memory.nameDialog().muteOption = a.mute ? 1 : 0;
        ok = memory.WriteProgramRecord(record, slot).ok;
        if (ok)
            out << "wrote slot " << slot << '\n';
    } else if (a.action == QLatin1String("restore")) {
        memory.nameDialog().muteOption = a.mute ? 1 : 0;
        ok = memory.WriteMemory(image).ok;
        if (ok)
            out << "restored " << file << '\n';
    } else if (a.action == QLatin1String("delete")) {
        ok = (slot == 0 ? memory.DeleteAll() : memory.Delete(slot)).ok;
        if (ok)
            out << (slot == 0 ? QStringLiteral("deleted all slots") : QStringLiteral("deleted slot %1").arg(slot)) << '\n';
    } else if (a.action == QLatin1String("recall")) {
        ok = memory.Upload(slot).ok;
        if (ok && !memory.slotState(slot).inUse) {
            ok = false;
            err << "talvoctl memory: slot " << slot << " holds no program; nothing was recalled\n";
        } else if (ok) {
            out << "recalled slot " << slot << '\n';
        }
    }
    out.flush();
    err.flush();

    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    return ok ? kExitOk : kExitFailed;
}

}  // namespace talvo::cli
