// talvoctl memory over ID lists on two buses at once (one a pseudo-terminal, one a serial
// server on the network), in this process on the fast clock: the files, the summary, the exit
// codes, amplifiers that do not answer, a hang-up on one bus, and Ctrl+C in the middle.

#include <csignal>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Commands.h"
#include "MemorySupport.h"
#include "devices/Fleet.h"
#include "memory/FleetMemory.h"
#include "tests/programs/TestRecords.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

using testsupport::RunCommand;
using testsupport::SimTransport;
using testsupport::ToolRun;

sim::AmplifierConfig Amp(int id, const std::vector<std::pair<int, RecordImage>> &programs, int sub = 1)
{
    sim::AmplifierConfig config = AmplifierWith(programs);
    config.id = static_cast<std::uint8_t>(id);
    config.subAddress = static_cast<std::uint16_t>(sub);
    return config;
}

MemoryImage SlotsOf(const sim::Amplifier &amp)
{
    MemoryImage image;
    for (int i = 1; i <= kMemorySlotCount; ++i)
        image[i - 1] = amp.slot(i);
    return image;
}

// Every file in the folder (a temporary file left behind would show here).
QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString FileFor(const QString &folder, const SimLine &line, int id, std::optional<int> sub = std::nullopt)
{
    return FleetMemoryFilePath(folder, line.devicePath(), FleetAddress{id, sub});
}

// The summary row of one amplifier: "bus  ID  result  seconds  what was done".
QString RowOf(const QString &out, const SimLine &line, const QString &id)
{
    for (const QString &row : out.split(QLatin1Char('\n'))) {
        const QStringList cells = row.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (cells.size() >= 3 && cells[0] == line.devicePath() && cells[1] == id)
            return row;
    }
    return QString();
}

ToolRun Memory(const QStringList &args)
{
    return RunCommand(cli::RunMemoryCommand, args);
}

// Runs `action` on the simulator's thread the first time a frame that `matches` is recorded.
void AtFrame(SimLine &line, std::function<bool(const CommandFrame &)> matches, std::function<void()> action)
{
    sim::Bus &bus = line.bus();
    auto done = std::make_shared<bool>(false);
    bus.record().sink = [&bus, matches, action, done](const QJsonObject &) {
        const auto &frames = bus.record().frames;
        if (!*done && !frames.empty() && matches(frames.back().frame)) {
            *done = true;
            action();
        }
    };
}

bool Disconnected(SimLine &line)
{
    for (std::size_t i = 0; i < line.bus().amplifierCount(); ++i) {
        if (line.bus().amplifier(i).connected())
            return false;
    }
    return true;
}

TEST(FleetMemoryTool, FilesAreNamedByPortAndThreeDigitId)
{
    EXPECT_EQ(FleetMemoryFileName(QStringLiteral("COM3"), {12, std::nullopt}), QStringLiteral("COM3-ID012.DMP"));
    EXPECT_EQ(FleetMemoryFileName(QStringLiteral("/dev/ttyUSB0"), {5, 2}), QStringLiteral("ttyUSB0-ID005-SUB2.DMP"));
    EXPECT_EQ(FleetMemoryFileName(QStringLiteral("tcp://rack-a:4001"), {255, std::nullopt}),
              QStringLiteral("rack-a-4001-ID255.DMP"));
    EXPECT_EQ(FleetMemoryFilePath(QStringLiteral("/backups/"), QStringLiteral("/dev/pts/4"), {1, std::nullopt}),
              QStringLiteral("/backups/pts-4-ID001.DMP"));
}

