// talvoctl send: puts one command frame (or several copies) on the amplifier bus through the
// program's own link runtime, with its pacing, and prints the replies that come back.

#include <optional>

#include <QCoreApplication>
#include <QRegularExpression>

#include "CliSupport.h"
#include "Commands.h"
#include "link/Clock.h"
#include "link/Link.h"
#include "link/Settings.h"

namespace talvo::cli {

namespace {

const char *const kName = "send";
const char *const kSendUsage =
    "usage: talvoctl send --port PORT --id N [--sub S] COMMAND [DATA...] [--repeat K]";
constexpr long long kMaxRepeat = 10000;
// Replies follow the frame's last byte within a few milliseconds; the pacing pause already
// covers most of that, this covers a slow amplifier.
constexpr double kReplyGraceMs = 300;
// The slowest frame: 28 bytes 6 ms apart and the longest pacing, with room for a busy machine.
constexpr double kWorstFrameMs = 28 * kByteGapMs + 250;

}  // namespace

int RunSendCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kSendUsage))
        return kExitOk;
    QString problem;
    const std::optional<CommandLine> line =
        ParseCommandLine(args, {kAmplifierOptions + QStringList{QStringLiteral("--repeat")}, {}, true}, problem);
    if (!line)
        return Refuse(err, kName, QStringLiteral("%1 (%2)").arg(problem, QLatin1String(kSendUsage)));
    // The amplifier's address as every command takes it; the frame goes out as it is, with no
    // connect before it and no disconnect after: this is the line's own test.
    const std::optional<ConnectRequest> target = ConnectRequestFrom(
        line->value("--port"), line->value("--id"), line->value("--sub"), false, kName, QLatin1String(kSendUsage), err);
    if (!target)
        return kExitRefused;
    const QString portText = *line->value("--port");
    const std::optional<QString> repeatText = line->value("--repeat");
    const QStringList &positional = line->positional;

    if (positional.isEmpty())
        return Refuse(err, kName, QStringLiteral("missing COMMAND (%1)").arg(QLatin1String(kSendUsage)));
    const qsizetype dataCount = positional.size() - 1;
    if (dataCount > kMaxFrameData)
        return Refuse(err, kName, QStringLiteral("at most %1 data bytes, got %2").arg(kMaxFrameData).arg(dataCount));

    CommandFrame frame;
    if (target->useSubAddress) {
        frame.subAddressHigh = static_cast<std::uint8_t>(target->subAddress >> 8);
        frame.subAddressLow = static_cast<std::uint8_t>(target->subAddress & 0xFF);
    }
    const auto command = ParseNumber(positional[0], 0, 255);
    if (!command)
        return Refuse(err, kName, QStringLiteral("COMMAND '%1' is not a number in 0..255").arg(positional[0]));
    frame.address = static_cast<std::uint8_t>(target->id);
    frame.command = static_cast<std::uint8_t>(*command);
    frame.length = static_cast<std::uint8_t>(dataCount);
    for (qsizetype i = 0; i < dataCount; ++i) {
        const auto byte = ParseNumber(positional[1 + i], 0, 255);
        if (!byte)
            return Refuse(err, kName, QStringLiteral("data byte %1 '%2' is not a number in 0..255").arg(i + 1).arg(positional[1 + i]));
        frame.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*byte);
    }
    long long repeat = 1;
    if (repeatText) {
        const auto k = ParseNumber(*repeatText, 1, kMaxRepeat);
        if (!k)
            return Refuse(err, kName, QStringLiteral("--repeat '%1' is not a number in 1..%2").arg(*repeatText).arg(kMaxRepeat));
        repeat = *k;
    }

    if (!QCoreApplication::instance())
        return Refuse(err, kName, QStringLiteral("needs an application object to run its event loop"));

    // The port: COMn by its number (the program's mapping and the settings' `ports`), or a
    // device named directly.
    LinkState state;
    Link link(state);
    int status = kExitOk;
    if (!OpenLinkOnPort(link, portText, kName, err, status))
        return status;

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
