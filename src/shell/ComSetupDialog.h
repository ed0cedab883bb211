#pragma once
// "COM Setup" (TForm15): chooses the serial port number from the ports that exist.
// A choice takes effect at once; closing the window (by "OK" or its close box) remembers it.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace talvo {

struct AppState;
class InterfaceTexts;
class Link;

class ComSetupDialog : public QDialog {
    Q_OBJECT
public:
    ComSetupDialog(AppState &state, Link &link, InterfaceTexts &texts, QWidget *parent = nullptr);

    void ApplyTexts();

    // The choice handler of the combo box (its change and its click both come here).
    void ChooseEntry(const QString &entryText);
    // Fills the list and shows the current port, as on showing.
    void Refill();

    QComboBox *combo() const { return combo_; }
    QLabel *label() const { return label_; }
    QPushButton *okButton() const { return ok_; }

protected:
    void showEvent(QShowEvent *event) override;

public slots:
    void done(int result) override;

private:
    AppState &state_;
    Link &link_;
    QComboBox *combo_;
    QLabel *label_;
    QPushButton *ok_;
};

}  // namespace talvo
