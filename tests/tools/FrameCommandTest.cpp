#include "Commands.h"

#include <memory>
#include <ostream>

#include <QCoreApplication>
#include <QString>
#include <QTextStream>
#include <gtest/gtest.h>

#include "tests/support/ParamNames.h"
#include "tests/support/ToolRun.h"

namespace talvo::cli {
namespace {

using FrameRun = talvo::testsupport::ToolRun;

FrameRun runFrame(const QStringList &args) { return talvo::testsupport::RunCommand(RunFrameCommand, args); }

struct PrintedCase {
    QStringList args;
    const char *wire;
};

void PrintTo(const PrintedCase &c, std::ostream *os)
{
    *os << c.args.join(' ').toStdString();
}

class FramePrinted : public testing::TestWithParam<PrintedCase> {};

TEST_P(FramePrinted, PrintsTheWireBytes)
{
    const FrameRun r = runFrame(GetParam().args);
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out.toStdString(), std::string(GetParam().wire) + "\n");
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FramePrinted,
    testing::Values(
        PrintedCase{{"1", "220", "100"}, "33 66 77 01 00 00 DC 01 64 42 99 AA BB"},
        PrintedCase{{"200", "220", "110"}, "33 66 77 C8 00 00 DC 01 6E 13 99 AA BB"},
        PrintedCase{{"--sub", "4660", "1", "220", "101"}, "33 66 77 01 12 34 DC 01 65 89 99 AA BB"},
        PrintedCase{{"--sub=0x1234", "1", "220", "101"}, "33 66 77 01 12 34 DC 01 65 89 99 AA BB"},
        PrintedCase{{"1", "220", "--sub", "65535", "100"}, "33 66 77 01 FF FF DC 01 64 40 99 AA BB"},
        PrintedCase{{"0x01", "0xdc", "0X64"}, "33 66 77 01 00 00 DC 01 64 42 99 AA BB"},
        PrintedCase{{"007", "6"}, "33 66 77 07 00 00 06 00 0D 99 AA BB"},
        PrintedCase{{"1", "2", "153", "170", "187"}, "33 66 77 01 00 00 02 03 99 AA BB 04 99 AA BB"},
        PrintedCase{{"255", "221", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1"},
                    "33 66 77 FF 00 00 DD 10 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 FC 99 AA BB"}),
    talvo::testsupport::ByArgs());

struct RefusedCase {
    QStringList args;
    const char *mentions;  // what the message must name so the user can find the fault
};

void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << '[' << c.args.join(' ').toStdString() << ']';
}

class FrameRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(FrameRefused, RefusesWithOneLine)
{
    const FrameRun r = runFrame(GetParam().args);
    EXPECT_EQ(r.status, kExitRefused);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.endsWith('\n'));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String(GetParam().mentions))) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, FrameRefused,
    testing::Values(
        RefusedCase{{}, "missing ID and COMMAND"},
        RefusedCase{{"1"}, "missing COMMAND"},
        RefusedCase{{"--sub", "5"}, "missing ID"},
        RefusedCase{{"1", "220", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16",
                     "17"},
                    "at most 16"},
        RefusedCase{{"0", "220", "100"}, "ID 0"},
        RefusedCase{{"256", "220", "100"}, "ID 256"},
        RefusedCase{{"-1", "220", "100"}, "ID -1"},
        RefusedCase{{"1", "256", "100"}, "COMMAND 256"},
        RefusedCase{{"1", "220", "256"}, "data byte 1 256"},
        RefusedCase{{"1", "220", "1", "-5"}, "data byte 2 -5"},
        RefusedCase{{"1", "220", "99999999999999999999999"}, "outside 0..255"},
        RefusedCase{{"1", "220", "0x100"}, "outside 0..255"},
        RefusedCase{{"one", "220"}, "'one' is not a number"},
        RefusedCase{{"1", "2x"}, "'2x' is not a number"},
        RefusedCase{{"1", "220", "1.5"}, "'1.5' is not a number"},
        RefusedCase{{"1", "220", "+5"}, "'+5' is not a number"},
        RefusedCase{{"1", "220", ""}, "'' is not a number"},
        RefusedCase{{"1", "220", "0x"}, "'0x' is not a number"},
        RefusedCase{{"--sub", "65536", "1", "220"}, "sub-address 65536"},
        RefusedCase{{"--sub", "abc", "1", "220"}, "sub-address 'abc'"},
        RefusedCase{{"1", "220", "--sub"}, "--sub needs"},
        RefusedCase{{"--sub", "1", "--sub", "2", "1", "220"}, "more than once"},
        RefusedCase{{"--subaddress", "1", "1", "220"}, "unknown option"}),
    talvo::testsupport::ByArgs());

// Through the real binary: the dispatcher must reach the subcommand and the exit status and
// streams must come out as the process's own.
class FrameBinary : public testing::Test {
protected:
    FrameRun run(const QStringList &args)
    {
        return talvo::testsupport::RunTalvoctl(QStringList{QStringLiteral("frame")} + args, 30000);
    }
};

TEST_F(FrameBinary, PrintsConnectFrame)
{
    const FrameRun r = run({"1", "220", "100"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, QStringLiteral("33 66 77 01 00 00 DC 01 64 42 99 AA BB\n"));
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(FrameBinary, RefusesOutOfRangeByte)
{
    const FrameRun r = run({"1", "220", "300"});
    EXPECT_EQ(r.status, kExitRefused);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("300")));
}

}  // namespace
}  // namespace talvo::cli
