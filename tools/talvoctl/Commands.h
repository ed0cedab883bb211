#pragma once
// The subcommands of talvoctl. Each takes the arguments after its own name and writes to the
// given streams; the result is the process exit status (0 done, 1 failed at run time,
// 2 refused: bad arguments or bad input).

#include <QStringList>
#include <QTextStream>

namespace talvo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRefused = 2;

int RunFrameCommand(const QStringList &args, QTextStream &out, QTextStream &err);
int RunShowCommand(const QStringList &args, QTextStream &out, QTextStream &err);
int RunPackCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// Needs a QCoreApplication: it runs the event loop while the frames go out.
int RunSendCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// The bus search and the connect procedure; both need a QCoreApplication as well.
int RunSearchCommand(const QStringList &args, QTextStream &out, QTextStream &err);
int RunConnectCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// Every bus searched and each amplifier found read (firmware, mode, program), all buses at
// once; needs a QCoreApplication.
int RunInventoryCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// Live values into one amplifier through the editor models; needs a QCoreApplication too.
int RunSetCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// The sine and noise tests on one amplifier through the test-signal controllers; needs a
// QCoreApplication as well.
int RunTestCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// The amplifier's program memory through the memory controller; needs a QCoreApplication.
int RunMemoryCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// The room remote without a display: serves until Ctrl+C; needs a QCoreApplication.
int RunRemoteCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// A program file's response as a PNG; needs a QGuiApplication (any platform, offscreen will do).
int RunPlotCommand(const QStringList &args, QTextStream &out, QTextStream &err);
// Measured EQ: a filter-settings file into a program's PEQ bands, and the bands out as one.
int RunEqCommand(const QStringList &args, QTextStream &out, QTextStream &err);

// The command of that name, or nullptr: what `talvoctl NAME ...` runs, for main and the tests.
using CommandFunction = int (*)(const QStringList &, QTextStream &, QTextStream &);
CommandFunction FindCommand(const QString &name);

}  // namespace talvo::cli
