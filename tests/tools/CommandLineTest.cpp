// The conventions every program keeps on its command line: --version prints the one version
// the build set, and `talvoctl COMMAND --help` prints that command's usage on stdout.

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "tests/support/ParamNames.h"
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
    for (const QString &command : commands) {
        for (const QString &flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            SCOPED_TRACE((command + u' ' + flag).toStdString());
            const ToolRun run = RunTalvoctl({command, flag});
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

}  // namespace
}  // namespace talvo::cli
