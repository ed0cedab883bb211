#include "Commands.h"

#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/ToolRun.h"

#include "../programs/TestRecords.h"
#include "memory/MemoryFile.h"
#include "programs/ProgramRecord.h"
#include "tests/support/NonRegularPaths.h"

namespace talvo::cli {
namespace {

using talvo::testing::Bytes;
using talvo::testing::ReadRaw;
using talvo::testing::VariedProgram;
using talvo::testing::WriteRaw;

using CommandRun = talvo::testsupport::ToolRun;
using talvo::testsupport::RunCommand;

CommandRun Direct(talvo::testsupport::CommandFunction command, const QStringList &args) { return RunCommand(command, args); }

MemoryImage MixedImage()
{
    MemoryImage image = BlankMemoryImage();
    image[0] = EncodeProgram(VariedProgram());
    image[2] = DefaultProgram();
    image[19] = NewSlotRecord();
    return image;
}

// The exact text for the default program: the format scripts and people read.
const char kDefaultText[] =
    "Name       \" FLAT DF  \"\n"
    "Mode       Stereo\n"
    "In use 1, program number 255, header tail 14 14 14\n"
    "LEFT (IN A -> OUT 1)\n"
    "  PEQ 1      30 Hz, +0.00 dB, Q 3.00\n"
    "  PEQ 2      270 Hz, +0.00 dB, Q 3.00\n"
    "  PEQ 3      1560 Hz, +0.00 dB, Q 3.00\n"
    "  High pass  6dB Butterworth, 10 Hz\n"
    "  Low pass   6dB Butterworth, 20200 Hz\n"
    "  Gain       muted (-100.00 dB)\n"
    "  Delay      0.00 ms\n"
    "  Limiter    off, hold 0 ms, attack 10 dB/s, decay 10 dB/s\n"
    "  Phase      normal\n"
    "RIGHT (IN B -> OUT 2)\n"
    "  PEQ 1      30 Hz, +0.00 dB, Q 3.00\n"
    "  PEQ 2      270 Hz, +0.00 dB, Q 3.00\n"
    "  PEQ 3      1560 Hz, +0.00 dB, Q 3.00\n"
    "  High pass  6dB Butterworth, 10 Hz\n"
    "  Low pass   6dB Butterworth, 20200 Hz\n"
    "  Gain       muted (-100.00 dB)\n"
    "  Delay      0.00 ms\n"
    "  Limiter    off, hold 0 ms, attack 10 dB/s, decay 10 dB/s\n"
    "  Phase      normal\n";

class ShowPack : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
    }

    QString Path(const QString &name) const { return dir_.filePath(name); }

    CommandRun Binary(const QStringList &args) { return talvo::testsupport::RunTalvoctl(args, 30000); }

    // show --json FILE > FILE.json; pack FILE.json OUT; the bytes of OUT.
    QByteArray ShowThenPack(const QString &file)
    {
        const CommandRun shown = Binary({"show", "--json", file});
        EXPECT_EQ(shown.status, kExitOk) << shown.err.toStdString();
        EXPECT_TRUE(shown.err.isEmpty());
        const QString json = file + QStringLiteral(".json");
        EXPECT_TRUE(WriteRaw(json, shown.out.toUtf8()));
        const QString out = file + QStringLiteral(".packed");
        const CommandRun packed = Binary({"pack", json, out});
        EXPECT_EQ(packed.status, kExitOk) << packed.err.toStdString();
        return ReadRaw(out);
    }

    QTemporaryDir dir_;
};

