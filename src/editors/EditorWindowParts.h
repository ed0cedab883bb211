#pragma once
// What the gain, delay and limiter windows are built from: teal dialogs (like the device
// windows) with the editors' slider, value boxes in the ordinary control look, and buttons.

#include <exception>

#include <QString>

class QDialog;
class QPushButton;
class QWidget;

namespace talvo {

class ArrowLamp;
class TrackSlider;
class ValueBox;

// A modal teal window that keeps its size.
void SetUpEditorWindow(QDialog *window, const char *objectName);

TrackSlider *MakeEditorSlider(QWidget *parent, const QString &name, Qt::Orientation orientation, int min, int max,
                              int wheelStep);
// A value box wide enough for `widestText`.
ValueBox *MakeValueBox(QWidget *parent, const QString &name, const QString &unit, double min, double max,
                       const QString &widestText);
QPushButton *MakeEditorButton(QWidget *parent, const QString &name);
// The red arrow lamp of the MUTE and ON buttons.
ArrowLamp *MakeButtonLamp(QWidget *parent);

// Runs an event handler's work; no error leaves a handler, and the window stays usable.
template <typename F>
void Guarded(F &&work) {
    try {
        work();
    } catch (const std::exception &) {
    }
}

// Moves a slider to what its model holds without reporting it back as an operator's move.
void ShowSliderPosition(TrackSlider *slider, int position);

}  // namespace talvo
