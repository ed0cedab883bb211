#include "programs/ProgramFile.h"

#include <gtest/gtest.h>

#include <map>

#include <QDir>
#include <QTemporaryDir>

#include "TestRecords.h"
#include "tests/support/NonRegularPaths.h"

namespace talvo {
namespace {

using testing::Bytes;
using testing::ReadRaw;
using testing::VariedProgram;
using testing::WriteRaw;
using testsupport::KindOfPath;
using testsupport::MakeNamedPipe;
using testsupport::MakeSymbolicLink;
using testsupport::PathKind;

class ProgramFileTest : public ::testing::Test {
protected:
    QString Path(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST(FileBaseName, Examples)
{
    struct Case { const char *path; const char *base; };
    const Case cases[] = {
        {"C:\\shows\\Main Hall.VKP", "Main Hall"},
        {"C:\\p\\Bass.VKP", "Bass"},
        {"C:\\p\\Long program name.VKP", "Long program name"},
        {"C:\\p\\a.b.VKP", "a.b"},
        {"C:\\p\\.VKP", ""},
        {"C:\\p\\stage", ""},           // no dot: no base name
        {"C:\\my.dir\\file", ""},        // the last dot belongs to a folder
        {"/home/op/shows/Main Hall.VKP", "Main Hall"},
        {"C:/p/Bass.VKP", "Bass"},
        {"Bass.VKP", "Bass"},            // no folder at all
        {"", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(FileBaseName(QString::fromUtf8(c.path)), QString::fromUtf8(c.base)) << c.path;
}

TEST(StampSavedHeader, NameFromTheBaseNameAndTheSaveHeader)
{
    struct Case { const char *path; const char *name; };
    const Case cases[] = {
        {"C:\\shows\\Main Hall.VKP", "Main Hall "},
        {"C:\\p\\Bass.VKP", "Bass      "},
        {"C:\\p\\Subwoofer 12.VKP", "Subwoofer "},
        {"C:\\p\\stage", "          "},
    };
    for (const Case &c : cases) {
        RecordImage record = EncodeProgram(VariedProgram());
        const RecordImage before = record;
        StampSavedHeader(record, QString::fromUtf8(c.path));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(record.data()), 10), QByteArray(c.name)) << c.path;
        EXPECT_EQ(record[10], before[10]);
        EXPECT_EQ(record[11], 1);
        EXPECT_EQ(record[12], 255);
        EXPECT_EQ(record[13], 0x20);
        EXPECT_EQ(record[14], 0x20);
        EXPECT_EQ(record[15], 0x20);
        EXPECT_TRUE(std::equal(record.begin() + 16, record.end(), before.begin() + 16));
    }
}

TEST_F(ProgramFileTest, ReadProgramNameExamples)
{
    const QByteArray record = Bytes(EncodeProgram(VariedProgram()));
    ASSERT_TRUE(WriteRaw(Path("x.VKP"), record));
    ASSERT_TRUE(WriteRaw(Path("x.vkp"), record));
    ASSERT_TRUE(WriteRaw(Path("empty.VKP"), QByteArray()));
    ASSERT_TRUE(WriteRaw(Path("long.VKP"), record + 'x'));

    EXPECT_EQ(ReadProgramName(Path("x.VKP")), QStringLiteral("Caf\u00E9 \u20AC \u0178!?"));
    EXPECT_EQ(ReadProgramName(Path("x.vkp")), QString());
    EXPECT_EQ(ReadProgramName(Path("empty.VKP")), QStringLiteral("Default   "));
    EXPECT_EQ(ReadProgramName(Path("long.VKP")), QStringLiteral("Default   "));
    EXPECT_EQ(ReadProgramName(Path("missing.VKP")), QStringLiteral("Default   "));
    EXPECT_EQ(ReadProgramName(Path("x")), QString());
}

TEST_F(ProgramFileTest, ReadsExactlyOneRecord)
{
    const RecordImage written = EncodeProgram(VariedProgram());
    ASSERT_TRUE(WriteRaw(Path("p.VKP"), Bytes(written)));
    RecordImage read{};
    const FileResult result = ReadRecordFile(Path("p.VKP"), read);
    EXPECT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(read, written);
}

TEST_F(ProgramFileTest, WrongLengthNamesBothLengthsAndLeavesTheRecordAlone)
{
    const QByteArray record = Bytes(DefaultProgram());
    for (const QByteArray &content : {record.left(111), record + '\0', QByteArray(), record + record}) {
        ASSERT_TRUE(WriteRaw(Path("odd.VKP"), content));
        RecordImage read = NewSlotRecord();
        const FileResult result = ReadRecordFile(Path("odd.VKP"), read);
        EXPECT_EQ(result.status, FileResult::Status::WrongLength);
        EXPECT_EQ(result.lengthFound, content.size());
        EXPECT_EQ(result.lengthExpected, 112);
        EXPECT_TRUE(result.message.contains(QString::number(content.size())));
        EXPECT_TRUE(result.message.contains(QStringLiteral("112")));
        EXPECT_EQ(read, NewSlotRecord());
    }
}

// The read for showing or sending refuses a value no editor produces, naming the file and the
// field, whether or not the record is in use; the caller's record stays as it was.
TEST_F(ProgramFileTest, CheckedReadRefusesAValueNoEditorProduces)
{
    ASSERT_TRUE(WriteRaw(Path("p.VKP"), Bytes(EncodeProgram(VariedProgram()))));
    RecordImage read{};
    EXPECT_TRUE(ReadCheckedRecordFile(Path("p.VKP"), read).ok());
    EXPECT_EQ(read, EncodeProgram(VariedProgram()));

    for (const std::uint8_t inUse : {1, 0}) {
        RecordImage garbage = DefaultProgram();
        garbage[11] = inUse;
        garbage[16 + 35] = 220;  // left delay 220 ms
        ASSERT_TRUE(WriteRaw(Path("bad.VKP"), Bytes(garbage)));
        read = NewSlotRecord();
        const FileResult result = ReadCheckedRecordFile(Path("bad.VKP"), read);
        EXPECT_EQ(result.status, FileResult::Status::ValueOutOfRange);
        EXPECT_EQ(result.message, Path("bad.VKP") + QStringLiteral(" is refused: left.delay: 220 is out of range (0 to 7)"));
        EXPECT_EQ(read, NewSlotRecord());
        // Read as it is, for showing its bytes, it still comes whole.
        EXPECT_TRUE(ReadRecordFile(Path("bad.VKP"), read).ok());
    }
    EXPECT_EQ(ReadCheckedRecordFile(Path("missing.VKP"), read).status, FileResult::Status::CannotRead);
}

TEST_F(ProgramFileTest, MissingFileIsAReadError)
{
    RecordImage read = NewSlotRecord();
    const FileResult result = ReadRecordFile(Path("missing.VKP"), read);
    EXPECT_EQ(result.status, FileResult::Status::CannotRead);
    EXPECT_TRUE(result.message.contains(QStringLiteral("missing.VKP")));
    EXPECT_EQ(read, NewSlotRecord());
    EXPECT_EQ(ReadRecordFile(dir_.path(), read).status, FileResult::Status::CannotRead);
}

TEST_F(ProgramFileTest, WriteReplacesTheFileWithExactlyTheRecord)
{
    ASSERT_TRUE(WriteRaw(Path("p.VKP"), QByteArray(500, 'z')));
    const RecordImage record = EncodeProgram(VariedProgram());
    EXPECT_TRUE(WriteRecordFile(Path("p.VKP"), record).ok());
    EXPECT_EQ(ReadRaw(Path("p.VKP")), Bytes(record));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"p.VKP"});  // no temporary left
}

TEST_F(ProgramFileTest, FailedWriteLeavesTheOldFileUntouched)
{
    const QByteArray old = Bytes(DefaultProgram());
    ASSERT_TRUE(WriteRaw(Path("p.VKP"), old));
    FileResult result;
    {
        testing::FileSizeLimit limit(50);  // the new content cannot be written in full
        ASSERT_TRUE(limit.active());
        result = WriteRecordFile(Path("p.VKP"), EncodeProgram(VariedProgram()));
    }
    EXPECT_EQ(result.status, FileResult::Status::CannotWrite);
    EXPECT_TRUE(result.message.contains(QStringLiteral("p.VKP")));
    EXPECT_EQ(ReadRaw(Path("p.VKP")), old);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"p.VKP"});
}

