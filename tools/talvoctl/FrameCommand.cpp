// talvoctl frame: the wire bytes of one command frame, for checking what goes out on the bus.

#include <optional>

#include <QRegularExpression>

#include "CliSupport.h"
#include "Commands.h"
#include "link/CommandFrame.h"

namespace talvo::cli {

namespace {

const char *const kFrameUsage = "usage: talvoctl frame [--sub N] ID COMMAND [DATA...]";

// Every refusal is a single line on stderr, so scripts can show it as it is.
int refuse(QTextStream &err, const QString &message)
{
    err << "talvoctl frame: " << message << '\n';
    err.flush();
    return kExitRefused;
}

enum class NumberError { None, NotANumber, OutOfRange };

// Decimal, or hexadecimal with a 0x prefix, and nothing else (no signs, spaces or fractions), so
// that a typo never silently becomes a different byte. Leading zeros stay decimal: "010" is ten.
NumberError parseNumber(const QString &text, long long maxValue, long long &value)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9a-fA-F]+$"));
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));

    bool ok = false;
    qulonglong parsed = 0;
    if (decimal.match(text).hasMatch())
        parsed = text.toULongLong(&ok, 10);
    else if (hex.match(text).hasMatch())
        parsed = text.mid(2).toULongLong(&ok, 16);
    else if (negative.match(text).hasMatch())
        return NumberError::OutOfRange;
    else
        return NumberError::NotANumber;

    // A digit string too long for 64 bits is still a number, just far too large.
    if (!ok || parsed > static_cast<qulonglong>(maxValue))
        return NumberError::OutOfRange;
    value = static_cast<long long>(parsed);
    return NumberError::None;
}

// Reads one argument as a number in min..max, or writes the refusal and returns nothing.
std::optional<long long> takeNumber(const QString &text, const QString &what, long long min, long long max,
                                    QTextStream &err, int &status)
{
    long long value = 0;
    switch (parseNumber(text, max, value)) {
    case NumberError::NotANumber:
        status = refuse(err, QStringLiteral("%1 '%2' is not a number").arg(what, text));
        return std::nullopt;
    case NumberError::OutOfRange:
        status = refuse(err, QStringLiteral("%1 %2 is outside %3..%4").arg(what, text).arg(min).arg(max));
        return std::nullopt;
    case NumberError::None:
        break;
    }
    if (value < min) {
        status = refuse(err, QStringLiteral("%1 %2 is outside %3..%4").arg(what, text).arg(min).arg(max));
        return std::nullopt;
    }
    return value;
}

}  // namespace

int RunFrameCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kFrameUsage))
        return kExitOk;
    std::optional<QString> subText;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--sub") || arg.startsWith(QLatin1String("--sub="))) {
            if (subText)
                return refuse(err, QStringLiteral("--sub given more than once"));
            if (arg.size() > 5) {
                subText = arg.mid(6);
            } else if (i + 1 < args.size()) {
                subText = args[++i];
            } else {
                return refuse(err, QStringLiteral("--sub needs a sub-address 0..65535"));
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            return refuse(err, QStringLiteral("unknown option '%1' (%2)").arg(arg, QLatin1String(kFrameUsage)));
        } else {
            positional << arg;
        }
    }

    if (positional.size() < 2) {
        const QString missing = positional.isEmpty() ? QStringLiteral("ID and COMMAND") : QStringLiteral("COMMAND");
        return refuse(err, QStringLiteral("missing %1 (%2)").arg(missing, QLatin1String(kFrameUsage)));
    }
    const qsizetype dataCount = positional.size() - 2;
    if (dataCount > kMaxFrameData)
        return refuse(err, QStringLiteral("at most %1 data bytes, got %2").arg(kMaxFrameData).arg(dataCount));

    int status = kExitOk;
    CommandFrame frame;
    if (subText) {
        const auto sub = takeNumber(*subText, QStringLiteral("sub-address"), 0, 0xFFFF, err, status);
        if (!sub)
            return status;
        frame.subAddressHigh = static_cast<std::uint8_t>(*sub >> 8);
        frame.subAddressLow = static_cast<std::uint8_t>(*sub & 0xFF);
    }
    const auto id = takeNumber(positional[0], QStringLiteral("ID"), 1, 255, err, status);
    if (!id)
        return status;
    const auto command = takeNumber(positional[1], QStringLiteral("COMMAND"), 0, 255, err, status);
    if (!command)
        return status;
    frame.address = static_cast<std::uint8_t>(*id);
    frame.command = static_cast<std::uint8_t>(*command);
    frame.length = static_cast<std::uint8_t>(dataCount);
    for (qsizetype i = 0; i < dataCount; ++i) {
        const auto byte = takeNumber(positional[2 + i], QStringLiteral("data byte %1").arg(i + 1), 0, 255, err, status);
        if (!byte)
            return status;
        frame.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*byte);
    }

    out << QString::fromLatin1(frame.wireBytes().toHex(' ').toUpper()) << '\n';
    out.flush();
    return kExitOk;
}

}  // namespace talvo::cli
