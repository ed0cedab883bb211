#include "fuzz/FuzzEntries.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include "Commands.h"
#include "devices/DeviceList.h"
#include "link/ReplyParser.h"
#include "link/Settings.h"
#include "memory/MemoryFile.h"
#include "programs/ProgramRecord.h"
#include "programs/RecordCheck.h"
#include "sim/Bus.h"
#include "tests/support/CommandRun.h"
#include "tests/support/ScopedHome.h"

namespace talvo::fuzz {

namespace {

// A small generator driven by the input, so that one input always cuts the same pieces.
class PieceSizes {
public:
    explicit PieceSizes(std::uint32_t seed) : state_(seed | 1u) {}
    int next(int largest)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return 1 + static_cast<int>(state_ % static_cast<std::uint32_t>(largest));
    }

private:
    std::uint32_t state_;
};

std::uint32_t SeedFrom(QByteArrayView input)
{
    std::uint32_t seed = 2166136261u;
    for (qsizetype i = 0; i < std::min<qsizetype>(input.size(), 4); ++i)
        seed = (seed ^ static_cast<std::uint8_t>(input[i])) * 16777619u;
    return seed;
}

// One folder for the whole process; files in it are overwritten by every run. A memory-backed
// folder where there is one keeps the file targets fast.
QString WorkFolder()
{
    static const QTemporaryDir dir = [] {
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            return QTemporaryDir(QStringLiteral("/dev/shm/talvo-fuzz-XXXXXX"));
        return QTemporaryDir();
    }();
    return dir.path();
}

QString WorkFile(const QString &name) { return WorkFolder() + QLatin1Char('/') + name; }

bool WriteWhole(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

QByteArray ReadWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using testsupport::RunCommand;
using testsupport::ToolRun;

// A refusal is one line on stderr, naming what was wrong; nothing on stdout.
QString CheckRefusal(const ToolRun &r, const char *what)
{
    if (r.status != cli::kExitRefused)
        return QStringLiteral("%1 exited %2 (%3)").arg(QLatin1String(what)).arg(r.status).arg(r.err.trimmed());
    if (r.err.trimmed().isEmpty())
        return QStringLiteral("%1 refused without a message").arg(QLatin1String(what));
    if (!r.out.isEmpty())
        return QStringLiteral("%1 refused but wrote to stdout").arg(QLatin1String(what));
    return {};
}

// show --json FILE, then pack that JSON: the file must come back byte for byte.
QString ShowPackRoundTrip(const QByteArray &bytes)
{
    const QString in = WorkFile(QStringLiteral("in.bin"));
    const QString json = WorkFile(QStringLiteral("shown.json"));
    const QString packed = WorkFile(QStringLiteral("packed.bin"));
    if (!WriteWhole(in, bytes))
        return QStringLiteral("cannot write the work file");

    const ToolRun shown = RunCommand(cli::RunShowCommand, {QStringLiteral("--json"), in});
    const ToolRun text = RunCommand(cli::RunShowCommand, {in});
    if (text.status != shown.status)
        return QStringLiteral("show and show --json disagree: %1 and %2").arg(text.status).arg(shown.status);
    if (bytes.size() != kRecordSize && bytes.size() != kMemoryFileSize)
        return CheckRefusal(shown, "show of a file of another length");
    if (shown.status != cli::kExitOk)
        return QStringLiteral("show --json refused a %1-byte file: %2").arg(bytes.size()).arg(shown.err.trimmed());

    QFile::remove(packed);
    if (!WriteWhole(json, shown.out.toUtf8()))
        return QStringLiteral("cannot write the work file");
    const ToolRun pack = RunCommand(cli::RunPackCommand, {json, packed});
    if (pack.status != cli::kExitOk) {
        // Values no editor produces (a delay of 99 ms) are refused by design, naming the key,
        // with nothing written.
        if (pack.status == cli::kExitRefused && pack.err.contains(QStringLiteral("out of range")) &&
            !QFile::exists(packed))
            return QString();
        return QStringLiteral("pack refused what show --json wrote: %1").arg(pack.err.trimmed());
    }
    if (ReadWhole(packed) != bytes)
        return QStringLiteral("show --json then pack changed the bytes");
    return {};
}

}  // namespace

QString ReplyStream(QByteArrayView input)
{
    // The same stream parsed whole, byte by byte and in pieces cut by the input itself must
    // leave the same fields: a frame split between two reads is no different.
    ReplyFields whole, bytewise, pieces;
    ReplyParser wholeParser(whole), byteParser(bytewise), pieceParser(pieces);
    wholeParser.ParseReplyBytes(input);
    for (qsizetype i = 0; i < input.size(); ++i)
        byteParser.ParseReplyBytes(input.sliced(i, 1));
    PieceSizes sizes(SeedFrom(input));
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype n = std::min<qsizetype>(sizes.next(40), input.size() - at);
        pieceParser.ParseReplyBytes(input.sliced(at, n));
        at += n;
    }
    pieceParser.ParseReplyBytes(QByteArrayView());  // an empty read changes nothing

