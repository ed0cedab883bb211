#include "sim/SimOptions.h"

#include <functional>
#include <optional>

namespace talvo::sim {
namespace {

std::optional<long long> toInteger(const QString &text, long long lo, long long hi)
{
    bool ok = false;
    const long long v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::optional<double> toNumber(const QString &text, double lo, double hi)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= lo && v <= hi))
        return std::nullopt;
    return v;
}

// "ID[:SUB][,firmware=X.Y][,bridge=0|1][,program=N][,slots=FILE.DMP]"
bool parseAmp(const QString &spec, AmplifierConfig &amp, QString &error)
{
    const QStringList parts = spec.split(QLatin1Char(','));
    const QString address = parts.first();
    const QStringList idSub = address.split(QLatin1Char(':'));
    if (idSub.size() > 2 || address.isEmpty()) {
        error = QStringLiteral("--amp %1: the address is ID or ID:SUB").arg(spec);
        return false;
    }
    const auto id = toInteger(idSub[0], 1, 255);
    if (!id) {
        error = QStringLiteral("--amp %1: ID must be a whole number 1..255").arg(spec);
        return false;
    }
    amp.id = static_cast<std::uint8_t>(*id);
    if (idSub.size() == 2) {
        const auto sub = toInteger(idSub[1], 1, 65535);
        if (!sub) {
            error = QStringLiteral("--amp %1: sub-address must be a whole number 1..65535").arg(spec);
            return false;
        }
        amp.subAddress = static_cast<std::uint16_t>(*sub);
    }

    QStringList seen;
    for (int i = 1; i < parts.size(); ++i) {
        const QString &part = parts[i];
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? part : part.left(eq);
        const QString value = eq < 0 ? QString() : part.mid(eq + 1);
        if (eq < 0 || value.isEmpty()) {
            error = QStringLiteral("--amp %1: '%2' needs a value (KEY=VALUE)").arg(spec, part);
            return false;
        }
        if (seen.contains(key)) {
            error = QStringLiteral("--amp %1: %2 given twice").arg(spec, key);
            return false;
        }
        seen << key;
        if (key == QLatin1String("firmware")) {
            const QStringList mm = value.split(QLatin1Char('.'));
            const auto major = mm.size() == 2 ? toInteger(mm[0], 0, 255) : std::nullopt;
            const auto minor = mm.size() == 2 ? toInteger(mm[1], 0, 255) : std::nullopt;
            if (!major || !minor) {
                error = QStringLiteral("--amp %1: firmware is MAJOR.MINOR, each 0..255 (e.g. 2.5)").arg(spec);
                return false;
            }
            amp.firmwareMajor = static_cast<std::uint8_t>(*major);
            amp.firmwareMinor = static_cast<std::uint8_t>(*minor);
        } else if (key == QLatin1String("bridge")) {
            if (value != QLatin1String("0") && value != QLatin1String("1")) {
                error = QStringLiteral("--amp %1: bridge is 0 or 1").arg(spec);
                return false;
            }
            amp.bridgeAvailable = value == QLatin1String("1");
        } else if (key == QLatin1String("program")) {
            const auto n = toInteger(value, 1, kSlotCount);
            if (!n) {
                error = QStringLiteral("--amp %1: program is a slot 1..20 (for 21 use --program21)").arg(spec);
                return false;
            }
            amp.runningProgram = static_cast<int>(*n);
        } else if (key == QLatin1String("slots")) {
            QString why;
            if (!LoadMemoryImage(value, amp.slotRecords, &why)) {
                error = QStringLiteral("--amp %1: %2").arg(spec, why);
                return false;
            }
        } else {
            error = QStringLiteral("--amp %1: unknown setting '%2' (firmware, bridge, program, slots)").arg(spec, key);
            return false;
        }
    }
    return true;
}

using FaultSetter = std::function<void(Faults &)>;

}  // namespace

QString SimUsage()
{
    return QStringLiteral(
        "Usage: talvo-ampsim [OPTIONS]\n"
        "\n"
        "Simulates TALVO amplifiers on a serial line. Without --device it opens a new\n"
        "pseudo-terminal and prints its device path as the first line of standard output;\n"
        "it then answers there until it is stopped (Ctrl-C or SIGTERM).\n"
        "\n"
        "A mode change resets an amplifier as the program's windows show it: after 198\n"
        "every setting is the default program with both inputs muted at -60.0 dB (the\n"
        "program name and the mode stay until 195 sets the mode).\n"
        "\n"
        "Options:\n"
        "  --device PATH        serve an existing serial device at 38400 8N1 instead\n"
        "  --tcp [HOST:]PORT    serve the bus on a TCP listening socket instead, as a serial\n"
        "                       server on the network does (HOST 127.0.0.1 unless given,\n"
        "                       PORT 0: any free port); one client at a time. The first\n"
        "                       line of standard output is then tcp://HOST:PORT\n"
        "  --amp ID[:SUB][,firmware=X.Y][,bridge=0|1][,program=N][,slots=FILE.DMP]\n"
        "                       add an amplifier (repeatable). SUB 1..65535 (default 1),\n"
        "                       firmware (default 2.5), bridge mode available (default 1),\n"
        "                       running program 1..20 (default 1), memory slots from a\n"
        "                       2240-byte memory file (default: a few named programs).\n"
        "                       Without --amp: one amplifier with ID 1.\n"
        "  --record FILE        write every frame and reply to FILE as JSON lines\n"
        "  --version            print the version\n"
        "  --help               this text\n"
        "\n"
        "Faults (after an --amp they apply to that amplifier; before the first --amp, to all):\n"
        "  --no-answer          carry out commands but never answer\n"
        "  --drop SHARE         drop this share of the replies (0..1)\n"
        "  --reply-delay MS     answer MS milliseconds after a frame's end mark (default 5)\n"
        "  --garbage N          put N random bytes on the line before each reply\n"
        "  --cut-short N        send only the first N bytes of each reply (0..22)\n"
        "  --program21          report program 21 as running until a program is selected\n"
        "  --seed N             seed for dropping and garbage (reproducible drills)\n"
        "\n"
        "Exit status: 0 stopped, 1 failed (device or record file), 2 bad options.\n");
}

