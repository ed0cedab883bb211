#include "testsignal/TestSignalController.h"

#include <algorithm>
#include <cmath>

#include <QScopeGuard>

#include "editors/EditorTimer.h"
#include "editors/FrequencyText.h"
#include "editors/GainModel.h"
#include "editors/ModeController.h"
#include "link/Link.h"
#include "peq/PeqResponse.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

int ClampIndex(int index)
{
    return std::clamp(index, 0, kSweepIndexMax);
}

}  // namespace

std::array<std::uint8_t, 3> SineFrequencyBytes(double hz)
{
    if (std::isnan(hz))
        hz = kSineFrequencyMin;
    const HundredthsPair pair = SplitHundredths(std::clamp(hz, kSineFrequencyMin, kSineFrequencyMax));
    return {static_cast<std::uint8_t>((pair.whole >> 8) & 0xFF), static_cast<std::uint8_t>(pair.whole & 0xFF),
            static_cast<std::uint8_t>(pair.hundredths)};
}

double SineGridFrequency(int index)
{
    return PeqFrequencyTable()[static_cast<std::size_t>(ClampIndex(index))];
}

int SineGridIndexAtOrAbove(double hz)
{
    if (std::isnan(hz))
        return 0;
    const auto grid = PeqFrequencyTable();
    const auto it = std::lower_bound(grid.begin(), grid.end(), hz);
    return ClampIndex(static_cast<int>(it - grid.begin()));
}

// ---- Entering a test mode.

TestModeController::TestModeController(AppState &state, Link &link, ProgramApplier &applier, ModeController &modes,
                                       GainModel &leftGain, GainModel &rightGain, QObject *parent)
    : QObject(parent), state_(state), link_(link), applier_(applier), modes_(modes), gains_{&leftGain, &rightGain}
{
}

int TestModeController::testMode() const
{
    return state_.testMode;
}

void TestModeController::EnterTestMode(int testMode)
{
    if (testMode != kTestModeSine && testMode != kTestModeNoise)
        return;
    if (entering_ || modes_.IsChangingMode())
        return;
    entering_ = true;
    // A mode chosen while the entry waits would end the test halfway and leave the amplifier
    // in it: the Mode menu waits for the entry as it waits for another mode change.
    modes_.HoldModeChanges(true);
    modes_.SetPanelEnabled(false);
    // The panel and the Mode menu come back however the entry ends.
    const auto done = qScopeGuard([this, testMode] {
        modes_.SetPanelEnabled(true);
        modes_.HoldModeChanges(false);
        entering_ = false;
        emit testModeEntered(testMode);
    });

    LinkState &link = state_.link;
    applier_.LoadDefaultProgram();
    emit testModeMarked(testMode);

    if (testMode == kTestModeSine) {
        if (!link_.IsPortOpen())
            link_.OpenPort();
    } else {
        link_.ClosePort();
    }
    link.sendEnabled.store(0);
    for (GainModel *gain : gains_)
        gain->EnterTestSignal();
    // A port that does not open shows when the next frame cannot be written.
    link_.OpenPort();
    link.sendEnabled.store(1);

    state_.testMode = testMode;
    modes_.ShowTestPanel();
    modes_.PrepareModeChange();

    const std::uint8_t command = testMode == kTestModeSine ? kSineTestCommand : kNoiseTestCommand;
    link.reply.replyAddress = 0;
    link.outFrame.set(command, {kTestCommandData});
    link_.SendCommand();
    if (!link_.WaitUnlessLost(kTestReplyWaitMs) || !link_.WaitUnlessLost(kTestReplyWaitMs))
        return;  // a lost port is said by the link; there is nothing to send again to
    if (link.reply.replyAddress == 0) {
        // Handlers that ran during the waits may have used the frame.
        link.outFrame.set(command, {kTestCommandData});
        link_.SendCommand();
        link_.WaitPumping(kTestResendWaitMs);
    }
}

// ---- The generator.

SineGenerator::SineGenerator(AppState &state, Link &link, QObject *parent)
    : QObject(parent), state_(state), link_(link), timer_(new EditorTimer(kSweepTickMs, this))
{
    connect(timer_, &EditorTimer::timeout, this, &SineGenerator::SweepTick);
    // Nothing the sweep sends can arrive once the port is gone: it stops where it stands, and
    // the buttons say so ("Auto" to start again, nothing to pause or stop).
    connect(&link_, &Link::portLost, this, [this] {
        stopSweep();
        setButtons(true, false, false);
    });
}

SineGenerator::~SineGenerator() = default;

QString SineGenerator::frequencyText() const
{
    return FormatFrequency(SineGridFrequency(slider_));
}

bool SineGenerator::sweepRunning() const
{
    return timer_->isActive();
}