TEST_F(ShowPack, ShowsTheDefaultProgramAsText)
{
    ASSERT_TRUE(WriteRaw(Path("d.VKP"), Bytes(DefaultProgram())));
    const CommandRun r = Binary({"show", Path("d.VKP")});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out.toStdString(), kDefaultText);
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(ShowPack, ShowsEveryStageOfAVariedProgram)
{
    ASSERT_TRUE(WriteRaw(Path("v.VKP"), Bytes(EncodeProgram(VariedProgram()))));
    const CommandRun r = Direct(RunShowCommand, {Path("v.VKP")});
    EXPECT_EQ(r.status, kExitOk);
    const char *lines[] = {
        "Name       \"Caf\u00E9 \u20AC \u0178!?\"\n",
        "Mode       Mono\n",
        "In use 1, program number 7, header tail 01 02 03\n",
        "  PEQ 1      35.1 Hz, +4.50 dB, Q 1.41, FLAT\n",
        "  PEQ 2      1000 Hz, -11.30 dB, Q 0.50\n",
        "  High pass  12dB/0.7, 35.1 Hz\n",
        "  Low pass   24dB Link-Riley, 16000 Hz\n",
        "  Gain       -12.50 dB\n",
        "  Delay      6.99 ms\n",
        "  Limiter    threshold 0 dB, hold 100 ms, attack 1000 dB/s, decay 257 dB/s\n",
        "  Phase      inverted (180)\n",
        "  PEQ 1      20.1 Hz, -11.50 dB, Q 9.99\n",
        "  Low pass   48dB Link-Riley, 20200 Hz\n",
        "  Gain       +6.00 dB\n",
        "  Limiter    threshold -41 dB, hold 1 ms, attack 10 dB/s, decay 1000 dB/s\n",
    };
    for (const char *line : lines) EXPECT_TRUE(r.out.contains(QString::fromUtf8(line))) << line << "\n" << r.out.toStdString();
}

TEST_F(ShowPack, ShowsAMemoryFileSlotBySlot)
{
    ASSERT_TRUE(WriteRaw(Path("m.DMP"), MemoryImageBytes(MixedImage())));
    const CommandRun r = Direct(RunShowCommand, {Path("m.DMP")});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Slot 1:\n  Name       \"Caf\u00E9")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Slot 2: empty (name \"PresetFlat\")\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Slot 3:\n  Name       \" FLAT DF  \"\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Slot 20:\n  Name       \"PresetFlat\"\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("    PEQ 1      35.1 Hz")));

    const CommandRun json = Direct(RunShowCommand, {"--json", Path("m.DMP")});
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o.keys(), QStringList{"slots"});
    const QJsonArray slotArray = o["slots"].toArray();
    ASSERT_EQ(slotArray.size(), 20);
    EXPECT_EQ(slotArray.at(1).toObject()["inUse"].toInt(-1), 0);
    EXPECT_EQ(slotArray.at(0).toObject()["programNumber"].toInt(), 7);
}

TEST_F(ShowPack, ShowThenPackGivesBackTheSameBytes)
{
    RecordImage corner = EncodeProgram(VariedProgram());
    corner[16 + 16 + 5] = 0x55;  // left band 3: FLAT -0.00 dB
    corner[64 + 34] = 0x00;      // right gain: an odd sign byte
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"default.VKP", Bytes(DefaultProgram())},
        {"varied.VKP", Bytes(EncodeProgram(VariedProgram()))},
        {"corner.VKP", Bytes(corner)},
        {"memory.DMP", MemoryImageBytes(MixedImage())},
    };
    for (const auto &f : files) {
        ASSERT_TRUE(WriteRaw(Path(f.name), f.bytes));
        EXPECT_EQ(ShowThenPack(Path(f.name)), f.bytes) << f.name;
    }
}

TEST_F(ShowPack, KindFollowsTheLengthNotTheExtension)
{
    ASSERT_TRUE(WriteRaw(Path("odd.DMP"), Bytes(DefaultProgram())));
    const CommandRun r = Direct(RunShowCommand, {Path("odd.DMP")});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out.toStdString(), kDefaultText);
}

TEST_F(ShowPack, ControlCharactersInTheNameAreEscaped)
{
    RecordImage record = DefaultProgram();
    const char name[] = "A\0\x81\x1B\x80     ";
    std::copy_n(name, kNameSize, record.begin());
    ASSERT_TRUE(WriteRaw(Path("c.VKP"), Bytes(record)));
    const CommandRun r = Direct(RunShowCommand, {Path("c.VKP")});
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Name       \"A\\x00\\x81\\x1B\u20AC     \"\n"))) << r.out.toStdString();
}

