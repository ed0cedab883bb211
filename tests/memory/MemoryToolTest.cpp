// talvoctl memory end to end: the command against simulated amplifiers (run in this process, so
// that the clock can run faster), and its refusals through the real binary.

#include <random>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Commands.h"
#include "MemorySupport.h"
#include "tests/programs/TestRecords.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

using testsupport::RunCommand;
using testsupport::ToolRun;

ToolRun Memory(const SimLine &line, const QString &action, QStringList rest = {})
{
    QStringList args{action};
    args << rest << QStringLiteral("--port") << line.devicePath() << QStringLiteral("--id") << QStringLiteral("1");
    return RunCommand(cli::RunMemoryCommand, args);
}

QString Listing(const std::map<int, QString> &lines)
{
    QString text;
    for (int i = 1; i <= 20; ++i)
        text += QStringLiteral("%1: %2\n").arg(i).arg(lines.count(i) ? lines.at(i) : QStringLiteral("(empty)"));
    return text;
}

TEST(MemoryTool, ListPrintsEverySlotAsTextAndJson)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{3, NamedProgram("Hall", 3)}, {20, NamedProgram("Main Stage", 20)}})}, PatientBus());

    const ToolRun text = Memory(line, QStringLiteral("list"));
    const ToolRun json = Memory(line, QStringLiteral("list"), {QStringLiteral("--json")});
    line.stop();

    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(text.out, Listing({{3, QStringLiteral("Hall")}, {20, QStringLiteral("Main Stage")}}));
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray entries = QJsonDocument::fromJson(json.out.toUtf8()).object().value(QStringLiteral("slots")).toArray();
    ASSERT_EQ(entries.size(), 20);
    EXPECT_EQ(entries[2].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Hall"));
    EXPECT_EQ(entries[2].toObject().value(QStringLiteral("status")).toString(), QStringLiteral("program"));
    EXPECT_EQ(entries[0].toObject().value(QStringLiteral("status")).toString(), QStringLiteral("empty"));
    // Connected as the Connect window does, and disconnected at the end.
    const auto &frames = line.frames();
    EXPECT_EQ(frames.front().frame.command, 220);
    EXPECT_EQ(frames.front().frame.data[0], 100);
    EXPECT_EQ(frames.back().frame.command, 220);
    EXPECT_EQ(frames.back().frame.data[0], 80);
    EXPECT_FALSE(line.bus().amplifier(0).connected());
}

TEST(MemoryTool, ListMarksASlotThatDidNotAnswerAndFails)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    SilenceWhere(line, [](const CommandFrame &f, std::size_t) { return f.command == 231 && f.data[0] == 7; });

    const ToolRun run = Memory(line, QStringLiteral("list"));
    line.stop();

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Listing({{7, QStringLiteral("(no answer)")}}));
    EXPECT_TRUE(run.err.contains(QStringLiteral("slot 7"))) << run.err.toStdString();
}

TEST(MemoryTool, BackupOfOneBusRestoresOntoAnother)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage two = NamedProgram("Two", 2, -4.0);
    const RecordImage nine = NamedProgram("Nine", 9, -9.0);
    SimLine source({AmplifierWith({{2, two}, {9, nine}})}, PatientBus());
    SimLine target({AmplifierWith({{5, NamedProgram("Other", 5)}})}, PatientBus());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bus-id1.DMP"));

    const ToolRun backup = Memory(source, QStringLiteral("backup"), {file});
    source.stop();
    ASSERT_EQ(backup.status, 0) << backup.err.toStdString();
    MemoryImage saved;
    ASSERT_TRUE(ReadMemoryFile(file, saved).ok());
    EXPECT_EQ(saved[1], two);
    EXPECT_EQ(saved[8], nine);
    EXPECT_FALSE(RecordInUse(saved[4]));

    const ToolRun restore = Memory(target, QStringLiteral("restore"), {file});
    target.stop();
    ASSERT_EQ(restore.status, 0) << restore.err.toStdString();
    const sim::Amplifier &amp = target.bus().amplifier(0);
    // What the amplifier keeps of a written header: the name, the slot, the tail 1 1 1.
    for (const auto &[slot, record] : {std::pair{2, two}, std::pair{9, nine}}) {
        RecordImage expected = record;
        expected[13] = expected[14] = expected[15] = 1;
        EXPECT_EQ(amp.slot(slot), expected) << slot;
    }
    EXPECT_FALSE(RecordInUse(amp.slot(5)));
}

