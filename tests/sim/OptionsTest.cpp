// The talvo-ampsim command line.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include <QFile>
#include <QTemporaryDir>

#include "memory/MemoryFile.h"
#include "sim/SimOptions.h"

namespace talvo::sim {
namespace {

TEST(SimOptions, DefaultIsOneDemonstrationAmplifierOnAPseudoTerminal)
{
    const auto r = ParseSimArguments({});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.options.devicePath.isEmpty());
    EXPECT_TRUE(r.options.recordPath.isEmpty());
    ASSERT_EQ(r.options.amplifiers.size(), 1u);
    const AmplifierConfig &a = r.options.amplifiers[0];
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.firmwareMajor, 2);
    EXPECT_EQ(a.firmwareMinor, 5);
    EXPECT_TRUE(a.bridgeAvailable);
    EXPECT_EQ(a.slotRecords, DemoSlots());
    EXPECT_EQ(a.faults, Faults());
}

TEST(SimOptions, AmplifiersWithSettingsAndFaultsInTheirScope)
{
    const auto r = ParseSimArguments({"--drop", "0.25", "--device=/dev/ttyS3", "--amp", "7:300,firmware=3.12,bridge=0,program=4",
                                      "--reply-delay", "40", "--garbage=5", "--amp", "7:301", "--no-answer",
                                      "--cut-short", "10", "--program21", "--seed", "99", "--record", "/tmp/x.jsonl"});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.options.devicePath, "/dev/ttyS3");
    EXPECT_EQ(r.options.recordPath, "/tmp/x.jsonl");
    ASSERT_EQ(r.options.amplifiers.size(), 2u);
    const AmplifierConfig &a = r.options.amplifiers[0];
    EXPECT_EQ(a.id, 7);
    EXPECT_EQ(a.subAddress, 300);
    EXPECT_EQ(a.firmwareMajor, 3);
    EXPECT_EQ(a.firmwareMinor, 12);
    EXPECT_FALSE(a.bridgeAvailable);
    EXPECT_EQ(a.runningProgram, 4);
    Faults fa;
    fa.dropShare = 0.25;  // before the first --amp: every amplifier
    fa.replyDelayMs = 40;
    fa.garbageBytes = 5;
    EXPECT_EQ(a.faults, fa);

    const AmplifierConfig &b = r.options.amplifiers[1];
    EXPECT_EQ(b.subAddress, 301);
    Faults fb;
    fb.dropShare = 0.25;
    fb.noAnswer = true;
    fb.cutShortTo = 10;
    fb.program21 = true;
    fb.seed = 99;
    EXPECT_EQ(b.faults, fb);
}

TEST(SimOptions, FaultsBeforeAnyAmpApplyToTheDefaultAmplifier)
{
    const auto r = ParseSimArguments({"--no-answer"});
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.options.amplifiers.size(), 1u);
    EXPECT_TRUE(r.options.amplifiers[0].faults.noAnswer);
}

TEST(SimOptions, SlotsComeFromAMemoryFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MemoryImage image = BlankMemoryImage();
    image[4] = NewSlotRecord();
    const QString good = dir.filePath("five.DMP");
    ASSERT_TRUE(WriteMemoryFile(good, image).ok());
    const QString shortFile = dir.filePath("short.DMP");
    {
        QFile f(shortFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2239, '\0'));
    }

    const auto r = ParseSimArguments({"--amp", "2,slots=" + good});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const auto &records = r.options.amplifiers[0].slotRecords;
    RecordImage expected = NewSlotRecord();
    expected[12] = 5;  // held in slot 5
    EXPECT_EQ(records[4], expected);
    EXPECT_EQ(records[0], BlankSlotRecord());

    for (const QString &bad : {shortFile, dir.filePath("missing.DMP")}) {
        const auto e = ParseSimArguments({"--amp", "2,slots=" + bad});
        EXPECT_FALSE(e.ok);
        EXPECT_TRUE(e.error.contains(bad)) << e.error.toStdString();
    }
}

