#pragma once
// The entry dialog of the device list (TForm29): a device's name, ID and sub-address.
// It only presents and edits; the device-list window decides what is written.

#include <QDialog>

#include "devices/DeviceList.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace talvo {

class DeviceEntryDialog : public QDialog {
    Q_OBJECT
public:
    explicit DeviceEntryDialog(QWidget *parent = nullptr);

    void ApplyTexts();

    // Fills the three fields (the name cut to what the field accepts).
    void SetEntry(const DeviceEntry &entry);
    // The fields as a slot that holds a device.
    DeviceEntry Entry() const;

    QLineEdit *nameEdit() const { return name_; }
    QSpinBox *idSpin() const { return id_; }
    QSpinBox *subIdSpin() const { return subId_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }

private:
    QLabel *nameLabel_;
    QLabel *idLabel_;
    QLabel *subIdLabel_;
    QLineEdit *name_;
    QSpinBox *id_;
    QSpinBox *subId_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

}  // namespace talvo
