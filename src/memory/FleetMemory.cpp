#include "memory/FleetMemory.h"

#include <QDir>
#include <QJsonObject>

#include "devices/ConnectProcedure.h"
#include "link/Link.h"
#include "memory/MemoryController.h"
#include "state/AppState.h"

namespace talvo {

namespace {

int ProgramCount(const MemoryImage &image)
{
    int count = 0;
    for (const RecordImage &record : image)
        count += RecordInUse(record) ? 1 : 0;
    return count;
}

QString ProgramsWord(int count)
{
    return count == 1 ? QStringLiteral("1 program") : QStringLiteral("%1 programs").arg(count);
}

// The memory controller as a script drives it: every question answered yes (the folder was
// chosen on purpose), every notice kept for the result instead of shown.
MemoryPrompts ScriptedPrompts()
{
    MemoryPrompts prompts;
    prompts.ask = [](const QString &, const QString &, bool) { return true; };
    prompts.tell = [](const QString &, const QString &, bool) {};
    prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = kYes; };
    return prompts;
}

class BackupWork : public FleetWork {
public:
    explicit BackupWork(QString path) : path_(std::move(path)) {}

    bool Run(FleetSession &session, FleetResult &result) override
    {
        MemoryController memory(session.state, session.link, session.applier);
        memory.SetPrompts(ScriptedPrompts());
        MemoryImage image;
        const MemoryOutcome read = memory.ReadMemory(image);
        result.details.insert(QStringLiteral("file"), path_);
        if (!read.ok) {
            // A slot that did not arrive must not become a blank record in a file that looks
            // whole: no file at all.
            result.problem = session.StopRequested()
                                 ? QStringLiteral("stopped during the backup; %1 was not written").arg(path_)
                                 : QStringLiteral("%1 %2 was not written.").arg(read.message, path_);
            return false;
        }
        const FileResult written = WriteMemoryFile(path_, image);
        if (!written) {
            result.problem = written.message;
            return false;
        }
        const int programs = ProgramCount(image);
        result.details.insert(QStringLiteral("programs"), programs);
        result.done = QStringLiteral("backed up %1 slots (%2) to %3").arg(kMemorySlotCount).arg(ProgramsWord(programs), path_);
        return true;
    }

private:
    QString path_;
};

class RestoreWork : public FleetWork {
public:
    RestoreWork(const MemoryImage &image, QString path, bool mute) : image_(image), path_(std::move(path)), mute_(mute) {}

    bool Run(FleetSession &session, FleetResult &result) override
    {
        MemoryController memory(session.state, session.link, session.applier);
        memory.SetPrompts(ScriptedPrompts());
        memory.nameDialog().muteOption = mute_ ? 1 : 0;
        const MemoryOutcome outcome = memory.WriteMemory(image_);
        result.details.insert(QStringLiteral("file"), path_);
        if (!outcome.ok) {
            result.problem = session.StopRequested()
                                 ? QStringLiteral("stopped during the restore; the memory may be partly written")
                                 : outcome.message;
            return false;
        }
        const int programs = ProgramCount(image_);
        result.details.insert(QStringLiteral("programs"), programs);
        result.done = QStringLiteral("restored %1 slots (%2) from %3").arg(kMemorySlotCount).arg(ProgramsWord(programs), path_);
        return true;
    }

private:
    MemoryImage image_;
    QString path_;
    bool mute_;
};

// An amplifier the restore has no checked file for (LoadFleetRestore refuses the run first, so
// this stands only between a caller that skipped it and a restore of nothing).
class MissingWork : public FleetWork {
public:
    bool Run(FleetSession &, FleetResult &result) override
    {
        result.problem = QStringLiteral("no memory file was read for it; nothing written");
        return false;
    }
};

}  // namespace

QString FleetMemoryFileName(const QString &port, const FleetAddress &amplifier)
{
    QString name = QStringLiteral("%1-ID%2").arg(PortFileName(port)).arg(amplifier.id, 3, 10, QLatin1Char('0'));
    if (amplifier.sub)
        name += QStringLiteral("-SUB%1").arg(*amplifier.sub);
    return name + QLatin1String(kMemoryFileExtension);
}

QString FleetMemoryFilePath(const QString &folder, const QString &port, const FleetAddress &amplifier)
{
    return QDir(folder).filePath(FleetMemoryFileName(port, amplifier));
}

QString FleetFileNameClash(const FleetPlan &plan)
{
    for (std::size_t i = 0; i < plan.buses.size(); ++i) {
        for (std::size_t j = i + 1; j < plan.buses.size(); ++j) {
            if (PortFileName(plan.buses[i].port) == PortFileName(plan.buses[j].port))
                return QStringLiteral("the ports %1 and %2 would both write files named %3-ID...")
                    .arg(plan.buses[i].port, plan.buses[j].port, PortFileName(plan.buses[i].port));
        }
    }
    return QString();
}

FleetWorkFactory FleetBackupFactory(const FleetPlan &plan, const QString &folder)
{
    std::vector<QString> ports;
    for (const FleetBus &bus : plan.buses)
        ports.push_back(bus.port);
    return [ports, folder](int busIndex, const FleetAddress &a) -> std::unique_ptr<FleetWork> {
        return std::make_unique<BackupWork>(FleetMemoryFilePath(folder, ports.at(static_cast<std::size_t>(busIndex)), a));
    };
}

FleetRestoreSet LoadFleetRestore(const FleetPlan &plan, const QString &folder)
{
    FleetRestoreSet set;
    for (std::size_t b = 0; b < plan.buses.size(); ++b) {
        const FleetBus &bus = plan.buses[b];
        for (const FleetAddress &a : bus.amplifiers) {
            const QString path = FleetMemoryFilePath(folder, bus.port, a);
            MemoryImage image;
            const FileResult read = ReadCheckedMemoryFile(path, image);
            if (!read)
                set.problems << read.message;
            else
                set.images[{static_cast<int>(b), a.text()}] = FleetRestoreSet::Entry{path, image};
        }
    }
    return set;
}

FleetWorkFactory FleetRestoreFactory(std::shared_ptr<const FleetRestoreSet> set, bool mute)
{
    return [set, mute](int busIndex, const FleetAddress &a) -> std::unique_ptr<FleetWork> {
        const auto it = set->images.find({busIndex, a.text()});
        if (it == set->images.end())
            return std::make_unique<MissingWork>();
        return std::make_unique<RestoreWork>(it->second.image, it->second.path, mute);
    };
}

}  // namespace talvo
