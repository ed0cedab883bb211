// talvoctl eq: a measurement's filter file into a program file's bands (every other byte kept,
// every filter accounted for, the fit printed), the bands out as a filter file and back, and
// the refusals that write nothing.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "../programs/TestRecords.h"
#include "Commands.h"
#include "peq/MeasuredEq.h"
#include "programs/ProgramRecord.h"
#include "state/ProgramApply.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ToolRun.h"

namespace talvo::cli {
namespace {

using talvo::testing::Bytes;
using talvo::testing::ReadRaw;
using talvo::testing::VariedProgram;
using talvo::testing::WriteRaw;
using testsupport::RunCommand;
using testsupport::ToolRun;

ToolRun Eq(const QStringList &args)
{
    return RunCommand(RunEqCommand, args);
}

const char kMeasurement[] =
    "Filter Settings file\r\n"
    "\r\n"
    "Room EQ V5.20\r\n"
    "Notes:Main hall\r\n"
    "Equaliser: Generic\r\n"
    "Filter  1: ON  PK       Fc   42.5 Hz  Gain  -8.5 dB  Q  5.20\r\n"
    "Filter  2: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.00\r\n"
    "Filter  3: OFF PK       Fc    300 Hz  Gain  -2.0 dB  Q  1.00\r\n"
    "Filter  4: ON  LS       Fc    105 Hz  Gain   4.0 dB\r\n";

// The bytes of a record outside the band images of the channels named.
QByteArray OutsideBands(const QByteArray &record, std::initializer_list<int> channels)
{
    QByteArray rest = record;
    for (int channel : channels)
        for (int b = 0; b < kBandCount; ++b)
            rest.replace(BandImageOffset(channel, b), 8, QByteArray(8, '\0'));
    return rest;
}

class EqTool : public ::testing::Test {
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString write(const char *name, const QByteArray &bytes)
    {
        const QString p = path(name);
        EXPECT_TRUE(WriteRaw(p, bytes));
        return p;
    }
    QTemporaryDir dir;
};

TEST_F(EqTool, ImportPutsTheFiltersIntoTheBandsAndKeepsEveryOtherByte)
{
    const QByteArray program = Bytes(EncodeProgram(VariedProgram()));
    const QString filters = write("room.txt", kMeasurement);
    const QString in = write("in.VKP", program);
    const ToolRun run = Eq({"import", filters, in, path("out.VKP"), "--channel", "right"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());

    const QByteArray out = ReadRaw(path("out.VKP"));
    ASSERT_EQ(out.size(), kRecordSize);
    EXPECT_EQ(OutsideBands(out, {kRightChannel}), OutsideBands(program, {kRightChannel}));
    RecordImage record{};
    std::copy(out.begin(), out.end(), record.begin());
    const Program p = DecodeProgram(record);
    EXPECT_EQ(p.right.peq[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(p.right.peq[1], (PeqBand{63.7, -5.0, 4.0}));
    // No filter left for band 3: FLAT, with the values it had.
    EXPECT_EQ(p.right.peq[2], VariedProgram().right.peq[2]);
    EXPECT_EQ(p.right.flat, (PeqFlats{false, false, true}));

    // Every filter line and the fit, then the file written.
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("RIGHT channel:"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("  line 6 (Filter 1): PK 42.5 Hz, -8.5 dB, Q 5.2 -> band 1")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("  line 7 (Filter 2): PK 63 Hz, -5 dB, Q 4 -> band 2: 63.7 Hz")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("  line 8 (Filter 3): OFF; ignored")));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("  line 9 (Filter 4): LS is not a peaking filter; not imported")));
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("  band 3: no filter left for it; FLAT")));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("  fit: largest difference 0.")));
    EXPECT_EQ(lines[7], QStringLiteral("wrote ") + path("out.VKP"));
}

