#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>


#include "devices/DeviceList.h"
#include "tests/support/DeviceListText.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/NonRegularPaths.h"

namespace talvo {
namespace {

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

using testsupport::NewFileText;

class DeviceListFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path() const { return dir.filePath("DSPdevi.ini"); }

    QTemporaryDir dir;
};

TEST_F(DeviceListFile, MissingFileIsCreatedWith255EmptySlots) {
    DeviceList list(path());
    QString error;
    ASSERT_TRUE(list.Open(&error)) << error.toStdString();
    EXPECT_EQ(ReadAll(path()), NewFileText());
    for (const DeviceEntry &entry : list.Entries()) {
        EXPECT_FALSE(entry.vi);
        EXPECT_EQ(entry.name, "VELK");
        EXPECT_EQ(entry.id, 1);
        EXPECT_EQ(entry.subid, 1);
    }
    // Opening again changes nothing.
    DeviceList again(path());
    ASSERT_TRUE(again.Open(&error));
    EXPECT_EQ(ReadAll(path()), NewFileText());
}

TEST_F(DeviceListFile, MissingKeysAndUnreadableNumbersReadAsDefaults) {
    WriteAll(path(),
             "[count]\nno=0\n"
             "[1]\nvi=1\nid=7\nsubid=300\n"            // hand-edited: no name
             "[2]\nvi=1\nname=\nid=abc\nsubid=\n"     // empty name stays empty
             "[3]\nvi=2\nname=Amp\nid=0\nsubid=65536\n"
             "[4]\nvi=yes\nname=Amp\nid=256\nsubid=-5\n"
             "[5]\nvi= 1 \nname= Amp \nid= 255 \nsubid= 65535 \n"
             "[6]\nVI=1\nNAME=Upper\nID=9\nSUBID=10\n"
             "[7]\nvi=0\nid=12x\nsubid=0x10\n");
    const QByteArray before = ReadAll(path());
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    EXPECT_EQ(ReadAll(path()), before);  // an initialised file is not rewritten by opening

    struct Case {
        int slot;
        DeviceEntry expected;
    };
    const Case cases[] = {
        {1, {true, "Device", 7, 300}},  {2, {true, "", 1, 1}},     {3, {true, "Amp", 1, 1}},
        {4, {false, "Amp", 1, 1}},      {5, {true, "Amp", 255, 65535}},
        {6, {true, "Upper", 9, 10}},    {7, {false, "Device", 1, 1}},
        {8, {false, "Device", 1, 1}},   // no section at all
        {0, {false, "Device", 1, 1}},   {256, {false, "Device", 1, 1}}, {-1, {false, "Device", 1, 1}}};
    for (const Case &c : cases) {
        const DeviceEntry got = list.Entry(c.slot);
        EXPECT_EQ(got.vi, c.expected.vi) << c.slot;
        EXPECT_EQ(got.name, c.expected.name) << c.slot;
        EXPECT_EQ(got.id, c.expected.id) << c.slot;
        EXPECT_EQ(got.subid, c.expected.subid) << c.slot;
    }
}

TEST_F(DeviceListFile, UninitialisedFileKeepsItsSlotsAndGainsTheRest) {
    WriteAll(path(), "; my amplifiers\n[3]\nvi=1\nname=FOH\nid=3\nsubid=256\n");
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    EXPECT_EQ(list.Entry(3), (DeviceEntry{true, "FOH", 3, 256}));
    EXPECT_EQ(list.Entry(4), (DeviceEntry{false, "VELK", 1, 1}));
    DeviceList reread(path());
    ASSERT_TRUE(reread.Open());
    EXPECT_EQ(reread.Entry(3), (DeviceEntry{true, "FOH", 3, 256}));
    EXPECT_EQ(reread.Entry(255), (DeviceEntry{false, "VELK", 1, 1}));
    const QByteArray text = ReadAll(path());
    EXPECT_TRUE(text.startsWith("; my amplifiers\r\n[3]\r\n"));
    EXPECT_TRUE(text.contains("\r\n[count]\r\nno=0\r\n"));
}

TEST_F(DeviceListFile, WrittenSlotReadsBackAndHandEditsSurvive) {
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    QString error;
    ASSERT_TRUE(list.WriteSlot(5, {true, "Stage left", 12, 256}, &error)) << error.toStdString();
    EXPECT_EQ(list.Entry(5), (DeviceEntry{true, "Stage left", 12, 256}));
    EXPECT_TRUE(ReadAll(path()).contains("\r\n[5]\r\nvi=1\r\nname=Stage left\r\nid=12\r\nsubid=256\r\n"));

    // Someone edits the file by hand while the program runs ...
    QByteArray text = ReadAll(path());
    text.replace("[9]\r\nvi=0\r\nname=VELK", "; spare amp\r\n[9]\r\nvi=1\r\nname=Spare");
    WriteAll(path(), text);
    // ... and the next write keeps that edit.
    ASSERT_TRUE(list.WriteSlot(5, {true, "Stage right", 13, 65535}, &error)) << error.toStdString();
    EXPECT_EQ(list.Entry(9), (DeviceEntry{true, "Spare", 1, 1}));

    DeviceList reread(path());
    ASSERT_TRUE(reread.Open());
    EXPECT_EQ(reread.Entry(5), (DeviceEntry{true, "Stage right", 13, 65535}));
    EXPECT_EQ(reread.Entry(9), (DeviceEntry{true, "Spare", 1, 1}));
    EXPECT_TRUE(ReadAll(path()).contains("; spare amp\r\n[9]"));
    for (int slot : {1, 4, 6, 255}) EXPECT_EQ(reread.Entry(slot), (DeviceEntry{false, "VELK", 1, 1}));

    // Delete leaves an empty name, not the default one.
    ASSERT_TRUE(list.ClearSlot(5, &error));
    EXPECT_EQ(list.Entry(5), (DeviceEntry{false, "", 1, 1}));
    EXPECT_TRUE(ReadAll(path()).contains("\r\n[5]\r\nvi=0\r\nname=\r\nid=1\r\nsubid=1\r\n"));
    ASSERT_TRUE(reread.Reload());
    EXPECT_EQ(reread.Entry(5), (DeviceEntry{false, "", 1, 1}));
}

TEST_F(DeviceListFile, NamesWithOddCharactersReadBackAsWritten) {
    const QString names[] = {"a=b",     " lead",      "trail ",   "\"quoted\"",  "'single'",
                             "[7]",     ";not a comment", "#hash", "",           "\"",
                             "C:\\amps", QString::fromUtf8("Bühne € 舞台"), "x\"y'z", "12345678901234567890"};
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    int slot = 1;
    for (const QString &name : names) {
        QString error;
        ASSERT_TRUE(list.WriteSlot(slot++, {true, name, 1, 1}, &error)) << error.toStdString();
    }
    DeviceList reread(path());
    ASSERT_TRUE(reread.Open());
    slot = 1;
    for (const QString &name : names) EXPECT_EQ(reread.Entry(slot++).name, name) << name.toStdString();
    EXPECT_EQ(reread.Entry(slot), (DeviceEntry{false, "VELK", 1, 1}));  // nothing spilled over
}

TEST_F(DeviceListFile, RefusedWritesChangeNothing) {
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    ASSERT_TRUE(list.WriteSlot(2, {true, "Keep", 2, 2}));
    const QByteArray before = ReadAll(path());
    struct Case {
        int slot;
        DeviceEntry entry;
    };
    const Case cases[] = {
        {0, {true, "x", 1, 1}},   {256, {true, "x", 1, 1}},      {2, {true, "x", 0, 1}},
        {2, {true, "x", 256, 1}}, {2, {true, "x", 1, 0}},        {2, {true, "x", 1, 65536}},
        {2, {true, "two\nlines", 1, 1}}, {2, {true, "x\r[3]\rvi=1", 1, 1}}};
    for (const Case &c : cases) {
        QString error;
        EXPECT_FALSE(list.WriteSlot(c.slot, c.entry, &error)) << c.slot << " " << c.entry.id;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadAll(path()), before);
    EXPECT_EQ(list.Entry(2), (DeviceEntry{true, "Keep", 2, 2}));
}

using testsupport::FileSizeLimit;

TEST_F(DeviceListFile, FailedWriteLeavesTheOldFileAndTheList) {
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    ASSERT_TRUE(list.WriteSlot(1, {true, "Old", 1, 1}));
    const QByteArray before = ReadAll(path());
    QString error;
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(list.WriteSlot(1, {true, "New", 9, 9}, &error));
    }
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    EXPECT_EQ(ReadAll(path()), before);
    EXPECT_EQ(list.Entry(1), (DeviceEntry{true, "Old", 1, 1}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"DSPdevi.ini"});  // no leftovers
}