    const auto same = [](const ReplyFields &a, const ReplyFields &b) {
        if (a.replyAddress != b.replyAddress || a.replyLength != b.replyLength || a.replyCommand != b.replyCommand
            || a.replyData != b.replyData)
            return false;
        for (int k = 1; k <= kProgramBlockCount; ++k)
            if (a.block(k).received != b.block(k).received || a.block(k).bytes != b.block(k).bytes)
                return false;
        return true;
    };
    if (!same(whole, bytewise))
        return QStringLiteral("byte-by-byte parsing differs from parsing the whole stream");
    if (!same(whole, pieces))
        return QStringLiteral("parsing in pieces differs from parsing the whole stream");
    for (int k = 1; k <= kProgramBlockCount; ++k)
        if (whole.block(k).received != 0 && whole.block(k).received != 100)
            return QStringLiteral("block %1 marked received with %2").arg(k).arg(whole.block(k).received);
    return {};
}

QString ProgramFiles(QByteArrayView input)
{
    // The first byte picks the file: as it comes, or shaped into a program or a memory file
    // (repeating the input), so that the fuzzer spends its time inside the records.
    if (input.isEmpty())
        return ShowPackRoundTrip(QByteArray());
    const int shape = static_cast<std::uint8_t>(input[0]) % 3;
    const QByteArrayView body = input.sliced(1);
    if (shape == 0 || body.isEmpty())
        return ShowPackRoundTrip(body.toByteArray());
    const qsizetype length = shape == 1 ? kRecordSize : kMemoryFileSize;
    QByteArray bytes(length, '\0');
    for (qsizetype i = 0; i < length; ++i)
        bytes[i] = body[i % body.size()];
    return ShowPackRoundTrip(bytes);
}

QString ProgramJson(QByteArrayView input)
{
    // Any text handed to pack is either refused with a message and nothing written, or packed
    // into a file that show --json and pack turn into the very same bytes again.
    const QString json = WorkFile(QStringLiteral("in.json"));
    const QString packed = WorkFile(QStringLiteral("packed-json.bin"));
    QFile::remove(packed);
    if (!WriteWhole(json, input))
        return QStringLiteral("cannot write the work file");
    const ToolRun pack = RunCommand(cli::RunPackCommand, {json, packed});
    if (pack.status != cli::kExitOk) {
        if (const QString broken = CheckRefusal(pack, "pack of bad JSON"); !broken.isEmpty())
            return broken;
        if (QFile::exists(packed))
            return QStringLiteral("pack refused the input but wrote the file");
        return {};
    }
    const QByteArray bytes = ReadWhole(packed);
    if (bytes.size() != kRecordSize && bytes.size() != kMemoryFileSize)
        return QStringLiteral("pack wrote %1 bytes").arg(bytes.size());
    return ShowPackRoundTrip(bytes);
}

