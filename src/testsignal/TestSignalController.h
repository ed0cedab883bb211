#pragma once
// The sine and noise tests, free of widgets: entering a test mode from the Test menu, and the
// sine generator ("Sine Ware") with its hand-set frequency and its sweep up and down the PEQ
// frequency grid. The windows (Test menu, signal-flow panel, generator window) forward their
// events here and show what the controllers report; talvoctl and the tests drive the same
// operations.
//
// A test mode is left by a mode change or by applying a program: both run the mode
// controller's ShowNormalPanel, which sets testMode back to none.
//
// Everything runs on the main thread. Entering waits with the event loop running (as the mode
// change does), so other handlers may run inside; the panel is disabled meanwhile.

#include <array>
#include <cstdint>

#include <QObject>
#include <QString>

namespace talvo {

struct AppState;
class EditorTimer;
class GainModel;
class Link;
class ModeController;
class ProgramApplier;

inline constexpr std::uint8_t kSineTestCommand = 196;   // with data 100
inline constexpr std::uint8_t kNoiseTestCommand = 197;  // with data 100
inline constexpr std::uint8_t kTestCommandData = 100;
inline constexpr std::uint8_t kSineFrequencyCommand = 0;
inline constexpr double kTestReplyWaitMs = 100;    // twice after the test command
inline constexpr double kTestResendWaitMs = 200;   // after the one resend

inline constexpr int kSweepIndexMax = 359;  // the generator's slider: PEQ grid indices 0..359
inline constexpr int kSweepStepMin = 1;     // "Scan Speed": grid steps per tick
inline constexpr int kSweepStepMax = 50;
inline constexpr double kSweepTickMs = 60;
inline constexpr double kSineFrequencyMin = 19.7;
inline constexpr double kSineFrequencyMax = 20200.2;

// The three data bytes of a sine frequency: whole Hz high byte, low byte, hundredths.
std::array<std::uint8_t, 3> SineFrequencyBytes(double hz);
// The PEQ grid frequency at a generator index (limited to 0..359).
double SineGridFrequency(int index);
// The first grid index whose frequency is not below hz (at most 359; a NaN gives 0).
int SineGridIndexAtOrAbove(double hz);

// SineTest1Click / NoiseTest1Click: the whole entry into a test mode.
class TestModeController : public QObject {
    Q_OBJECT
public:
    // The gain editors take the test signal's level; the mode controller owns the panel.
    TestModeController(AppState &state, Link &link, ProgramApplier &applier, ModeController &modes, GainModel &leftGain,
                       GainModel &rightGain, QObject *parent = nullptr);

    int testMode() const;
    bool IsEntering() const { return entering_; }

    // kTestModeSine or kTestModeNoise (anything else is ignored, as is a call while an entry
    // or a mode change runs): the panel disabled; the default program loaded; the Test item's
    // check mark; the port (sine: opened if closed; noise: closed) with sending held off; both
    // gain editors muted at -60.0 dB with the value box usable; the port opened and sending
    // enabled; the panel's test layout; PrepareModeChange; 196 or 197 with data 100, resent
    // once when no reply came within 2 x 100 ms; the panel enabled.
    void EnterTestMode(int testMode);

signals:
    // The Test menu's check mark moves to this test's item (the Mode items lose theirs).
    void testModeMarked(int testMode);
    // The whole entry is over.
    void testModeEntered(int testMode);

private:
    AppState &state_;
    Link &link_;
    ProgramApplier &applier_;
    ModeController &modes_;
    GainModel *gains_[2];
    bool entering_ = false;
};

// The generator window's state and rules (TForm20). The slider holds a grid index; the
// frequency field shows that index's frequency. A lost port stops the sweep.
class SineGenerator : public QObject {
    Q_OBJECT
public:
    explicit SineGenerator(AppState &state, Link &link, QObject *parent = nullptr);
    ~SineGenerator() override;

    // ---- What the window shows.
    int sliderPosition() const { return slider_; }
    QString frequencyText() const;
    int sweepIndex() const { return sweepIndex_; }
    int sweepStep() const { return sweepStep_; }
    bool sweepingDown() const { return sweepDown_; }
    int sendCountdown() const { return sendCountdown_; }
    bool sweepRunning() const;
    bool autoEnabled() const { return autoEnabled_; }
    bool pauseEnabled() const { return pauseEnabled_; }
    bool stopEnabled() const { return stopEnabled_; }

    // SINDDClick: whether the generator opens at all (only in sine test mode).
    bool CanOpen() const;

    // ---- Window events.
    // FormShow: no forced sends left, "Auto" enabled, "Pause" and "Stop" disabled.
    void Shown();
    // "OK" or closing: the sweep stops; the test mode stays.
    void Closed();
    void AutoClicked();
    void PauseClicked();
    void StopClicked();
    // A mouse click on the frequency slider: the sweep stops.
    void SliderClicked();
    // The operator moved the slider (keys, wheel, drag): the sweep stops and the frequency goes
    // out with SendIfIdle.
    void SliderMoved(int position);
    // The movement finished: one forced send of the position's frequency.
    void SliderMoveFinished();
    // The mouse released on the slider: the position's frequency with SendCommand.
    void SliderMouseReleased();
    // Enter in the frequency field: a number moves the slider to the first grid frequency not
    // below it and forces a send; then SendSineFrequency in every case. Text that is no number
    // changes nothing but the field, which shows the slider's frequency again.
    void FrequencyEntered(const QString &text);
    // "Scan Speed": slider or field, limited to 1..50.
    void SetSweepStep(int step);

    // The slider's frequency in the frame; sent with SendCommand while a forced send is left.
    void SendSineFrequency();
    // One tick of the sweep (the generator's own 60 ms timer calls it; public for tests).
    void SweepTick();

    // ---- Headless (talvoctl test).
    // The slider to `index` and its frequency sent with SendCommand.
    void CommitIndex(int index);
    EditorTimer &timer() { return *timer_; }

signals:
    void sliderPositionChanged(int position);
    void frequencyTextChanged(const QString &text);
    void sweepStepChanged(int step);
    // Auto / Pause / Stop enabled states or the sweep's running state changed.
    void controlsChanged();
    // A frequency frame was queued for the amplifier.
    void frequencySent(double hz);

private:
    void setSlider(int position);
    void setButtons(bool autoOn, bool pauseOn, bool stopOn);
    void startSweep();
    void stopSweep();
    // The frame for the index's frequency, sent by SendIfIdle or SendCommand (or not at all).
    enum class Send { None, IfIdle, Command };
    void fillAndSend(int index, Send how);

    AppState &state_;
    Link &link_;
    EditorTimer *timer_;
    int slider_ = 20;
    int sweepIndex_ = 20;
    int sweepStep_ = 1;
    bool sweepDown_ = false;
    int sendCountdown_ = 0;
    bool autoEnabled_ = true;
    bool pauseEnabled_ = false;
    bool stopEnabled_ = false;
};

}  // namespace talvo