TEST_F(ProgramFileTest, WriteIntoAMissingFolderFails)
{
    const FileResult result = WriteRecordFile(Path("no/such/folder/p.VKP"), DefaultProgram());
    EXPECT_EQ(result.status, FileResult::Status::CannotWrite);
    EXPECT_FALSE(result.message.isEmpty());
}

// What stands at the name a file is written to, made in the test's folder: the writer must refuse
// it and leave it as it was.
struct SpecialTargetCase {
    const char *name;
    bool (*make)(const QDir &dir);  // makes "out.VKP" (and what it links to)
    PathKind kind;                  // what "out.VKP" is, before and after
    const char *why;                // in the message
};

const SpecialTargetCase kSpecialTargets[] = {
    {"NamedPipe", [](const QDir &d) { return MakeNamedPipe(d.filePath("out.VKP")); }, PathKind::NamedPipe,
     "named pipe"},
    {"Folder", [](const QDir &d) { return d.mkdir("out.VKP"); }, PathKind::Folder, "folder"},
    {"LinkToANamedPipe",
     [](const QDir &d) { return MakeNamedPipe(d.filePath("pipe")) && MakeSymbolicLink("pipe", d.filePath("out.VKP")); },
     PathKind::SymbolicLink, "named pipe"},
    {"LinkToAFolder",
     [](const QDir &d) { return d.mkdir("sub") && MakeSymbolicLink(d.filePath("sub"), d.filePath("out.VKP")); },
     PathKind::SymbolicLink, "folder"},
    {"LoopOfLinks",
     [](const QDir &d) { return MakeSymbolicLink("out.VKP", d.filePath("out.VKP")); }, PathKind::SymbolicLink,
     "symbolic links"},
};

