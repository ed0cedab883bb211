#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include "link/Link.h"
#include "link/Settings.h"
#include "shell/ComSetupDialog.h"
#include "ShellFixture.h"

namespace talvo::test {
namespace {

class ComSetup : public ShellFixture {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        // COM7 and COM120 stand for devices that exist, COM9 for one that is gone; COM121 exists
        // but is beyond what the window offers.
        for (const char *name : {"dev7", "dev120", "dev121"}) {
            QFile f(devices.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        QSettings ini(Settings::FilePath(), QSettings::IniFormat);
        ini.beginGroup("ports");
        ini.setValue("COM7", devices.filePath("dev7"));
        ini.setValue("COM9", devices.filePath("missing"));
        ini.setValue("COM120", devices.filePath("dev120"));
        ini.setValue("COM121", devices.filePath("dev121"));
        ini.endGroup();
        ini.sync();
        ASSERT_EQ(ini.status(), QSettings::NoError);
    }

    QStringList Entries() {
        QStringList entries;
        QComboBox *combo = app().comSetup().combo();
        for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
        return entries;
    }
    QString Label() { return app().comSetup().label()->text(); }

    QTemporaryDir devices;
};

TEST_F(ComSetup, ListsThePortsThatExistAndShowsTheCurrentOne) {
    window().show();  // loads the remembered port: none yet, so COM1
    Pump();
    ComSetupDialog &dialog = app().comSetup();
    dialog.show();
    Pump();

    const QStringList entries = Entries();
    EXPECT_TRUE(entries.contains("COM7"));
    EXPECT_TRUE(entries.contains("COM120"));
    EXPECT_FALSE(entries.contains("COM9"));
    EXPECT_FALSE(entries.contains("COM121"));
    for (const QString &e : entries) {
        ASSERT_TRUE(e.startsWith("COM"));
        EXPECT_TRUE(Settings::PortExists(e.mid(3).toInt())) << qPrintable(e);
    }
    EXPECT_EQ(Label(), "COM Select:COM1");
    EXPECT_EQ(dialog.windowTitle(), "COM Setup");
    EXPECT_EQ(dialog.objectName(), "TForm15");
}

// A serial server on the network is a port like any other once the settings name it; a
// malformed address is not offered. Nothing connects to list it.
TEST_F(ComSetup, OffersSerialServersOnTheNetwork) {
    QSettings ini(Settings::FilePath(), QSettings::IniFormat);
    ini.setValue("ports/COM8", "tcp://127.0.0.1:4001");
    ini.setValue("ports/COM10", "tcp://127.0.0.1");
    ini.sync();
    window().show();
    Pump();
    ComSetupDialog &dialog = app().comSetup();
    dialog.show();
    Pump();

    const QStringList entries = Entries();
    EXPECT_TRUE(entries.contains("COM8"));
    EXPECT_FALSE(entries.contains("COM10"));
    dialog.ChooseEntry("COM8");
    EXPECT_EQ(app().state().link.portNumber, 8);
    EXPECT_EQ(app().link().DevicePathFor(8), "tcp://127.0.0.1:4001");
}

TEST_F(ComSetup, ChoosingSetsThePortAndAnAbsentPortFallsBackToOne) {
    window().show();
    Pump();
    ComSetupDialog &dialog = app().comSetup();
    dialog.show();
    Pump();
    QComboBox *combo = dialog.combo();

    combo->setCurrentIndex(combo->findText("COM120"));  // the change event
    EXPECT_EQ(app().state().link.portNumber, 120);
    EXPECT_EQ(Label(), "COM Select:COM120");
    EXPECT_EQ(combo->currentText(), "COM120");

    emit combo->textActivated("COM7");  // the click event
    EXPECT_EQ(app().state().link.portNumber, 7);
    EXPECT_EQ(Label(), "COM Select:COM7");

    // An entry whose port has gone since the list was made.
    dialog.ChooseEntry("COM9");
    EXPECT_EQ(app().state().link.portNumber, 1);
    EXPECT_EQ(Label(), "COM Select:COM1");
    dialog.ChooseEntry("COMx");
    EXPECT_EQ(app().state().link.portNumber, 1);

    // Nothing is remembered before the window closes.
    dialog.ChooseEntry("COM7");
    EXPECT_EQ(Settings::LoadPortNumber(), 1);
    EXPECT_FALSE(QSettings(Settings::FilePath(), QSettings::IniFormat).contains("deziro232/RS232"));
}

TEST_F(ComSetup, ClosingRemembersTheNumberWhicheverWayItCloses) {
    window().show();
    Pump();
    ComSetupDialog &dialog = app().comSetup();

    // Through the menu, closed by "OK".
    QTimer::singleShot(0, &dialog, [&] {
        dialog.ChooseEntry("COM7");
        dialog.okButton()->click();
    });
    window().COMSetup1Click();
    EXPECT_EQ(Settings::LoadPortNumber(), 7);

    // Closed by the window's close box.
    QTimer::singleShot(0, &dialog, [&] {
        dialog.ChooseEntry("COM120");
        dialog.close();
    });
    window().COMSetup1Click();
    EXPECT_EQ(Settings::LoadPortNumber(), 120);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ComSetup, RememberedNumberIsReadAtStartUpByItsLowByte) {
    const struct {
        int stored;
        int shown;
    } cases[] = {{7, 7}, {259, 3}, {120 + 256, 120}, {256, 1}};
    for (const auto &c : cases) {
        QSettings(Settings::FilePath(), QSettings::IniFormat).setValue("deziro232/RS232", c.stored);
        ComSetup::TearDown();
        ShellFixture::SetUp();
        window().show();
        Pump();
        app().comSetup().show();
        Pump();
        EXPECT_EQ(Label(), QStringLiteral("COM Select:COM%1").arg(c.shown)) << "RS232=" << c.stored;
        app().comSetup().hide();
    }
}

}  // namespace
}  // namespace talvo::test
