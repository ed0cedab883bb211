// talvoctl remote against the simulated bus, in this process so that the clock can run faster:
// it connects, serves the page's API with a fresh token until Ctrl+C, then disconnects.

#include <csignal>

#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include "Commands.h"
#include "editors/GainModel.h"
#include "link/Clock.h"
#include "remote/QrCode.h"
#include "tests/remote/RemoteRig.h"
#include "tests/support/SimLine.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

struct Served {
    testsupport::ToolRun run;
    HttpReply patch;
};

// Runs the command; once it prints its address, PATCHes `body` there, then presses Ctrl+C.
Served Serve(const QString &device, const QStringList &more, const QByteArray &body)
{
    Served s;
    QTextStream out(&s.run.out);
    QTextStream err(&s.run.err);
    std::unique_ptr<PendingHttp> patch;
    bool interrupted = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        static const QRegularExpression address(QStringLiteral("^(http://\\S+)/\\?token=([0-9a-f]{40})$"),
                                                QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = address.match(s.run.out);
        if (!m.hasMatch() || interrupted)
            return;
        if (!patch) {
            patch = std::make_unique<PendingHttp>(QUrl(m.captured(1) + QStringLiteral("/api/v1/channels")), "PATCH", body,
                                                  RawHeaders{{"Authorization", "Bearer " + m.captured(2).toLatin1()}});
        } else if (patch->finished()) {
            s.patch = patch->take();
            interrupted = true;
            std::raise(SIGINT);
        }
    });
    watch.start();
    s.run.status = cli::RunRemoteCommand(QStringList{QStringLiteral("--port"), device} + more, out, err);
    watch.stop();
    out.flush();
    err.flush();
    return s;
}

TEST(RemoteTool, ServesUntilCtrlCThenDisconnects)
{
    struct Speed {
        Speed() { Clock::setSpeed(kProcedureSpeed); }
        ~Speed() { Clock::setSpeed(1.0); }
    } speed;
    testsupport::SimLine line({sim::AmplifierConfig()}, testsupport::PatientBus());
    const Served s = Serve(line.devicePath(), {"--id", "1", "--listen", "127.0.0.1:0"}, R"({"left.gain": -12.5})");
    line.stop();
    EXPECT_EQ(s.run.status, 0) << s.run.err.toStdString();
    EXPECT_TRUE(s.run.err.isEmpty()) << s.run.err.toStdString();
    const QStringList lines = s.run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << s.run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("ONLINE"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("http://127.0.0.1:"))) << lines[1].toStdString();
    EXPECT_EQ(s.patch.status, 200) << s.patch.body.toStdString();
    // Connected first, the change as the gain editor sends it, disconnected last.
    ASSERT_FALSE(line.frames().empty());
    EXPECT_EQ(line.frames().front().frame.command, 220);
    EXPECT_EQ(EditorFrames(line.frames()), (std::vector<std::vector<int>>{{2, 12, 50, 85}}));
    EXPECT_EQ(line.frames().back().frame.command, 220);
    EXPECT_EQ(line.frames().back().frame.data[0], 80);
}

TEST(RemoteTool, AnAmplifierThatDoesNotAnswerIsNotServed)
{
    struct Speed {
        Speed() { Clock::setSpeed(kProcedureSpeed); }
        ~Speed() { Clock::setSpeed(1.0); }
    } speed;
    sim::AmplifierConfig silent;
    silent.faults.noAnswer = true;
    testsupport::SimLine line({silent}, testsupport::PatientBus());
    const testsupport::ToolRun run = testsupport::RunCommand(
        cli::RunRemoteCommand, {"--port", line.devicePath(), "--id", "1", "--listen", "127.0.0.1:0"});
    line.stop();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("OFFLINE\n"));
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl remote: no answer"))) << run.err.toStdString();
}

TEST(RemoteTool, ARefusedAddressIsSaidBeforeAnythingIsSent)
{
    struct Case {
        QStringList args;
        const char *said;
    };
    const Case cases[] = {
        {{"--port", "/nonexistent/tty", "--id", "1"}, "missing --listen"},
        {{"--port", "/nonexistent/tty", "--id", "1", "--listen", "host.example:80"}, "--listen 'host.example:80'"},
        {{"--port", "/nonexistent/tty", "--id", "1", "--listen", "70000"}, "the port is 0..65535"},
    };
    for (const Case &c : cases) {
        const testsupport::ToolRun run = testsupport::RunCommand(cli::RunRemoteCommand, c.args);
        testsupport::ExpectRefusal(run, "remote", c.said);
    }
}

TEST(RemoteTool, PrintsTheCodeInTextWhenAsked)
{
    // The QR code of a known address in text: two rows of modules per line, the quiet zone lit.
    struct Speed {
        Speed() { Clock::setSpeed(kProcedureSpeed); }
        ~Speed() { Clock::setSpeed(1.0); }
    } speed;
    testsupport::SimLine line({sim::AmplifierConfig()}, testsupport::PatientBus());
    const Served s = Serve(line.devicePath(), {"--id", "1", "--listen", "0", "--qr"}, R"({"left.delay": 1})");
    line.stop();
    EXPECT_EQ(s.run.status, 0) << s.run.err.toStdString();
    const QStringList lines = s.run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 12);
    const QrMatrix qr = EncodeQr(lines[1].toUtf8());
    EXPECT_EQ(lines.size(), 2 + (qr.size + 8 + 1) / 2);
    EXPECT_EQ(lines[2], QString(qr.size + 8, QChar(0x2588)));
}

}  // namespace
}  // namespace talvo::testing
