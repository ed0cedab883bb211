// The remembered port, the other settings values and the COM number to device mapping.

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "link/Settings.h"

namespace talvo::testing {
namespace {

void WriteSettings(const ScopedConfigHome &home, const QByteArray &text)
{
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/talvo")));
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray ReadSettings(const ScopedConfigHome &home)
{
    QFile file(home.settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Settings, FileFollowsXdgConfigHome)
{
    ScopedConfigHome home;
    EXPECT_EQ(Settings::FilePath(), home.path() + QStringLiteral("/talvo/talvo.conf"));
    qputenv("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(Settings::FilePath(), QDir::homePath() + QStringLiteral("/.config/talvo/talvo.conf"));
}

TEST(Settings, RememberedPortNumber)
{
    struct Case {
        const char *file;  // nullptr: no settings file at all
        int port;
    };
    const Case cases[] = {
        {nullptr, 1},
        {"[deziro232]\n", 1},
        {"[deziro232]\nRS232=3\n", 3},
        {"[deziro232]\nRS232=259\n", 3},
        {"[deziro232]\nRS232=512\n", 0},
        {"[deziro232]\nRS232=-1\n", 255},
        {"[deziro232]\nRS232=COM3\n", 1},
        {"[deziro232]\nRS232=\n", 1},
        {"[other]\nRS232=5\n", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file ? c.file : "(no file)");
        ScopedConfigHome home;
        if (c.file)
            WriteSettings(home, c.file);
        EXPECT_EQ(Settings::LoadPortNumber(), c.port);
    }
}

TEST(Settings, SavingThePortCreatesTheFileAndKeepsOtherValues)
{
    ScopedConfigHome home;
    ASSERT_FALSE(QFile::exists(home.settingsFile()));
    ASSERT_TRUE(Settings::SavePortNumber(259));
    EXPECT_EQ(Settings::LoadPortNumber(), 3);
    const QByteArray text = ReadSettings(home);
    EXPECT_TRUE(text.contains("[deziro232]")) << text.constData();
    EXPECT_TRUE(text.contains("RS232=3")) << text.constData();

    ScopedConfigHome other;
    WriteSettings(other, "[ports]\nCOM7=/dev/ttyUSB3\n\n[ZORAZER]\nPATH\\installpath=/opt/talvo\n");
    ASSERT_TRUE(Settings::SavePortNumber(7));
    EXPECT_EQ(Settings::LoadPortNumber(), 7);
    EXPECT_EQ(Settings::PortDevicePath(7), QStringLiteral("/dev/ttyUSB3"));
    EXPECT_EQ(Settings::InstallPath(), QStringLiteral("/opt/talvo"));
}

TEST(Settings, UnwritableSettingsAreReportedNotThrown)
{
    ScopedConfigHome home;
    // A file where the folder should be: nothing can be written.
    QFile blocker(home.path() + QStringLiteral("/talvo"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(Settings::SavePortNumber(4));
    EXPECT_EQ(Settings::LoadPortNumber(), 1);
}

TEST(Settings, InstallPathAndLanguageLiveInTheirGroups)
{
    ScopedConfigHome home;
    EXPECT_EQ(Settings::InstallPath(), QString());
    EXPECT_EQ(Settings::Language(), std::nullopt);
    ASSERT_TRUE(Settings::SetInstallPath(QStringLiteral("/opt/talvo dir")));
    ASSERT_TRUE(Settings::SetLanguage(0));
    EXPECT_EQ(Settings::InstallPath(), QStringLiteral("/opt/talvo dir"));
    EXPECT_EQ(Settings::Language(), 0);

    // A hand-written file may name the group with its full key path.
    ScopedConfigHome hand;
    WriteSettings(hand, "[ZORAZER/PATH]\ninstallpath=/srv/talvo\n[ZORAZER/LANGUAGE]\nLAN=100\n");
    EXPECT_EQ(Settings::InstallPath(), QStringLiteral("/srv/talvo"));
    EXPECT_EQ(Settings::Language(), 100);
}

TEST(Settings, RecentProgramFilesKeepTheLastEightNewestFirstEachOnce)
{
    ScopedConfigHome home;
    EXPECT_TRUE(Settings::RecentProgramFiles().isEmpty());
    for (int i = 1; i <= 9; ++i)
        ASSERT_TRUE(Settings::RememberProgramFile(QStringLiteral("/shows/p%1.VKP").arg(i)));
    // A path with the comment character and spaces comes back whole.
    ASSERT_TRUE(Settings::RememberProgramFile(QStringLiteral("/shows/a;b c.VKP")));
    ASSERT_TRUE(Settings::RememberProgramFile(QStringLiteral("/shows/p5.VKP")));
    const QStringList expected{"/shows/p5.VKP", "/shows/a;b c.VKP", "/shows/p9.VKP", "/shows/p8.VKP",
                               "/shows/p7.VKP", "/shows/p6.VKP", "/shows/p4.VKP", "/shows/p3.VKP"};
    EXPECT_EQ(Settings::RecentProgramFiles(), expected);
    EXPECT_TRUE(ReadSettings(home).contains("[ZORAZER/RECENT]\nFile1=/shows/p5.VKP\n"));
    // Other values stay as they were.
    ASSERT_TRUE(Settings::SavePortNumber(4));
    EXPECT_EQ(Settings::RecentProgramFiles(), expected);
}

TEST(Settings, ComNumbersMapToDevices)
{
    ScopedConfigHome home;
    const std::pair<int, const char *> cases[] = {
        {1, "/dev/ttyS0"},    {32, "/dev/ttyS31"},  {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
        {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {97, ""},            {0, ""},
        {255, ""},            {256, ""},            {-3, ""},
    };
    for (const auto &[port, device] : cases)
        EXPECT_EQ(Settings::PortDevicePath(port), QString::fromLatin1(device)) << "COM" << port;

    WriteSettings(home, "[ports]\nCOM7=/dev/ttyUSB3\ncom100=/dev/pts/9\nCOMX=/dev/null\nCOM300=/dev/null\n");
    EXPECT_EQ(Settings::PortDevicePath(7), QStringLiteral("/dev/ttyUSB3"));
    EXPECT_EQ(Settings::PortDevicePath(100), QStringLiteral("/dev/pts/9"));
    EXPECT_EQ(Settings::PortDevicePath(8), QStringLiteral("/dev/ttyS7"));
    EXPECT_EQ(Settings::PortMap().size(), 2);
}

TEST(Settings, ExistingPortsAreThoseThatCanBeOpenedOrAreHeld)
{
    ScopedConfigHome home;
    SimLine line;
    WriteSettings(home, QStringLiteral("[ports]\nCOM100=%1\nCOM101=/nonexistent/tty\n").arg(line.devicePath()).toUtf8());
    EXPECT_TRUE(Settings::PortExists(100));
    EXPECT_FALSE(Settings::PortExists(101));
    EXPECT_FALSE(Settings::PortExists(102));  // no device at all above COM96
    // A serial server on the network is listed when its address is well formed, without
    // connecting to it: nothing listens on this one.
    WriteSettings(home, "[ports]\nCOM8=tcp://127.0.0.1:9\nCOM9=tcp://127.0.0.1\nCOM10= TCP://[::1]:4001 \n");
    EXPECT_EQ(Settings::PortDevicePath(8), QStringLiteral("tcp://127.0.0.1:9"));
    EXPECT_TRUE(Settings::PortExists(8));
    EXPECT_FALSE(Settings::PortExists(9));
    EXPECT_TRUE(Settings::PortExists(10));
    WriteSettings(home, QStringLiteral("[ports]\nCOM100=%1\nCOM101=/nonexistent/tty\n").arg(line.devicePath()).toUtf8());

    // Held by this program: still listed.
    LinkState state;
    Link link(state);
    link.SetPortNumber(100);
    ASSERT_TRUE(link.OpenPort());
    const QList<int> ports = Settings::ExistingPorts(97, 120);
    EXPECT_EQ(ports, QList<int>{100});
}

TEST(Settings, OpenErrorText)
{
    EXPECT_EQ(OpenErrorText(3), QStringLiteral("COM3 connection failed.\r\rPlease select another COM port."));
    EXPECT_EQ(OpenErrorText(120), QStringLiteral("COM120 connection failed.\r\rPlease select another COM port."));
}

}  // namespace
}  // namespace talvo::testing