class WriteToASpecialFile : public ::testing::TestWithParam<SpecialTargetCase> {};

TEST_P(WriteToASpecialFile, IsRefusedAndLeavesItInPlace)
{
    const SpecialTargetCase &c = GetParam();
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    ASSERT_TRUE(c.make(dir));
    const QString out = dir.filePath("out.VKP");
    ASSERT_EQ(KindOfPath(out), c.kind);
    // Every name in the folder with what it is: nothing replaced, no temporary file left.
    const auto entries = [&dir] {
        std::map<QString, PathKind> kinds;
        for (const QString &name : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            kinds[name] = KindOfPath(dir.filePath(name));
        return kinds;
    };
    const auto before = entries();

    const FileResult result = WriteRecordFile(out, DefaultProgram());

    EXPECT_EQ(result.status, FileResult::Status::NotRegularFile);
    EXPECT_TRUE(result.message.contains(out)) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains(QLatin1String(c.why))) << result.message.toStdString();
    EXPECT_EQ(entries(), before);
}

INSTANTIATE_TEST_SUITE_P(, WriteToASpecialFile, ::testing::ValuesIn(kSpecialTargets),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ProgramFileTest, WriteThroughASymbolicLinkReplacesTheFileItPointsTo)
{
    // out.VKP -> mid.VKP -> shows/real.VKP, the first link relative, the second absolute.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("shows"));
    ASSERT_TRUE(WriteRaw(Path("shows/real.VKP"), QByteArray(112, 'x')));
    ASSERT_TRUE(MakeSymbolicLink(Path("shows/real.VKP"), Path("mid.VKP")));
    ASSERT_TRUE(MakeSymbolicLink("mid.VKP", Path("out.VKP")));
    const RecordImage record = EncodeProgram(VariedProgram());

    ASSERT_TRUE(WriteRecordFile(Path("out.VKP"), record).ok());

    EXPECT_EQ(ReadRaw(Path("shows/real.VKP")), Bytes(record));
    EXPECT_EQ(KindOfPath(Path("out.VKP")), PathKind::SymbolicLink);
    EXPECT_EQ(KindOfPath(Path("mid.VKP")), PathKind::SymbolicLink);
    EXPECT_EQ(KindOfPath(Path("shows/real.VKP")), PathKind::RegularFile);
    EXPECT_EQ(QDir(Path("shows")).entryList(QDir::Files), QStringList{"real.VKP"});
}

TEST_F(ProgramFileTest, ALinkToAFileNotYetThereCreatesThatFile)
{
    ASSERT_TRUE(MakeSymbolicLink("later.VKP", Path("out.VKP")));
    ASSERT_TRUE(WriteRecordFile(Path("out.VKP"), DefaultProgram()).ok());
    EXPECT_EQ(KindOfPath(Path("out.VKP")), PathKind::SymbolicLink);
    EXPECT_EQ(ReadRaw(Path("later.VKP")), Bytes(DefaultProgram()));
}

}  // namespace
}  // namespace talvo