TEST_F(ShowPack, RefusesOtherLengthsNamingBothLengths)
{
    const QByteArray record = Bytes(DefaultProgram());
    for (const QByteArray &content : {record.left(111), record + 'x', QByteArray()}) {
        ASSERT_TRUE(WriteRaw(Path("bad.VKP"), content));
        const CommandRun r = Binary({"show", Path("bad.VKP")});
        EXPECT_EQ(r.status, kExitRefused);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral(" is %1 bytes long").arg(content.size()))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("expected 112"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("2240"))) << r.err.toStdString();
    }
}

TEST_F(ShowPack, PackRefusesBadInputAndLeavesTheOldFileAlone)
{
    QJsonObject record = QJsonDocument::fromJson(
        Direct(RunShowCommand, {"--json", [&] {
                   WriteRaw(Path("d.VKP"), Bytes(DefaultProgram()));
                   return Path("d.VKP");
               }()}).out.toUtf8()).object();
    QJsonObject missing = record;
    QJsonObject left = missing["left"].toObject();
    left.remove("hold");
    missing["left"] = left;
    QJsonObject outOfRange = record;
    left = outOfRange["left"].toObject();
    left["limitThreshold"] = 256;
    outOfRange["left"] = left;
    QJsonObject badSlots{{"slots", QJsonArray{record}}};

    const struct {
        QByteArray json;
        const char *mentions;
    } cases[] = {
        {"{\"name\": \"x\",", "not valid JSON"},
        {"[1, 2]", "JSON object"},
        {QJsonDocument(missing).toJson(), "left.hold: missing"},
        {QJsonDocument(outOfRange).toJson(), "left.limitThreshold: 256 is out of range"},
        {QJsonDocument(badSlots).toJson(), "slots: must be an array of 20"},
    };
    const QByteArray old = QByteArray("the old file");
    for (const auto &c : cases) {
        ASSERT_TRUE(WriteRaw(Path("in.json"), c.json));
        ASSERT_TRUE(WriteRaw(Path("out.VKP"), old));
        const CommandRun r = Binary({"pack", Path("in.json"), Path("out.VKP")});
        EXPECT_EQ(r.status, kExitRefused) << c.mentions;
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.mentions))) << r.err.toStdString();
        EXPECT_EQ(ReadRaw(Path("out.VKP")), old) << c.mentions;

        const CommandRun fresh = Direct(RunPackCommand, {Path("in.json"), Path("new.VKP")});
        EXPECT_EQ(fresh.status, kExitRefused);
        EXPECT_FALSE(QFile::exists(Path("new.VKP")));
    }
}

