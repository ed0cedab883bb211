#include "editors/CrossoverModel.h"

#include <algorithm>

#include "editors/CrossoverTable.h"
#include "editors/EditorTimer.h"
#include "editors/FrequencyText.h"
#include "link/Link.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr CrossoverEditorTraits kLeftCrossover{"TForm7", "LEFT XOVER", 40, 20};
constexpr CrossoverEditorTraits kRightCrossover{"TForm8", "RIGHT XOVER", 136, 116};

// Below this the high-pass frequency leaves the low-pass lower limit alone; a drag there shows
// the lowest low-pass position instead.
constexpr double kLowestLimitHz = 35.0;
// From here on the high-pass upper limit shows its own maximum.
constexpr double kHighestLimitHz = 16000.0;

double TableHz(int position) {
    return CrossoverTable()[static_cast<std::size_t>(std::clamp(position, 0, kCrossoverCount - 1))];
}

XoverFilter Other(XoverFilter which) {
    return which == XoverFilter::HighPass ? XoverFilter::LowPass : XoverFilter::HighPass;
}

}  // namespace

const CrossoverEditorTraits &CrossoverTraits(int channel) {
    return channel == kLeftChannel ? kLeftCrossover : kRightCrossover;
}

std::array<std::uint8_t, 4> CrossoverFilterBytes(int slope, double hz) {
    const HundredthsPair pair = SplitHundredths(hz);
    return {static_cast<std::uint8_t>(slope & 0xFF), static_cast<std::uint8_t>((pair.whole >> 8) & 0xFF),
            static_cast<std::uint8_t>(pair.whole & 0xFF), static_cast<std::uint8_t>(pair.hundredths)};
}

CrossoverModel::CrossoverModel(int channel, AppState &state, Link &link, QObject *parent)
    : QObject(parent),
      channel_(channel == kLeftChannel ? kLeftChannel : kRightChannel),
      state_(state),
      link_(link),
      sendTimer_(new EditorTimer(kCrossoverSendTimerMs, this)),
      curveTimer_(new EditorTimer(kCrossoverCurveTimerMs, this)) {
    connect(sendTimer_, &EditorTimer::timeout, this, &CrossoverModel::SendTick);
    connect(curveTimer_, &EditorTimer::timeout, this, &CrossoverModel::CurveTick);

    // As the window is built: the high-pass at 10 Hz over the whole table up to 16 kHz, the
    // low-pass at 20.2 kHz down to 35.1 Hz with its list disabled until the first show.
    XoverFilterState &hp = mut(XoverFilter::HighPass);
    hp = {0, kHighPassLowest, kHighPassLowest, kHighPassHighest, true, FormatFrequency(TableHz(kHighPassLowest))};
    XoverFilterState &lp = mut(XoverFilter::LowPass);
    lp = {0, kLowPassHighest, kLowPassLowest, kLowPassHighest, false, FormatFrequency(TableHz(kLowPassHighest))};
    highPassLimit_ = QStringLiteral("16KHz");
    lowPassLimit_ = QStringLiteral("35.1Hz");
    snapshot_ = {hp.position, hp.slope, lp.position, lp.slope};
}

CrossoverModel::~CrossoverModel() = default;

void CrossoverModel::EditorOpening() {
    curveTimer_->start();
    editorOpen_ = true;
}

void CrossoverModel::EditorClosed() {
    curveTimer_->stop();
    editorOpen_ = false;
}

void CrossoverModel::Shown() {
    shown_ = true;
    for (XoverFilterState &f : filters_) {
        f.pending = 0;
        f.dragging = false;
    }
    stillTicks_ = 0;
    keyReleased_ = false;
    if (!firstShowDone_) {
        LowPassClicked();
        firstShowDone_ = true;
    }
    sendTimer_->start();
}

void CrossoverModel::OkClicked() {
    shown_ = false;
    sendTimer_->stop();
    curveTimer_->stop();
}

void CrossoverModel::HighPassClicked() {
    // The high-pass may go up to the low-pass corner, but never above 16 kHz, and its limit
    // never below the lowest low-pass position.
    const int lowPass = filter(XoverFilter::LowPass).position;
    setLimits(XoverFilter::HighPass, filter(XoverFilter::HighPass).minimum,
              std::clamp(lowPass, kLowPassLowest, kHighPassHighest));
    select(XoverFilter::HighPass);
}

void CrossoverModel::LowPassClicked() {
    const int highPass = filter(XoverFilter::HighPass).position;
    setLimits(XoverFilter::LowPass, std::max(highPass, kLowPassLowest), filter(XoverFilter::LowPass).maximum);
    select(XoverFilter::LowPass);
}

