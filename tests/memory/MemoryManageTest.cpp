// The manage window's offline image of twenty slots: new slots, memory files, program files,
// names and blanking.

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "memory/MemoryManage.h"
#include "programs/Windows1252.h"
#include "tests/programs/TestRecords.h"

namespace talvo {
namespace {

RecordImage Named(const char *name, std::uint8_t inUse)
{
    RecordImage r = DefaultProgram();
    const auto bytes = ProgramNameBytes(QString::fromLatin1(name));
    std::copy(bytes.begin(), bytes.end(), r.begin());
    r[11] = inUse;
    r[48] = 7;  // a gain of its own
    return r;
}

TEST(MemoryManage, StartsBlankAndNewFillsEverySlotWithTheNewSlotRecord)
{
    MemoryManage manage;
    EXPECT_EQ(manage.ProgramCell(1), QStringLiteral("1"));
    EXPECT_EQ(manage.NameCell(1), QStringLiteral(" "));

    manage.New();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fresh.DMP"));
    ASSERT_TRUE(manage.SaveAs(path).ok());

    MemoryImage saved;
    ASSERT_TRUE(ReadMemoryFile(path, saved).ok());
    for (const RecordImage &r : saved)
        EXPECT_EQ(r, NewSlotRecord());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(saved[0].data()), 10), QByteArray("PresetFlat"));
    EXPECT_EQ(manage.ProgramCell(20), QStringLiteral("20[###]"));
    EXPECT_EQ(manage.NameCell(20), QStringLiteral("PresetFlat"));
}

TEST(MemoryManage, DeleteBlanksTheSlotButKeepsItsBytes)
{
    MemoryManage manage;
    manage.New();
    ASSERT_TRUE(manage.Modify(4, QStringLiteral("Stage")));
    const RecordImage before = manage.slot(4);

    manage.Delete(4);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.DMP"));
    ASSERT_TRUE(manage.SaveAs(path).ok());
    MemoryImage saved;
    ASSERT_TRUE(ReadMemoryFile(path, saved).ok());

    RecordImage expected = before;
    expected[11] = 0;
    EXPECT_EQ(saved[3], expected);
    EXPECT_EQ(saved[2], NewSlotRecord());
    EXPECT_EQ(manage.ProgramCell(4), QStringLiteral("4"));
    EXPECT_TRUE(manage.NameField(4).isEmpty());
}

TEST(MemoryManage, ModifyFillsTheNameAndLeavesABlankSlotAlone)
{
    MemoryManage manage;
    manage.New();
    EXPECT_TRUE(manage.Modify(2, QStringLiteral("Hall")));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(manage.slot(2).data()), 10), QByteArray("Hall      "));
    EXPECT_TRUE(manage.Modify(3, QStringLiteral("Much too long")));
    EXPECT_EQ(manage.NameCell(3), QStringLiteral("Much too l"));

    manage.Delete(5);
    EXPECT_FALSE(manage.Modify(5, QStringLiteral("Hall")));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(manage.slot(5).data()), 10), QByteArray("PresetFlat"));
}

TEST(MemoryManage, AddTakesAProgramFileUnchangedWhateverItsInUse)
{
    QTemporaryDir dir;
    const QString unused = dir.filePath(QStringLiteral("unused.VKP"));
    ASSERT_TRUE(WriteRecordFile(unused, Named("Spare", 0)).ok());
    const QString wrong = dir.filePath(QStringLiteral("wrong.VKP"));
    ASSERT_TRUE(testing::WriteRaw(wrong, QByteArray(113, '\1')));
    MemoryManage manage;
    manage.New();

    ASSERT_TRUE(manage.Add(6, unused).ok());
    EXPECT_EQ(manage.slot(6), Named("Spare", 0));
    EXPECT_EQ(manage.ProgramCell(6), QStringLiteral("6"));
    EXPECT_EQ(manage.NameCell(6), QStringLiteral(" "));

    EXPECT_FALSE(manage.Add(7, wrong).ok());
    EXPECT_EQ(manage.slot(7), NewSlotRecord());
}

// Files with a value no editor produces are refused, naming the field, and change nothing.
TEST(MemoryManage, OpenAndAddRefuseValuesNoEditorProduces)
{
    QTemporaryDir dir;
    RecordImage garbage = Named("Odd", 1);
    garbage[16 + 8 + 6] = 173;  // left band 2: Q 173
    const QString program = dir.filePath(QStringLiteral("odd.VKP"));
    ASSERT_TRUE(WriteRecordFile(program, garbage).ok());
    MemoryImage image = BlankMemoryImage();
    image[5] = garbage;
    const QString memory = dir.filePath(QStringLiteral("odd.DMP"));
    ASSERT_TRUE(WriteMemoryFile(memory, image).ok());

    MemoryManage manage;
    manage.New();
    const FileResult added = manage.Add(3, program);
    EXPECT_EQ(added.status, FileResult::Status::ValueOutOfRange);
    EXPECT_TRUE(added.message.contains(QStringLiteral("left.peq[1].q: 173"))) << added.message.toStdString();
    const FileResult opened = manage.Open(memory);
    EXPECT_EQ(opened.status, FileResult::Status::ValueOutOfRange);
    EXPECT_TRUE(opened.message.contains(QStringLiteral("slot 6, left.peq[1].q: 173"))) << opened.message.toStdString();
    for (int r = 1; r <= kMemorySlotCount; ++r)
        EXPECT_EQ(manage.slot(r), NewSlotRecord()) << r;
}

TEST(MemoryManage, OpenTakesOnlyAWholeMemoryFileAndSlotsSaveAlone)
{
    QTemporaryDir dir;
    MemoryImage image = BlankMemoryImage();
    image[8] = Named("Nine", 1);
    const QString whole = dir.filePath(QStringLiteral("whole.DMP"));
    ASSERT_TRUE(WriteMemoryFile(whole, image).ok());
    const QString part = dir.filePath(QStringLiteral("part.DMP"));
    ASSERT_TRUE(testing::WriteRaw(part, QByteArray(2239, '\1')));

    MemoryManage manage;
    ASSERT_TRUE(manage.Open(whole).ok());
    EXPECT_FALSE(manage.Open(part).ok());
    EXPECT_EQ(manage.image(), image);

    const QString one = dir.filePath(QStringLiteral("nine.VKP"));
    ASSERT_TRUE(manage.SaveSlotAs(9, one).ok());
    RecordImage saved{};
    ASSERT_TRUE(ReadRecordFile(one, saved).ok());
    EXPECT_EQ(saved, image[8]);
}

}  // namespace
}  // namespace talvo