TEST_F(EqTool, BothChannelsGetTheSameBands)
{
    const QString in = write("in.VKP", Bytes(EncodeProgram(VariedProgram())));
    const ToolRun run = Eq({"import", write("room.txt", kMeasurement), in, path("out.VKP"), "--channel=both"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("LEFT channel:\n")) && run.out.contains(QStringLiteral("RIGHT channel:\n")));
    const QByteArray out = ReadRaw(path("out.VKP"));
    for (int b = 0; b < 2; ++b)
        EXPECT_EQ(out.mid(BandImageOffset(kLeftChannel, b), 8), out.mid(BandImageOffset(kRightChannel, b), 8)) << b;
    EXPECT_EQ(OutsideBands(out, {kLeftChannel, kRightChannel}), OutsideBands(ReadRaw(in), {kLeftChannel, kRightChannel}));
}

// The bands as the editors leave them (grid frequencies, tenths), a FLAT band among them, and
// the default program's bands.
TEST_F(EqTool, ExportThenImportGivesBackTheSameProgram)
{
    Program p = DecodeProgram(DefaultProgram());
    p.left.peq = {{{50.6, 4.5, 2.0}, {500.0, -6.0, 8.0}, {5040.0, 3.0, 1.0}}};
    p.left.flat = {false, true, false};
    p.right.peq[1].gain = -3.5;
    const QByteArray program = Bytes(EncodeProgram(p));
    const QString in = write("in.VKP", program);
    for (const char *channel : {"left", "right"}) {
        SCOPED_TRACE(channel);
        // Imported into the program with the channel's bands that are not FLAT set otherwise
        // (a FLAT band keeps the values of the program it goes into).
        Program other = p;
        ChannelSettings &settings = QByteArrayView(channel) == "left" ? other.left : other.right;
        for (int b = 0; b < kBandCount; ++b)
            if (!settings.flat[b])
                settings.peq[b] = {8000.0, -1.0, 10.0};
        const QString target = write("other.VKP", Bytes(EncodeProgram(other)));
        const QString filters = path("out.txt");
        const ToolRun exported = Eq({"export", in, "--channel", channel, "--out", filters});
        ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
        EXPECT_EQ(exported.out, QStringLiteral("wrote ") + filters + u'\n');
        // The same text as on standard output.
        const ToolRun printed = Eq({"export", in, "--channel", channel});
        EXPECT_EQ(QString::fromUtf8(ReadRaw(filters)), printed.out);

        const ToolRun imported = Eq({"import", filters, target, path("back.VKP"), "--channel", channel});
        ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
        EXPECT_EQ(ReadRaw(path("back.VKP")), program);
        EXPECT_TRUE(imported.out.contains(QStringLiteral("fit: largest difference 0.00 dB between"))) << imported.out.toStdString();
    }
    const ToolRun left = Eq({"export", in, "--channel", "left"});
    EXPECT_TRUE(left.out.contains(QStringLiteral("Filter  2: OFF PK       Fc     500 Hz  Gain  -6.00 dB  Q   8.00\n")))
        << left.out.toStdString();
}

struct Refusal {
    const char *name;
    const char *filters;   // the filter file's text
    QByteArray program;    // the program file's bytes
    QStringList args;      // FILTERS, PROGRAM and OUT stand for the paths
    const char *says;
};

const QByteArray kGoodProgram = Bytes(DefaultProgram());
const QByteArray kShortProgram = kGoodProgram.left(111);
const QByteArray kOddProgram = [] {
    QByteArray bytes = Bytes(DefaultProgram());
    bytes[16 + 35] = char(220);  // left delay 220 ms
    return bytes;
}();
const QStringList kImport{"import", "FILTERS", "PROGRAM", "OUT", "--channel", "left"};