void CrossoverModel::select(XoverFilter which) {
    editing_ = which;
    mut(which).enabled = true;
    mut(Other(which)).enabled = false;
    emit controlsChanged();
}

void CrossoverModel::setLimits(XoverFilter which, int minimum, int maximum) {
    XoverFilterState &f = mut(which);
    f.minimum = std::clamp(minimum, 0, kCrossoverCount - 1);
    f.maximum = std::clamp(maximum, f.minimum, kCrossoverCount - 1);
    // A scroll bar keeps its position inside its limits: narrowing them moves it, and the move
    // counts as a change (pending, texts).
    setPosition(which, f.position);
    emit controlsChanged();
}

void CrossoverModel::setPosition(XoverFilter which, int position) {
    XoverFilterState &f = mut(which);
    const int limited = std::clamp(position, f.minimum, f.maximum);
    if (limited == f.position)
        return;
    f.position = limited;
    PositionChanged(which, limited);
}

void CrossoverModel::SlopeClicked(XoverFilter which, int slope) {
    XoverFilterState &f = mut(which);
    f.slope = std::clamp(slope, 0, kSlopeTypeCount - 1);
    takeSlopeIntoSnapshot(which);
    refreshTexts(which, TextForm::AfterSlope);
    f.pending = 1;
}

void CrossoverModel::PositionChanged(XoverFilter which, int position) {
    XoverFilterState &f = mut(which);
    f.position = std::clamp(position, f.minimum, f.maximum);
    f.pending = 1;
    refreshTexts(which, TextForm::AfterChange);
}

void CrossoverModel::Scrolled(XoverFilter which, int position) {
    XoverFilterState &f = mut(which);
    f.dragging = true;
    f.position = std::clamp(position, f.minimum, f.maximum);
    takeIntoSnapshot(which);
    refreshTexts(which, TextForm::AfterDrag);
}

void CrossoverModel::ScrollBarMouseDown(XoverFilter which) {
    mut(which).dragging = false;
    takeIntoSnapshot(which);
    refreshTexts(which, TextForm::AfterChange);
}

void CrossoverModel::ScrollBarKeyDown(XoverFilter which) {
    mut(which).dragging = false;
}

void CrossoverModel::ScrollBarKeyUp(XoverFilter which) {
    mut(which).dragging = false;
    keyReleased_ = true;
}

void CrossoverModel::MouseMovedOutside() {
    for (XoverFilterState &f : filters_)
        f.dragging = false;
}

void CrossoverModel::FrequencyEntered(XoverFilter which, const QString &text) {
    const std::optional<double> hz = ParseFrequencyText(text);
    if (hz) {
        const XoverFilterState &f = filter(which);
        // Below the bar's lowest frequency to its minimum (for the high-pass: below 10 Hz to
        // 10 Hz), above its highest to its maximum, otherwise the next table frequency at or
        // above the typed one.
        setPosition(which, CrossoverPositionForFrequency(*hz, f.minimum, f.maximum));
    }
    // Even text that is no frequency marks the filter for sending.
    PositionChanged(which, filter(which).position);
}

void CrossoverModel::SendTick() {
    if (keyReleased_) {
        keyReleased_ = false;
        MouseMovedOutside();
    }
    const ViewState view = probe_ ? probe_() : ViewState{lastCursor_, shown_, std::nullopt};
    if (view.cursor == lastCursor_) {
        // A release that never arrived: a cursor that stands still for long ends every drag.
        if (++stillTicks_ > kCrossoverStillTicks) {
            stillTicks_ = 0;
            MouseMovedOutside();
        }
    } else {
        stillTicks_ = 0;
    }
    if (view.visible) {
        // The thumb held still under the mouse: its value goes out again on this tick.
        if (view.focused && filter(*view.focused).dragging)
            PositionChanged(*view.focused, filter(*view.focused).position);
    } else {
        sendTimer_->stop();
    }
    lastCursor_ = view.cursor;
    if (filter(XoverFilter::HighPass).pending > 0) {
        --mut(XoverFilter::HighPass).pending;
        SendHighPass();
    }
    if (filter(XoverFilter::LowPass).pending > 0) {
        --mut(XoverFilter::LowPass).pending;
        SendLowPass();
    }
}

void CrossoverModel::CurveTick() {
    const XoverFilterState &hp = filter(XoverFilter::HighPass);
    const XoverFilterState &lp = filter(XoverFilter::LowPass);
    snapshot_ = {hp.position, hp.slope, lp.position, lp.slope};
    if (editorOpen_)
        DrawCrossoverCurve();
}

void CrossoverModel::DrawCrossoverCurve() {
    emit curveRedraw(snapshot_);
}

