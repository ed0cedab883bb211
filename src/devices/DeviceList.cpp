#include "devices/DeviceList.h"
#include "programs/ProgramFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace talvo {

namespace {

const QString kCountSection = QStringLiteral("count");
const QString kCountKey = QStringLiteral("no");
const QString kViKey = QStringLiteral("vi");
const QString kNameKey = QStringLiteral("name");
const QString kIdKey = QStringLiteral("id");
const QString kSubIdKey = QStringLiteral("subid");
const QString kNewSlotName = QStringLiteral("VELK");

// The list is a few kilobytes; anything far larger is not a device list and is not loaded.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

void SetError(QString *error, const QString &text) {
    if (error) *error = text;
}

std::optional<int> ParseInt(const std::optional<QString> &text) {
    if (!text) return std::nullopt;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

int ReadRanged(const IniDocument &doc, const QString &section, const QString &key, int max) {
    const std::optional<int> value = ParseInt(doc.Value(section, key));
    return (value && *value >= 1 && *value <= max) ? *value : 1;
}

bool ReadBool(const IniDocument &doc, const QString &section, const QString &key) {
    const std::optional<QString> text = doc.Value(section, key);
    if (!text) return false;
    if (const std::optional<int> number = ParseInt(text)) return *number != 0;
    return text->trimmed().compare(u"true", Qt::CaseInsensitive) == 0;
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadDocument(const QString &path, IniDocument &doc, QString *error) {
    const QFileInfo info(path);
    if (!info.exists()) return ReadResult::Missing;
    if (info.isDir()) {
        SetError(error, QStringLiteral("Cannot read the device list %1: it is a directory").arg(path));
        return ReadResult::Failed;
    }
    if (!info.isFile()) {
        // A named pipe or a device: opening it to read could wait for ever.
        SetError(error, QStringLiteral("Cannot read the device list %1: it is not a regular file").arg(path));
        return ReadResult::Failed;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, QStringLiteral("Cannot read the device list %1: %2").arg(path, file.errorString()));
        return ReadResult::Failed;
    }
    const QByteArray bytes = ReadAtMost(file, kMaxFileSize);
    if (file.error() != QFileDevice::NoError) {
        SetError(error, QStringLiteral("Cannot read the device list %1: %2").arg(path, file.errorString()));
        return ReadResult::Failed;
    }
    if (bytes.size() > kMaxFileSize) {
        SetError(error, QStringLiteral("Cannot read the device list %1: the file is too large").arg(path));
        return ReadResult::Failed;
    }
    doc = IniDocument::Parse(bytes);
    return ReadResult::Ok;
}

bool SaveDocument(const QString &path, const IniDocument &doc, QString *error) {
    const FileResult result = WriteFileAtomically(path, doc.Serialize());
    if (!result)
        SetError(error, QStringLiteral("Cannot save the device list: %1").arg(result.message));
    return result.ok();
}

// The four keys of a slot in the order a new file lists them.
bool SetSlot(IniDocument &doc, int slot, const DeviceEntry &entry) {
    const QString section = QString::number(slot);
    return doc.SetValue(section, kViKey, entry.vi ? QStringLiteral("1") : QStringLiteral("0")) &&
           doc.SetValue(section, kNameKey, entry.name) &&
           doc.SetValue(section, kIdKey, QString::number(entry.id)) &&
           doc.SetValue(section, kSubIdKey, QString::number(entry.subid));
}

bool ValidSlot(int slot) {
    return slot >= 1 && slot <= kDeviceSlotCount;
}

}  // namespace

QString DeviceListPath(const QString &installDir) {
    if (installDir.isEmpty()) return QDir::rootPath() + QLatin1String(kDeviceListFileName);
    return QDir(installDir).filePath(QLatin1String(kDeviceListFileName));
}

DeviceList::DeviceList(QString path) : path_(std::move(path)) {}

bool DeviceList::Open(QString *error) {
    IniDocument doc;
    const ReadResult read = ReadDocument(path_, doc, error);
    if (read == ReadResult::Failed) {
        // Never initialise over a file we could not read: that would wipe the operator's list.
        doc_ = IniDocument();
        return false;
    }
    if (doc.HasSection(kCountSection)) {
        doc_ = std::move(doc);
        return true;
    }
    // Not initialised yet. A missing file gets the full new contents; a hand-made file without
    // [count] keeps every slot it has and only gains what is missing.
    doc.SetValue(kCountSection, kCountKey, QStringLiteral("0"));
    const DeviceEntry blank{false, kNewSlotName, 1, 1};
    for (int slot = 1; slot <= kDeviceSlotCount; ++slot)
        if (!doc.HasSection(QString::number(slot))) SetSlot(doc, slot, blank);
    doc_ = std::move(doc);
    return SaveDocument(path_, doc_, error);
}

bool DeviceList::Reload(QString *error) {
    IniDocument doc;
    switch (ReadDocument(path_, doc, error)) {
    case ReadResult::Ok:
        doc_ = std::move(doc);
        return true;
    case ReadResult::Missing:
        SetError(error, QStringLiteral("The device list %1 does not exist").arg(path_));
        return false;
    case ReadResult::Failed:
        return false;
    }
    return false;
}

DeviceEntry DeviceList::Entry(int slot) const {
    DeviceEntry entry;
    if (!ValidSlot(slot)) return entry;
    const QString section = QString::number(slot);
    entry.vi = ReadBool(doc_, section, kViKey);
    if (std::optional<QString> name = doc_.Value(section, kNameKey)) entry.name = *name;
    entry.id = ReadRanged(doc_, section, kIdKey, kDeviceIdMax);
    entry.subid = ReadRanged(doc_, section, kSubIdKey, kDeviceSubIdMax);
    return entry;
}

std::array<DeviceEntry, kDeviceSlotCount> DeviceList::Entries() const {
    std::array<DeviceEntry, kDeviceSlotCount> entries;
    for (int slot = 1; slot <= kDeviceSlotCount; ++slot) entries[static_cast<size_t>(slot - 1)] = Entry(slot);
    return entries;
}

bool DeviceList::WriteSlot(int slot, const DeviceEntry &entry, QString *error) {
    if (!ValidSlot(slot)) {
        SetError(error, QStringLiteral("Device slot %1 is outside 1..%2").arg(slot).arg(kDeviceSlotCount));
        return false;
    }
    if (entry.id < 1 || entry.id > kDeviceIdMax) {
        SetError(error, QStringLiteral("Device ID %1 is outside 1..%2").arg(entry.id).arg(kDeviceIdMax));
        return false;
    }
    if (entry.subid < 1 || entry.subid > kDeviceSubIdMax) {
        SetError(error, QStringLiteral("Sub-address %1 is outside 1..%2").arg(entry.subid).arg(kDeviceSubIdMax));
        return false;
    }
    if (!IniDocument::IsStorableValue(entry.name)) {
        SetError(error, QStringLiteral("A device name cannot contain line breaks or other control characters"));
        return false;
    }

    // Start from the file as it is now, so that edits made outside the program are kept;
    // when it has gone missing, from the list as held.
    IniDocument doc;
    switch (ReadDocument(path_, doc, error)) {
    case ReadResult::Ok: break;
    case ReadResult::Missing: doc = doc_; break;
    case ReadResult::Failed: return false;
    }
    if (!SetSlot(doc, slot, entry)) {
        SetError(error, QStringLiteral("Device slot %1 could not be stored").arg(slot));
        return false;
    }
    if (!SaveDocument(path_, doc, error)) return false;
    doc_ = std::move(doc);
    return true;
}

bool DeviceList::ClearSlot(int slot, QString *error) {
    return WriteSlot(slot, DeviceEntry{false, QString(), 1, 1}, error);
}

bool DeviceList::Flush(QString *error) {
    return SaveDocument(path_, doc_, error);
}

}  // namespace talvo
