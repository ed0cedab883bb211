#pragma once
// Help > About...: the program's version, revision and date, and the amplifier models it serves.

#include <QDialog>

class QLabel;
class QPushButton;

namespace talvo {

class InterfaceTexts;

inline constexpr const char *kAboutVersionText = "TALVO  Version 1.0I";
inline constexpr const char *kAboutRevisionText = "REV:090313001";
inline constexpr const char *kAboutDateText = "2009-03";
inline constexpr const char *kAboutModelsText = "TALVO DA-2400 / DA-3600 / DA-4800 series";

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(InterfaceTexts &texts, QWidget *parent = nullptr);

    void ApplyTexts();
    // What Help > About... does after the interface texts: clear the hidden label, then caption
    // and button. The caller shows the box.
    void PrepareToShow();

    QPushButton *okButton() const { return ok_; }
    QLabel *hiddenLabel() const { return hidden_; }

private:
    QLabel *hidden_;
    QPushButton *ok_;
};

}  // namespace talvo
