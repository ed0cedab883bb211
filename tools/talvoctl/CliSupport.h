#pragma once
// Pieces every talvoctl subcommand that talks to a bus shares: option taking, number parsing,
// refusals, and opening the link on a port given as COMn, a device path or tcp://HOST:PORT.

#include <memory>
#include <optional>

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "devices/ConnectProcedure.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"


namespace talvo::cli {

// Writes "talvoctl COMMAND: MESSAGE" on err; the result is the refusal exit status.
int Refuse(QTextStream &err, const char *command, const QString &message);

// True when --help or -h is among the arguments; the usage then goes to out (exit: done).
bool HelpAsked(const QStringList &args, QTextStream &out, const char *usage);

// Decimal, or hexadecimal with 0x; nothing else, so that a typo never becomes another byte.
std::optional<long long> ParseNumber(const QString &text, long long min, long long max);

// "--name VALUE" or "--name=VALUE". True when args[i] is this option; `problem` is set when it
// is given twice or its value is missing (an option name is not taken as a value).
bool TakeOption(const QStringList &args, qsizetype &i, const QString &name, std::optional<QString> &value,
                QString &problem);

// A command's arguments taken in one pass: the options it takes with a value (each at most
// once, as "--name VALUE" or "--name=VALUE"), its flags, and everything else in order.
struct CommandLineSpec {
    QStringList valueOptions;
    QStringList flags;
    bool positional = true;  // false: an argument that is no option is refused
};
struct CommandLine {
    QHash<QString, QString> values;
    QSet<QString> flags;
    QStringList positional;

    std::optional<QString> value(const QString &name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<QString>(*it);
    }
    bool flag(const QString &name) const { return flags.contains(name); }
};
// Empty when the arguments are refused; `problem` then says why ("unknown option '--x'",
// "--id given more than once", "--port needs a value", "unexpected argument 'x'"). Asking for
// help is for HelpAsked, before this.
std::optional<CommandLine> ParseCommandLine(const QStringList &args, const CommandLineSpec &spec, QString &problem);

// The options of every command that connects to one amplifier.
inline const QStringList kAmplifierOptions{QStringLiteral("--port"), QStringLiteral("--id"), QStringLiteral("--sub")};

// The Connect window's sentence on a connect's outcome as a clause of the tool's one line
// ("no answer from ID 3 on COM1"); empty for a port lost under it, which was said as it
// happened (OpenLinkOnPort), and for an online outcome.
QString ConnectFailureClause(ConnectOutcome outcome, int id, const QString &port);

// --port (required), --id N (1..255) and --sub S (1..65535, optional) as the Connect window
// takes them, with the MUTE choice. On a missing or bad value the refusal (ending with `hint`
// in parentheses for a missing option) goes to err and the result is empty (exit: refused).
std::optional<ConnectRequest> ConnectRequestFrom(const std::optional<QString> &portText, const std::optional<QString> &idText,
                                                 const std::optional<QString> &subText, bool mute, const char *command,
                                                 const QString &hint, QTextStream &err);

// Opens the link on PORT (COMn through the program's port mapping, a device path, or
// tcp://HOST:PORT for a serial server on the network; a malformed one is refused) and
// enables sending. On failure one line on err says which port and why ("talvoctl send: cannot
// open COM9 (/dev/ttyUSB8): no such device"), `status` gets the exit status (refused for a bad
// COM number, failed when the port cannot be opened) and the result is false. A port lost
// later is said on err as it happens ("talvoctl send: COM9 (/dev/ttyUSB8) lost: ...").
bool OpenLinkOnPort(Link &link, const QString &port, const char *command, QTextStream &err, int &status);

// What a command that connects to one amplifier stands on, created in this order: the shared
// state, the link, the link controller and the program applier.
struct AmplifierSession {
    AppState state;
    Link link{state.link};
    LinkController linkController{link};
    ProgramApplier applier{state};
};

// A session with its link open on PORT (OpenLinkOnPort). Null when there is no application
// object to run the event loop (refused) or the port does not open; the line on err is written
// and `status` set.
std::unique_ptr<AmplifierSession> OpenSession(const QString &port, const char *command, QTextStream &err, int &status);

// A frame's command and data as the change lines show them: "(command 2: 12 50 85)".
QString FrameText(const CommandFrame &frame);

}  // namespace talvo::cli
