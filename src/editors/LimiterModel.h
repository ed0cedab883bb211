#pragma once
// The limiter of one channel, free of widgets: what the "LEFT LIMIT" / "RIGHT LIMIT" windows
// show and send. Four sliders (threshold, hold time, attack rate, decay rate), each with its
// own drag state and resends, and the ON switch; switching the limiter off is sent as the
// out-of-range threshold 65.
//
// Position changes and mouse releases send with SendIfIdle, the ON switch with SendCommand,
// and after a movement the timer (running for the whole run) repeats the value on its next
// two ticks.

#include <array>
#include <cstdint>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "editors/LimiterScale.h"
#include "editors/SliderValue.h"

namespace talvo {

struct AppState;
class EditorTimer;
class Link;

inline constexpr double kLimiterTimerMs = 350;
inline constexpr int kLimiterResends = 2;
inline constexpr std::uint8_t kLimiterOffByte = 65;

// The sliders, in the order the timer serves them.
enum class LimiterParameter { Threshold = 0, Hold = 1, Attack = 2, Decay = 3 };
inline constexpr int kLimiterParameterCount = 4;
inline constexpr std::array<LimiterParameter, kLimiterParameterCount> kLimiterParameters{
    LimiterParameter::Threshold, LimiterParameter::Hold, LimiterParameter::Attack, LimiterParameter::Decay};

struct LimiterRange {
    int min;
    int max;
    int initial;
};
// Threshold 0..64 (position - 41 dB), hold 0..100 ms, attack and decay 10..1000 dB/s.
LimiterRange LimiterParameterRange(LimiterParameter parameter);

struct LimiterEditorTraits {
    const char *objectName;  // "TForm11" / "TForm12"
    const char *caption;     // "LEFT LIMIT" / "RIGHT LIMIT"
    // threshold, hold, attack, decay: 61, 96, 94, 97 left; 157, 192, 190, 193 right
    std::array<std::uint8_t, kLimiterParameterCount> commands;
};
const LimiterEditorTraits &LimiterTraits(int channel);

// The frame data of a parameter's value: the threshold one byte (its position), the others a
// 16-bit number, high byte first.
QByteArray LimiterBytes(LimiterParameter parameter, int value);
// The value box text: the threshold in dB ("-41dB", "0dB", "23dB"), the others the number.
QString LimiterText(LimiterParameter parameter, int value);

class LimiterModel : public QObject {
    Q_OBJECT
public:
    LimiterModel(int channel, AppState &state, Link &link, QObject *parent = nullptr);
    ~LimiterModel() override;

    int channel() const { return channel_; }
    const LimiterEditorTraits &traits() const { return LimiterTraits(channel_); }

    // ---- What the window shows.
    int value(LimiterParameter parameter) const { return values_[index(parameter)]; }
    QString valueText(LimiterParameter parameter) const { return LimiterText(parameter, value(parameter)); }
    bool limiterOff() const { return off_; }
    // The threshold slider and its value box are enabled while the limiter is on; the lamp is lit.
    bool thresholdEnabled() const { return !off_; }
    bool lampLit() const { return !off_; }

    // ---- Window events (one slider each).
    void Shown();  // FormShow: no drags, no resends pending
    void SliderPressed(LimiterParameter parameter);
    // A new position (fractional rounds up, limited to the range): shown, sent with SendIfIdle.
    void PositionChanged(LimiterParameter parameter, double position);
    // Mouse released: shown, sent with SendIfIdle.
    void SliderReleased(LimiterParameter parameter);
    // Movement finished: the next two ticks resend (nothing sent here).
    void PositionChangeFinished(LimiterParameter parameter);
    // A typed value: the threshold in dB (position = value + 41), the others as they are.
    void ValueEntered(LimiterParameter parameter, double value);
    // ON: toggles the limiter; off sends threshold 65, on sends the threshold position, both
    // with SendCommand. Either ends the timer's resends of the threshold.
    void OnClicked();
    void TimerTick();

    // ---- Without sending (applying a program): a threshold byte of 65 or more switches the
    // limiter off with the threshold slider at 0.
    void Apply(int thresholdByte, int hold, int attack, int decay);

    // ---- Headless (talvoctl set), each with SendCommand.
    // A parameter's value; for the threshold also switches the limiter on.
    void CommitValue(LimiterParameter parameter, double position);
    // The limiter off (threshold 65).
    void CommitOff();

    const SliderDrag &drag(LimiterParameter parameter) const { return drags_[index(parameter)]; }
    // The editor's timer, for tests that stop it and tick by hand.
    EditorTimer &timer() { return *timer_; }

signals:
    void valueChanged(talvo::LimiterParameter parameter, int value);
    void valueTextChanged(talvo::LimiterParameter parameter, const QString &text);
    // On/off changed: the lamp and the threshold controls' enabled state follow.
    void controlsChanged();

private:
    static std::size_t index(LimiterParameter p) { return static_cast<std::size_t>(p); }
    void setValue(LimiterParameter parameter, int value);
    void setOff(bool off);
    void send(LimiterParameter parameter, bool command);
    void sendOff();

    int channel_;
    AppState &state_;
    Link &link_;
    EditorTimer *timer_;
    std::array<SliderDrag, kLimiterParameterCount> drags_{};
    std::array<int, kLimiterParameterCount> values_{};
    bool off_ = true;
};

}  // namespace talvo
