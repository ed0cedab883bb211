#pragma once
// The gain and mute window of one channel: "LEFT VOL" (TForm5) or "RIGHT VOL" (TForm6). A thin
// view over its GainModel: the handlers below forward the controls' events to the model, and
// the controls show what the model reports. Created once at start-up, opened modally from the
// signal-flow panel's Gain block.

#include <QDialog>

class QPushButton;

namespace talvo {

class ArrowLamp;
class GainModel;
class TrackSlider;
class ValueBox;

class GainWindow : public QDialog {
    Q_OBJECT
public:
    explicit GainWindow(GainModel &model, QWidget *parent = nullptr);

    void ApplyTexts();
    // The Gain block: ready the controls for the current test state, then show modally.
    void Open();

    // Handlers, named after their control and event.
    void fctrackbar1MouseDown();
    void fctrackbar1KeyDown();
    void fctrackbar1MouseUp();
    void fctrackbar1KeyUp();
    void fctrackbar1PositionChange(int position);
    void fctrackbar1PositionChangeFinished();
    void edit1ChangeUser(double db);
    void dxButton2Click();  // MUTE
    void dxButton1Click();  // OK

    GainModel &model() { return model_; }
    TrackSlider *slider() const { return fctrackbar1_; }
    ValueBox *valueBox() const { return edit1_; }
    QPushButton *muteButton() const { return dxButton2_; }
    QPushButton *okButton() const { return dxButton1_; }
    ArrowLamp *lamp() const { return led_; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showControls();

    GainModel &model_;
    TrackSlider *fctrackbar1_;
    ValueBox *edit1_;
    QPushButton *dxButton2_;
    QPushButton *dxButton1_;
    ArrowLamp *led_;
};

}  // namespace talvo
