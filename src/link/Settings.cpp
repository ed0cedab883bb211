#include "link/Settings.h"

#include <memory>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QSerialPort>
#include <QSettings>
#else
#include "programs/IniDocument.h"
#include "link/TcpAddress.h"
#include "programs/ProgramFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvo {

namespace {

const char *const kPortKey = "deziro232";
const char *const kPortValue = "RS232";
const char *const kPathKey = "ZORAZER/PATH";
const char *const kPathValue = "installpath";
const char *const kLanguageKey = "ZORAZER/LANGUAGE";
const char *const kLanguageValue = "LAN";
const char *const kPortsGroup = "ports";
const char *const kRecentKey = "ZORAZER/RECENT";

#ifdef Q_OS_WIN
// One key of the settings: the user's key when it can be opened or created, else the machine's.
std::unique_ptr<QSettings> openKey(const QString &key)
{
    QString path = key;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    auto user = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") + path,
                                            QSettings::NativeFormat);
    if (user->isWritable())
        return user;
    return std::make_unique<QSettings>(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\") + path,
                                       QSettings::NativeFormat);
}

std::optional<QString> readString(const QString &key, const QString &name)
{
    const QVariant value = openKey(key)->value(name);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

bool writeValue(const QString &key, const QString &name, const QString &value)
{
    auto settings = openKey(key);
    if (!settings->isWritable())
        return false;
    settings->setValue(name, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

bool writeValues(const QString &key, const QList<std::pair<QString, QString>> &values)
{
    auto settings = openKey(key);
    if (!settings->isWritable())
        return false;
    for (const auto &[name, value] : values)
        settings->setValue(name, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

QStringList childKeys(const QString &key)
{
    return openKey(key)->childKeys();
}
#else
// Elsewhere the keys are sections of one INI file, named as the README shows them
// ("[ZORAZER/PATH]"), read and rewritten as a document: the operator's comments, blank lines and
// other keys survive every save. Comments may also follow a value ("RS232=3  ; COM3").

// Far beyond any settings file written by hand; a larger one is not read whole.
constexpr qint64 kMaxSettingsFileSize = 1 << 20;

enum class FileState { Missing, Read, Unreadable };

FileState readSettingsFile(IniDocument &doc)
{
    doc = IniDocument(IniDocument::InlineComments::Allowed);
    const QFileInfo info(Settings::FilePath());
    if (!info.exists() && !info.isSymbolicLink())
        return FileState::Missing;
    // Opening a named pipe or a device to read it could wait for ever.
    if (!info.isFile())
        return FileState::Unreadable;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return FileState::Unreadable;
    const QByteArray bytes = ReadAtMost(file, kMaxSettingsFileSize);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxSettingsFileSize)
        return FileState::Unreadable;
    doc = IniDocument::Parse(bytes, IniDocument::InlineComments::Allowed);
    return FileState::Read;
}

std::optional<QString> readString(const QString &key, const QString &name)
{
    IniDocument doc;
    readSettingsFile(doc);
    if (std::optional<QString> value = doc.Value(key, name))
        return value;
    // Files saved by earlier versions of the program nest the key's tail into the value's name:
    // [ZORAZER] with PATH\installpath=...
    const qsizetype slash = key.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    QString nested = key.mid(slash + 1) + QLatin1Char('/') + name;
    nested.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return doc.Value(key.left(slash), nested);
}

// Several values of one key in one rewrite of the file.
bool writeValues(const QString &key, const QList<std::pair<QString, QString>> &values)
{
    // The folder may not exist on a first run.
    if (!QDir().mkpath(QFileInfo(Settings::FilePath()).absolutePath()))
        return false;
    IniDocument doc;
    // A file that is there but cannot be read is not replaced by one holding only this value.
    if (readSettingsFile(doc) == FileState::Unreadable && QFileInfo(Settings::FilePath()).isFile())
        return false;
    for (const auto &[name, value] : values)
        if (!doc.SetValue(key, name, value))
            return false;
    return WriteFileAtomically(Settings::FilePath(), doc.Serialize(u"\n")).ok();
}

bool writeValue(const QString &key, const QString &name, const QString &value)
{
    return writeValues(key, {{name, value}});
}

QStringList childKeys(const QString &key)
{
    IniDocument doc;
    readSettingsFile(doc);
    return doc.Keys(key);
}
#endif

std::optional<int> readInt(const QString &key, const QString &name)
{
    const std::optional<QString> value = readString(key, name);
    if (!value)
        return std::nullopt;
    bool ok = false;
    const int number = value->trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return number;
}

}  // namespace

QString Settings::FilePath()
{
#ifdef Q_OS_WIN
    return QString();
#else
    // A relative XDG_CONFIG_HOME is to be ignored, as if unset.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/talvo/talvo.conf");
#endif
}

int Settings::LoadPortNumber()
{
    const std::optional<int> stored = readInt(QLatin1String(kPortKey), QLatin1String(kPortValue));
    if (!stored)
        return 1;
    return *stored & 0xFF;
}

bool Settings::SavePortNumber(int port)
{
    return writeValue(QLatin1String(kPortKey), QLatin1String(kPortValue), QString::number(port & 0xFF));
}

QString Settings::InstallPath()
{
    return readString(QLatin1String(kPathKey), QLatin1String(kPathValue)).value_or(QString());
}

bool Settings::SetInstallPath(const QString &path)
{
    return writeValue(QLatin1String(kPathKey), QLatin1String(kPathValue), path);
}

std::optional<int> Settings::Language()
{
    return readInt(QLatin1String(kLanguageKey), QLatin1String(kLanguageValue));
}

bool Settings::SetLanguage(int value)
{
    return writeValue(QLatin1String(kLanguageKey), QLatin1String(kLanguageValue), QString::number(value));
}

QMap<int, QString> Settings::PortMap()
{
    QMap<int, QString> map;
#ifndef Q_OS_WIN
    for (const QString &name : childKeys(QLatin1String(kPortsGroup))) {
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int port = name.mid(3).toInt(&ok, 10);
        const QString device = readString(QLatin1String(kPortsGroup), name).value_or(QString()).trimmed();
        if (ok && port >= 1 && port <= 255 && !device.isEmpty())
            map.insert(port, device);
    }
#endif
    return map;
}

QString Settings::PortDevicePath(int port)
{
    if (port < 1 || port > 255)
        return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    const QString mapped = PortMap().value(port);
    if (!mapped.isEmpty())
        return mapped;
    // The numbering that hosts of Windows programs use on this kind of system.
    if (port <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 33);
    if (port <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(port - 65);
    return QString();
#endif
}

bool Settings::DeviceExists(const QString &devicePath)
{
    if (devicePath.isEmpty())
        return false;
    // A serial server on the network is offered whenever its address is well formed: trying
    // each one would keep the list waiting on hosts that do not answer.
    if (IsTcpPortName(devicePath))
        return ParseTcpPortName(devicePath).has_value();
#ifdef Q_OS_WIN
    QSerialPort port(devicePath);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return true;
    }
    return port.error() == QSerialPort::PermissionError;
#else
    // A plain non-blocking open is enough to tell: a serial device without hardware behind it
    // answers EIO or ENXIO, a missing one ENOENT, one held elsewhere EBUSY.
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EBUSY || errno == EACCES || errno == EPERM;
#endif
}

QList<int> Settings::ExistingPorts(int first, int last)
{
    QList<int> ports;
    for (int n = std::max(first, 1); n <= std::min(last, 255); ++n) {
        if (PortExists(n))
            ports.append(n);
    }
    return ports;
}

QStringList Settings::RecentProgramFiles()
{
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString path = readString(QLatin1String(kRecentKey), QStringLiteral("File%1").arg(i))
                                 .value_or(QString())
                                 .trimmed();
        if (!path.isEmpty() && !files.contains(path))
            files.append(path);
    }
    return files;
}

bool Settings::RememberProgramFile(const QString &path)
{
    // A name that the file cannot hold (a line break in it) is not worth breaking the file for.
#ifndef Q_OS_WIN
    if (!IniDocument::IsStorableValue(path))
        return false;
#endif
    QStringList files = RecentProgramFiles();
    files.removeAll(path);
    files.prepend(path);
    QList<std::pair<QString, QString>> values;
    for (int i = 0; i < kRecentFileCount; ++i)
        values.append({QStringLiteral("File%1").arg(i + 1), files.value(i)});
    return writeValues(QLatin1String(kRecentKey), values);
}

QString OpenErrorText(int port)
{
    return QStringLiteral("COM") + QString::number(port) +
           QStringLiteral(" connection failed.\r\rPlease select another COM port.");
}

}  // namespace talvo
