// talvoctl search and connect: the subcommands against the simulated bus (run in this process,
// so that the clock can run faster), and the refusals through the real binary.

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Commands.h"
#include "DeviceTestSupport.h"
#include "RuntimeSupport.h"
#include "tests/support/ToolRun.h"
#include "programs/ProgramFile.h"

namespace talvo::testing {
namespace {

using testsupport::RunCommand;
using testsupport::ToolRun;

ToolRun Talvoctl(const QStringList &args) { return testsupport::RunTalvoctl(args, 30000); }

// The same over a local port and over a serial server on the network.
class ConnectToolOver : public ::testing::TestWithParam<testsupport::SimTransport> {};

TEST_P(ConnectToolOver, PrintsTheStatusSavesTheLiveProgramAndDisconnects)
{
    // Every frame is counted: no reply may miss its window and cause a resend (the clock holds
    // for a late thread, see kProcedureSpeed).
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig config;
    config.id = 5;
    config.subAddress = 300;
    config.firmwareMajor = 2;
    config.firmwareMinor = 5;
    config.runningProgram = 3;
    config.bridgeAvailable = false;
    SimLine line({config}, PatientBus(), GetParam());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("live.VKP"));

    const ToolRun run = RunCommand(cli::RunConnectCommand,
                               {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id"), QStringLiteral("5"),
                                QStringLiteral("--sub=300"), QStringLiteral("--save"), file});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("ONLINE\nMCU Firmware Version: DSP VS-2.5\nprogram 3\nbridge no\nsaved ") + file +
                           QLatin1Char('\n'));

    const sim::Amplifier &amp = line.bus().amplifier(0);
    RecordImage saved{};
    ASSERT_TRUE(ReadRecordFile(file, saved).ok());
    EXPECT_EQ(saved, LiveRecord(amp));

    // Connected without muting, then the two disconnect frames.
    const auto &frames = line.frames();
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_EQ(Hex(frames.front().wire), Hex(FromHex("336677 05012C DC 01 64 73 99AABB")));
    EXPECT_EQ(frames[10].frame.data[0], 80);
    EXPECT_EQ(frames[11].frame.data[0], 80);
    EXPECT_FALSE(amp.connected());
}

INSTANTIATE_TEST_SUITE_P(Transports, ConnectToolOver, testsupport::BothSimTransports(), testsupport::SimTransportName);

TEST(ConnectTool, OfflineWritesNothingAndSaysSo)
{
    ScopedSpeed speed(20);
    SimLine line({sim::AmplifierConfig()}, PatientBus());  // ID 1 only
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("live.VKP"));

    const ToolRun run = RunCommand(cli::RunConnectCommand, {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id"),
                                                        QStringLiteral("2"), QStringLiteral("--mute"), QStringLiteral("--save"), file});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("OFFLINE\n"));
    EXPECT_EQ(run.err, QStringLiteral("talvoctl connect: no answer from ID 2 on %1; %2 was not written\n")
                           .arg(line.devicePath(), file));
    EXPECT_FALSE(QFile::exists(file));
    // Eight connect attempts. The closing disconnect sends nothing: with no amplifier
    // connected the send gate holds its frames back.
    ASSERT_EQ(line.frames().size(), 8u);
    EXPECT_EQ(line.frames()[0].frame.data[0], 101);
}

// The line dies once the program has been read: the status request and everything after it go
// unanswered. The program read is saved all the same, and the one line on stderr says so and
// that the link then failed.
TEST(ConnectTool, ALinkFailingAfterTheReadOutIsToldBesideTheSavedProgram)
{
    ScopedSpeed speed(kProcedureSpeed);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    SilenceFrom(line, 239);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("k.VKP"));

    const ToolRun run = RunCommand(cli::RunConnectCommand,
                                   {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id"), QStringLiteral("1"),
                                    QStringLiteral("--save"), file});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("OFFLINE\nsaved %1\n").arg(file));
    EXPECT_EQ(run.err, QStringLiteral("talvoctl connect: the program was saved to %1, then the link failed: ID 1 on %2 "
                                      "sent its program but not its status, and is not connected\n")
                           .arg(file, line.devicePath()));

    const sim::Amplifier &amp = line.bus().amplifier(0);
    RecordImage saved{};
    ASSERT_TRUE(ReadRecordFile(file, saved).ok());
    EXPECT_EQ(saved, LiveRecord(amp));
}

class SearchToolOver : public ::testing::TestWithParam<testsupport::SimTransport> {};

TEST_P(SearchToolOver, ListsTheAmplifiersOfARange)
{
    // ID 255 is the last of the range: its answer has only its own window.
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig a;
    a.id = 200;
    sim::AmplifierConfig b;
    b.id = 255;
    SimLine line({a, b}, PatientBus(), GetParam());
    const ToolRun run = RunCommand(cli::RunSearchCommand,
                               {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--range"), QStringLiteral("193-255")});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("ID 200\nID 255\n2 amplifiers found in IDs 193..255\n"));
    ASSERT_EQ(line.frames().size(), 3u * 63u);
    EXPECT_EQ(line.frames().front().frame.address, 193);
}

INSTANTIATE_TEST_SUITE_P(Transports, SearchToolOver, testsupport::BothSimTransports(), testsupport::SimTransportName);

TEST(SearchConnectTools, RefuseBadArgumentsAndReportPortsThatDoNotOpen)
{
    struct Case {
        QStringList args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {{"search"}, 2, "missing --port"},
        {{"search", "--port", "/dev/null", "--range", "1-65"}, 2, "--range '1-65'"},
        {{"search", "--port", "/dev/null", "extra"}, 2, "unexpected argument 'extra'"},
        {{"connect", "--port", "/dev/null"}, 2, "missing --id"},
        {{"connect", "--port", "/dev/null", "--id", "0"}, 2, "--id '0' is not a number in 1..255"},
        {{"connect", "--port", "/dev/null", "--id", "256"}, 2, "--id '256'"},
        {{"connect", "--port", "/dev/null", "--id", "5", "--sub", "0"}, 2, "--sub '0' is not a number in 1..65535"},
        {{"connect", "--port", "/dev/null", "--id", "5", "--sub", "65536"}, 2, "--sub '65536'"},
        {{"connect", "--port", "/dev/null", "--id", "x5"}, 2, "--id 'x5'"},
        {{"connect", "--port", "/dev/null", "--id", "5", "--save"}, 2, "--save needs a value"},
        {{"connect", "--port", "COM300", "--id", "5"}, 2, "COM1..COM255"},
        {{"connect", "--port", "/nonexistent/talvo-tty", "--id", "5"}, 1,
         "talvoctl connect: cannot open /nonexistent/talvo-tty: no such device\n"},
        {{"search", "--port", "/nonexistent/talvo-tty"}, 1, "talvoctl search: cannot open /nonexistent/talvo-tty: no such device\n"},
        {{"connect", "--port", "tcp://127.0.0.1", "--id", "5"}, 2, "port 'tcp://127.0.0.1': the port number is missing"},
        {{"search", "--port", "tcp://10.0.0.20:99999"}, 2, "'99999' is no TCP port (1..65535)"},
        {{"search", "--port", "tcp://no-such-host.invalid:4001"}, 1,
         "talvoctl search: cannot open tcp://no-such-host.invalid:4001: the host name does not resolve\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ToolRun run = Talvoctl(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}

}  // namespace
}  // namespace talvo::testing