TEST(FleetMemoryTool, BackupOverTwoBusesWritesOneFilePerAmplifierAndNamesTheSilentOnes)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine local({Amp(1, {{2, NamedProgram("One", 2)}}), Amp(3, {{7, NamedProgram("Three", 7, -9)}})}, PatientBus());
    SimLine network({Amp(2, {{1, NamedProgram("Two", 1)}}), Amp(5, {{20, NamedProgram("FiveSub", 20)}}, 2)}, PatientBus(),
                    SimTransport::Tcp);
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');

    // ID 2 is on no amplifier of the first bus, ID 7 on none of the second.
    const ToolRun run = Memory({QStringLiteral("backup"), QStringLiteral("--port"), local.devicePath() + QStringLiteral("=1-3"),
                                QStringLiteral("--port"), network.devicePath() + QStringLiteral("=2,5.2,7"), folder});
    local.stop();
    network.stop();

    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    // One whole file per amplifier that was backed up, named by its port and ID, and no other.
    const std::vector<std::tuple<SimLine *, int, std::optional<int>, std::size_t>> saved{
        {&local, 1, std::nullopt, 0}, {&local, 3, std::nullopt, 1}, {&network, 2, std::nullopt, 0}, {&network, 5, 2, 1}};
    QStringList expectedFiles;
    for (const auto &[line, id, sub, index] : saved) {
        const QString path = FileFor(dir.path(), *line, id, sub);
        expectedFiles << QFileInfo(path).fileName();
        MemoryImage image;
        ASSERT_TRUE(ReadMemoryFile(path, image).ok()) << path.toStdString();
        EXPECT_EQ(image, SlotsOf(line->bus().amplifier(index))) << path.toStdString();
    }
    expectedFiles.sort();
    EXPECT_EQ(FilesIn(dir.path()), expectedFiles);
    EXPECT_TRUE(QFileInfo(FileFor(dir.path(), network, 5, 2)).fileName().endsWith(QLatin1String("-ID005-SUB2.DMP")));

    // The summary: a row per amplifier in the order given, bus by bus, then the counts.
    EXPECT_TRUE(RowOf(run.out, local, QStringLiteral("1")).contains(QLatin1String(" done "))) << run.out.toStdString();
    EXPECT_TRUE(RowOf(run.out, local, QStringLiteral("2")).contains(QLatin1String(" no answer "))) << run.out.toStdString();
    EXPECT_TRUE(RowOf(run.out, network, QStringLiteral("5.2")).contains(QLatin1String("-ID005-SUB2.DMP")));
    EXPECT_TRUE(RowOf(run.out, network, QStringLiteral("7")).contains(QLatin1String(" no answer ")));
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("6 amplifiers: 4 done, 2 no answer\n"))) << run.out.toStdString();
    // stderr: one line per amplifier as it finished (no progress bar: not a terminal), then
    // the amplifiers not done, by name.
    const QStringList errLines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(errLines.size(), 7) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1String("\r")), 0);
    EXPECT_EQ(errLines.last(), QStringLiteral("talvoctl memory: not done: ID 2 on %1 (no answer), ID 7 on %2 (no answer)")
                                   .arg(local.devicePath(), network.devicePath()));
    EXPECT_TRUE(Disconnected(local));
    EXPECT_TRUE(Disconnected(network));
}

TEST(FleetMemoryTool, RestoreTakesTheFilesBackByTheSameNames)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage one = NamedProgram("One", 4, -4.5);
    const RecordImage two = NamedProgram("Two", 9, -2.0);
    SimLine sourceLocal({Amp(1, {{4, one}})}, PatientBus());
    SimLine sourceNetwork({Amp(2, {{9, two}})}, PatientBus(), SimTransport::Tcp);
    QTemporaryDir backups;
    const ToolRun backup = Memory({QStringLiteral("backup"), QStringLiteral("--port"), sourceLocal.devicePath(),
                                   QStringLiteral("--port"), sourceNetwork.devicePath(), QStringLiteral("--id"),
                                   QStringLiteral("1,2"), QStringLiteral("--json"), backups.path()});
    sourceLocal.stop();
    sourceNetwork.stop();
    // Each ID looked for on both buses: two done, two that did not answer.
    EXPECT_EQ(backup.status, 1);
    const QJsonObject summary = QJsonDocument::fromJson(backup.out.toUtf8()).object();
    EXPECT_EQ(summary.value(QStringLiteral("command")).toString(), QStringLiteral("memory backup"));
    EXPECT_EQ(summary.value(QStringLiteral("counts")).toObject().value(QStringLiteral("done")).toInt(), 2);
    EXPECT_EQ(summary.value(QStringLiteral("counts")).toObject().value(QStringLiteral("no answer")).toInt(), 2);
    const QJsonArray rows = summary.value(QStringLiteral("amplifiers")).toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("file")).toString(), FileFor(backups.path(), sourceLocal, 1));
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("done"));

    // Other amplifiers on other ports: the files go under those ports' names.
    SimLine targetLocal({Amp(1, {{3, NamedProgram("Old", 3)}})}, PatientBus());
    SimLine targetNetwork({Amp(2, {})}, PatientBus(), SimTransport::Tcp);
    QTemporaryDir restores;
    ASSERT_TRUE(QFile::copy(FileFor(backups.path(), sourceLocal, 1), FileFor(restores.path(), targetLocal, 1)));
    ASSERT_TRUE(QFile::copy(FileFor(backups.path(), sourceNetwork, 2), FileFor(restores.path(), targetNetwork, 2)));

    const ToolRun restore = Memory({QStringLiteral("restore"), QStringLiteral("--port"),
                                    targetLocal.devicePath() + QStringLiteral("=1"), QStringLiteral("--port"),
                                    targetNetwork.devicePath() + QStringLiteral("=2"), restores.path() + QLatin1Char('/')});
    targetLocal.stop();
    targetNetwork.stop();
    ASSERT_EQ(restore.status, 0) << restore.err.toStdString() << restore.out.toStdString();
    EXPECT_TRUE(restore.out.endsWith(QStringLiteral("2 amplifiers: 2 done\n"))) << restore.out.toStdString();
    // What the amplifier keeps of a written header: the name, the slot, the tail 1 1 1.
    for (const auto &[line, slot, record] : {std::tuple{&targetLocal, 4, one}, std::tuple{&targetNetwork, 9, two}}) {
        RecordImage expected = record;
        expected[12] = static_cast<std::uint8_t>(slot);
        expected[13] = expected[14] = expected[15] = 1;
        EXPECT_EQ(line->bus().amplifier(0).slot(slot), expected) << slot;
    }
    EXPECT_FALSE(RecordInUse(targetLocal.bus().amplifier(0).slot(3)));  // blank in the backup
}

