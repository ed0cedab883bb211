#pragma once
// The input gain and mute of one channel, free of widgets: what the "LEFT VOL" / "RIGHT VOL"
// windows show and everything they send. The window forwards its slider, value box, MUTE
// button and timer events to the operations below and shows what the model reports.
//
// A gain travels as three bytes: whole decibels and hundredths of its magnitude, then the sign
// (0xAA not negative, 0x55 negative); a mute is sent as -100.00 dB. The command depends on the
// channel and, at the moment of sending, on the test signal running (normal / noise / sine).
// Continuous events send with SendIfIdle (dropped while a frame is pending), which is why the
// timer repeats the final value a few times after a drag; the MUTE button uses SendCommand.

#include <array>
#include <cstdint>

#include <QObject>
#include <QString>

#include "editors/SliderValue.h"

namespace talvo {

struct AppState;
class EditorTimer;
class Link;

inline constexpr int kGainSliderMin = -600;  // -60.0 dB; one position is 0.1 dB
inline constexpr int kGainSliderMax = 60;    // +6.0 dB
inline constexpr int kGainArrowStep = 1;
inline constexpr int kGainPageStep = 10;
inline constexpr std::array<std::uint8_t, 3> kMuteBytes{100, 0, 0x55};  // -100.00 dB

// What differs between the left and the right gain editor.
struct GainEditorTraits {
    const char *objectName;     // "TForm5" / "TForm6"
    const char *caption;        // "LEFT VOL" / "RIGHT VOL"
    std::uint8_t normalCommand; // 2 / 98
    std::uint8_t noiseCommand;  // 3 / 99: while the noise test runs
    std::uint8_t sineCommand;   // 4 / 100: while the sine test runs
    double timerIntervalMs;     // 350 / 300
    int resendWhileAbove;       // the timer resends while resendCount is above this: 1 / 0
    int wheelStep;              // slider positions per mouse-wheel step: 100 / 5
    // Left: a click on the track beside the thumb moves it one page toward the click, and only
    // the thumb drags. Right: a click never moves it, and dragging from anywhere on the slider
    // moves it by the distance the mouse travels.
    bool trackClickPages;
    bool dragAnywhere;
};
// kLeftChannel (0) or kRightChannel (1); anything else is taken as right.
const GainEditorTraits &GainTraits(int channel);

// The three wire bytes of the gain at a slider position.
std::array<std::uint8_t, 3> GainBytes(int position);
// "-12.5dB", "0.0dB", "6.0dB": one decimal, no space.
QString GainText(int position);

class GainModel : public QObject {
    Q_OBJECT
public:
    GainModel(int channel, AppState &state, Link &link, QObject *parent = nullptr);
    ~GainModel() override;

    int channel() const { return channel_; }
    const GainEditorTraits &traits() const { return GainTraits(channel_); }

    // ---- What the window shows.
    int position() const;                 // kGainSliderMin..kGainSliderMax
    bool muted() const;
    QString valueText() const { return GainText(position()); }
    bool sliderEnabled() const { return sliderEnabled_; }
    bool editEnabled() const { return editEnabled_; }
    bool muteButtonEnabled() const { return muteButtonEnabled_; }
    bool lampLit() const { return lampLit_; }
    // The gain command for this channel in the current test state.
    std::uint8_t GainCommand() const;

    // ---- Window events.
    // Before the window is shown (the Gain block): during a sine or noise test the slider is
    // enabled, the MUTE button disabled and the lamp dark (the muted flag stays); otherwise the
    // MUTE button is enabled.
    void PrepareOpen();
    // FormShow: no drag, no resends pending, the timer on. FormClose / OK: the timer off.
    void Shown();
    void Closed();
    bool isShown() const { return shown_; }
    // Mouse button or key pressed / released on the slider.
    void SliderPressed();
    void SliderReleased();
    // The slider moved to `position` (fractional positions round up, limited to the range):
    // the value text follows and the gain goes out with SendIfIdle. The same position again
    // does nothing, as a slider reports only changes.
    void PositionChanged(double position);
    // The slider movement finished: no drag, the gain once more with SendIfIdle, and the timer
    // resends it on its next ticks (two on the left, three on the right).
    void PositionChangeFinished();
    // A value typed into the box, in dB: moves the slider to value x 10 when it is enabled.
    void ValueEntered(double db);
    // MUTE: toggles the mute; muted sends the mute bytes, unmuted the slider's current gain,
    // both with SendCommand. Either ends the timer's resends of the last drag.
    void MuteClicked();
    // The timer's tick; the window's timer is the model's own, so this is public for tests only.
    void TimerTick();

    // ---- Without sending.
    // What applying a program leaves: muted puts the slider to -60.0 dB, disabled.
    void Apply(int position, bool muted);
    // Muted at -60.0 dB with the slider disabled (the mode changes and applying use this).
    void Reset();
    // Entering a sine or noise test: muted at -60.0 dB, the slider disabled, the value box
    // enabled, the lamp lit.
    void EnterTestSignal();

    // ---- A slider outside the window (the room remote's page): the slider's own path, so that
    // a move is dropped while a frame is pending and the final value is resent by the timer.
    // The timer then runs even while the window is closed, until those resends are out.
    void MovedElsewhere(double position) { PositionChanged(position); }
    void FinishedElsewhere(double position);

    // ---- Headless (talvoctl set): exactly the frame the editor sends, with SendCommand.
    // The gain at a slider position, unmuted (as unmuting at that position does).
    void CommitPosition(double position);
    // The mute bytes, muted.
    void CommitMute();

    const SliderDrag &drag() const { return drag_; }
    // The editor's timer, for tests that stop it and tick by hand.
    EditorTimer &timer() { return *timer_; }
    bool timerActive() const;

signals:
    void positionChanged(int position);
    void valueTextChanged(const QString &text);
    // muted, the enabled flags or the lamp changed: read them again.
    void controlsChanged();

private:
    // A slider reports only changes, so the same position again is normally nothing to show.
    // Applying publishes always: the applier writes the shared gain state before the model
    // hears of it, so "unchanged" there says nothing about what the window shows.
    void setPosition(int position, bool publish = false);
    void setControls(bool muted, bool sliderEnabled, bool editEnabled, bool lampLit);
    void sendGain(bool command);
    void sendMute();

    int channel_;
    AppState &state_;
    Link &link_;
    EditorTimer *timer_;
    SliderDrag drag_;
    bool shown_ = false;
    bool sliderEnabled_ = false;
    bool editEnabled_ = false;
    bool muteButtonEnabled_ = true;
    bool lampLit_ = true;
};

}  // namespace talvo