TEST(MemoryTool, BackupWithASlotThatDidNotArriveWritesNothing)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{2, NamedProgram("Two", 2)}, {6, NamedProgram("Six", 6)}})}, PatientBus());
    SilenceWhere(line, [](const CommandFrame &f, std::size_t) { return f.command == 236 && f.data[0] == 6; });
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bus.DMP"));

    const ToolRun run = Memory(line, QStringLiteral("backup"), {file});
    line.stop();

    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(run.err.contains(QStringLiteral("slot 6"))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
}

TEST(MemoryTool, ReadThenWriteCopiesASlotUnderANewNameMuted)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage four = NamedProgram("Four", 4, -6.5);
    SimLine line({AmplifierWith({{4, four}})}, PatientBus());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("four.VKP"));

    const ToolRun read = Memory(line, QStringLiteral("read"), {QStringLiteral("4"), file});
    const ToolRun write = Memory(line, QStringLiteral("write"),
                                 {QStringLiteral("11"), file, QStringLiteral("--name"), QStringLiteral("Copy"),
                                  QStringLiteral("--mute")});
    line.stop();

    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    RecordImage saved{};
    ASSERT_TRUE(ReadRecordFile(file, saved).ok());
    EXPECT_EQ(saved, four);
    ASSERT_EQ(write.status, 0) << write.err.toStdString();
    const Program copy = DecodeProgram(line.bus().amplifier(0).slot(11));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(copy.name.data()), 10), QByteArray("Copy      "));
    EXPECT_EQ(copy.programNumber, 11);
    EXPECT_DOUBLE_EQ(copy.left.gain, -62.0);
    EXPECT_DOUBLE_EQ(copy.left.delay, 1.25);
}

TEST(MemoryTool, DeleteAndRecallReachTheAmplifier)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{2, NamedProgram("Two", 2)}, {4, NamedProgram("Four", 4)}}, 2)}, PatientBus());

    const ToolRun del = Memory(line, QStringLiteral("delete"), {QStringLiteral("2")});
    const ToolRun recall = Memory(line, QStringLiteral("recall"), {QStringLiteral("4")});
    const ToolRun blank = Memory(line, QStringLiteral("recall"), {QStringLiteral("2")});
    line.stop();

    EXPECT_EQ(del.status, 0) << del.err.toStdString();
    EXPECT_EQ(recall.status, 0) << recall.err.toStdString();
    EXPECT_EQ(blank.status, 1);
    EXPECT_TRUE(blank.err.contains(QStringLiteral("slot 2 holds no program"))) << blank.err.toStdString();
    const sim::Amplifier &amp = line.bus().amplifier(0);
    EXPECT_FALSE(RecordInUse(amp.slot(2)));
    EXPECT_EQ(amp.runningProgram(), 4);
}

// Refusals: one line naming what was wrong, exit 2, nothing on the line.
struct RefusalCase {
    const char *name;
    QStringList args;  // before --port/--id; "%DIR%" becomes a folder of test files
    const char *says;
};

class MemoryToolRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(MemoryToolRefusal, SaysWhyAndSendsNothing)
{
    SimLine line({AmplifierWith({})}, PatientBus());
    QTemporaryDir dir;
    QFile shortFile(dir.filePath(QStringLiteral("short.VKP")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(111, '\0'));
    shortFile.close();
    QFile shortMemory(dir.filePath(QStringLiteral("short.DMP")));
    ASSERT_TRUE(shortMemory.open(QIODevice::WriteOnly));
    shortMemory.write(QByteArray(2241, '\0'));
    shortMemory.close();
    ASSERT_TRUE(WriteRecordFile(dir.filePath(QStringLiteral("blank.VKP")), BlankSlotRecord()).ok());
    ASSERT_TRUE(WriteRecordFile(dir.filePath(QStringLiteral("good.VKP")), NamedProgram("Good", 255)).ok());
    // Random bytes of the right lengths: no program any editor made.
    std::mt19937 rng(112);
    for (const auto &[name, length] : {std::pair{"random.VKP", kRecordSize}, std::pair{"random.DMP", kMemoryFileSize}}) {
        QByteArray bytes(length, '\0');
        for (char &b : bytes)
            b = static_cast<char>(rng() & 0xFF);
        ASSERT_TRUE(WriteRaw(dir.filePath(QLatin1String(name)), bytes));
    }

    QStringList args;
    for (const QString &a : GetParam().args)
        args << QString(a).replace(QStringLiteral("%DIR%"), dir.path());
    args << QStringLiteral("--port") << line.devicePath() << QStringLiteral("--id") << QStringLiteral("1");
    const ToolRun run = testsupport::RunTalvoctl(QStringList{QStringLiteral("memory")} + args, 30000);
    line.stop();

    EXPECT_EQ(run.status, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl memory: "))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(GetParam().says))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(line.frames().empty());
}

INSTANTIATE_TEST_SUITE_P(
    MemoryTool, MemoryToolRefusal,
    ::testing::Values(
        RefusalCase{"SlotZero", {QStringLiteral("read"), QStringLiteral("0"), QStringLiteral("%DIR%/x.VKP")}, "1..20"},
        RefusalCase{"Slot21", {QStringLiteral("delete"), QStringLiteral("21")}, "1..20"},
        RefusalCase{"SlotNotANumber", {QStringLiteral("recall"), QStringLiteral("two")}, "1..20"},
        RefusalCase{"ProgramFileTooShort", {QStringLiteral("write"), QStringLiteral("3"), QStringLiteral("%DIR%/short.VKP")}, "111"},
        RefusalCase{"BlankProgramFile", {QStringLiteral("write"), QStringLiteral("3"), QStringLiteral("%DIR%/blank.VKP")}, "blank"},
        RefusalCase{"MemoryFileTooLong", {QStringLiteral("restore"), QStringLiteral("%DIR%/short.DMP")}, "2241"},
        RefusalCase{"ProgramFileOutOfRange", {QStringLiteral("write"), QStringLiteral("3"), QStringLiteral("%DIR%/random.VKP")},
                    "random.VKP is refused: left."},
        RefusalCase{"MemoryFileOutOfRange", {QStringLiteral("restore"), QStringLiteral("%DIR%/random.DMP")},
                    "random.DMP is refused: slot "},
        RefusalCase{"MissingFile", {QStringLiteral("restore"), QStringLiteral("%DIR%/none.DMP")}, "none.DMP"},
        RefusalCase{"NameTooLong", {QStringLiteral("write"), QStringLiteral("3"), QStringLiteral("%DIR%/good.VKP"),
                                    QStringLiteral("--name"), QStringLiteral("Eleven char")}, "longer than 10"},
        RefusalCase{"UnknownAction", {QStringLiteral("erase")}, "unknown action"},
        RefusalCase{"MissingArgument", {QStringLiteral("read"), QStringLiteral("3")}, "takes 2"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(MemoryTool, HelpListsTheActions)
{
    const ToolRun run = testsupport::RunTalvoctl({QStringLiteral("memory"), QStringLiteral("--help")});
    EXPECT_EQ(run.status, 0);
    for (const char *action : {"list", "read SLOT", "backup", "write SLOT", "restore", "delete SLOT|all", "recall SLOT"})
        EXPECT_TRUE(run.out.contains(QLatin1String(action))) << action;
}

}  // namespace
}  // namespace talvo::testing
