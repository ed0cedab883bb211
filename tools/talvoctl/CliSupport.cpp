#include "CliSupport.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "Commands.h"
#include "link/Link.h"
#include "link/TcpAddress.h"
#include "remote/LiveKeys.h"

namespace talvo::cli {

int Refuse(QTextStream &err, const char *command, const QString &message)
{
    err << "talvoctl " << command << ": " << message << '\n';
    err.flush();
    return kExitRefused;
}

bool HelpAsked(const QStringList &args, QTextStream &out, const char *usage)
{
    if (!args.contains(QLatin1String("--help")) && !args.contains(QLatin1String("-h")))
        return false;
    const QString text = QString::fromUtf8(usage);
    out << text << (text.endsWith(u'\n') ? "" : "\n");
    out.flush();
    return true;
}

std::optional<long long> ParseNumber(const QString &text, long long min, long long max)
{
    return ParseWholeNumber(text, min, max);
}

QString ConnectFailureClause(ConnectOutcome outcome, int id, const QString &port)
{
    if (outcome == ConnectOutcome::PortLost)
        return QString();
    QString clause = ConnectOutcomeText(outcome, id, port);
    if (clause.endsWith(QLatin1Char('.')))
        clause.chop(1);
    if (clause.size() > 1 && clause[0].isUpper() && clause[1].isLower())
        clause[0] = clause[0].toLower();
    return clause;
}

std::optional<ConnectRequest> ConnectRequestFrom(const std::optional<QString> &portText, const std::optional<QString> &idText,
                                                 const std::optional<QString> &subText, bool mute, const char *command,
                                                 const QString &hint, QTextStream &err)
{
    if (!portText || portText->isEmpty()) {
        Refuse(err, command, QStringLiteral("missing --port COMn, a device path or tcp://HOST:PORT (%1)").arg(hint));
        return std::nullopt;
    }
    if (!idText) {
        Refuse(err, command, QStringLiteral("missing --id N (%1)").arg(hint));
        return std::nullopt;
    }
    ConnectRequest request;
    request.mute = mute;
    const auto id = ParseNumber(*idText, 1, 255);
    if (!id) {
        Refuse(err, command, QStringLiteral("--id '%1' is not a number in 1..255").arg(*idText));
        return std::nullopt;
    }
    request.id = static_cast<int>(*id);
    if (subText) {
        const auto sub = ParseNumber(*subText, 1, 65535);
        if (!sub) {
            Refuse(err, command, QStringLiteral("--sub '%1' is not a number in 1..65535").arg(*subText));
            return std::nullopt;
        }
        request.useSubAddress = true;
        request.subAddress = static_cast<int>(*sub);
    }
    return request;
}

std::optional<CommandLine> ParseCommandLine(const QStringList &args, const CommandLineSpec &spec, QString &problem)
{
    CommandLine line;
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool taken = false;
        for (const QString &name : spec.valueOptions) {
            std::optional<QString> value = line.value(name);
            const bool had = value.has_value();
            if (!TakeOption(args, i, name, value, problem))
                continue;
            if (!problem.isEmpty())
                return std::nullopt;
            if (!had)
                line.values.insert(name, *value);
            taken = true;
            break;
        }
        if (taken)
            continue;
        const QString &arg = args[i];
        if (spec.flags.contains(arg)) {
            line.flags.insert(arg);
        } else if (arg.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option '%1'").arg(arg);
            return std::nullopt;
        } else if (!spec.positional) {
            problem = QStringLiteral("unexpected argument '%1'").arg(arg);
            return std::nullopt;
        } else {
            line.positional << arg;
        }
    }
    return line;
}

bool TakeOption(const QStringList &args, qsizetype &i, const QString &name, std::optional<QString> &value,
                QString &problem)
{
    const QString &arg = args[i];
    const QString prefix = name + QLatin1Char('=');
    if (arg != name && !arg.startsWith(prefix))
        return false;
    if (value) {
        problem = QStringLiteral("%1 given more than once").arg(name);
        return true;
    }
    if (arg.startsWith(prefix))
        value = arg.mid(prefix.size());
    else if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")))
        value = args[++i];
    else
        problem = QStringLiteral("%1 needs a value").arg(name);
    return true;
}

bool OpenLinkOnPort(Link &link, const QString &port, const char *command, QTextStream &err, int &status)
{
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([0-9]{1,3})$"));
    const QRegularExpressionMatch com = comName.match(port);
    QString name = port;
    if (com.hasMatch()) {
        const int number = com.captured(1).toInt();
        if (number < 1 || number > 255) {
            status = Refuse(err, command, QStringLiteral("port '%1' is not COM1..COM255").arg(port));
            return false;
        }
        link.SetPortNumber(number);
        name = QStringLiteral("COM%1").arg(number);
    } else {
        QString problem;
        if (IsTcpPortName(port) && !ParseTcpPortName(port, &problem)) {
            status = Refuse(err, command, QStringLiteral("port '%1': %2").arg(port, problem));
            return false;
        }
        link.SetDeviceOverride(port);
    }
    const QString device = link.DevicePathFor(link.state().portNumber);
    if (!device.isEmpty() && device != name)
        name += QStringLiteral(" (%1)").arg(device);

    if (!link.OpenPort()) {
        err << "talvoctl " << command << ": cannot open " << name << ": " << link.OpenFailure().reason() << '\n';
        err.flush();
        status = kExitFailed;
        return false;
    }
    // Whatever the command is doing, a port lost under it is said at once; the command then
    // ends as its frames fail.
    QObject::connect(&link, &Link::portLost, &link, [&err, command, name](const PortFailure &why) {
        err << "talvoctl " << command << ": " << name << " lost: " << why.reason() << '\n';
        err.flush();
    });
    link.state().sendEnabled.store(1);
    link.state().reply.replyAddress = 0;
    return true;
}

std::unique_ptr<AmplifierSession> OpenSession(const QString &port, const char *command, QTextStream &err, int &status)
{
    if (!QCoreApplication::instance()) {
        status = Refuse(err, command, QStringLiteral("needs an application object to run its event loop"));
        return nullptr;
    }
    auto session = std::make_unique<AmplifierSession>();
    if (!OpenLinkOnPort(session->link, port, command, err, status))
        return nullptr;
    return session;
}

QString FrameText(const CommandFrame &f)
{
    QString text = QStringLiteral("(command %1:").arg(f.command);
    for (int i = 0; i < f.length && i < kMaxFrameData; ++i)
        text += QStringLiteral(" %1").arg(f.data[static_cast<std::size_t>(i)]);
    return text + QLatin1Char(')');
}

CommandFunction FindCommand(const QString &name)
{
    static const std::pair<const char *, CommandFunction> commands[] = {
        {"frame", RunFrameCommand},     {"show", RunShowCommand}, {"pack", RunPackCommand},
        {"send", RunSendCommand},       {"search", RunSearchCommand}, {"connect", RunConnectCommand},
        {"set", RunSetCommand},         {"test", RunTestCommand}, {"memory", RunMemoryCommand},
        {"plot", RunPlotCommand},       {"remote", RunRemoteCommand}, {"eq", RunEqCommand},
        {"inventory", RunInventoryCommand},
    };
    for (const auto &[commandName, function] : commands) {
        if (name == QLatin1String(commandName))
            return function;
    }
    return nullptr;
}

}  // namespace talvo::cli