void CrossoverModel::SendHighPass() {
    takeIntoSnapshot(XoverFilter::HighPass);
    refreshTexts(XoverFilter::HighPass, TextForm::AfterChange);
    sendFilter(XoverFilter::HighPass, false);
}

void CrossoverModel::SendLowPass() {
    takeIntoSnapshot(XoverFilter::LowPass);
    refreshTexts(XoverFilter::LowPass, TextForm::AfterChange);
    sendFilter(XoverFilter::LowPass, false);
}

void CrossoverModel::sendFilter(XoverFilter which, bool whateverIsQueued) {
    if (!whateverIsQueued && state_.link.pendingFrames.load() >= kCrossoverSkipPending)
        return;
    const XoverFilterState &f = filter(which);
    const auto bytes = CrossoverFilterBytes(f.slope, TableHz(f.position));
    const std::uint8_t command = which == XoverFilter::HighPass ? traits().highPassCommand : traits().lowPassCommand;
    state_.link.outFrame.set(command, {bytes[0], bytes[1], bytes[2], bytes[3]});
    link_.SendCommand();
}

void CrossoverModel::Apply(const CrossoverFilter &lowPass, const CrossoverFilter &highPass) {
    const std::pair<XoverFilter, const CrossoverFilter *> order[] = {{XoverFilter::LowPass, &lowPass},
                                                                     {XoverFilter::HighPass, &highPass}};
    for (const auto &[which, stored] : order) {
        XoverFilterState &f = mut(which);
        // A slope outside the list leaves it without a selection.
        f.slope = stored->slope >= 0 && stored->slope < kSlopeTypeCount ? stored->slope : -1;
        const int position = CrossoverIndexOf(stored->freq);
        if (position >= 0) {
            // The record is shown as it is: the bar's limits make room for it rather than
            // move it (they are taken again when the operator switches filters).
            f.minimum = std::min(f.minimum, position);
            f.maximum = std::max(f.maximum, position);
            f.position = position;
        }
        refreshTexts(which, TextForm::AfterChange);
        takeIntoSnapshot(which);
        takeSlopeIntoSnapshot(which);
    }
    emit controlsChanged();
    DrawCrossoverCurve();
}

void CrossoverModel::CommitFilter(XoverFilter which, int slope, int position) {
    setFilter(which, slope, position);
    sendFilter(which, true);
}

void CrossoverModel::EditFilter(XoverFilter which, int slope, int position) {
    setFilter(which, slope, position);
    sendFilter(which, false);
}

void CrossoverModel::setFilter(XoverFilter which, int slope, int position) {
    XoverFilterState &f = mut(which);
    f.slope = std::clamp(slope, 0, kSlopeTypeCount - 1);
    const bool high = which == XoverFilter::HighPass;
    f.position = std::clamp(position, high ? kHighPassLowest : kLowPassLowest, high ? kHighPassHighest : kLowPassHighest);
    f.minimum = std::min(f.minimum, f.position);
    f.maximum = std::max(f.maximum, f.position);
    takeIntoSnapshot(which);
    takeSlopeIntoSnapshot(which);
    refreshTexts(which, TextForm::AfterChange);
}

void CrossoverModel::takeIntoSnapshot(XoverFilter which) {
    if (which == XoverFilter::HighPass)
        snapshot_.highPassIndex = filter(which).position;
    else
        snapshot_.lowPassIndex = filter(which).position;
}

void CrossoverModel::takeSlopeIntoSnapshot(XoverFilter which) {
    if (which == XoverFilter::HighPass)
        snapshot_.highPassSlope = filter(which).slope;
    else
        snapshot_.lowPassSlope = filter(which).slope;
}

void CrossoverModel::refreshTexts(XoverFilter which, TextForm form) {
    XoverFilterState &f = mut(which);
    const double hz = TableHz(f.position);
    const FrequencyTextForm textForm = form == TextForm::AfterSlope ? FrequencyTextForm::PlainKilo : FrequencyTextForm::Standard;
    f.text = FormatFrequency(hz, textForm);
    if (which == XoverFilter::HighPass) {
        // The low-pass lower limit follows the high-pass corner above 35 Hz.
        if (hz > kLowestLimitHz)
            lowPassLimit_ = FormatFrequency(hz, textForm);
        else if (form == TextForm::AfterDrag)
            lowPassLimit_ = FormatFrequency(TableHz(kLowPassLowest));
    } else {
        highPassLimit_ = hz < kHighestLimitHz ? FormatFrequency(hz, textForm) : QStringLiteral("16KHz");
    }
    emit controlsChanged();
}

}  // namespace talvo
