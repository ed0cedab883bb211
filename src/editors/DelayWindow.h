#pragma once
// The delay window of one channel: "LEFT DELAY" (TForm9) or "RIGHT DELAY" (TForm10). A thin
// view over its DelayModel: the slider, the value box and the "Units" group forward their
// events to the model and show what it reports. Created once at start-up, opened modally from
// the signal-flow panel's Delay block.

#include <array>

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace talvo {

class DelayModel;
class TrackSlider;
class ValueBox;

class DelayWindow : public QDialog {
    Q_OBJECT
public:
    explicit DelayWindow(DelayModel &model, QWidget *parent = nullptr);

    void ApplyTexts();
    void Open();

    // Handlers, named after their control and event.
    void fctrackbar1MouseDown();
    void fctrackbar1MouseUp();
    void fctrackbar1PositionChange(int position);
    void fctrackbar1PositionChangeFinished();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void EDIT1ChangeUser(double value);
    void dxButton1Click();  // OK

    DelayModel &model() { return model_; }
    TrackSlider *slider() const { return fctrackbar1_; }
    ValueBox *valueBox() const { return EDIT1_; }
    QGroupBox *unitsGroup() const { return GroupBox1_; }
    QRadioButton *unitButton(int index) const { return radio_.at(static_cast<std::size_t>(index)); }
    QPushButton *okButton() const { return dxButton1_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showUnit();

    DelayModel &model_;
    TrackSlider *fctrackbar1_;
    ValueBox *EDIT1_;
    QGroupBox *GroupBox1_;
    std::array<QRadioButton *, 3> radio_{};
    QPushButton *dxButton1_;
};

}  // namespace talvo
