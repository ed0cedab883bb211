#include "editors/DelayModel.h"

#include "editors/EditorTimer.h"
#include "link/Link.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr DelayEditorTraits kLeftDelay{"TForm9", "LEFT DELAY", 60};
constexpr DelayEditorTraits kRightDelay{"TForm10", "RIGHT DELAY", 156};

// A fixed speed of sound: 0.343 m and 1.126 ft per millisecond.
constexpr DelayUnitInfo kUnits[] = {
    {"Millisecond", "MS", 1.0, 7.0},
    {"Meter", "M", 0.343, 2.401},
    {"Feet", "FT", 1.126, 7.88},
};

}  // namespace

const DelayUnitInfo &DelayUnitData(DelayUnit unit)
{
    const int i = static_cast<int>(unit);
    return kUnits[i >= 0 && i < 3 ? i : 0];
}

const DelayEditorTraits &DelayTraits(int channel)
{
    return channel == kLeftChannel ? kLeftDelay : kRightDelay;
}

std::array<std::uint8_t, 2> DelayBytes(int position)
{
    const HundredthsPair pair = SplitHundredths(position / 100.0);
    return {static_cast<std::uint8_t>(pair.whole & 0xFF), static_cast<std::uint8_t>(pair.hundredths)};
}

QString DelayText(int position, DelayUnit unit)
{
    const DelayUnitInfo &info = DelayUnitData(unit);
    return QString::number(position / 100.0 * info.perMs, 'f', 2) + QLatin1String(info.suffix);
}

double DelayPositionFor(double value, DelayUnit unit)
{
    return value * 100.0 / DelayUnitData(unit).perMs;
}

DelayModel::DelayModel(int channel, AppState &state, Link &link, QObject *parent)
    : QObject(parent),
      channel_(channel == kLeftChannel ? kLeftChannel : kRightChannel),
      state_(state),
      link_(link),
      timer_(new EditorTimer(kDelayTimerMs, this))
{
    // The timer ticks for the whole run; it sends only while the slider is held or resends remain.
    connect(timer_, &EditorTimer::timeout, this, &DelayModel::TimerTick);
    timer_->start();
}

DelayModel::~DelayModel() = default;

QString DelayModel::unitSuffix() const
{
    return QLatin1String(DelayUnitData(unit_).suffix);
}

double DelayModel::editMaximum() const
{
    return DelayUnitData(unit_).maximum;
}

void DelayModel::Shown()
{
    drag_ = {};
}

void DelayModel::SliderPressed()
{
    drag_.dragging = true;
}

void DelayModel::PositionChanged(double position)
{
    const int whole = SliderPosition(position, kDelaySliderMin, kDelaySliderMax);
    if (whole == position_)
        return;
    setPosition(whole);
    send(false);
}

void DelayModel::SliderReleased()
{
    drag_.dragging = false;
    emit valueTextChanged(valueText());
    send(true);
}

void DelayModel::PositionChangeFinished()
{
    drag_.resendCount = kDelayResends;
}

void DelayModel::UnitSelected(DelayUnit unit)
{
    if (unit != unit_) {
        unit_ = unit;
        emit unitChanged(unit);
    }
    emit valueTextChanged(valueText());
}

void DelayModel::ValueEntered(double value)
{
    PositionChanged(DelayPositionFor(value, unit_));
}

void DelayModel::TimerTick()
{
    if (drag_.dragging || drag_.resendCount > 0) {
        if (drag_.resendCount > 0)
            --drag_.resendCount;
        emit valueTextChanged(valueText());
        send(false);
    }
}

void DelayModel::Apply(int position)
{
    setPosition(SliderPosition(position, kDelaySliderMin, kDelaySliderMax));
}

void DelayModel::CommitPosition(double position)
{
    setPosition(SliderPosition(position, kDelaySliderMin, kDelaySliderMax));
    send(true);
}

void DelayModel::setPosition(int position)
{
    if (position == position_)
        return;
    position_ = position;
    emit positionChanged(position);
    emit valueTextChanged(valueText());
}

void DelayModel::send(bool command)
{
    const auto bytes = DelayBytes(position_);
    state_.link.outFrame.set(traits().command, {bytes[0], bytes[1]});
    if (command)
        link_.SendCommand();
    else
        link_.SendIfIdle();
}

}  // namespace talvo
