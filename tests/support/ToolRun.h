#pragma once
// Running talvoctl from tests: the built binary (exit status and streams as a script sees them)
// or one command function in this process.
//
// talvoctl's path comes from TALVOCTL_PATH, defined by the test targets that run it.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <gtest/gtest.h>

#include "tests/support/CommandRun.h"

namespace talvo::testsupport {


// A built program with its arguments, run to its end.
inline ToolRun RunProgram(const QString &path, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(path, args);
    ToolRun run;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << path.toStdString() << " did not finish: " << args.join(QLatin1Char(' ')).toStdString();
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

#ifdef TALVOCTL_PATH
inline ToolRun RunTalvoctl(const QStringList &args, int timeoutMs = 60000)
{
    return RunProgram(QStringLiteral(TALVOCTL_PATH), args, timeoutMs);
}
#endif

// A refusal as every command gives it: exit 2, nothing on stdout, one line on stderr that
// names the command and `named` (what was wrong).
inline void ExpectRefusal(const ToolRun &run, const char *command, const char *named)
{
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("talvoctl %1: ").arg(QLatin1String(command)))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(named))) << run.err.toStdString();
}

}  // namespace talvo::testsupport