TEST(SimOptions, TcpListensOnTheLoopbackUnlessAHostIsGiven)
{
    EXPECT_FALSE(ParseSimArguments({}).options.tcp.has_value());
    const auto port = ParseSimArguments({"--tcp", "4001"});
    ASSERT_TRUE(port.ok) << port.error.toStdString();
    EXPECT_EQ(port.options.tcp->host, "127.0.0.1");
    EXPECT_EQ(port.options.tcp->port, 4001);
    const auto any = ParseSimArguments({"--tcp=0.0.0.0:0"});
    ASSERT_TRUE(any.ok) << any.error.toStdString();
    EXPECT_EQ(any.options.tcp->host, "0.0.0.0");
    EXPECT_EQ(any.options.tcp->port, 0);
}

TEST(SimOptions, HelpWinsOverEverythingElse)
{
    const auto r = ParseSimArguments({"--amp", "0", "--help"});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.options.help);
    EXPECT_TRUE(SimUsage().contains("--amp ID[:SUB][,firmware=X.Y][,bridge=0|1][,program=N][,slots=FILE.DMP]"));
    // What a mode change does to the settings, which a read-back shows.
    EXPECT_TRUE(SimUsage().simplified().contains("after 198 every setting is the default program")) << SimUsage().toStdString();
}

using Args = std::vector<std::string>;

class BadOptionsTest : public ::testing::TestWithParam<Args> {};

TEST_P(BadOptionsTest, AreRefusedWithAReason)
{
    QStringList args;
    for (const std::string &a : GetParam())
        args << QString::fromStdString(a);
    const auto r = ParseSimArguments(args);
    EXPECT_FALSE(r.ok) << args.join(' ').toStdString();
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_FALSE(r.error.contains('\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Sim, BadOptionsTest,
    ::testing::Values(Args{"--amp"},
                      Args{"--amp", "0"},
                      Args{"--amp", "256"},
                      Args{"--amp", "x"},
                      Args{"--amp", "1:0"},
                      Args{"--amp", "1:65536"},
                      Args{"--amp", "1:2:3"},
                      Args{"--amp", "1,firmware=2"},
                      Args{"--amp", "1,firmware=2.256"},
                      Args{"--amp", "1,bridge=yes"},
                      Args{"--amp", "1,program=0"},
                      Args{"--amp", "1,program=21"},
                      Args{"--amp", "1,colour=red"},
                      Args{"--amp", "1,bridge"},
                      Args{"--amp", "1,bridge=1,bridge=0"},
                      Args{"--drop", "1.5"},
                      Args{"--drop", "nan"},
                      Args{"--drop"},
                      Args{"--reply-delay", "-1"},
                      Args{"--garbage", "many"},
                      Args{"--cut-short", "23"},
                      Args{"--seed", "0"},
                      Args{"--no-answer=1"},
                      Args{"--device", "/dev/a", "--device", "/dev/b"},
                      Args{"--tcp"},
                      Args{"--tcp", "host"},
                      Args{"--tcp", "65536"},
                      Args{"--tcp", "::1:4001"},
                      Args{"--tcp", "4001", "--tcp", "4002"},
                      Args{"--tcp", "4001", "--device", "/dev/a"},
                      Args{"--record"},
                      Args{"--bogus"},
                      Args{"stray"}),
    [](const auto &info) {
        // "--amp 1:0" -> "amp_1_0"
        std::string name;
        for (const std::string &arg : info.param) {
            for (char c : arg) {
                if (std::isalnum(static_cast<unsigned char>(c)))
                    name += c;
                else if (!name.empty() && name.back() != '_')
                    name += '_';
            }
            if (!name.empty() && name.back() != '_')
                name += '_';
        }
        while (!name.empty() && name.back() == '_')
            name.pop_back();
        return name;
    });

}  // namespace
}  // namespace talvo::sim
