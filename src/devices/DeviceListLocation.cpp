#include "devices/DeviceListLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "link/Settings.h"

namespace talvo {

namespace {

QString fallbackDirectory()
{
#ifdef Q_OS_WIN
    // The root of the drive the program runs on.
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    const QString current = QDir::currentPath();
    if (drive.match(current).hasMatch())
        return current.left(2) + QLatin1Char('/');
    return QDir::rootPath();
#else
    // No drive letters, and the root directory is not the user's to write in: the user's data
    // directory. A relative XDG_DATA_HOME is to be ignored.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir(base).filePath(QStringLiteral("talvo"));
#endif
}

}  // namespace

QString DeviceListPathFor(const QString &installDir)
{
    const QString dir = installDir.trimmed().isEmpty() ? fallbackDirectory() : installDir;
    return QDir::cleanPath(QDir(dir).filePath(QLatin1String(kDeviceListFileName)));
}

QString DeviceListFilePath()
{
    return DeviceListPathFor(Settings::InstallPath());
}

bool EnsureDeviceListDirectory(const QString &filePath, QString *error)
{
    const QString dir = QFileInfo(filePath).absolutePath();
    if (QFileInfo(dir).isDir())
        return true;
    if (QDir().mkpath(dir) && QFileInfo(dir).isDir())
        return true;
    if (error)
        *error = QStringLiteral("Cannot create the folder %1 for the device list").arg(QDir::toNativeSeparators(dir));
    return false;
}

bool OpenDeviceList(DeviceList &list, QString *error)
{
    QString directoryError;
    const bool haveDirectory = EnsureDeviceListDirectory(list.Path(), &directoryError);
    if (list.Open(error))
        return true;
    if (!haveDirectory && error)
        *error = directoryError;
    return false;
}

}  // namespace talvo
