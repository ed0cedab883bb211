#pragma once
// The device list window (TForm28): the operator's named amplifiers in a grid, added, edited
// and deleted through the entry dialog, and handed to the Connect window by "OK".
//
// The window owns the list file for the whole run: creating the window opens it (creating a
// missing one with 255 empty slots, and its folder when needed). Every change is saved at once.
// The application gives it the list's place (DeviceListFilePath); tests give it their own.

#include <functional>

#include <QDialog>
#include <QString>

#include "devices/DeviceList.h"

class QPushButton;
class QTableWidget;

namespace talvo {

class DeviceEntryDialog;

inline constexpr const char *kDeviceListCaption = "Device ";  // the trailing space is the window's own

class DeviceListWindow : public QDialog {
    Q_OBJECT
public:
    explicit DeviceListWindow(const QString &listPath, QWidget *parent = nullptr);

    void ApplyTexts();

    DeviceList &list() { return list_; }
    // Why the list could not be opened at creation; empty when it was.
    const QString &openError() const { return openError_; }

    // Grid row n (1..255) shows slot n: name, ID and sub-address when the slot holds a device,
    // else three empty cells.
    void FillGrid();
    // The slot of the grid's current row, 1..255 (1 when no row is current).
    int CurrentSlot() const;
    void SetCurrentSlot(int slot);

    // The buttons. "ADD" opens the entry dialog modally for the current row: its device, or a
    // new one ("Device A", ID 1, sub-address 256); "OK" there writes the slot.
    void AddClick();
    void DeleteClick();
    // Hands the current row's device back (deviceChosen) or, for an empty row, noDeviceChosen;
    // then closes.
    void OkClick();
    void CancelClick();

    // How a failed save is told to the operator (a warning box by default; tests replace it).
    std::function<void(QWidget *parent, const QString &text)> reportError;

    DeviceEntryDialog *entryDialog() const { return entry_; }
    QTableWidget *grid() const { return grid_; }
    QPushButton *addButton() const { return add_; }
    QPushButton *deleteButton() const { return delete_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }

signals:
    void deviceChosen(const talvo::DeviceEntry &entry);
    void noDeviceChosen();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Write(int slot, const DeviceEntry &entry);

    DeviceList list_;
    QString openError_;
    bool openErrorTold_ = false;
    DeviceEntryDialog *entry_;
    QTableWidget *grid_;
    QPushButton *add_;
    QPushButton *delete_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

}  // namespace talvo
