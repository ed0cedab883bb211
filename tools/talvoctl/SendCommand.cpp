// talvoctl send: puts one command frame (or several copies) on the amplifier bus through the
// program's own link runtime, with its pacing, and prints the replies that come back.

#include <optional>

#include <QCoreApplication>
#include <QRegularExpression>

#include "Commands.h"
#include "link/Clock.h"
#include "link/Link.h"
#include "link/Settings.h"

namespace talvo::cli {

namespace {

const char *const kSendUsage =
    "usage: talvoctl send --port PORT [--sub N] ID COMMAND [DATA...] [--repeat K]";
constexpr long long kMaxRepeat = 10000;
// Replies follow the frame's last byte within a few milliseconds; the pacing pause already
// covers most of that, this covers a slow amplifier.
constexpr double kReplyGraceMs = 300;
// The slowest frame: 28 bytes 6 ms apart and the longest pacing, with room for a busy machine.
constexpr double kWorstFrameMs = 28 * kByteGapMs + 250;

int refuse(QTextStream &err, const QString &message)
{
    err << "talvoctl send: " << message << '\n';
    err.flush();
    return kExitRefused;
}

// Decimal, or hexadecimal with 0x; nothing else, so that a typo never becomes another byte.
std::optional<long long> parseNumber(const QString &text, long long min, long long max)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,18}$"));
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9a-fA-F]{1,15}$"));
    bool ok = false;
    long long value = 0;
    if (decimal.match(text).hasMatch())
        value = text.toLongLong(&ok, 10);
    else if (hex.match(text).hasMatch())
        value = text.mid(2).toLongLong(&ok, 16);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
bool takeOption(const QStringList &args, qsizetype &i, const QString &name, std::optional<QString> &value,
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
    else if (i + 1 < args.size())
        value = args[++i];
    else
        problem = QStringLiteral("%1 needs a value").arg(name);
    return true;
}

}  // namespace

int RunSendCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    std::optional<QString> portText, subText, repeatText;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString problem;
        if (takeOption(args, i, QStringLiteral("--port"), portText, problem) ||
            takeOption(args, i, QStringLiteral("--sub"), subText, problem) ||
            takeOption(args, i, QStringLiteral("--repeat"), repeatText, problem)) {
            if (!problem.isEmpty())
                return refuse(err, problem);
            continue;
        }
        if (args[i].startsWith(QLatin1String("--")))
            return refuse(err, QStringLiteral("unknown option '%1' (%2)").arg(args[i], QLatin1String(kSendUsage)));
        positional << args[i];
    }

    if (!portText || portText->isEmpty())
        return refuse(err, QStringLiteral("missing --port COMn or a device path (%1)").arg(QLatin1String(kSendUsage)));
    if (positional.size() < 2)
        return refuse(err, QStringLiteral("missing %1 (%2)")
                               .arg(positional.isEmpty() ? QStringLiteral("ID and COMMAND") : QStringLiteral("COMMAND"),
                                    QLatin1String(kSendUsage)));
    const qsizetype dataCount = positional.size() - 2;
    if (dataCount > kMaxFrameData)
        return refuse(err, QStringLiteral("at most %1 data bytes, got %2").arg(kMaxFrameData).arg(dataCount));

    CommandFrame frame;
    if (subText) {
        const auto sub = parseNumber(*subText, 0, 0xFFFF);
        if (!sub)
            return refuse(err, QStringLiteral("sub-address '%1' is not a number in 0..65535").arg(*subText));
        frame.subAddressHigh = static_cast<std::uint8_t>(*sub >> 8);
        frame.subAddressLow = static_cast<std::uint8_t>(*sub & 0xFF);
    }
    const auto id = parseNumber(positional[0], 1, 255);
    if (!id)
        return refuse(err, QStringLiteral("ID '%1' is not a number in 1..255").arg(positional[0]));
    const auto command = parseNumber(positional[1], 0, 255);
    if (!command)
        return refuse(err, QStringLiteral("COMMAND '%1' is not a number in 0..255").arg(positional[1]));
    frame.address = static_cast<std::uint8_t>(*id);
    frame.command = static_cast<std::uint8_t>(*command);
    frame.length = static_cast<std::uint8_t>(dataCount);
    for (qsizetype i = 0; i < dataCount; ++i) {
        const auto byte = parseNumber(positional[2 + i], 0, 255);
        if (!byte)
            return refuse(err, QStringLiteral("data byte %1 '%2' is not a number in 0..255").arg(i + 1).arg(positional[2 + i]));
        frame.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*byte);
    }
    long long repeat = 1;
    if (repeatText) {
        const auto k = parseNumber(*repeatText, 1, kMaxRepeat);
        if (!k)
            return refuse(err, QStringLiteral("--repeat '%1' is not a number in 1..%2").arg(*repeatText).arg(kMaxRepeat));
        repeat = *k;
    }

    if (!QCoreApplication::instance())
        return refuse(err, QStringLiteral("needs an application object to run its event loop"));

    // The port: COMn by its number (the program's mapping and the settings' `ports`), or a
    // device named directly.
    LinkState state;
    Link link(state);
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([0-9]{1,3})$"));
    const QRegularExpressionMatch com = comName.match(*portText);
    QString portLabel;
    if (com.hasMatch()) {
        const int number = com.captured(1).toInt();
        if (number < 1 || number > 255)
            return refuse(err, QStringLiteral("port '%1' is not COM1..COM255").arg(*portText));
        link.SetPortNumber(number);
        portLabel = OpenErrorText(number);
    } else {
        link.SetDeviceOverride(*portText);
        portLabel = *portText + QStringLiteral(" connection failed.\r\rPlease select another COM port.");
    }
    if (!link.OpenPort()) {
        // The message box's line breaks are carriage returns; a terminal wants new lines.
        QString text = portLabel;
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        err << text << '\n';
        const QString device = link.DevicePathFor(state.portNumber);
        err << "talvoctl send: " << (device.isEmpty() ? QStringLiteral("(no device)") : device) << ": "
            << link.LastOpenFailure() << '\n';
        err.flush();
        return kExitFailed;
    }

    int failedFrames = 0;
    QObject::connect(&link, &Link::frameDone, [&failedFrames](bool written) {
        if (!written)
            ++failedFrames;
    });
    QObject::connect(&link, &Link::replyFrame, [&out](const ReplyFrame &reply) {
        out << reply.describe() << '\n';
        out.flush();
    });

    // SendCommand is the operation for discrete actions: it always queues, once the link is up.
    state.sendEnabled.store(1);
    state.linkActive = kYes;
    for (long long i = 0; i < repeat; ++i) {
        state.outFrame = frame;
        link.SendCommand();
    }

    const double allowance = static_cast<double>(repeat) * kWorstFrameMs * 2 + 2000;
    if (!link.WaitForIdle(allowance)) {
        err << "talvoctl send: the frames did not leave within " << qRound64(allowance) << " ms\n";
        err.flush();
        return kExitFailed;
    }
    link.WaitPumping(kReplyGraceMs);
    out.flush();
    if (failedFrames > 0) {
        err << "talvoctl send: " << failedFrames << " of " << repeat << " frames could not be written\n";
        err.flush();
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace talvo::cli
