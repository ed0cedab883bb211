#include "link/Settings.h"

#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QSerialPort>
#else
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

// One key of the settings, opened for reading and writing. On Windows the user's key is used
// when it can be opened or created, else the machine's; elsewhere the key is a group of the
// INI file.
std::unique_ptr<QSettings> openKey(const QString &key)
{
#ifdef Q_OS_WIN
    QString path = key;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    auto user = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") + path,
                                            QSettings::NativeFormat);
    if (user->isWritable())
        return user;
    return std::make_unique<QSettings>(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\") + path,
                                       QSettings::NativeFormat);
#else
    auto settings = std::make_unique<QSettings>(Settings::FilePath(), QSettings::IniFormat);
    settings->beginGroup(key);
    return settings;
#endif
}

bool writeValue(const QString &key, const QString &name, const QVariant &value)
{
#ifndef Q_OS_WIN
    // The folder may not exist on a first run.
    if (!QDir().mkpath(QFileInfo(Settings::FilePath()).absolutePath()))
        return false;
#endif
    auto settings = openKey(key);
    if (!settings->isWritable())
        return false;
    settings->setValue(name, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

std::optional<int> readInt(const QString &key, const QString &name)
{
    auto settings = openKey(key);
    const QVariant value = settings->value(name);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok, 10);
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
    return writeValue(QLatin1String(kPortKey), QLatin1String(kPortValue), port & 0xFF);
}

QString Settings::InstallPath()
{
    return openKey(QLatin1String(kPathKey))->value(QLatin1String(kPathValue)).toString();
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
    return writeValue(QLatin1String(kLanguageKey), QLatin1String(kLanguageValue), value);
}

QMap<int, QString> Settings::PortMap()
{
    QMap<int, QString> map;
#ifndef Q_OS_WIN
    auto settings = openKey(QLatin1String(kPortsGroup));
    for (const QString &name : settings->childKeys()) {
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int port = name.mid(3).toInt(&ok, 10);
        const QString device = settings->value(name).toString().trimmed();
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

QString OpenErrorText(int port)
{
    return QStringLiteral("COM") + QString::number(port) +
           QStringLiteral(" connection failed.\r\rPlease select another COM port.");
}

}  // namespace talvo