TEST_F(DeviceListFile, UnreadableFileIsReportedAndNeverReplaced) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("DSPdevi.ini"));  // a directory where the file should be
    DeviceList list(path());
    QString error;
    EXPECT_FALSE(list.Open(&error));
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    EXPECT_TRUE(QFileInfo(path()).isDir());
    for (const DeviceEntry &entry : list.Entries()) EXPECT_FALSE(entry.vi);
    error.clear();
    EXPECT_FALSE(list.WriteSlot(1, {true, "x", 1, 1}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

TEST_F(DeviceListFile, ANamedPipeIsNeitherReadNorReplaced) {
    ASSERT_TRUE(testsupport::MakeNamedPipe(path()));
    DeviceList list(path());
    QString error;
    EXPECT_FALSE(list.Open(&error));  // returns: the pipe is not opened
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    error.clear();
    EXPECT_FALSE(list.WriteSlot(1, {true, "x", 1, 1}, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    EXPECT_EQ(testsupport::KindOfPath(path()), testsupport::PathKind::NamedPipe);
}

TEST_F(DeviceListFile, ALinkToTheListIsWrittenThroughAndStaysALink) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    const QString real = dir.filePath("shared/DSPdevi.ini");
    ASSERT_TRUE(DeviceList(real).Open());
    ASSERT_TRUE(testsupport::MakeSymbolicLink("shared/DSPdevi.ini", path()));
    DeviceList list(path());
    ASSERT_TRUE(list.Open());
    ASSERT_TRUE(list.WriteSlot(4, {true, "Stage left", 12, 300}));
    EXPECT_EQ(testsupport::KindOfPath(path()), testsupport::PathKind::SymbolicLink);
    DeviceList reread(real);
    ASSERT_TRUE(reread.Open());
    EXPECT_EQ(reread.Entry(4), (DeviceEntry{true, "Stage left", 12, 300}));
}

TEST_F(DeviceListFile, FileInAMissingDirectoryFailsClearly) {
    DeviceList list(dir.filePath("no/such/dir/DSPdevi.ini"));
    QString error;
    EXPECT_FALSE(list.Open(&error));
    EXPECT_TRUE(error.contains("no/such/dir")) << error.toStdString();
    for (const DeviceEntry &entry : list.Entries()) EXPECT_FALSE(entry.vi);  // an empty grid
    EXPECT_FALSE(list.WriteSlot(1, {true, "x", 1, 1}, &error));
    EXPECT_FALSE(list.Reload(&error));
}

TEST(DeviceListPath, InTheInstallationDirectoryOrAtTheRoot) {
    EXPECT_EQ(DeviceListPath("/opt/talvo"), "/opt/talvo/DSPdevi.ini");
    EXPECT_EQ(DeviceListPath("/opt/talvo/"), "/opt/talvo/DSPdevi.ini");
    EXPECT_EQ(DeviceListPath(""), QDir::rootPath() + "DSPdevi.ini");
}

}  // namespace
}  // namespace talvo