bool SineGenerator::CanOpen() const
{
    return state_.testMode == kTestModeSine;
}

void SineGenerator::Shown()
{
    sendCountdown_ = 0;
    setButtons(true, false, false);
}

void SineGenerator::Closed()
{
    stopSweep();
}

void SineGenerator::AutoClicked()
{
    startSweep();
    setButtons(false, true, true);
}

void SineGenerator::PauseClicked()
{
    if (sweepRunning())
        stopSweep();
    else
        startSweep();
    setSlider(sweepIndex_);
    setButtons(autoEnabled_, pauseEnabled_, true);
    sendCountdown_ = 1;
    SendSineFrequency();
}

void SineGenerator::StopClicked()
{
    autoEnabled_ = true;
    stopSweep();
    sweepIndex_ = 0;
    setSlider(0);
    setButtons(true, false, false);
    sendCountdown_ = 1;
    SendSineFrequency();
}

void SineGenerator::SliderClicked()
{
    stopSweep();
}

void SineGenerator::SliderMoved(int position)
{
    stopSweep();
    setSlider(position);
    sweepIndex_ = slider_;
    setButtons(true, false, false);
    fillAndSend(slider_, Send::IfIdle);
}

void SineGenerator::SliderMoveFinished()
{
    sendCountdown_ = 2;
    stopSweep();
    setButtons(true, false, false);
    SendSineFrequency();
}

void SineGenerator::SliderMouseReleased()
{
    sweepIndex_ = slider_;
    fillAndSend(slider_, Send::Command);
}

void SineGenerator::FrequencyEntered(const QString &text)
{
    if (const std::optional<double> hz = ParseFrequencyText(text)) {
        setSlider(SineGridIndexAtOrAbove(*hz));
        sendCountdown_ = 2;
    }
    // Also when nothing was read: the field shows the slider's frequency again.
    SendSineFrequency();
}

void SineGenerator::SetSweepStep(int step)
{
    step = std::clamp(step, kSweepStepMin, kSweepStepMax);
    if (step == sweepStep_)
        return;
    sweepStep_ = step;
    emit sweepStepChanged(step);
}

void SineGenerator::SendSineFrequency()
{
    emit frequencyTextChanged(frequencyText());
    sweepIndex_ = slider_;
    Send how = Send::None;
    if (sendCountdown_ > 0) {
        --sendCountdown_;
        how = Send::Command;
    }
    fillAndSend(slider_, how);
}

void SineGenerator::SweepTick()
{
    bool turned = false;
    if (!sweepDown_) {
        if (sweepIndex_ >= kSweepIndexMax) {
            sweepDown_ = true;
            turned = true;
        } else {
            sweepIndex_ += sweepStep_;
        }
    }
    if (sweepDown_) {
        if (sweepIndex_ - sweepStep_ <= 0) {
            sweepDown_ = false;
            turned = true;
        } else {
            sweepIndex_ -= sweepStep_;
        }
    }
    sweepIndex_ = ClampIndex(sweepIndex_);
    setSlider(sweepIndex_);
    fillAndSend(sweepIndex_, turned ? Send::None : Send::IfIdle);
}

void SineGenerator::CommitIndex(int index)
{
    setSlider(index);
    sweepIndex_ = slider_;
    fillAndSend(slider_, Send::Command);
}

void SineGenerator::setSlider(int position)
{
    position = ClampIndex(position);
    if (position == slider_)
        return;
    slider_ = position;
    emit sliderPositionChanged(position);
    emit frequencyTextChanged(frequencyText());
}

void SineGenerator::setButtons(bool autoOn, bool pauseOn, bool stopOn)
{
    autoEnabled_ = autoOn;
    pauseEnabled_ = pauseOn;
    stopEnabled_ = stopOn;
    emit controlsChanged();
}

void SineGenerator::startSweep()
{
    if (!timer_->isActive()) {
        timer_->start();
        emit controlsChanged();
    }
}

void SineGenerator::stopSweep()
{
    if (timer_->isActive()) {
        timer_->stop();
        emit controlsChanged();
    }
}

void SineGenerator::fillAndSend(int index, Send how)
{
    const double hz = SineGridFrequency(index);
    const auto bytes = SineFrequencyBytes(hz);
    state_.link.outFrame.set(kSineFrequencyCommand, {bytes[0], bytes[1], bytes[2]});
    bool queued = false;
    if (how == Send::IfIdle)
        queued = link_.SendIfIdle();
    else if (how == Send::Command)
        queued = link_.SendCommand();
    if (queued)
        emit frequencySent(std::clamp(hz, kSineFrequencyMin, kSineFrequencyMax));
}

}  // namespace talvo
