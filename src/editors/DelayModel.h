#pragma once
// The delay of one channel, free of widgets: what the "LEFT DELAY" / "RIGHT DELAY" windows
// show and send. The delay is always sent and kept in milliseconds (two bytes: whole ms and
// hundredths); the window may show it as a distance at a fixed speed of sound.
//
// The slider's position changes send with SendIfIdle, the mouse release with SendCommand, and
// after a movement the timer (running for the whole run) repeats the value on its next two
// ticks, so the final value reaches the amplifier even when a frame was pending.

#include <array>
#include <cstdint>

#include <QObject>
#include <QString>

#include "editors/SliderValue.h"

namespace talvo {

struct AppState;
class EditorTimer;
class Link;

inline constexpr int kDelaySliderMin = 0;    // one position is 0.01 ms
inline constexpr int kDelaySliderMax = 700;  // 7.00 ms
inline constexpr double kDelayTimerMs = 350;
inline constexpr int kDelayResends = 2;

enum class DelayUnit { Millisecond = 0, Meter = 1, Feet = 2 };

// One unit of the "Units" group: how the value box shows and takes the delay.
struct DelayUnitInfo {
    const char *label;   // "Millisecond", "Meter", "Feet"
    const char *suffix;  // "MS", "M", "FT"
    double perMs;        // shown value per millisecond: 1, 0.343, 1.126
    double maximum;      // the value box's maximum: 7, 2.401, 7.88
};
const DelayUnitInfo &DelayUnitData(DelayUnit unit);

struct DelayEditorTraits {
    const char *objectName;  // "TForm9" / "TForm10"
    const char *caption;     // "LEFT DELAY" / "RIGHT DELAY"
    std::uint8_t command;    // 60 / 156
};
const DelayEditorTraits &DelayTraits(int channel);

// Whole milliseconds and hundredths of the delay at a slider position.
std::array<std::uint8_t, 2> DelayBytes(int position);
// "3.50MS", "1.20M", "3.94FT": two decimals and the unit's suffix.
QString DelayText(int position, DelayUnit unit);
// The slider position for a value typed in a unit (fractional: the slider rounds it up).
double DelayPositionFor(double value, DelayUnit unit);

class DelayModel : public QObject {
    Q_OBJECT
public:
    DelayModel(int channel, AppState &state, Link &link, QObject *parent = nullptr);
    ~DelayModel() override;

    int channel() const { return channel_; }
    const DelayEditorTraits &traits() const { return DelayTraits(channel_); }

    // ---- What the window shows.
    int position() const { return position_; }
    DelayUnit unit() const { return unit_; }
    QString valueText() const { return DelayText(position_, unit_); }
    QString unitSuffix() const;
    double editMaximum() const;

    // ---- Window events.
    // FormShow: no drag, no resends pending.
    void Shown();
    void SliderPressed();
    // A new position (fractional rounds up, limited to 0..700): shown, sent with SendIfIdle.
    void PositionChanged(double position);
    // Mouse released: shown, sent with SendCommand.
    void SliderReleased();
    // Movement finished: the next two ticks resend (nothing sent here).
    void PositionChangeFinished();
    // A unit chosen: the box's suffix and maximum follow, the value is shown in it; nothing sent.
    void UnitSelected(DelayUnit unit);
    // A value typed in the current unit: the slider moves there (and so shows and sends).
    void ValueEntered(double value);
    void TimerTick();

    // ---- Without sending (applying a program).
    void Apply(int position);

    // ---- Headless (talvoctl set): the delay at a position with SendCommand.
    void CommitPosition(double position);

    const SliderDrag &drag() const { return drag_; }
    // The editor's timer, for tests that stop it and tick by hand.
    EditorTimer &timer() { return *timer_; }

signals:
    void positionChanged(int position);
    void valueTextChanged(const QString &text);
    void unitChanged(talvo::DelayUnit unit);

private:
    void setPosition(int position);
    void send(bool command);

    int channel_;
    AppState &state_;
    Link &link_;
    EditorTimer *timer_;
    SliderDrag drag_;
    int position_ = kDelaySliderMin;
    DelayUnit unit_ = DelayUnit::Millisecond;
};

}  // namespace talvo
