#include "editors/LimiterModel.h"

#include "editors/EditorTimer.h"
#include "link/Link.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr LimiterEditorTraits kLeftLimiter{"TForm11", "LEFT LIMIT", {61, 96, 94, 97}};
constexpr LimiterEditorTraits kRightLimiter{"TForm12", "RIGHT LIMIT", {157, 192, 190, 193}};

constexpr LimiterRange kRanges[kLimiterParameterCount] = {
    {0, 64, 0},      // threshold position: -41 .. +23 dB
    {0, 100, 0},     // hold, ms
    {10, 1000, 10},  // attack, dB/s
    {10, 1000, 10},  // decay, dB/s
};

}  // namespace

LimiterRange LimiterParameterRange(LimiterParameter parameter)
{
    return kRanges[static_cast<int>(parameter)];
}

const LimiterEditorTraits &LimiterTraits(int channel)
{
    return channel == kLeftChannel ? kLeftLimiter : kRightLimiter;
}

QByteArray LimiterBytes(LimiterParameter parameter, int value)
{
    QByteArray bytes;
    if (parameter == LimiterParameter::Threshold) {
        bytes.append(static_cast<char>(value & 0xFF));
    } else {
        bytes.append(static_cast<char>((value >> 8) & 0xFF));
        bytes.append(static_cast<char>(value & 0xFF));
    }
    return bytes;
}

QString LimiterText(LimiterParameter parameter, int value)
{
    if (parameter == LimiterParameter::Threshold)
        return QString::number(LimiterThresholdDb(value)) + QStringLiteral("dB");
    return QString::number(value);
}

LimiterModel::LimiterModel(int channel, AppState &state, Link &link, QObject *parent)
    : QObject(parent),
      channel_(channel == kLeftChannel ? kLeftChannel : kRightChannel),
      state_(state),
      link_(link),
      timer_(new EditorTimer(kLimiterTimerMs, this))
{
    for (LimiterParameter p : kLimiterParameters)
        values_[index(p)] = LimiterParameterRange(p).initial;
    // The timer ticks for the whole run; it sends only for a held slider or pending resends.
    connect(timer_, &EditorTimer::timeout, this, &LimiterModel::TimerTick);
    timer_->start();
}

LimiterModel::~LimiterModel() = default;

void LimiterModel::Shown()
{
    drags_ = {};
}

void LimiterModel::SliderPressed(LimiterParameter parameter)
{
    drags_[index(parameter)].dragging = true;
}

void LimiterModel::PositionChanged(LimiterParameter parameter, double position)
{
    // A threshold slider is disabled while the limiter is off: sending it would switch it on.
    if (parameter == LimiterParameter::Threshold && off_)
        return;
    const LimiterRange range = LimiterParameterRange(parameter);
    const int whole = SliderPosition(position, range.min, range.max);
    if (whole == value(parameter))
        return;
    setValue(parameter, whole);
    send(parameter, false);
}

void LimiterModel::SliderReleased(LimiterParameter parameter)
{
    drags_[index(parameter)].dragging = false;
    emit valueTextChanged(parameter, valueText(parameter));
    send(parameter, false);
}

void LimiterModel::PositionChangeFinished(LimiterParameter parameter)
{
    drags_[index(parameter)].resendCount = kLimiterResends;
}

void LimiterModel::ValueEntered(LimiterParameter parameter, double value)
{
    if (parameter == LimiterParameter::Threshold)
        value += kLimiterThresholdOffsetDb;
    PositionChanged(parameter, value);
}

void LimiterModel::OnClicked()
{
    // The switch replaces the threshold of the last drag: a resend of that threshold after
    // "off" would switch the limiter on again while the editor shows it off.
    drags_[index(LimiterParameter::Threshold)] = {};
    if (!off_) {
        setOff(true);
        sendOff();
    } else {
        setOff(false);
        emit valueTextChanged(LimiterParameter::Threshold, valueText(LimiterParameter::Threshold));
        send(LimiterParameter::Threshold, true);
    }
}

void LimiterModel::TimerTick()
{
    for (LimiterParameter p : kLimiterParameters) {
        SliderDrag &drag = drags_[index(p)];
        if (drag.dragging || drag.resendCount > 0) {
            if (drag.resendCount > 0)
                --drag.resendCount;
            emit valueTextChanged(p, valueText(p));
            send(p, false);
        }
    }
}

void LimiterModel::Apply(int thresholdByte, int hold, int attack, int decay)
{
    if (thresholdByte >= kLimiterOffByte) {
        setValue(LimiterParameter::Threshold, 0);
        setOff(true);
    } else {
        setOff(false);
        const LimiterRange t = LimiterParameterRange(LimiterParameter::Threshold);
        setValue(LimiterParameter::Threshold, SliderPosition(thresholdByte, t.min, t.max));
    }
    const int values[] = {hold, attack, decay};
    for (int i = 0; i < 3; ++i) {
        const LimiterParameter p = kLimiterParameters[static_cast<std::size_t>(i + 1)];
        const LimiterRange r = LimiterParameterRange(p);
        setValue(p, SliderPosition(values[i], r.min, r.max));
    }
}

void LimiterModel::CommitValue(LimiterParameter parameter, double position)
{
    const LimiterRange range = LimiterParameterRange(parameter);
    setValue(parameter, SliderPosition(position, range.min, range.max));
    if (parameter == LimiterParameter::Threshold)
        setOff(false);
    send(parameter, true);
}

void LimiterModel::CommitOff()
{
    setOff(true);
    sendOff();
}

void LimiterModel::setValue(LimiterParameter parameter, int value)
{
    int &current = values_[index(parameter)];
    if (current == value)
        return;
    current = value;
    emit valueChanged(parameter, value);
    emit valueTextChanged(parameter, valueText(parameter));
}

void LimiterModel::setOff(bool off)
{
    if (off == off_)
        return;
    off_ = off;
    emit controlsChanged();
}

void LimiterModel::send(LimiterParameter parameter, bool command)
{
    const QByteArray bytes = LimiterBytes(parameter, value(parameter));
    CommandFrame &frame = state_.link.outFrame;
    frame.command = traits().commands[index(parameter)];
    frame.length = static_cast<std::uint8_t>(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        frame.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
    if (command)
        link_.SendCommand();
    else
        link_.SendIfIdle();
}

void LimiterModel::sendOff()
{
    state_.link.outFrame.set(traits().commands[index(LimiterParameter::Threshold)], {kLimiterOffByte});
    link_.SendCommand();
}

}  // namespace talvo