// A restore with one bad file sends nothing to any bus.
struct RestoreRefusal {
    const char *name;
    const char *fault;  // what is wrong with the second bus's file
    const char *says;
};

class FleetRestoreRefusal : public ::testing::TestWithParam<RestoreRefusal> {};

TEST_P(FleetRestoreRefusal, SendsNothingAnywhere)
{
    SimLine local({Amp(1, {})}, PatientBus());
    SimLine network({Amp(2, {})}, PatientBus(), SimTransport::Tcp);
    QTemporaryDir dir;
    MemoryImage good = BlankMemoryImage();
    good[0] = NamedProgram("Good", 1);
    ASSERT_TRUE(WriteMemoryFile(FileFor(dir.path(), local, 1), good).ok());
    const QString second = FileFor(dir.path(), network, 2);
    const QByteArray fault(GetParam().fault);
    if (fault == "short") {
        ASSERT_TRUE(WriteRaw(second, QByteArray(2239, '\0')));
    } else if (fault == "out of range") {
        MemoryImage bad = good;
        bad[5] = NamedProgram("Loud", 6, 110.0);  // a gain no editor makes
        ASSERT_TRUE(WriteRaw(second, MemoryImageBytes(bad)));
    }

    const ToolRun run = Memory({QStringLiteral("restore"), QStringLiteral("--port"), local.devicePath() + QStringLiteral("=1"),
                                QStringLiteral("--port"), network.devicePath() + QStringLiteral("=2"), dir.path()});
    local.stop();
    network.stop();

    testsupport::ExpectRefusal(run, "memory", GetParam().says);
    EXPECT_TRUE(run.err.contains(QFileInfo(second).fileName())) << run.err.toStdString();
    EXPECT_TRUE(local.frames().empty());
    EXPECT_TRUE(network.frames().empty());
}

INSTANTIATE_TEST_SUITE_P(FleetMemoryTool, FleetRestoreRefusal,
                         ::testing::Values(RestoreRefusal{"MissingFile", "missing", "nothing was sent"},
                                           RestoreRefusal{"WrongLength", "short", "2239"},
                                           RestoreRefusal{"FailsTheRecordCheck", "out of range", "slot 6, left.gain"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FleetMemoryTool, HangUpOnOneBusLetsTheOtherFinish)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine local({Amp(1, {{1, NamedProgram("A", 1)}}), Amp(2, {{3, NamedProgram("B", 3)}}), Amp(3, {})}, PatientBus());
    SimLine network({Amp(4, {{2, NamedProgram("C", 2)}}), Amp(5, {{5, NamedProgram("D", 5)}})}, PatientBus(),
                    SimTransport::Tcp);
    // The first bus hangs up as ID 2's slot 3 is being read (its block 3 asked for).
    local.hangUpAtFrame([](const sim::FrameRecord &f) {
        return f.frame.address == 2 && f.frame.command == 233 && f.frame.data[0] == 3;
    });
    QTemporaryDir dir;

    const ToolRun run = Memory({QStringLiteral("backup"), QStringLiteral("--port"), local.devicePath() + QStringLiteral("=1-3"),
                                QStringLiteral("--port"), network.devicePath() + QStringLiteral("=4,5"), dir.path()});
    local.stop();
    network.stop();

    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(RowOf(run.out, local, QStringLiteral("1")).contains(QLatin1String(" done ")));
    EXPECT_TRUE(RowOf(run.out, local, QStringLiteral("2")).contains(QLatin1String(" failed "))) << run.out.toStdString();
    EXPECT_TRUE(RowOf(run.out, local, QStringLiteral("3")).contains(QLatin1String(" not done "))) << run.out.toStdString();
    EXPECT_TRUE(RowOf(run.out, network, QStringLiteral("4")).contains(QLatin1String(" done ")));
    EXPECT_TRUE(RowOf(run.out, network, QStringLiteral("5")).contains(QLatin1String(" done ")));
    // Files for the amplifiers done, none for the one cut off or the one not reached.
    QStringList expected{QFileInfo(FileFor(dir.path(), local, 1)).fileName(), QFileInfo(FileFor(dir.path(), network, 4)).fileName(),
                         QFileInfo(FileFor(dir.path(), network, 5)).fileName()};
    expected.sort();
    EXPECT_EQ(FilesIn(dir.path()), expected);
    MemoryImage five;
    ASSERT_TRUE(ReadMemoryFile(FileFor(dir.path(), network, 5), five).ok());
    EXPECT_EQ(five, SlotsOf(network.bus().amplifier(1)));
    EXPECT_TRUE(run.err.contains(QStringLiteral("ID 2 on %1 (failed)").arg(local.devicePath()))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("ID 3 on %1 (not done)").arg(local.devicePath())));
    // The bus that stayed up let each amplifier go.
    EXPECT_TRUE(Disconnected(network));
    EXPECT_EQ(network.frames().back().frame.command, 220);
    EXPECT_EQ(network.frames().back().frame.data[0], 80);
}

