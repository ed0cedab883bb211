#pragma once
// Test helpers that keep a test's settings and data away from the real home folder.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace talvo::testsupport {

// Sets an environment variable for the object's lifetime and puts the old state back after.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ScopedEnv(const char *name, const QString &value) : ScopedEnv(name, value.toLocal8Bit()) {}
    ScopedEnv(const char *name, const char *value) : ScopedEnv(name, QByteArray(value)) {}
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    QByteArray old_;
    bool had_;
};

// The settings file ($XDG_CONFIG_HOME) and the device list ($XDG_DATA_HOME) go to a temporary
// folder of their own for the object's lifetime.
class ScopedHome {
public:
    ScopedHome()
    {
        QDir().mkpath(path());
        QDir().mkpath(dataPath());
    }

    QString path() const { return dir_.filePath(QStringLiteral("config")); }  // XDG_CONFIG_HOME
    QString dataPath() const { return dir_.filePath(QStringLiteral("data")); }  // XDG_DATA_HOME
    QString settingsFile() const { return path() + QStringLiteral("/talvo/talvo.conf"); }

private:
    QTemporaryDir dir_;
    ScopedEnv config_{"XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config"))};
    ScopedEnv data_{"XDG_DATA_HOME", dir_.filePath(QStringLiteral("data"))};
};

}  // namespace talvo::testsupport
