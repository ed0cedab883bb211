// The conventions every program keeps on its command line: --version prints the one version
// the build set, and `talvoctl COMMAND --help` prints that command's usage on stdout.

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "Commands.h"
#include "link/Clock.h"
#include "tests/support/ParamNames.h"
#include "tests/support/SimLine.h"
#include "tests/support/ToolRun.h"

namespace talvo::cli {
namespace {

using testsupport::RunProgram;
using testsupport::RunTalvoctl;
using testsupport::ToolRun;

struct Program {
    std::string name;
    QString path;
};

std::vector<Program> Programs()
{
    std::vector<Program> programs{{"talvoctl", QStringLiteral(TALVOCTL_PATH)},
                                  {"talvo-ampsim", QStringLiteral(TALVO_AMPSIM_PATH)}};
#ifdef TALVO_PATH
    programs.push_back({"talvo", QStringLiteral(TALVO_PATH)});
#endif
    return programs;
}

class VersionOption : public ::testing::TestWithParam<Program> {};

TEST_P(VersionOption, PrintsTheBuildsVersion)
{
    const ToolRun run = RunProgram(GetParam().path, {QStringLiteral("--version")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString::fromStdString(GetParam().name) + QStringLiteral(" " TALVO_VERSION "\n"));
    EXPECT_EQ(run.err, QString());
}

// An option nobody can find is as good as missing: each program's --help names it.
TEST_P(VersionOption, IsListedByHelp)
{
    const ToolRun run = RunProgram(GetParam().path, {QStringLiteral("--help")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("--version"))) << run.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionOption, ::testing::ValuesIn(Programs()),
                         [](const auto &info) { return testsupport::TestName(info.param.name); });

// The commands as `talvoctl --help` lists them, so that a command added later is checked too.
QStringList ListedCommands()
{
    const ToolRun run = RunTalvoctl({QStringLiteral("--help")});
    QStringList commands;
    static const QRegularExpression line(QStringLiteral("^  ([a-z][a-z-]*)( |$)"));
    for (const QString &text : run.out.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            commands << m.captured(1);
    }
    return commands;
}

TEST(CommandHelp, EveryListedCommandPrintsItsUsage)
{
    const QStringList commands = ListedCommands();
    ASSERT_TRUE(commands.contains(QStringLiteral("show")) && commands.contains(QStringLiteral("connect")))
        << commands.join(u' ').toStdString();
    // In this process: the list itself came from the real binary, and main runs the same
    // command functions.
    for (const QString &command : commands) {
        const CommandFunction function = FindCommand(command);
        ASSERT_NE(function, nullptr) << command.toStdString();
        for (const QString &flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            SCOPED_TRACE((command + u' ' + flag).toStdString());
            const ToolRun run = testsupport::RunCommand(function, {flag});
            EXPECT_EQ(run.status, 0) << run.err.toStdString();
            EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: talvoctl ") + command + u' ')) << run.out.toStdString();
            EXPECT_TRUE(run.out.endsWith(u'\n'));
            EXPECT_EQ(run.err, QString());
        }
    }
}

// Help wins over arguments that would be refused, and nothing reaches a port.
TEST(CommandHelp, HelpAmongOtherArgumentsStillPrintsUsage)
{
    const ToolRun run = RunTalvoctl({QStringLiteral("connect"), QStringLiteral("--port"), QStringLiteral("/nonexistent/tty"),
                                     QStringLiteral("--id"), QStringLiteral("999"), QStringLiteral("--help")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: talvoctl connect "))) << run.out.toStdString();
    EXPECT_EQ(run.err, QString());
}

// Every command that talks to an amplifier refuses bad options the same way, before any port
// is opened: the port here does not exist, so a command that got as far as opening it would
// exit 1, not 2. Run in this process; the real binary's refusal is checked once below.
TEST(AmplifierOptions, AreCheckedBeforeAnyPortOpens)
{
    struct Command {
        const char *name;
        QStringList rest;  // what the command needs besides the amplifier options
    };
    const Command commands[] = {{"test", {"sine", "1k"}}, {"set", {"left.gain=-3"}}, {"memory", {}},
                                {"connect", {}},          {"send", {"220", "100"}}, {"remote", {"--listen", "0"}}};
    struct Case {
        const char *name;
        QStringList options;
        const char *said;
    };
    const QString port = QStringLiteral("/nonexistent/talvo-tty");
    const Case cases[] = {
        {"unknown option", {"--port", port, "--id", "1", "--bogus"}, "unknown option '--bogus'"},
        {"missing value", {"--id", "1", "--port"}, "--port needs a value"},
        {"option as a value", {"--port", "--id", "1"}, "--port needs a value"},
        {"given twice", {"--port", port, "--id", "1", "--id", "2"}, "--id given more than once"},
        {"id out of range", {"--port", port, "--id", "256"}, "--id '256' is not a number in 1..255"},
        {"sub out of range", {"--port", port, "--id", "1", "--sub", "0"}, "--sub '0' is not a number in 1..65535"},
        {"no id", {"--port", port}, "missing --id"},
    };
    for (const Command &command : commands) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(command.name) + ", " + c.name);
            QStringList args;
            if (QLatin1String(command.name) == QLatin1String("memory"))
                args << QStringLiteral("list");
            const ToolRun run = testsupport::RunCommand(FindCommand(QLatin1String(command.name)), args + command.rest + c.options);
            EXPECT_EQ(run.status, 2);
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl %1: ").arg(QLatin1String(command.name))))
                << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QLatin1String(c.said))) << run.err.toStdString();
            EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
            EXPECT_EQ(run.out, QString());
        }
    }
}

