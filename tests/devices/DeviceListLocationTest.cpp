// Where the device list lives, and opening it there.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "devices/DeviceListLocation.h"
#include "link/Settings.h"

namespace talvo::testing {
namespace {

using testsupport::ScopedEnv;


TEST(DeviceListLocation, InTheInstallationDirectoryOrTheUsersDataDirectory)
{
    QTemporaryDir home;
    ScopedEnv homeVar("HOME", home.path().toLocal8Bit());
    {
        ScopedEnv data("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(DeviceListPathFor(QStringLiteral("/opt/talvo")), QStringLiteral("/opt/talvo/DSPdevi.ini"));
        EXPECT_EQ(DeviceListPathFor(QStringLiteral("/opt/talvo/")), QStringLiteral("/opt/talvo/DSPdevi.ini"));
        EXPECT_EQ(DeviceListPathFor(QString()), QStringLiteral("/srv/data/talvo/DSPdevi.ini"));
        EXPECT_EQ(DeviceListPathFor(QStringLiteral("  ")), QStringLiteral("/srv/data/talvo/DSPdevi.ini"));
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
        EXPECT_EQ(DeviceListPathFor(QString()), home.path() + QStringLiteral("/.local/share/talvo/DSPdevi.ini"));
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "");
        EXPECT_EQ(DeviceListPathFor(QString()), home.path() + QStringLiteral("/.local/share/talvo/DSPdevi.ini"));
    }
}

TEST(DeviceListLocation, FollowsTheInstallPathSetting)
{
    ScopedConfigHome config;
    QTemporaryDir data;
    ScopedEnv dataVar("XDG_DATA_HOME", data.path().toLocal8Bit());
    EXPECT_EQ(DeviceListFilePath(), data.path() + QStringLiteral("/talvo/DSPdevi.ini"));
    ASSERT_TRUE(Settings::SetInstallPath(QStringLiteral("/opt/velk")));
    EXPECT_EQ(DeviceListFilePath(), QStringLiteral("/opt/velk/DSPdevi.ini"));
}

// Without an installation directory the first run creates the folder and the file with 255
// empty slots, and an added device is still there the next time.
TEST(DeviceListLocation, TheFallbackFolderIsCreatedAndKeepsTheList)
{
    ScopedConfigHome config;
    QTemporaryDir data;
    ScopedEnv dataVar("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString path = DeviceListFilePath();
    ASSERT_FALSE(QFile::exists(path));

    DeviceList list(path);
    QString error;
    ASSERT_TRUE(OpenDeviceList(list, &error)) << error.toStdString();
    ASSERT_TRUE(QFile::exists(path));
    for (const DeviceEntry &e : list.Entries())
        EXPECT_FALSE(e.vi);
    ASSERT_TRUE(list.WriteSlot(3, DeviceEntry{true, QStringLiteral("Stage left"), 12, 300}, &error)) << error.toStdString();

    DeviceList again(DeviceListFilePath());
    ASSERT_TRUE(OpenDeviceList(again, &error)) << error.toStdString();
    EXPECT_EQ(again.Entry(3), (DeviceEntry{true, QStringLiteral("Stage left"), 12, 300}));
}

TEST(DeviceListLocation, AFolderThatCannotBeCreatedIsReported)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QString error;
    EXPECT_FALSE(EnsureDeviceListDirectory(blocker + QStringLiteral("/sub/DSPdevi.ini"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("Cannot create the folder"))) << error.toStdString();
    DeviceList list(blocker + QStringLiteral("/sub/DSPdevi.ini"));
    error.clear();
    EXPECT_FALSE(OpenDeviceList(list, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("Cannot create the folder"))) << error.toStdString();
    for (const DeviceEntry &e : list.Entries())
        EXPECT_FALSE(e.vi);
}

}  // namespace
}  // namespace talvo::testing
