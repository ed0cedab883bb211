// The settings file as the operator keeps it: COM Setup rewrites only the port's value, the
// sections are written in the form the README shows, and only a regular file is replaced.

#include <QDir>
#include <QFile>

#include "link/Settings.h"
#include "shell/ComSetupDialog.h"
#include "ShellFixture.h"
#include "tests/support/NonRegularPaths.h"

namespace talvo::test {
namespace {

using testsupport::KindOfPath;
using testsupport::PathKind;

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

class SettingsFile : public ShellFixture {
protected:
    QTemporaryDir devices;
};

TEST_F(SettingsFile, ComSetupKeepsTheOperatorsCommentsAndSectionNames) {
    QFile dev7(devices.filePath("dev7"));
    ASSERT_TRUE(dev7.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral(
        "; TALVO Control, set up by hand\n"
        "[deziro232]\n"
        "RS232=3                      ; the remembered COM port number\n"
        "\n"
        "[ZORAZER/PATH]\n"
        "; where VELK.chm and DSPdevi.ini live\n"
        "installpath=/opt/talvo\n"
        "[ports]\n"
        "COM7=%1  ; the adapter on the rack\n");
    ASSERT_TRUE(WriteAll(Settings::FilePath(), text.arg(dev7.fileName()).toUtf8()));
    window().show();
    Pump();
    ComSetupDialog &dialog = app().comSetup();
    dialog.show();
    Pump();

    dialog.ChooseEntry("COM7");
    dialog.accept();

    QString expected = text.arg(dev7.fileName());
    expected.replace("RS232=3  ", "RS232=7  ");
    EXPECT_EQ(QString::fromUtf8(ReadAll(Settings::FilePath())), expected);
    EXPECT_EQ(Settings::InstallPath(), "/opt/talvo");
    EXPECT_EQ(Settings::LoadPortNumber(), 7);
}

TEST_F(SettingsFile, AFreshFileTakesTheFormTheReadmeShows) {
    ASSERT_TRUE(Settings::SavePortNumber(3));
    ASSERT_TRUE(Settings::SetInstallPath("/opt/talvo"));
    EXPECT_EQ(ReadAll(Settings::FilePath()),
              "[deziro232]\n"
              "RS232=3\n"
              "\n"
              "[ZORAZER/PATH]\n"
              "installpath=/opt/talvo\n");
}

TEST_F(SettingsFile, AValueSavedBeforeInTheNestedFormIsStillRead) {
    ASSERT_TRUE(WriteAll(Settings::FilePath(), "[ZORAZER]\nPATH\\installpath=/opt/old\nLANGUAGE\\LAN=100\n"));
    EXPECT_EQ(Settings::InstallPath(), "/opt/old");
    EXPECT_EQ(Settings::Language(), 100);
}

TEST_F(SettingsFile, OnlyARegularFileIsReplaced) {
    const QString file = Settings::FilePath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));

    // A named pipe: neither read (it would wait for a writer) nor replaced.
    ASSERT_TRUE(testsupport::MakeNamedPipe(file));
    EXPECT_EQ(Settings::LoadPortNumber(), 1);
    EXPECT_FALSE(Settings::SavePortNumber(5));
    EXPECT_EQ(KindOfPath(file), PathKind::NamedPipe);
    ASSERT_TRUE(QFile::remove(file));

    ASSERT_TRUE(QDir().mkdir(file));
    EXPECT_FALSE(Settings::SavePortNumber(5));
    EXPECT_EQ(KindOfPath(file), PathKind::Folder);
    ASSERT_TRUE(QDir().rmdir(file));

    // A link to a regular file: the file it points to gets the value, the link stays.
    const QString real = devices.filePath("talvo.conf");
    ASSERT_TRUE(WriteAll(real, "; mine\n[deziro232]\nRS232=2\n"));
    ASSERT_TRUE(testsupport::MakeSymbolicLink(real, file));
    ASSERT_TRUE(Settings::SavePortNumber(5));
    EXPECT_EQ(KindOfPath(file), PathKind::SymbolicLink);
    EXPECT_EQ(ReadAll(real), "; mine\n[deziro232]\nRS232=5\n");
}

}  // namespace
}  // namespace talvo::test
