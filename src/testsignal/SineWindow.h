#pragma once
// The sine generator window "Sine Ware" (TForm20): the frequency slider over the PEQ grid with
// its frequency field, the "Auto", "Pause" and "Stop" buttons of the sweep, the "Scan Speed"
// slider and field, and "OK". A thin view over the SineGenerator: the handlers forward the
// controls' events, and the controls show what the generator reports. Created once at
// start-up; opened modally from the signal-flow panel's "Sine" button, in sine test mode only.

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace talvo {

class SineGenerator;
class TrackSlider;

class SineWindow : public QDialog {
    Q_OBJECT
public:
    explicit SineWindow(SineGenerator &generator, QWidget *parent = nullptr);

    void ApplyTexts();
    // SINDDClick: the texts, then the window modally; nothing unless the sine test runs.
    void Open();

    SineGenerator &generator() { return generator_; }
    TrackSlider *frequencySlider() const { return slider_; }
    QLineEdit *frequencyField() const { return field_; }
    QPushButton *autoButton() const { return auto_; }
    QPushButton *pauseButton() const { return pause_; }
    QPushButton *stopButton() const { return stop_; }
    QPushButton *okButton() const { return ok_; }
    TrackSlider *speedSlider() const { return speedSlider_; }
    QSpinBox *speedField() const { return speedField_; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showControls();
    void showSweepStep(int step);

    SineGenerator &generator_;
    TrackSlider *slider_;
    QLabel *lowCaption_;
    QLabel *highCaption_;
    QLineEdit *field_;
    QPushButton *auto_;
    QPushButton *pause_;
    QPushButton *stop_;
    QPushButton *ok_;
    QGroupBox *speedGroup_;
    TrackSlider *speedSlider_;
    QSpinBox *speedField_;
};

}  // namespace talvo