// Values no editor can produce are refused by key; the edges of each range pack.
TEST_F(ShowPack, PackKeepsChannelValuesInTheEditorsRanges)
{
    ASSERT_TRUE(WriteRaw(Path("d.VKP"), Bytes(DefaultProgram())));
    const QJsonObject record = QJsonDocument::fromJson(Direct(RunShowCommand, {"--json", Path("d.VKP")}).out.toUtf8()).object();
    const struct {
        const char *key;  // in "left"; "lowPass.slope" reaches into the filter
        double value;
        bool accepted;
    } cases[] = {
        {"delay", 99, false},          {"delay", 7.01, false},        {"delay", 7.0, true},
        {"gain", -60.1, false},        {"gain", 6.1, false},          {"gain", -100, true},
        {"gain", -60, true},           {"gain", 6, true},             {"limitThreshold", 66, false},
        {"limitThreshold", 65, true},  {"attack", 9, false},          {"attack", 1000, true},
        {"decay", 1001, false},        {"hold", 101, false},          {"hold", 100, true},
        {"phase", 90, false},          {"phase", 180, true},          {"lowPass.slope", 16, false},
        {"lowPass.slope", 255, true},  {"lowPass.freq", 9.99, false}, {"lowPass.freq", 20200.01, false},
        {"lowPass.freq", 12000, true},
    };
    for (const auto &c : cases) {
        QJsonObject changed = record;
        QJsonObject left = changed["left"].toObject();
        const QString key = QString::fromLatin1(c.key);
        if (key.contains(u'.')) {
            QJsonObject filter = left[key.section(u'.', 0, 0)].toObject();
            filter[key.section(u'.', 1)] = c.value;
            left[key.section(u'.', 0, 0)] = filter;
        } else {
            left[key] = c.value;
        }
        changed["left"] = left;
        ASSERT_TRUE(WriteRaw(Path("in.json"), QJsonDocument(changed).toJson()));
        QFile::remove(Path("out.VKP"));
        const CommandRun r = Direct(RunPackCommand, {Path("in.json"), Path("out.VKP")});
        const std::string what = std::string(c.key) + " = " + std::to_string(c.value) + ": " + r.err.toStdString();
        if (c.accepted) {
            EXPECT_EQ(r.status, kExitOk) << what;
        } else {
            EXPECT_EQ(r.status, kExitRefused) << what;
            EXPECT_TRUE(r.err.startsWith(QStringLiteral("talvoctl pack: left.") + key + QStringLiteral(": "))) << what;
            EXPECT_TRUE(r.err.contains(QStringLiteral("out of range"))) << what;
            EXPECT_FALSE(QFile::exists(Path("out.VKP"))) << what;
        }
    }
}

// pack refuses what every reader of a file refuses: a band no PEQ editor makes, in a program
// file or in a slot in use of a memory file (a blank slot is never shown or sent).
TEST_F(ShowPack, PackRefusesBandsNoEditorProducesWithTheFilesCheck)
{
    RecordImage garbage = DefaultProgram();
    garbage[16 + 3] = 110;  // left band 1 at +110.20 dB
    garbage[16 + 4] = 20;
    MemoryImage image = MixedImage();
    image[3] = garbage;
    MemoryImage blank = image;
    blank[3][11] = 0;
    const struct {
        const char *name;
        QByteArray bytes;
        const char *refusal;  // null: packed back byte for byte
    } files[] = {
        {"g.VKP", Bytes(garbage), "talvoctl pack: left.peq[0].gain: 110.2 is out of range (-12 to 12)\n"},
        {"g.DMP", MemoryImageBytes(image), "talvoctl pack: slots[3].left.peq[0].gain: 110.2 is out of range (-12 to 12)\n"},
        {"b.DMP", MemoryImageBytes(blank), nullptr},
    };
    for (const auto &f : files) {
        ASSERT_TRUE(WriteRaw(Path(f.name), f.bytes));
        const CommandRun shown = Direct(RunShowCommand, {"--json", Path(f.name)});
        ASSERT_EQ(shown.status, kExitOk) << f.name;
        ASSERT_TRUE(WriteRaw(Path("in.json"), shown.out.toUtf8()));
        QFile::remove(Path("out.bin"));
        const CommandRun r = Direct(RunPackCommand, {Path("in.json"), Path("out.bin")});
        if (f.refusal) {
            EXPECT_EQ(r.status, kExitRefused) << f.name;
            EXPECT_EQ(r.err, QString::fromLatin1(f.refusal)) << f.name;
            EXPECT_FALSE(QFile::exists(Path("out.bin"))) << f.name;
        } else {
            EXPECT_EQ(r.status, kExitOk) << f.name << ": " << r.err.toStdString();
            EXPECT_EQ(ReadRaw(Path("out.bin")), f.bytes) << f.name;
        }
    }
}

TEST_F(ShowPack, PackRefusesABadSlotNamingIt)
{
    ASSERT_TRUE(WriteRaw(Path("m.DMP"), MemoryImageBytes(MixedImage())));
    QJsonObject o = QJsonDocument::fromJson(Direct(RunShowCommand, {"--json", Path("m.DMP")}).out.toUtf8()).object();
    QJsonArray slotArray = o["slots"].toArray();
    QJsonObject slot = slotArray.at(4).toObject();
    slot["name"] = "Eleven char";
    slotArray[4] = slot;
    o["slots"] = slotArray;
    ASSERT_TRUE(WriteRaw(Path("m.json"), QJsonDocument(o).toJson()));
    const CommandRun r = Direct(RunPackCommand, {Path("m.json"), Path("out.DMP")});
    EXPECT_EQ(r.status, kExitRefused);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("talvoctl pack: slots[4].name: is 11 bytes long"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("out.DMP")));
}