QString DeviceListFile(QByteArrayView input)
{
    // Whatever the file holds, every slot reads within its ranges, and writing one slot leaves
    // every other slot reading as it did.
    const QString path = WorkFile(QString::fromLatin1(kDeviceListFileName));
    if (!WriteWhole(path, input))
        return QStringLiteral("cannot write the work file");
    DeviceList list(path);
    QString error;
    if (!list.Reload(&error))
        return QStringLiteral("a readable list was not read: %1").arg(error);
    const auto before = list.Entries();
    for (int i = 0; i < kDeviceSlotCount; ++i) {
        const DeviceEntry &e = before[i];
        if (e.id < 1 || e.id > kDeviceIdMax || e.subid < 1 || e.subid > kDeviceSubIdMax)
            return QStringLiteral("slot %1 reads id %2 sub-address %3").arg(i + 1).arg(e.id).arg(e.subid);
    }

    const int slot = 1 + static_cast<int>(SeedFrom(input) % kDeviceSlotCount);
    const DeviceEntry written{true, QStringLiteral("Rack 3 left"), 17, 4242};
    if (!list.WriteSlot(slot, written, &error))
        return QStringLiteral("writing slot %1 failed: %2").arg(slot).arg(error);
    DeviceList again(path);
    if (!again.Reload(&error))
        return QStringLiteral("the rewritten list cannot be read: %1").arg(error);
    const auto after = again.Entries();
    for (int i = 0; i < kDeviceSlotCount; ++i) {
        const DeviceEntry &expected = i + 1 == slot ? written : before[i];
        if (!(after[i] == expected))
            return QStringLiteral("after writing slot %1, slot %2 reads differently").arg(slot).arg(i + 1);
    }
    return {};
}

QString SettingsFile(QByteArrayView input)
{
    // Whatever the file holds, the values read within their ranges, a `ports` entry is the
    // device of its COM number, and saving the port number changes nothing else.
    const QString config = WorkFile(QStringLiteral("config"));
    const testsupport::ScopedEnv home("XDG_CONFIG_HOME", config);
    QDir().mkpath(config + QStringLiteral("/talvo"));
    if (!WriteWhole(Settings::FilePath(), input))
        return QStringLiteral("cannot write the work file");

    const int port = Settings::LoadPortNumber();
    if (port < 0 || port > 255)
        return QStringLiteral("port number %1").arg(port);
    const QMap<int, QString> ports = Settings::PortMap();
    for (auto it = ports.begin(); it != ports.end(); ++it) {
        if (it.key() < 1 || it.key() > 255 || it.value().isEmpty())
            return QStringLiteral("ports entry COM%1=%2").arg(it.key()).arg(it.value());
        if (Settings::PortDevicePath(it.key()) != it.value())
            return QStringLiteral("COM%1 does not map to its ports entry").arg(it.key());
    }
    const QString installPath = Settings::InstallPath();
    const std::optional<int> language = Settings::Language();

    const int saved = 1 + static_cast<int>(SeedFrom(input) % 200);
    if (!Settings::SavePortNumber(saved))
        return {};  // refusing to rewrite a file it cannot keep is allowed; nothing changed
    if (Settings::LoadPortNumber() != saved)
        return QStringLiteral("saved port %1 reads back as %2").arg(saved).arg(Settings::LoadPortNumber());
    if (Settings::PortMap() != ports)
        return QStringLiteral("saving the port number changed the ports entries");
    if (Settings::InstallPath() != installPath)
        return QStringLiteral("saving the port number changed the installation path");
    if (Settings::Language() != language)
        return QStringLiteral("saving the port number changed the language");
    return {};
}

