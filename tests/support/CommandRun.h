#pragma once
// One talvoctl command function run in this process, its streams captured. Free of the test
// framework, so that the fuzz targets run commands the same way the tests do.

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace talvo::testsupport {

struct ToolRun {
    int status = -1;  // the exit status; -1 when the process crashed or did not finish
    QString out;
    QString err;
};

using CommandFunction = int (*)(const QStringList &, QTextStream &, QTextStream &);

inline ToolRun RunCommand(CommandFunction command, const QStringList &args)
{
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = command(args, out, err);
    out.flush();
    err.flush();
    return run;
}

}  // namespace talvo::testsupport
