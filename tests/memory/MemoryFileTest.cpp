#include "memory/MemoryFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "../programs/TestRecords.h"

namespace talvo {
namespace {

using testing::Bytes;
using testing::ReadRaw;
using testing::VariedProgram;
using testing::WriteRaw;

MemoryImage MixedImage()
{
    MemoryImage image = BlankMemoryImage();
    image[0] = EncodeProgram(VariedProgram());
    image[6] = DefaultProgram();
    image[19] = NewSlotRecord();
    return image;
}

TEST(MemoryFile, BlankImageIsTwentyEmptySlots)
{
    const MemoryImage image = BlankMemoryImage();
    for (const RecordImage &record : image) {
        EXPECT_EQ(record, BlankSlotRecord());
        EXPECT_FALSE(RecordInUse(record));
    }
}

TEST(MemoryFile, SlotsLieBackToBack)
{
    const MemoryImage image = MixedImage();
    const QByteArray bytes = MemoryImageBytes(image);
    ASSERT_EQ(bytes.size(), 2240);
    EXPECT_EQ(bytes.mid(0, 112), Bytes(image[0]));
    EXPECT_EQ(bytes.mid(6 * 112, 112), Bytes(DefaultProgram()));
    EXPECT_EQ(bytes.mid(19 * 112, 112), Bytes(NewSlotRecord()));
    MemoryImage back = BlankMemoryImage();
    EXPECT_TRUE(MemoryImageFromBytes(bytes, back));
    EXPECT_EQ(back, image);
    EXPECT_FALSE(MemoryImageFromBytes(bytes.left(2239), back));
}

TEST(MemoryFile, WriteThenReadGivesTheSameImage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.DMP");
    ASSERT_TRUE(WriteMemoryFile(path, MixedImage()).ok());
    EXPECT_EQ(ReadRaw(path).size(), 2240);
    MemoryImage read = BlankMemoryImage();
    EXPECT_TRUE(ReadMemoryFile(path, read).ok());
    EXPECT_EQ(read, MixedImage());
}

// A slot in use with a value no editor produces refuses the whole file, naming the slot and
// the field; the same bytes in a blank slot (never shown or sent) do not.
TEST(MemoryFile, CheckedReadRefusesASlotInUseWithAValueOutOfRange)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.DMP");
    MemoryImage image = MixedImage();
    image[3] = DefaultProgram();
    image[3][16 + 3] = 110;  // left band 1 at +110.20 dB
    image[3][16 + 4] = 20;
    image[3][11] = 0;
    ASSERT_TRUE(WriteMemoryFile(path, image).ok());
    MemoryImage read = BlankMemoryImage();
    EXPECT_TRUE(ReadCheckedMemoryFile(path, read).ok());
    EXPECT_EQ(read, image);

    image[3][11] = 1;
    ASSERT_TRUE(WriteMemoryFile(path, image).ok());
    read = BlankMemoryImage();
    const FileResult result = ReadCheckedMemoryFile(path, read);
    EXPECT_EQ(result.status, FileResult::Status::ValueOutOfRange);
    EXPECT_EQ(result.message,
              path + QStringLiteral(" is refused: slot 4, left.peq[0].gain: 110.2 is out of range (-12 to 12)"));
    EXPECT_EQ(read, BlankMemoryImage());
}

TEST(MemoryFile, OtherLengthsAreRefusedNamingBothLengths)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.DMP");
    const QByteArray good = MemoryImageBytes(MixedImage());
    for (const QByteArray &content : {good.left(2239), good + 'x', good.left(112), QByteArray()}) {
        ASSERT_TRUE(WriteRaw(path, content));
        MemoryImage read = BlankMemoryImage();
        const FileResult result = ReadMemoryFile(path, read);
        EXPECT_EQ(result.status, FileResult::Status::WrongLength);
        EXPECT_EQ(result.lengthFound, content.size());
        EXPECT_EQ(result.lengthExpected, 2240);
        EXPECT_TRUE(result.message.contains(QString::number(content.size())));
        EXPECT_TRUE(result.message.contains(QStringLiteral("2240")));
        EXPECT_EQ(read, BlankMemoryImage());
    }
    MemoryImage read = BlankMemoryImage();
    EXPECT_EQ(ReadMemoryFile(dir.filePath("missing.DMP"), read).status, FileResult::Status::CannotRead);
}

TEST(MemoryFile, FailedWriteLeavesTheOldFileUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.DMP");
    const QByteArray old = MemoryImageBytes(BlankMemoryImage());
    ASSERT_TRUE(WriteRaw(path, old));
    FileResult result;
    {
        testing::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        result = WriteMemoryFile(path, MixedImage());
    }
    EXPECT_EQ(result.status, FileResult::Status::CannotWrite);
    EXPECT_EQ(ReadRaw(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"m.DMP"});
}

}  // namespace
}  // namespace talvo