QString FilterFiles(QByteArrayView input)
{
    // Any text handed to eq import as a filter file is either refused with a message and
    // nothing written, or put into the program's bands with every other byte kept and only
    // values an editor produces; exported again, each channel imports back byte for byte.
    const QString filters = WorkFile(QStringLiteral("filters.txt"));
    const QString program = WorkFile(QStringLiteral("eq-program.VKP"));
    const QString out = WorkFile(QStringLiteral("eq-out.VKP"));
    const QString exported = WorkFile(QStringLiteral("eq-exported.txt"));
    const QString again = WorkFile(QStringLiteral("eq-again.VKP"));
    QFile::remove(out);
    const QByteArray before(reinterpret_cast<const char *>(DefaultProgram().data()), kRecordSize);
    if (!WriteWhole(filters, input) || !WriteWhole(program, before))
        return QStringLiteral("cannot write the work file");
    const ToolRun import = RunCommand(cli::RunEqCommand, {QStringLiteral("import"), filters, program, out,
                                                          QStringLiteral("--channel"), QStringLiteral("both")});
    if (import.status != cli::kExitOk) {
        if (const QString broken = CheckRefusal(import, "eq import of a bad filter file"); !broken.isEmpty())
            return broken;
        if (QFile::exists(out))
            return QStringLiteral("eq import refused the input but wrote the program");
        return {};
    }
    if (!import.out.contains(QStringLiteral("fit: largest difference ")) || import.out.contains(QStringLiteral("nan")) ||
        import.out.contains(QStringLiteral("inf ")))
        return QStringLiteral("eq import printed no usable fit: %1").arg(import.out.right(200));
    const QByteArray after = ReadWhole(out);
    if (after.size() != kRecordSize)
        return QStringLiteral("eq import wrote %1 bytes").arg(after.size());
    RecordImage record{};
    std::copy(after.begin(), after.end(), record.begin());
    if (const std::optional<RecordFault> fault = CheckRecordValues(record))
        return QStringLiteral("eq import wrote a value no editor produces: %1").arg(fault->text());
    for (int i = 0; i < kRecordSize; ++i) {
        const bool band = (i >= BandImageOffset(0, 0) && i < BandImageOffset(0, kBandCount)) ||
                          (i >= BandImageOffset(1, 0) && i < BandImageOffset(1, kBandCount));
        if (!band && after[i] != before[i])
            return QStringLiteral("eq import changed byte %1, which is no band's").arg(i);
    }
    for (const char *channel : {"left", "right"}) {
        const ToolRun out1 = RunCommand(cli::RunEqCommand, {QStringLiteral("export"), out, QStringLiteral("--channel"),
                                                            QLatin1String(channel), QStringLiteral("--out"), exported});
        if (out1.status != cli::kExitOk)
            return QStringLiteral("eq export of what eq import wrote failed: %1").arg(out1.err.trimmed());
        QFile::remove(again);
        const ToolRun back = RunCommand(cli::RunEqCommand, {QStringLiteral("import"), exported, out, again,
                                                            QStringLiteral("--channel"), QLatin1String(channel)});
        if (back.status != cli::kExitOk)
            return QStringLiteral("eq import of its own export refused: %1").arg(back.err.trimmed());
        if (ReadWhole(again) != after)
            return QStringLiteral("the %1 bands exported and imported again changed").arg(QLatin1String(channel));
    }
    return {};
}

QString FrameFinder(QByteArrayView input)
{
    // Bytes arrive in pieces at times cut from the input; two amplifiers share an ID so that
    // answers collide. Every byte received ends up in exactly one frame or one run of garbage,
    // and every reply answers a recorded frame.
    sim::Bus bus;
    sim::AmplifierConfig config;
    config.id = 1;
    bus.addAmplifier(config);
    bus.addAmplifier(config);
    config.id = 2;
    config.faults.garbageBytes = 3;
    config.faults.cutShortTo = 20;
    bus.addAmplifier(config);

    PieceSizes sizes(SeedFrom(input));
    double now = 0.0;
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype n = std::min<qsizetype>(sizes.next(24), input.size() - at);
        bus.receive(input.sliced(at, n), now);
        at += n;
        now += sizes.next(700) * 0.5;  // sometimes beyond the receiver's timeout
        bus.takeDue(now);
    }
    bus.takeAll();
    bus.flush();

    const sim::BusRecord &record = bus.record();
    qsizetype accounted = 0;
    for (const sim::FrameRecord &f : record.frames)
        accounted += f.wire.size();
    for (const sim::GarbageRecord &g : record.garbage)
        accounted += g.bytes.size();
    if (accounted != input.size())
        return QStringLiteral("%1 bytes in, %2 in frames and garbage").arg(input.size()).arg(accounted);
    for (const sim::ReplyRecord &r : record.replies)
        if (r.frameIndex < 0 || r.frameIndex >= static_cast<int>(record.frames.size()))
            return QStringLiteral("reply to frame %1 of %2").arg(r.frameIndex).arg(record.frames.size());
    return {};
}

std::span<const Entry> Entries()
{
    static constexpr std::array<Entry, 7> entries{{
        {"reply_stream", ReplyStream},
        {"program_files", ProgramFiles},
        {"program_json", ProgramJson},
        {"device_list", DeviceListFile},
        {"settings_file", SettingsFile},
        {"frame_finder", FrameFinder},
        {"filter_files", FilterFiles},
    }};
    return entries;
}

}  // namespace talvo::fuzz
