// talvoctl send, end to end against the simulated bus, and its refusals.

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "Commands.h"
#include "RuntimeSupport.h"
#include "tests/support/ToolRun.h"
#include "sim/Amplifier.h"
#include "link/SerialIo.h"

namespace talvo::testing {
namespace {

using testsupport::ToolRun;

ToolRun Talvoctl(const QStringList &args) { return testsupport::RunTalvoctl(args); }

TEST(SendTool, SendsThroughTheLinkAndPrintsEachReply)
{
    sim::AmplifierConfig config;
    config.id = 4;
    SimLine line({config});
    const ToolRun run = Talvoctl({QStringLiteral("send"), QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id"),
                              QStringLiteral("4"), QStringLiteral("231"), QStringLiteral("100"), QStringLiteral("--repeat"), QStringLiteral("2")});
    line.stop();
    ASSERT_EQ(run.status, 0) << run.err.toStdString();

    QString block = QStringLiteral("reply ID 4 command 231 length 16 data");
    const RecordImage &live = line.bus().amplifier(0).liveProgram();
    for (int i = 0; i < 16; ++i)
        block += QStringLiteral(" %1").arg(live[static_cast<std::size_t>(i)], 2, 16, QLatin1Char('0')).toUpper();
    EXPECT_EQ(run.out, block + QLatin1Char('\n') + block + QLatin1Char('\n'));

    ASSERT_EQ(line.frames().size(), 2u);
    for (const auto &f : line.frames())
        EXPECT_EQ(Hex(f.wire), Hex(FromHex("336677 040000 E7 01 64 50 99AABB")));
}

TEST(SendTool, APortThatCannotBeOpenedSaysWhyAndGivesStatusOne)
{
    ScopedConfigHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/talvo")));
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[ports]\nCOM9=/nonexistent/talvo-tty\n");
    file.close();

    const ToolRun byNumber = Talvoctl({QStringLiteral("send"), QStringLiteral("--port"), QStringLiteral("COM9"),
                                   QStringLiteral("--id=1"), QStringLiteral("220"), QStringLiteral("100")});
    // One line, the reason without the window's wording.
    EXPECT_EQ(byNumber.status, 1);
    EXPECT_EQ(byNumber.err, QStringLiteral("talvoctl send: cannot open COM9 (/nonexistent/talvo-tty): no such device\n"));
    EXPECT_TRUE(byNumber.out.isEmpty());

    const ToolRun byPath = Talvoctl({QStringLiteral("send"), QStringLiteral("--port=/nonexistent/other-tty"),
                                 QStringLiteral("--id=1"), QStringLiteral("220"), QStringLiteral("100")});
    EXPECT_EQ(byPath.status, 1);
    EXPECT_EQ(byPath.err, QStringLiteral("talvoctl send: cannot open /nonexistent/other-tty: no such device\n"));

    const ToolRun notSerial = Talvoctl({QStringLiteral("send"), QStringLiteral("--port=/dev/null"), QStringLiteral("--id=1"),
                                        QStringLiteral("220"), QStringLiteral("100")});
    EXPECT_EQ(notSerial.status, 1);
    EXPECT_EQ(notSerial.err, QStringLiteral("talvoctl send: cannot open /dev/null: not a serial device\n"));
}

// A serial port that hangs up, or a serial server on the network that drops the connection.
class SendToolOver : public ::testing::TestWithParam<testsupport::SimTransport> {};

TEST_P(SendToolOver, ALineThatHangsUpMidRunEndsTheCommandPromptlyAndWithoutSpinning)
{
    SimLine line({sim::AmplifierConfig()}, sim::BusOptions(), GetParam());
    line.hangUpAfterReceiving(3 * 13 + 5);  // in the fourth of twenty connect frames (13 bytes each)
    const long wakeUpsBefore = SerialIo::WakeUps();
    const ToolRun run = testsupport::RunCommand(
        cli::RunSendCommand, {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id=1"), QStringLiteral("220"),
                              QStringLiteral("100"), QStringLiteral("--repeat"), QStringLiteral("20")});
    const long wakeUps = SerialIo::WakeUps() - wakeUpsBefore;
    // The serial server listens on after a drop: the next command reaches the bus.
    if (GetParam() == testsupport::SimTransport::Tcp) {
        const ToolRun again = testsupport::RunCommand(
            cli::RunSendCommand,
            {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id=1"), QStringLiteral("220"), QStringLiteral("100")});
        EXPECT_EQ(again.status, 0) << again.err.toStdString();
        EXPECT_TRUE(again.out.startsWith(QStringLiteral("reply ID 1 command 220"))) << again.out.toStdString();
    }
    line.stop();

    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl send: %1 lost: ").arg(line.devicePath()))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("17 of 20 frames could not be written"))) << run.err.toStdString();
    // Nothing after the hang-up went out: the line took three whole frames and five bytes (and,
    // over the network, the next command's one frame).
    EXPECT_EQ(line.frames().size(), GetParam() == testsupport::SimTransport::Tcp ? 4u : 3u);
    // The I/O thread woke for the 44 bytes, their pauses and the loss: a hundred or so. A dead
    // port that is polled wakes it thousands of times a second.
    EXPECT_LT(wakeUps, 1000);
}

INSTANTIATE_TEST_SUITE_P(Transports, SendToolOver, testsupport::BothSimTransports(), testsupport::SimTransportName);

// What only send takes besides the amplifier options (those are tabled with every command's):
// the frame itself and the repeat count.
TEST(SendTool, RefusesABadFrameOrRepeatCount)
{
    struct Case {
        const char *name;
        QStringList args;
        const char *said;
    };
    QStringList tooMany{"--port", "COM1", "--id", "1", "2"};
    for (int i = 0; i < 17; ++i)
        tooMany << QStringLiteral("0");
    const Case cases[] = {
        {"no command", {"--port", "COM1", "--id", "1"}, "missing COMMAND"},
        {"command too big", {"--port", "COM1", "--id", "1", "256"}, "COMMAND '256'"},
        {"bad data byte", {"--port", "COM1", "--id", "1", "2", "-1"}, "data byte 1 '-1'"},
        {"too many data bytes", tooMany, "at most 16 data bytes, got 17"},
        {"repeat zero", {"--port", "COM1", "--id", "1", "2", "--repeat", "0"}, "--repeat '0'"},
        {"the old place of the ID", {"--port", "COM1", "1", "220"}, "missing --id"},
        {"COM0", {"--port", "COM0", "--id", "1", "2"}, "COM0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(cli::RunSendCommand(c.args, out, err), cli::kExitRefused);
        EXPECT_TRUE(outText.isEmpty());
        EXPECT_TRUE(errText.startsWith(QStringLiteral("talvoctl send: "))) << errText.toStdString();
        EXPECT_TRUE(errText.contains(QLatin1String(c.said))) << errText.toStdString();
    }
}

}  // namespace
}  // namespace talvo::testing