TEST(AmplifierOptions, TheProgramRefusesWithStatusTwoAndOneLine)
{
    const ToolRun run = RunTalvoctl({QStringLiteral("set"), QStringLiteral("left.gain=-3"), QStringLiteral("--port"),
                                     QStringLiteral("/nonexistent/talvo-tty"), QStringLiteral("--id"), QStringLiteral("256")});
    testsupport::ExpectRefusal(run, "set", "--id '256' is not a number in 1..255");
}

// A port lost while a command connects is said once, as it happens, with its reason: the
// command adds no second line blaming the amplifier.
TEST(AmplifierCommands, APortLostWhileConnectingIsSaidInOneLine)
{
    using Run = int (*)(const QStringList &, QTextStream &, QTextStream &);
    struct Command {
        const char *name;
        Run run;
        QStringList rest;
    };
    const Command commands[] = {{"test", RunTestCommand, {"sine", "1k"}},
                                {"set", RunSetCommand, {"left.gain=-3"}},
                                {"memory", RunMemoryCommand, {}},
                                {"connect", RunConnectCommand, {}},
                                {"remote", RunRemoteCommand, {"--listen", "127.0.0.1:0"}}};
    Clock::setSpeed(10);
    for (const Command &command : commands) {
        SCOPED_TRACE(command.name);
        testsupport::SimLine line({sim::AmplifierConfig()}, testsupport::PatientBus());
        // Gone once the read-out has asked for the fourth block of the running program.
        line.hangUpAtFrame([](const sim::FrameRecord &f) { return f.frame.command == 234; });
        QStringList args{QStringLiteral("--port"), line.devicePath(), QStringLiteral("--id"), QStringLiteral("1")};
        if (QLatin1String(command.name) == QLatin1String("memory"))
            args.prepend(QStringLiteral("list"));
        const ToolRun run = testsupport::RunCommand(command.run, args + command.rest);
        line.stop();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, QStringLiteral("talvoctl %1: %2 lost: the device disappeared\n")
                               .arg(QLatin1String(command.name), line.devicePath()));
    }
    Clock::setSpeed(1);
}

}  // namespace
}  // namespace talvo::cli
