#include "editors/GainModel.h"

#include <cmath>
#include <cstdlib>

#include "editors/EditorTimer.h"
#include "link/Link.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr GainEditorTraits kLeftGain{"TForm5", "LEFT VOL", 2, 3, 4, 350, 1, 100, true, false};
constexpr GainEditorTraits kRightGain{"TForm6", "RIGHT VOL", 98, 99, 100, 300, 0, 5, false, true};
constexpr int kGainResends = 3;  // set when a movement finishes; the traits say how many go out

}  // namespace

const GainEditorTraits &GainTraits(int channel)
{
    return channel == kLeftChannel ? kLeftGain : kRightGain;
}

std::array<std::uint8_t, 3> GainBytes(int position)
{
    const double gain = position / 10.0;
    const HundredthsPair pair = SplitHundredths(std::fabs(gain));
    return {static_cast<std::uint8_t>(pair.whole & 0xFF), static_cast<std::uint8_t>(pair.hundredths),
            gain >= 0 ? kSignPositive : kSignNegative};
}

QString GainText(int position)
{
    // Whole tenths, so that no rounding can show "-0.0" or drop a digit.
    const int magnitude = std::abs(position);
    return QStringLiteral("%1%2.%3dB")
        .arg(position < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 10)
        .arg(magnitude % 10);
}

GainModel::GainModel(int channel, AppState &state, Link &link, QObject *parent)
    : QObject(parent),
      channel_(channel == kLeftChannel ? kLeftChannel : kRightChannel),
      state_(state),
      link_(link),
      timer_(new EditorTimer(GainTraits(channel_).timerIntervalMs, this))
{
    connect(timer_, &EditorTimer::timeout, this, &GainModel::TimerTick);
    // Both channels start muted at -60.0 dB, the slider and the box disabled, the lamp lit.
    InputGainState &gain = state_.inputGains[static_cast<std::size_t>(channel_)];
    gain.position = SliderPosition(gain.position, kGainSliderMin, kGainSliderMax);
    gain.muted = kYes;
}

GainModel::~GainModel() = default;

int GainModel::position() const
{
    return state_.inputGains[static_cast<std::size_t>(channel_)].position;
}

bool GainModel::muted() const
{
    return state_.inputGains[static_cast<std::size_t>(channel_)].muted != 0;
}

std::uint8_t GainModel::GainCommand() const
{
    const GainEditorTraits &t = traits();
    switch (state_.testMode) {
    case kTestModeSine:
        return t.sineCommand;
    case kTestModeNoise:
        return t.noiseCommand;
    default:
        return t.normalCommand;
    }
}

bool GainModel::timerActive() const
{
    return timer_->isActive();
}

void GainModel::PrepareOpen()
{
    if (state_.testMode == kTestModeSine || state_.testMode == kTestModeNoise) {
        muteButtonEnabled_ = false;
        setControls(muted(), true, editEnabled_, false);
    } else {
        muteButtonEnabled_ = true;
        emit controlsChanged();
    }
}

void GainModel::Shown()
{
    shown_ = true;
    drag_ = {};
    timer_->start();
}

void GainModel::Closed()
{
    shown_ = false;
    timer_->stop();
}

void GainModel::SliderPressed()
{
    drag_.dragging = true;
}

void GainModel::SliderReleased()
{
    drag_.dragging = false;
}

void GainModel::PositionChanged(double position)
{
    // A disabled slider (muted) takes no moves: sending a gain would unmute the amplifier.
    if (!sliderEnabled_)
        return;
    const int whole = SliderPosition(position, kGainSliderMin, kGainSliderMax);
    if (whole == this->position())
        return;
    setPosition(whole);
    sendGain(false);
}

void GainModel::PositionChangeFinished()
{
    drag_.dragging = false;
    if (!sliderEnabled_)
        return;
    sendGain(false);
    drag_.resendCount = kGainResends;
}

void GainModel::ValueEntered(double db)
{
    PositionChanged(db * 10.0);
}

void GainModel::MuteClicked()
{
    // The mute (or the gain unmuting sends) replaces the value of the last drag: a resend of
    // that value after it would unmute the amplifier while the editor shows it muted.
    drag_ = {};
    if (!muted()) {
        setControls(true, false, false, true);
        sendMute();
    } else {
        setControls(false, true, true, false);
        sendGain(true);
    }
}

void GainModel::TimerTick()
{
    if (drag_.dragging || drag_.resendCount > traits().resendWhileAbove) {
        if (drag_.resendCount > 0)
            --drag_.resendCount;
        sendGain(false);
    }
    if (!shown_) {
        drag_.dragging = false;
        // Running for a slider outside the window: done once its resends are out.
        if (drag_.resendCount <= traits().resendWhileAbove)
            timer_->stop();
    }
}

void GainModel::FinishedElsewhere(double position)
{
    PositionChanged(position);
    PositionChangeFinished();
    if (sliderEnabled_ && !timer_->isActive())
        timer_->start();
}

void GainModel::Apply(int position, bool muted)
{
    if (muted) {
        Reset();
        return;
    }
    setPosition(SliderPosition(position, kGainSliderMin, kGainSliderMax), true);
    setControls(false, true, true, false);
}

void GainModel::Reset()
{
    setPosition(kGainSliderMin, true);
    setControls(true, false, false, true);
}

void GainModel::EnterTestSignal()
{
    setPosition(kGainSliderMin, true);
    setControls(true, false, true, true);
}

void GainModel::CommitPosition(double position)
{
    setPosition(SliderPosition(position, kGainSliderMin, kGainSliderMax));
    setControls(false, true, true, false);
    sendGain(true);
}

void GainModel::CommitMute()
{
    setControls(true, false, false, true);
    sendMute();
}

void GainModel::setPosition(int position, bool publish)
{
    InputGainState &gain = state_.inputGains[static_cast<std::size_t>(channel_)];
    if (gain.position == position && !publish)
        return;
    gain.position = position;
    emit positionChanged(position);
    emit valueTextChanged(GainText(position));
}

void GainModel::setControls(bool muted, bool sliderEnabled, bool editEnabled, bool lampLit)
{
    InputGainState &gain = state_.inputGains[static_cast<std::size_t>(channel_)];
    gain.muted = muted ? kYes : 0;
    sliderEnabled_ = sliderEnabled;
    editEnabled_ = editEnabled;
    lampLit_ = lampLit;
    emit controlsChanged();
}

void GainModel::sendGain(bool command)
{
    const auto bytes = GainBytes(position());
    state_.link.outFrame.set(GainCommand(), {bytes[0], bytes[1], bytes[2]});
    if (command)
        link_.SendCommand();
    else
        link_.SendIfIdle();
}

void GainModel::sendMute()
{
    state_.link.outFrame.set(GainCommand(), {kMuteBytes[0], kMuteBytes[1], kMuteBytes[2]});
    link_.SendCommand();
}

}  // namespace talvo