TEST(FleetMemoryTool, CtrlCLetsTheFrameFinishDisconnectsEachBusAndLeavesNoPartFile)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine local({Amp(1, {{1, NamedProgram("A", 1)}, {2, NamedProgram("A2", 2)}}), Amp(2, {{3, NamedProgram("B", 3)}})},
                  PatientBus());
    // ID 5 has programs in slots 5..12: its backup has far to go when the stop comes, however
    // late the machine lets the main thread hear of it.
    std::vector<std::pair<int, RecordImage>> many;
    for (int slot = 5; slot <= 12; ++slot)
        many.push_back({slot, NamedProgram("D", slot)});
    SimLine network({Amp(4, {{2, NamedProgram("C", 2)}}), Amp(5, many), Amp(6, {{6, NamedProgram("E", 6)}})}, PatientBus(),
                    SimTransport::Tcp);
    // Ctrl+C while ID 5's slot 5 is being read on the second bus.
    AtFrame(network, [](const CommandFrame &f) { return f.address == 5 && f.command == 234 && f.data[0] == 5; },
            [] { std::raise(SIGINT); });
    QTemporaryDir dir;

    const ToolRun run = Memory({QStringLiteral("backup"), QStringLiteral("--port"), local.devicePath() + QStringLiteral("=1,2"),
                                QStringLiteral("--port"), network.devicePath() + QStringLiteral("=4-6"), QStringLiteral("--json"),
                                dir.path()});
    local.stop();
    network.stop();

    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("talvoctl memory: stopping"))) << run.err.toStdString();
    const QJsonObject summary = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_TRUE(summary.value(QStringLiteral("stopped")).toBool());
    const QJsonArray rows = summary.value(QStringLiteral("amplifiers")).toArray();
    ASSERT_EQ(rows.size(), 5) << run.out.toStdString();  // every amplifier is listed, done or not
    QStringList expectedFiles;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QString result = row.value(QStringLiteral("result")).toString();
        const QString file = row.value(QStringLiteral("file")).toString();
        if (result == QLatin1String("done"))
            expectedFiles << QFileInfo(file).fileName();
        else
            EXPECT_TRUE(result == QLatin1String("stopped") || result == QLatin1String("not done")) << result.toStdString();
    }
    EXPECT_EQ(rows[2].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("done"));      // ID 4
    EXPECT_EQ(rows[3].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("stopped"));   // ID 5
    EXPECT_EQ(rows[4].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("not done"));  // ID 6
    // Only whole files of the amplifiers done: nothing of the one stopped, no temporary file.
    expectedFiles.sort();
    EXPECT_EQ(FilesIn(dir.path()), expectedFiles);
    for (const QString &name : expectedFiles)
        EXPECT_EQ(QFileInfo(dir.filePath(name)).size(), kMemoryFileSize) << name.toStdString();
    // Every frame went out whole, and each bus let its amplifier go.
    for (SimLine *line : {&local, &network}) {
        EXPECT_TRUE(line->bus().record().garbage.empty());
        EXPECT_TRUE(Disconnected(*line));
        ASSERT_FALSE(line->frames().empty());
        EXPECT_EQ(line->frames().back().frame.command, 220);
        EXPECT_EQ(line->frames().back().frame.data[0], 80);
    }
    // ID 6 was never reached: nothing was sent to it.
    for (const auto &f : network.frames())
        EXPECT_NE(f.frame.address, 6);
}

}  // namespace
}  // namespace talvo::testing
