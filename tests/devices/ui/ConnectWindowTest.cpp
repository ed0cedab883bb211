// The Connect window: its controls, the device name that an address change clears, the device
// list handing a device back, and the connect procedure run from it on simulated amplifiers.

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include "devices/ConnectWindow.h"
#include "devices/DeviceListWindow.h"
#include "link/Link.h"
#include "shell/InterfaceTexts.h"
#include "AppOnSimBus.h"
#include "widgets/RectLed.h"

namespace talvo::test {
namespace {

using ConnectWindowTest = AppOnSimBus;

template <typename T>
T *Named(QWidget *window, const char *name) {
    T *child = window->findChild<T *>(QString::fromLatin1(name));
    EXPECT_TRUE(child) << name;
    return child;
}

TEST_F(ConnectWindowTest, ControlsCarryTheirNamesCaptionsAndStartingValues) {
    Start();
    ConnectWindow &w = app().connectWindow();
    EXPECT_EQ(w.objectName(), "TForm14");
    w.show();
    Pump();
    EXPECT_EQ(w.windowTitle(), "Connect");
    EXPECT_EQ(Named<QLabel>(&w, "Label11")->text(), "Add");
    EXPECT_EQ(Named<QLabel>(&w, "Label1")->text(), "Sub Add");
    EXPECT_EQ(Named<QLabel>(&w, "Label2")->text(), "");
    auto *id = Named<QSpinBox>(&w, "trackbar4");
    EXPECT_EQ(id->minimum(), 1);
    EXPECT_EQ(id->maximum(), 255);
    EXPECT_EQ(id->value(), 1);
    auto *sub = Named<QSpinBox>(&w, "SpinEdit1");
    EXPECT_EQ(sub->minimum(), 1);
    EXPECT_EQ(sub->maximum(), 65535);
    EXPECT_EQ(sub->value(), 1);
    auto *subBox = Named<QCheckBox>(&w, "CheckBox1");
    EXPECT_EQ(subBox->text(), "Sub Add");
    EXPECT_FALSE(subBox->isChecked());
    auto *mute = Named<QCheckBox>(&w, "CheckBox2");
    EXPECT_EQ(mute->text(), "MUTE");
    EXPECT_TRUE(mute->isChecked());
    EXPECT_EQ(Named<QPushButton>(&w, "dxButton1")->text(), "Connect");
    EXPECT_EQ(Named<QPushButton>(&w, "dxButton2")->text(), "Disconnect");
    EXPECT_EQ(Named<QPushButton>(&w, "dxButton3")->text(), "Device");
    w.hide();

    // The fields become the request the procedure gets.
    id->setValue(5);
    sub->setValue(300);
    subBox->setChecked(true);
    mute->setChecked(false);
    const ConnectRequest r = w.Request();
    EXPECT_EQ(r.id, 5);
    EXPECT_EQ(r.subAddress, 300);
    EXPECT_TRUE(r.useSubAddress);
    EXPECT_FALSE(r.mute);

    // The interface texts reach the window.
    w.setWindowTitle("x");
    Named<QLabel>(&w, "Label11")->setText("x");
    app().texts().ApplyTexts();
    EXPECT_EQ(w.windowTitle(), "Connect");
    EXPECT_EQ(Named<QLabel>(&w, "Label11")->text(), "Add");
}

TEST_F(ConnectWindowTest, ChangingTheIdOrTheSubAddressClearsTheDeviceName) {
    Start();
    ConnectWindow &w = app().connectWindow();
    for (QSpinBox *changed : {w.idSpin(), w.subAddressSpin()}) {
        w.TakeDevice(DeviceEntry{true, "Front fill", 12, 3000});
        EXPECT_EQ(w.idSpin()->value(), 12);
        EXPECT_EQ(w.subAddressSpin()->value(), 3000);
        ASSERT_EQ(w.deviceName()->text(), "Front fill");
        changed->stepUp();
        EXPECT_EQ(w.deviceName()->text(), "") << changed->objectName().toStdString();
    }
}

TEST_F(ConnectWindowTest, TheDeviceButtonOpensTheListWhoseOkHandsTheDeviceBack) {
    Start();
    DeviceListWindow &list = app().deviceListWindow();
    // The list sits where the settings put it, created at start-up.
    EXPECT_EQ(list.list().Path(), home.dataPath() + "/talvo/DSPdevi.ini");
    EXPECT_TRUE(QFile::exists(list.list().Path()));
    ASSERT_TRUE(list.list().WriteSlot(3, DeviceEntry{true, "Rack B", 42, 300}));

    ConnectWindow &w = app().connectWindow();
    w.show();
    auto choose = [&](int slot) {
        WhenShown(&list, [&list, slot](QDialog *) {
            list.SetCurrentSlot(slot);
            list.okButton()->click();
        });
        w.deviceButton()->click();  // returns once the list closed
    };

    choose(3);
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(w.idSpin()->value(), 42);
    EXPECT_EQ(w.subAddressSpin()->value(), 300);
    EXPECT_EQ(w.deviceName()->text(), "Rack B");

    // An empty row clears the name and leaves the address.
    choose(4);
    EXPECT_EQ(w.idSpin()->value(), 42);
    EXPECT_EQ(w.subAddressSpin()->value(), 300);
    EXPECT_EQ(w.deviceName()->text(), "");

    // "Cancle" hands nothing back.
    choose(3);
    w.idSpin()->setValue(9);
    WhenShown(&list, [&list](QDialog *) { list.cancelButton()->click(); });
    w.deviceButton()->click();
    EXPECT_EQ(w.idSpin()->value(), 9);
    EXPECT_EQ(w.deviceName()->text(), "");
}

// Tools > Connect with the window answered by `press` once it is up. The window must close by
// itself or be closed by `press`; if it is still open afterwards it is closed here and the
// test fails, so that nothing hangs.
void ConnectThroughTheMenu(MainWindow &main, ConnectWindow &w, std::function<void()> press) {
    bool stayedOpen = false;
    WhenShown(&w, [&w, press, &stayedOpen](QDialog *) {
        press();
        if (w.isVisible()) {
            stayedOpen = true;
            w.reject();
        }
    });
    main.Connect1Click();
    EXPECT_FALSE(stayedOpen) << "the Connect window stayed open";
}

TEST_F(ConnectWindowTest, ConnectingGoesOnlineShowsTheAmplifierAndClosesThenDisconnectCloses) {
    sim::AmplifierConfig amp = Amp(3);
    amp.firmwareMajor = 3;
    amp.firmwareMinor = 12;
    Start({amp});
    ConnectWindow &w = app().connectWindow();
    MainWindow &m = main();

    // While the procedure runs, its buttons are disabled; the fields stay as they are.
    std::vector<bool> buttonsDuringProcedure;
    QObject::connect(m.progressBar(), &QProgressBar::valueChanged, &w, [&](int value) {
        if (value == 12) buttonsDuringProcedure.push_back(w.connectButton()->isEnabled() || w.disconnectButton()->isEnabled());
    });

    ConnectThroughTheMenu(m, w, [&w] {
        EXPECT_TRUE(w.connectButton()->isEnabled());
        w.idSpin()->setValue(3);
        w.connectButton()->click();
    });
    ASSERT_EQ(buttonsDuringProcedure, std::vector<bool>{false});
    EXPECT_TRUE(w.connectButton()->isEnabled());
    EXPECT_TRUE(w.disconnectButton()->isEnabled());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(app().state().link.linkActive, kYes);
    EXPECT_TRUE(m.lineLed()->isActive());
    EXPECT_EQ(m.lineText()->text(), "ONLINE");
    EXPECT_EQ(m.idLabel()->text(), "ID:3");
    EXPECT_EQ(m.statusText(2), "     MCU Firmware Version: DSP VS-3.12");
    EXPECT_EQ(m.progressBar()->value(), 0);
    // The interface texts keep what the procedure found.
    app().texts().ApplyTexts();
    EXPECT_EQ(m.idLabel()->text(), "ID:3");
    EXPECT_EQ(m.lineText()->text(), "ONLINE");
    EXPECT_EQ(m.statusText(2), "     MCU Firmware Version: DSP VS-3.12");

    // "Disconnect" runs the main window's Disconnect, then the window closes.
    ConnectThroughTheMenu(m, w, [&w] { w.disconnectButton()->click(); });
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(app().state().link.linkActive, 0);
    EXPECT_FALSE(m.lineLed()->isActive());
    EXPECT_EQ(m.lineText()->text(), "OFFLINE");
    EXPECT_EQ(m.statusText(0), "   3: Disconnect");
    EXPECT_EQ(m.statusText(2), "");
    EXPECT_EQ(app().state().currentProgram, 0);
    EXPECT_TRUE(told.isEmpty()) << told.join('|').toStdString();
}

TEST_F(ConnectWindowTest, NoAnswerLeavesTheWindowOpenForAnotherTry) {
    Start({Amp(3)});
    ConnectWindow &w = app().connectWindow();
    bool openAfterwards = false;
    bool buttonsBack = false;
    QString said;
    WhenShown(&w, [&](QDialog *) {
        w.idSpin()->setValue(9);
        w.connectButton()->click();
        openAfterwards = w.isVisible();
        buttonsBack = w.connectButton()->isEnabled() && w.disconnectButton()->isEnabled();
        said = w.outcomeLabel()->text();
        // Closing works again once the procedure is over.
        w.reject();
    });
    main().Connect1Click();
    EXPECT_TRUE(openAfterwards);
    EXPECT_TRUE(buttonsBack);
    EXPECT_EQ(said, "No answer from ID 9 on COM1.");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(main().lineText()->text(), "OFFLINE");
    EXPECT_EQ(main().idLabel()->text(), "ID:9");
    EXPECT_EQ(app().state().link.linkActive, 0);
}

// While the procedure runs, "Cancel" (shown only then), Escape and the close box stop it after
// the wait it is in; the window stays open and says so, the link ends cleanly OFFLINE. Nobody
// answers ID 9, so without the stop all eight attempts would run.
TEST_F(ConnectWindowTest, CancelOrEscapeStopsTheProcedureAndTheWindowStays) {
    Start({Amp(3)});
    ConnectWindow &w = app().connectWindow();
    EXPECT_EQ(w.cancelButton()->objectName(), "CancelButton");
    struct Stop {
        const char *name;
        std::function<void()> press;
    };
    const Stop stops[] = {
        {"Cancel", [&w] { w.cancelButton()->click(); }},
        {"Escape",
         [&w] {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&w, &escape);
         }},
        {"close box", [&w] { w.close(); }},
    };
    for (const Stop &stop : stops) {
        SCOPED_TRACE(stop.name);
        std::vector<int> progress;
        bool cancelShownWhileRunning = false;
        const QMetaObject::Connection watch =
            QObject::connect(main().progressBar(), &QProgressBar::valueChanged, &w, [&](int value) {
                if (value > 0 && value < 100) progress.push_back(value);
                if (value == 24) {
                    cancelShownWhileRunning = w.cancelButton()->isVisible() && w.cancelButton()->isEnabled();
                    stop.press();
                }
            });
        bool openAfterwards = false;
        bool cancelShownAfterwards = true;
        QString said;
        WhenShown(&w, [&](QDialog *) {
            EXPECT_FALSE(w.cancelButton()->isVisible());
            w.idSpin()->setValue(9);
            w.connectButton()->click();  // returns once the procedure has stopped
            openAfterwards = w.isVisible();
            cancelShownAfterwards = w.cancelButton()->isVisible();
            said = w.outcomeLabel()->text();
            w.reject();
        });
        main().Connect1Click();
        QObject::disconnect(watch);

        EXPECT_TRUE(cancelShownWhileRunning);
        EXPECT_TRUE(openAfterwards);
        EXPECT_FALSE(cancelShownAfterwards);
        EXPECT_EQ(said, "Connecting to ID 9 on COM1 was cancelled.");
        // Stopped in the second attempt: no third one began.
        EXPECT_EQ(progress, (std::vector<int>{12, 24}));
        EXPECT_EQ(app().state().link.linkActive, 0);
        EXPECT_EQ(app().state().link.pendingFrames.load(), 0);
        EXPECT_EQ(main().lineText()->text(), "OFFLINE");
        EXPECT_EQ(main().progressBar()->value(), 0);
        EXPECT_TRUE(w.connectButton()->isEnabled());
        EXPECT_FALSE(w.isVisible());
    }
    // The next showing starts without the last connect's outcome.
    WhenShown(&w, [&w](QDialog *) {
        EXPECT_EQ(w.outcomeLabel()->text(), "");
        w.reject();
    });
    main().Connect1Click();
}

}  // namespace
}  // namespace talvo::test
