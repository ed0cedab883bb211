#pragma once
// The "Connect" window (TForm14): the amplifier's ID and sub-address, whether to connect with
// its outputs muted, and the name of a device picked from the device list. Its buttons run the
// connect controller's procedure, the disconnect, and the device list.

#include <QDialog>

#include "devices/ConnectProcedure.h"
#include "devices/DeviceList.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace talvo {

class DeviceListWindow;

inline constexpr const char *kConnectCaption = "Connect";

class ConnectWindow : public QDialog {
    Q_OBJECT
public:
    explicit ConnectWindow(ConnectController &controller, QWidget *parent = nullptr);

    // The device list that "Device" opens (created once by the application).
    void SetDeviceList(DeviceListWindow *list);

    // The interface texts this window takes part in: caption, "Add", "Connect", "Disconnect".
    void ApplyTexts();
    // Every caption, as set each time the window is shown.
    void SetCaptions();
    // Before Tools > Connect shows the window: "Connect" and "Disconnect" enabled.
    void PrepareToShow();

    // What the fields ask for.
    ConnectRequest Request() const;

    // The buttons.
    void ConnectClick();
    void DisconnectClick();
    void DeviceClick();
    // "Cancel", shown only while the connect procedure runs: stops it (as Escape does then).
    void CancelClick();

    // A device handed back by the device list: ID, sub-address, then its name.
    void TakeDevice(const DeviceEntry &entry);

    QLabel *addLabel() const { return label11_; }
    QSpinBox *idSpin() const { return trackbar4_; }
    QLabel *subAddressLabel() const { return label1_; }
    QSpinBox *subAddressSpin() const { return spinEdit1_; }
    QCheckBox *subAddressBox() const { return checkBox1_; }
    QCheckBox *muteBox() const { return checkBox2_; }
    QLabel *deviceName() const { return label2_; }
    QPushButton *connectButton() const { return dxButton1_; }
    QPushButton *disconnectButton() const { return dxButton2_; }
    QPushButton *deviceButton() const { return dxButton3_; }
    QPushButton *cancelButton() const { return cancelButton_; }
    // Why the last connect ended OFFLINE (or that part of the program is missing); empty
    // while a connect runs and after one that went ONLINE.
    QLabel *outcomeLabel() const { return outcome_; }

public slots:
    // Closing is held off while the connect procedure runs; it closes the window itself when
    // the whole program arrived.
    void done(int result) override;
    // Escape and the close box: while the procedure runs they stop it and the window stays.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void EnableButtons(bool enabled);

    ConnectController &controller_;
    DeviceListWindow *deviceList_ = nullptr;
    bool closeWanted_ = false;

    QLabel *label11_;
    QSpinBox *trackbar4_;
    QLabel *label1_;
    QSpinBox *spinEdit1_;
    QCheckBox *checkBox1_;
    QCheckBox *checkBox2_;
    QLabel *label2_;
    QPushButton *dxButton1_;
    QPushButton *dxButton2_;
    QPushButton *dxButton3_;
    QPushButton *cancelButton_;
    QLabel *outcome_;
};

}  // namespace talvo