TEST_F(ShowPack, UsageAndUnreadableInput)
{
    EXPECT_EQ(Direct(RunShowCommand, {}).status, kExitRefused);
    EXPECT_EQ(Direct(RunShowCommand, {"--yaml", "x"}).status, kExitRefused);
    EXPECT_EQ(Direct(RunShowCommand, {"a", "b"}).status, kExitRefused);
    EXPECT_EQ(Direct(RunPackCommand, {"only-one"}).status, kExitRefused);
    const CommandRun missing = Direct(RunShowCommand, {Path("missing.VKP")});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("missing.VKP")));
    EXPECT_EQ(Direct(RunPackCommand, {Path("missing.json"), Path("out.VKP")}).status, kExitFailed);
    EXPECT_FALSE(QFile::exists(Path("out.VKP")));
}

// A folder given as the file is bad input: refused (2) with a line naming it, not a failed read.
TEST_F(ShowPack, AFolderGivenAsTheFileIsRefused)
{
    ASSERT_TRUE(QDir(Path(".")).mkdir("DIR.VKP"));
    const struct {
        const char *name;
        QStringList args;
    } cases[] = {
        {"show", {"show", Path("DIR.VKP")}},
        {"show --json", {"show", "--json", Path("DIR.VKP")}},
        {"pack", {"pack", Path("DIR.VKP"), Path("out.VKP")}},
    };
    for (const auto &c : cases) {
        const CommandRun r = Binary(c.args);
        EXPECT_EQ(r.status, kExitRefused) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.name;
        EXPECT_EQ(r.err.count(u'\n'), 1) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(Path("DIR.VKP") + QStringLiteral(" is a folder"))) << c.name << ": " << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("out.VKP")));
}

TEST_F(ShowPack, PackReportsAWriteFailure)
{
    ASSERT_TRUE(WriteRaw(Path("d.VKP"), Bytes(DefaultProgram())));
    ASSERT_TRUE(WriteRaw(Path("d.json"), Direct(RunShowCommand, {"--json", Path("d.VKP")}).out.toUtf8()));
    const CommandRun r = Direct(RunPackCommand, {Path("d.json"), Path("no/such/folder/out.VKP")});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_TRUE(r.err.contains(QStringLiteral("out.VKP"))) << r.err.toStdString();
}

TEST_F(ShowPack, PackRefusesANamedPipeOrAFolderAsOut)
{
    ASSERT_TRUE(WriteRaw(Path("d.VKP"), Bytes(DefaultProgram())));
    ASSERT_TRUE(WriteRaw(Path("d.json"), Direct(RunShowCommand, {"--json", Path("d.VKP")}).out.toUtf8()));
    ASSERT_TRUE(testsupport::MakeNamedPipe(Path("pipe")));
    ASSERT_TRUE(QDir(Path(".")).mkdir("folder"));

    const CommandRun pipe = Binary({"pack", Path("d.json"), Path("pipe")});
    EXPECT_EQ(pipe.status, kExitRefused);
    EXPECT_EQ(pipe.err, QStringLiteral("talvoctl pack: cannot write %1: it is a named pipe, not a regular file\n")
                            .arg(Path("pipe")));
    EXPECT_EQ(testsupport::KindOfPath(Path("pipe")), testsupport::PathKind::NamedPipe);

    EXPECT_EQ(Direct(RunPackCommand, {Path("d.json"), Path("folder")}).status, kExitRefused);
    EXPECT_EQ(testsupport::KindOfPath(Path("folder")), testsupport::PathKind::Folder);
}

}  // namespace
}  // namespace talvo::cli
