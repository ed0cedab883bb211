#pragma once
// The limiter window of one channel: "LEFT LIMIT" (TForm11) or "RIGHT LIMIT" (TForm12). A thin
// view over its LimiterModel: four sliders with their value boxes (threshold, hold time, attack
// and decay rate) and the ON switch forward their events to the model and show what it
// reports. Created once at start-up, opened modally from the signal-flow panel's LIMIT block.

#include <array>

#include <QDialog>

#include "editors/LimiterModel.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace talvo {

class ArrowLamp;
class TrackSlider;
class ValueBox;

class LimiterWindow : public QDialog {
    Q_OBJECT
public:
    explicit LimiterWindow(LimiterModel &model, QWidget *parent = nullptr);

    void ApplyTexts();
    void Open();

    // Handlers of the four sliders (fctrackbar1..4 and edit1..4, in the order threshold, hold,
    // attack, decay), named after their control and event.
    void fctrackbarMouseDown(LimiterParameter parameter);
    void fctrackbarMouseUp(LimiterParameter parameter);
    void fctrackbarPositionChange(LimiterParameter parameter, int position);
    void fctrackbarPositionChangeFinished(LimiterParameter parameter);
    void editChangeUser(LimiterParameter parameter, double value);
    void dxButton1Click();  // ON
    void dxButton2Click();  // OK

    LimiterModel &model() { return model_; }
    TrackSlider *slider(LimiterParameter parameter) const { return sliders_[index(parameter)]; }
    ValueBox *valueBox(LimiterParameter parameter) const { return boxes_[index(parameter)]; }
    // The groups of hold, attack and decay (GroupBox1..3).
    QGroupBox *group(LimiterParameter parameter) const;
    QPushButton *onButton() const { return dxButton1_; }
    QPushButton *okButton() const { return dxButton2_; }
    ArrowLamp *lamp() const { return led_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    static std::size_t index(LimiterParameter p) { return static_cast<std::size_t>(p); }
    void showControls();

    LimiterModel &model_;
    std::array<TrackSlider *, kLimiterParameterCount> sliders_{};
    std::array<ValueBox *, kLimiterParameterCount> boxes_{};
    std::array<QGroupBox *, kLimiterParameterCount> groups_{};  // [0] none
    std::array<QLabel *, kLimiterParameterCount> unitLabels_{};  // [0] none
    QPushButton *dxButton1_;
    QPushButton *dxButton2_;
    ArrowLamp *led_;
};

}  // namespace talvo