const Refusal kRefusals[] = {
    {"EmptyFile", "", kGoodProgram, kImport, "FILTERS: the file is empty; nothing written"},
    {"NoPeakingFilter", "Filter 1: ON LS Fc 80 Hz Gain 3 dB\nFilter 2: OFF PK Fc 63 Hz Gain -5 dB Q 4\n", kGoodProgram, kImport,
     "FILTERS: no peaking filter is ON"},
    {"NotANumber", "Filter 1: ON PK Fc 63 Hz Gain -5 dB Q 4\nFilter 2: ON PK Fc 100 Hz Gain -x dB Q 4\n", kGoodProgram, kImport,
     "FILTERS: line 2: Gain '-x' is not a number: \"Filter 2: ON PK Fc 100 Hz Gain -x dB Q 4\""},
    {"FrequencyOutOfRange", "\n\nFilter: ON PK Fc 25000 Hz Gain -5 dB Q 4\n", kGoodProgram, kImport,
     "FILTERS: line 3: Fc 25000 Hz is outside what a band can take"},
    {"QOutOfRange", "Filter: ON PK Fc 250 Hz Gain -5 dB Q 0.1\n", kGoodProgram, kImport,
     "FILTERS: line 1: Q 0.1 is outside what a band can take"},
    {"ProgramOfTheWrongLength", kMeasurement, kShortProgram, kImport, "111"},
    {"ProgramWithAValueNoEditorProduces", kMeasurement, kOddProgram, kImport, "left.delay"},
    {"NoChannel", kMeasurement, kGoodProgram, {"import", "FILTERS", "PROGRAM", "OUT"}, "missing --channel left|right|both"},
    {"ChannelMisspelt", kMeasurement, kGoodProgram, {"import", "FILTERS", "PROGRAM", "OUT", "--channel", "l"},
     "--channel 'l' is not left, right or both"},
    {"NoOutFile", kMeasurement, kGoodProgram, {"import", "FILTERS", "PROGRAM", "--channel", "left"}, "PROGRAM.VKP OUT.VKP (see talvoctl eq --help)"},
    {"ExportOfBoth", kMeasurement, kGoodProgram, {"export", "PROGRAM", "--channel", "both", "--out", "OUT"},
     "--channel 'both' is not left or right"},
    {"ExportOfABadProgram", kMeasurement, kOddProgram, {"export", "PROGRAM", "--channel", "left", "--out", "OUT"}, "left.delay"},
    {"UnknownAction", kMeasurement, kGoodProgram, {"merge", "FILTERS", "PROGRAM", "OUT"}, "unknown action 'merge'"},
};

class EqRefusal : public EqTool, public ::testing::WithParamInterface<Refusal> {};

TEST_P(EqRefusal, ExitsTwoNamingWhatWasWrongAndWritesNothing)
{
    const Refusal &c = GetParam();
    const QString filters = write("filters.txt", c.filters);
    const QString program = write("program.VKP", c.program);
    // OUT exists: a refused command leaves it as it was.
    const QString out = write("out.file", "keep me");
    QStringList args;
    for (const QString &a : c.args)
        args << (a == QLatin1String("FILTERS") ? filters : a == QLatin1String("PROGRAM") ? program : a == QLatin1String("OUT") ? out : a);
    const ToolRun run = Eq(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl eq: "))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says).replace(QStringLiteral("FILTERS"), filters))) << run.err.toStdString();
    EXPECT_EQ(ReadRaw(out), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no file besides the three";
}

INSTANTIATE_TEST_SUITE_P(, EqRefusal, ::testing::ValuesIn(kRefusals), [](const auto &info) { return std::string(info.param.name); });

TEST_F(EqTool, AnOutThatIsAFolderIsRefusedAndAFailedWriteFails)
{
    const QString filters = write("room.txt", kMeasurement);
    const QString in = write("in.VKP", kGoodProgram);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    EXPECT_EQ(Eq({"import", filters, in, path("folder"), "--channel", "left"}).status, 2);

    // A disk that is full: the old file stays, exit 1.
    const QString out = write("out.VKP", "old");
    ToolRun run;
    {
        talvo::testing::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.active());
        run = Eq({"import", filters, in, out, "--channel", "left"});
    }
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl eq: "))) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(ReadRaw(out), QByteArray("old"));
}

// The exit status and streams as a script sees them.
TEST_F(EqTool, TheProgramRefusesABadLineWithStatusTwo)
{
    const QString filters = write("room.txt", "Filter 1: ON PK Fc 15 Hz Gain -5 dB Q 4\n");
    const QString in = write("in.VKP", kGoodProgram);
    const ToolRun run = testsupport::RunTalvoctl({"eq", "import", filters, in, path("out.VKP"), "--channel", "left"});
    testsupport::ExpectRefusal(run, "eq", "line 1: Fc 15 Hz is outside what a band can take");
    EXPECT_FALSE(QFile::exists(path("out.VKP")));
}

}  // namespace
}  // namespace talvo::cli