SimOptionsResult ParseSimArguments(const QStringList &args)
{
    SimOptionsResult result;
    SimOptions &opt = result.options;
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        opt.help = true;
        result.ok = true;
        return result;
    }

    std::vector<FaultSetter> global;
    std::vector<std::vector<FaultSetter>> perAmp;

    const auto fail = [&result](const QString &why) {
        result.ok = false;
        result.error = why;
        return result;
    };

    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> inlineValue;
        if (name.startsWith(QLatin1String("--"))) {
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq > 0) {
                inlineValue = name.mid(eq + 1);
                name = name.left(eq);
            }
        }
        bool missing = false;
        const auto value = [&]() -> QString {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size()) {
                missing = true;
                return QString();
            }
            return args[++i];
        };
        const auto addFault = [&](FaultSetter setter) {
            (perAmp.empty() ? global : perAmp.back()).push_back(std::move(setter));
        };
        const auto noValue = [&]() { return !inlineValue.has_value(); };

        if (name == QLatin1String("--device") || name == QLatin1String("--record")) {
            const QString v = value();
            if (missing || v.isEmpty())
                return fail(QStringLiteral("%1 needs a path").arg(name));
            QString &target = name == QLatin1String("--device") ? opt.devicePath : opt.recordPath;
            if (!target.isEmpty())
                return fail(QStringLiteral("%1 given twice").arg(name));
            target = v;
        } else if (name == QLatin1String("--tcp")) {
            const QString v = value();
            if (missing || v.isEmpty())
                return fail(QStringLiteral("--tcp needs [HOST:]PORT"));
            if (opt.tcp)
                return fail(QStringLiteral("--tcp given twice"));
            QString why;
            opt.tcp = ParseHostAndPort(v, QStringLiteral("127.0.0.1"), &why, true);
            if (!opt.tcp)
                return fail(QStringLiteral("--tcp '%1': %2").arg(v, why));
        } else if (name == QLatin1String("--amp")) {
            const QString v = value();
            if (missing || v.isEmpty())
                return fail(QStringLiteral("--amp needs ID[:SUB][,KEY=VALUE...]"));
            AmplifierConfig amp;
            QString why;
            if (!parseAmp(v, amp, why))
                return fail(why);
            opt.amplifiers.push_back(amp);
            perAmp.emplace_back();
        } else if (name == QLatin1String("--no-answer") || name == QLatin1String("--program21")) {
            if (!noValue())
                return fail(QStringLiteral("%1 takes no value").arg(name));
            if (name == QLatin1String("--no-answer"))
                addFault([](Faults &f) { f.noAnswer = true; });
            else
                addFault([](Faults &f) { f.program21 = true; });
        } else if (name == QLatin1String("--drop")) {
            const QString v = value();
            const auto share = toNumber(v, 0.0, 1.0);
            if (missing || !share)
                return fail(QStringLiteral("--drop needs a share 0..1 (e.g. 0.25), not '%1'").arg(v));
            addFault([s = *share](Faults &f) { f.dropShare = s; });
        } else if (name == QLatin1String("--reply-delay")) {
            const QString v = value();
            const auto ms = toNumber(v, 0.0, 60000.0);
            if (missing || !ms)
                return fail(QStringLiteral("--reply-delay needs milliseconds 0..60000, not '%1'").arg(v));
            addFault([d = *ms](Faults &f) { f.replyDelayMs = d; });
        } else if (name == QLatin1String("--garbage")) {
            const QString v = value();
            const auto n = toInteger(v, 0, 1000);
            if (missing || !n)
                return fail(QStringLiteral("--garbage needs a byte count 0..1000, not '%1'").arg(v));
            addFault([n = int(*n)](Faults &f) { f.garbageBytes = n; });
        } else if (name == QLatin1String("--cut-short")) {
            const QString v = value();
            const auto n = toInteger(v, 0, kReplyFrameSize - 1);
            if (missing || !n)
                return fail(QStringLiteral("--cut-short needs a byte count 0..%1, not '%2'").arg(kReplyFrameSize - 1).arg(v));
            addFault([n = int(*n)](Faults &f) { f.cutShortTo = n; });
        } else if (name == QLatin1String("--seed")) {
            const QString v = value();
            const auto n = toInteger(v, 1, 4294967295LL);
            if (missing || !n)
                return fail(QStringLiteral("--seed needs a whole number 1..4294967295, not '%1'").arg(v));
            addFault([n = std::uint32_t(*n)](Faults &f) { f.seed = n; });
        } else if (name.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("unknown option %1 (see --help)").arg(name));
        } else {
            return fail(QStringLiteral("unexpected argument '%1' (see --help)").arg(name));
        }
    }

    if (opt.tcp && !opt.devicePath.isEmpty())
        return fail(QStringLiteral("--device and --tcp exclude each other"));
    if (opt.amplifiers.empty()) {
        opt.amplifiers.emplace_back();
        perAmp.emplace_back();
    }
    for (std::size_t a = 0; a < opt.amplifiers.size(); ++a) {
        for (const FaultSetter &set : global)
            set(opt.amplifiers[a].faults);
        for (const FaultSetter &set : perAmp[a])
            set(opt.amplifiers[a].faults);
    }
    result.ok = true;
    return result;
}

}  // namespace talvo::sim
