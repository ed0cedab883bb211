// talvoctl show / pack: program (.VKP) and memory (.DMP) files as text or JSON, and back.

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "CliSupport.h"
#include "Commands.h"
#include "editors/CrossoverTable.h"
#include "editors/LimiterScale.h"
#include "memory/MemoryFile.h"
#include "programs/ProgramFile.h"
#include "programs/ProgramJson.h"
#include "programs/ProgramRecord.h"
#include "programs/RecordCheck.h"
#include "programs/Windows1252.h"

namespace talvo::cli {

namespace {

QString Number(double value) { return QString::number(value, 'g', 12); }

QString SignedDb(double value) { return QString::asprintf("%+.2f dB", value); }

QString Hex(const std::uint8_t *bytes, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i) text += u' ';
        text += QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

QString ModeText(int mode)
{
    switch (mode) {
    case 0: return QStringLiteral("Stereo");
    case 1: return QStringLiteral("Bridge");
    case 2: return QStringLiteral("Mono");
    default: return QStringLiteral("unknown (%1)").arg(mode);
    }
}

// The name as text, with control characters (a NUL-filled name, say) written as \xNN so that
// the terminal shows them instead of acting on them.
QString NameText(const std::array<std::uint8_t, kNameSize> &name)
{
    QString text;
    for (const QChar c : ProgramNameText(name)) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            text += QStringLiteral("\\x") + QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            text += c;
    }
    return text;
}

QString FrequencyText(double freq) { return Number(freq) + QStringLiteral(" Hz"); }

QString FilterText(const CrossoverFilter &filter)
{
    const char *slope = SlopeTypeText(filter.slope);
    QString text = slope ? QString::fromLatin1(slope) : QStringLiteral("unknown slope (%1)").arg(filter.slope);
    text += QStringLiteral(", ") + FrequencyText(filter.freq);
    if (CrossoverIndexOf(filter.freq) < 0) text += QStringLiteral(" (not a crossover table value)");
    return text;
}

QString LimiterText(const ChannelSettings &ch)
{
    QString threshold;
    if (ch.limitThreshold == kLimiterOff)
        threshold = QStringLiteral("off");
    else if (ch.limitThreshold >= 0 && ch.limitThreshold < kLimiterOff)
        threshold = QStringLiteral("threshold %1 dB").arg(LimiterThresholdDb(ch.limitThreshold));
    else
        threshold = QStringLiteral("unknown threshold byte %1").arg(ch.limitThreshold);
    return QStringLiteral("%1, hold %2 ms, attack %3 dB/s, decay %4 dB/s")
        .arg(threshold)
        .arg(ch.hold)
        .arg(ch.attack)
        .arg(ch.decay);
}

QString PhaseText(int phase)
{
    if (phase == 0) return QStringLiteral("normal");
    if (phase == 180) return QStringLiteral("inverted (180)");
    return QStringLiteral("unknown (%1)").arg(phase);
}

void PrintChannel(QTextStream &out, const QString &title, const ChannelSettings &ch, const QString &indent)
{
    const QString in = indent + QStringLiteral("  ");
    out << indent << title << '\n';
    for (int i = 0; i < kBandCount; ++i) {
        out << in << QStringLiteral("PEQ %1      %2, %3, Q %4%5")
                         .arg(i + 1)
                         .arg(FrequencyText(ch.peq[i].freq), SignedDb(ch.peq[i].gain))
                         .arg(ch.peq[i].q, 0, 'f', 2)
                         .arg(ch.flat[i] ? QStringLiteral(", FLAT") : QString())
            << '\n';
    }
    out << in << "High pass  " << FilterText(ch.highPass) << '\n';
    out << in << "Low pass   " << FilterText(ch.lowPass) << '\n';
    out << in << "Gain       "
        << (ch.muted() ? QStringLiteral("muted (%1)").arg(SignedDb(ch.gain)) : SignedDb(ch.gain)) << '\n';
    out << in << "Delay      " << QString::number(ch.delay, 'f', 2) << " ms\n";
    out << in << "Limiter    " << LimiterText(ch) << '\n';
    out << in << "Phase      " << PhaseText(ch.phase) << '\n';
}

void PrintRecord(QTextStream &out, const RecordImage &record, const QString &indent)
{
    const Program p = DecodeProgram(record);
    out << indent << "Name       \"" << NameText(p.name) << "\"\n";
    out << indent << "Mode       " << ModeText(p.mode) << '\n';
    out << indent << QStringLiteral("In use %1, program number %2, header tail %3")
                         .arg(p.inUse)
                         .arg(p.programNumber)
                         .arg(Hex(p.headerTail.data(), 3))
        << '\n';
    PrintChannel(out, QStringLiteral("LEFT (IN A -> OUT 1)"), p.left, indent);
    PrintChannel(out, QStringLiteral("RIGHT (IN B -> OUT 2)"), p.right, indent);
}

void PrintMemory(QTextStream &out, const MemoryImage &image)
{
    for (int i = 0; i < kMemorySlotCount; ++i) {
        const RecordImage &record = image[i];
        if (!RecordInUse(record)) {
            std::array<std::uint8_t, kNameSize> name;
            std::copy_n(record.begin(), kNameSize, name.begin());
            out << QStringLiteral("Slot %1: empty (name \"%2\")").arg(i + 1).arg(NameText(name)) << '\n';
            continue;
        }
        out << QStringLiteral("Slot %1:").arg(i + 1) << '\n';
        PrintRecord(out, record, QStringLiteral("  "));
    }
}

// A folder named as the file is bad input (refused), not a file that failed to read.
bool RefuseFolder(const char *command, const QString &path, QTextStream &err)
{
    if (!QFileInfo(path).isDir())
        return false;
    err << "talvoctl " << command << ": " << path << " is a folder, not a file\n";
    return true;
}

QJsonObject MemoryToJson(const MemoryImage &image)
{
    QJsonArray slotArray;
    for (const RecordImage &record : image) slotArray.append(RecordToJson(record));
    return QJsonObject{{QStringLiteral("slots"), slotArray}};
}

const char kShowUsage[] = "usage: talvoctl show [--json] FILE\n";
const char kPackUsage[] = "usage: talvoctl pack FILE.json OUT\n";

}  // namespace

int RunShowCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kShowUsage))
        return kExitOk;
    bool json = false;
    QStringList files;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--json"))
            json = true;
        else if (arg.startsWith(u'-') && arg.size() > 1) {
            err << "talvoctl show: unknown option '" << arg << "'\n" << kShowUsage;
            return kExitRefused;
        } else
            files << arg;
    }
    if (files.size() != 1) {
        err << kShowUsage;
        return kExitRefused;
    }
    const QString &path = files.first();
    if (RefuseFolder("show", path, err))
        return kExitRefused;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "talvoctl show: cannot read " << path << ": " << file.errorString() << '\n';
        return kExitFailed;
    }
    // The length alone tells the kind; read one byte more than the longest so that a longer
    // file is recognised without loading all of it.
    const QByteArray bytes = file.read(kMemoryFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        err << "talvoctl show: cannot read " << path << ": " << file.errorString() << '\n';
        return kExitFailed;
    }
    const qint64 length = file.isSequential() ? bytes.size() : std::max<qint64>(file.size(), bytes.size());
    if (length == kRecordSize) {
        RecordImage record;
        std::copy_n(bytes.constData(), kRecordSize, record.begin());
        if (json)
            out << QJsonDocument(RecordToJson(record)).toJson(QJsonDocument::Indented);
        else
            PrintRecord(out, record, QString());
        return kExitOk;
    }
    if (length == kMemoryFileSize) {
        MemoryImage image;
        MemoryImageFromBytes(bytes, image);
        if (json)
            out << QJsonDocument(MemoryToJson(image)).toJson(QJsonDocument::Indented);
        else
            PrintMemory(out, image);
        return kExitOk;
    }
    err << "talvoctl show: " << path << " is " << length << " bytes long; expected " << kRecordSize
        << " (program file) or " << kMemoryFileSize << " (memory file)\n";
    return kExitRefused;
}

int RunPackCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kPackUsage))
        return kExitOk;
    if (args.size() != 2 || args[0].startsWith(u'-') || args[1].startsWith(u'-')) {
        err << kPackUsage;
        return kExitRefused;
    }
    const QString &jsonPath = args[0];
    const QString &outPath = args[1];
    if (RefuseFolder("pack", jsonPath, err))
        return kExitRefused;

    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "talvoctl pack: cannot read " << jsonPath << ": " << file.errorString() << '\n';
        return kExitFailed;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        err << "talvoctl pack: cannot read " << jsonPath << ": " << file.errorString() << '\n';
        return kExitFailed;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        err << "talvoctl pack: " << jsonPath << ": not valid JSON: " << parseError.errorString()
            << " at offset " << parseError.offset << '\n';
        return kExitRefused;
    }
    if (!doc.isObject()) {
        err << "talvoctl pack: " << jsonPath << ": expected a JSON object (a record, or {\"slots\": [...]})\n";
        return kExitRefused;
    }
    const QJsonObject top = doc.object();

    QString error;
    FileResult written;
    if (top.contains(QStringLiteral("slots"))) {
        for (auto it = top.begin(); it != top.end(); ++it) {
            if (it.key() != QLatin1String("slots")) {
                err << "talvoctl pack: " << it.key() << ": unknown key (a memory file has only \"slots\")\n";
                return kExitRefused;
            }
        }
        const QJsonValue slotsValue = top.value(QStringLiteral("slots"));
        if (!slotsValue.isArray() || slotsValue.toArray().size() != kMemorySlotCount) {
            err << "talvoctl pack: slots: must be an array of " << kMemorySlotCount << " records\n";
            return kExitRefused;
        }
        const QJsonArray slotArray = slotsValue.toArray();
        MemoryImage image;
        for (int i = 0; i < kMemorySlotCount; ++i) {
            const QString prefix = QStringLiteral("slots[%1].").arg(i);
            if (!slotArray.at(i).isObject()) {
                err << "talvoctl pack: " << prefix.chopped(1) << ": must be an object\n";
                return kExitRefused;
            }
            const std::optional<RecordImage> record = RecordFromJson(slotArray.at(i).toObject(), &error, prefix);
            if (!record) {
                err << "talvoctl pack: " << error << '\n';
                return kExitRefused;
            }
            image[i] = *record;
        }
        // Values no editor produces are refused, as every reader of a memory file refuses them.
        if (const std::optional<SlotFault> bad = CheckMemoryValues(image)) {
            err << "talvoctl pack: " << QStringLiteral("slots[%1].").arg(bad->slot - 1) << bad->fault.text() << '\n';
            return kExitRefused;
        }
        written = WriteMemoryFile(outPath, image);
    } else {
        const std::optional<RecordImage> record = RecordFromJson(top, &error);
        if (!record) {
            err << "talvoctl pack: " << error << '\n';
            return kExitRefused;
        }
        if (const std::optional<RecordFault> fault = CheckRecordValues(*record)) {
            err << "talvoctl pack: " << fault->text() << '\n';
            return kExitRefused;
        }
        written = WriteRecordFile(outPath, *record);
    }
    if (!written) {
        err << "talvoctl pack: " << written.message << '\n';
        // A device, a named pipe or a folder at OUT is refused: nothing there was replaced.
        return written.status == FileResult::Status::NotRegularFile ? kExitRefused : kExitFailed;
    }
    return kExitOk;
}

}  // namespace talvo::cli
