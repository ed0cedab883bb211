#include "peq/PeqEditorModel.h"

#include <algorithm>
#include <cmath>

#include "editors/EditorTimer.h"
#include "editors/FrequencyText.h"
#include "editors/SliderValue.h"
#include "link/Link.h"
#include "programs/ProgramRecord.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr int kRightChannelFlag = 100;  // peqChannel of the right channel
constexpr int kRightOffset = 96;        // a right-channel command is the left one + 96
constexpr std::uint8_t kResetCommandLeft = 6;
constexpr double kLowestSendFreq = 19.0;
constexpr double kTypedLow = 10.0;       // typed below this: the lowest grid frequency
constexpr int kPlotWidth = kPeqGridSize; // 0 < x < 360 drags
constexpr int kDragLowestRow = 200;      // 0 < y <= 200 drags
constexpr int kDragFloorRow = 160;       // below this row a drag gives -12 dB
constexpr int kDragZeroRow = 81;         // 0 dB for the mouse: 0.15 dB per pixel
constexpr int kPickDistance = 4;         // |dx| < 4 and |dy| < 4 picks a marker
constexpr int kEventPasses = 3;          // a send lets pending events through this often

bool IsBand(int band) { return band >= 1 && band <= kPeqBandCount; }
std::size_t Slot(int band) { return static_cast<std::size_t>(band - 1); }

void LetEventsThrough(int times)
{
    for (int i = 0; i < times; ++i)
        Link::ProcessMessages();
}

}  // namespace

const PeqBands &PeqResetBands()
{
    static const PeqBands bands = kDefaultBands;
    return bands;
}

std::uint8_t PeqBandCommand(int channel, int band)
{
    return static_cast<std::uint8_t>(5 * band + (channel == kLeftChannel ? 0 : kRightOffset));
}

std::uint8_t PeqResetCommand(int channel)
{
    return static_cast<std::uint8_t>(kResetCommandLeft + (channel == kLeftChannel ? 0 : kRightOffset));
}

std::array<std::uint8_t, 8> PeqBandBytes(const PeqBand &band)
{
    PeqBand sent = band;
    // NaN cannot come from the editor's controls; should one arrive it travels as the limit.
    sent.freq = std::isnan(sent.freq) ? kLowestSendFreq : std::clamp(sent.freq, kLowestSendFreq, kPeqMaxFreq);
    sent.gain = std::isnan(sent.gain) ? 0.0 : std::clamp(sent.gain, kPeqMinGain, kPeqMaxGain);
    sent.q = std::isnan(sent.q) ? kPeqMinQ : std::clamp(sent.q, kPeqMinQ, kPeqMaxQ);
    return EncodeBand(sent, false);
}

std::array<std::uint8_t, 8> PeqFlatBytes(const PeqBand &band)
{
    std::array<std::uint8_t, 8> bytes = EncodeBand(band, false);
    bytes[3] = bytes[4] = bytes[5] = 0;
    return bytes;
}

int PeqSliderPosition(PeqSlider slider, const PeqBand &band)
{
    switch (slider) {
    case PeqSlider::Freq:
        return FreqToColumn(band.freq);
    case PeqSlider::Gain:
        return SliderPosition(band.gain * 10.0 + kPeqGainSliderZero, 0, kPeqGainSliderMax);
    case PeqSlider::Q:
        return SliderPosition(band.q * 10.0, 0, kPeqQSliderMax);
    }
    return 0;
}

void WritePeqSlider(PeqSlider slider, double position, PeqBand &band)
{
    switch (slider) {
    case PeqSlider::Freq:
        band.freq = PeqFrequencyTable()[static_cast<std::size_t>(SliderPosition(position, 0, kPeqFreqSliderMax))];
        break;
    case PeqSlider::Gain:
        band.gain = (SliderPosition(position, 0, kPeqGainSliderMax) - kPeqGainSliderZero) / 10.0;
        break;
    case PeqSlider::Q:
        band.q = std::max(kPeqMinQ, SliderPosition(position, 0, kPeqQSliderMax) / 10.0);
        break;
    }
}

QString PeqFrequencyText(double freq)
{
    return FormatFrequency(freq);
}

QString PeqGainText(double gain, bool withUnit)
{
    // No "-0.00" for a gain that rounds to zero.
    const double shown = std::fabs(gain) < 0.005 ? 0.0 : gain;
    QString text = QString::number(shown, 'f', 2);
    return withUnit ? text + QStringLiteral("dB") : text;
}

QString PeqQText(double q)
{
    return QString::number(q, 'f', 1);
}

int PeqTypedFrequencyColumn(const QString &text)
{
    std::optional<double> value = ParseFrequencyText(text);
    if (!value || std::isnan(*value))
        return -1;
    double freq = *value;
    if (freq < kTypedLow)
        freq = kPeqMinFreq;
    if (freq > kPeqMaxFreq)
        freq = kPeqMaxFreq;
    return FreqToColumn(freq);
}

PeqEditorModel::PeqEditorModel(AppState &state, Link &link, QObject *parent)
    : QObject(parent),
      state_(state),
      link_(link),
      repaintTimer_(new EditorTimer(kPeqRepaintMs, this)),
      tickTimer_(new EditorTimer(kPeqTickMs, this))
{
    connect(repaintTimer_, &EditorTimer::timeout, this, &PeqEditorModel::RepaintTick);
    connect(tickTimer_, &EditorTimer::timeout, this, &PeqEditorModel::Tick);
    for (PeqSlider s : {PeqSlider::Freq, PeqSlider::Gain, PeqSlider::Q})
        writeSlider(s);
    writeTexts();
    curve_ = CurveRows(bands(), flats());
    drawnBands_ = bands();
    drawnFlats_ = flats();
}

PeqEditorModel::~PeqEditorModel() = default;

int PeqEditorModel::channel() const
{
    return state_.peq.peqChannel == 0 ? kLeftChannel : kRightChannel;
}

QString PeqEditorModel::caption() const
{
    return channel() == kLeftChannel ? QStringLiteral("LEFT PEQ") : QStringLiteral("RIGHT PEQ");
}

const PeqBands &PeqEditorModel::bands() const
{
    return state_.peq.workingBands;
}

PeqFlats PeqEditorModel::flats() const
{
    return channel() == kLeftChannel ? state_.peq.flatLeft : state_.peq.flatRight;
}

std::array<bool, kPeqBandCount> &PeqEditorModel::flagsOf(int ch)
{
    return ch == kLeftChannel ? state_.peq.flatLeft : state_.peq.flatRight;
}

PeqBand *PeqEditorModel::selected()
{
    return IsBand(selectedBand_) ? &state_.peq.workingBands[Slot(selectedBand_)] : nullptr;
}

void PeqEditorModel::Open(int ch)
{
    PeqState &peq = state_.peq;
    peq.workingBands = ch == kLeftChannel ? peq.leftBands : peq.rightBands;
    peq.peqChannel = ch == kLeftChannel ? 0 : kRightChannelFlag;
    // The sliders to the selected band, one after the other, letting the interface follow.
    for (PeqSlider s : {PeqSlider::Freq, PeqSlider::Gain, PeqSlider::Q}) {
        writeSlider(s);
        emit controlsChanged();
        LetEventsThrough(kEventPasses);
    }
    // The boxes show the other channel's flags from the last opening; a box that changes runs
    // its click action, which must not send what the amplifier already has.
    const bool sending = state_.link.sendEnabled.load() == 1;
    if (sending)
        state_.link.sendEnabled.store(0);
    const PeqFlats flags = flats();
    for (int b = 1; b <= kPeqBandCount; ++b) {
        if (flatBoxes_[Slot(b)] != flags[Slot(b)])
            FlatClicked(b, flags[Slot(b)]);
    }
    if (sending)
        state_.link.sendEnabled.store(1);
    writeTexts();
    emit controlsChanged();
    repaintTimer_->start();
}

void PeqEditorModel::Shown()
{
    finishCountdown_ = {};
    plotReady_ = 100;
    shown_ = true;
    Refresh(kRefreshControls);
    userDriven_ = {};
    sliderHeld_ = {};
    plotDragging_ = 0;
    tickTimer_->start();
}

void PeqEditorModel::Closed()
{
    shown_ = false;
    tickTimer_->stop();
    PeqState &peq = state_.peq;
    (channel() == kLeftChannel ? peq.leftBands : peq.rightBands) = peq.workingBands;
    repaintTimer_->stop();
}

void PeqEditorModel::Refresh(int reason)
{
    // A repaint that arrives while another refresh runs (a timer firing while a send lets
    // events through) is dropped.
    if (reason == kRefreshRepaint && plotReady_ == 0 && selectedBand_ < 4) {
        plotReady_ = 100;
        return;
    }
    if (!shown_) {
        plotReady_ = 100;
        return;
    }
    state_.link.unsavedChanges = kYes;
    plotReady_ = 0;
    RequantiseBands(state_.peq.workingBands);
    if (reason >= 1)
        writeTexts();
    if (selectedBand_ < 5)
        moveSelector(selectedBand_);
    if ((reason >= 11 && reason <= 29) || reason == kRefreshChanging || reason == kRefreshChanged) {
        // The model's own moves write nothing back into the band.
        for (PeqSlider s : {PeqSlider::Freq, PeqSlider::Gain, PeqSlider::Q})
            writeSlider(s);
    }
    if (reason >= 1)
        emit controlsChanged();

    drawnBands_ = bands();
    drawnFlats_ = flats();
    curve_ = CurveRows(drawnBands_, drawnFlats_);
    emit plotChanged();

    if ((reason == kRefreshChanging && state_.link.pendingFrames.load() < 1) || reason == kRefreshChanged)
        SendPeqBand();
    plotReady_ = 100;
}

void PeqEditorModel::writeSlider(PeqSlider s)
{
    if (const PeqBand *band = selected())
        sliders_[index(s)] = PeqSliderPosition(s, *band);
}

void PeqEditorModel::writeTexts()
{
    const PeqBands &b = bands();
    for (int band = 1; band <= kPeqBandCount; ++band) {
        const PeqBand &v = b[Slot(band)];
        rowTexts_[Slot(band)] = {PeqFrequencyText(v.freq), PeqGainText(v.gain, true), PeqQText(v.q)};
    }
    if (IsBand(selectedBand_)) {
        const PeqBand &v = b[Slot(selectedBand_)];
        selectedTexts_ = {PeqFrequencyText(v.freq), PeqGainText(v.gain, false), PeqQText(v.q)};
    }
}

void PeqEditorModel::SendPeqBand()
{
    if (state_.link.sendEnabled.load() != 1 || !IsBand(selectedBand_))
        return;
    // A FLAT band never goes out with its gain: the amplifier would lose the band's FLAT state
    // while the box stays ticked (a countdown send can follow a tick of the box).
    if (flats()[Slot(selectedBand_)]) {
        sendFlat(selectedBand_);
        return;
    }
    sendBand(selectedBand_);
    LetEventsThrough(kEventPasses);
}

void PeqEditorModel::SendPeqFlat(int band)
{
    if (state_.link.sendEnabled.load() != 1 || !IsBand(band))
        return;
    sendFlat(band);
}

void PeqEditorModel::sendBand(int band)
{
    sendBytes(channel(), band, PeqBandBytes(bands()[Slot(band)]));
}

void PeqEditorModel::sendFlat(int band)
{
    sendBytes(channel(), band, PeqFlatBytes(bands()[Slot(band)]));
}

void PeqEditorModel::sendBytes(int ch, int band, const std::array<std::uint8_t, 8> &bytes)
{
    state_.link.outFrame.set(PeqBandCommand(ch, band),
                             {bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]});
    link_.SendCommand();
}

void PeqEditorModel::SendPeqReset()
{
    state_.peq.workingBands = PeqResetBands();
    state_.link.outFrame.set(PeqResetCommand(channel()), {0});
    link_.SendCommand();
    Refresh(kRefreshControls);
}

int PeqEditorModel::PickBandAt(int x, int y) const
{
    int picked = 0;
    for (int b = 1; b <= kPeqBandCount; ++b) {
        const PeqBand &band = bands()[Slot(b)];
        if (std::abs(x - FreqToColumn(band.freq)) < kPickDistance && std::abs(y - GainToRow(band.gain)) < kPickDistance)
            picked = b;  // a later band wins where markers overlap
    }
    return picked;
}

void PeqEditorModel::PlotPressed(int x, int y)
{
    plotDragging_ = 100;
    selectedBand_ = kPeqPressedNoBand;
    if (const int picked = PickBandAt(x, y)) {
        selectedBand_ = picked;
        if (flats()[Slot(picked)])
            selectedBand_ = kPeqPressedFlatBand;
    }
}

void PeqEditorModel::PlotMoved(int x, int y)
{
    PeqBand *band = selected();
    if (!band || flats()[Slot(selectedBand_)] || plotDragging_ != 100)
        return;
    if (!(x > 0 && x < kPlotWidth && y > 0 && y <= kDragLowestRow))
        return;
    double gain = y <= kDragFloorRow ? (kDragZeroRow - y) * 12.0 / 80.0 : kPeqMinGain;
    band->gain = std::clamp(gain, kPeqMinGain, kPeqMaxGain);
    band->freq = PeqFrequencyTable()[static_cast<std::size_t>(x)];
    Refresh(kRefreshChanging);
}

void PeqEditorModel::PlotReleased()
{
    if (selectedBand_ > 4) {
        selectedBand_ = selector_;
        plotDragging_ = 0;
        Refresh(kRefreshRepaint);
    } else {
        plotDragging_ = 0;
        Refresh(kRefreshChanged);
    }
    plotDragging_ = 0;
}

void PeqEditorModel::SliderMouseDown(PeqSlider s)
{
    selectedBand_ = selector_;
    sliderHeld_[index(s)] = true;
    userDriven_[index(s)] = true;
}

void PeqEditorModel::SliderMouseUp(PeqSlider s)
{
    sliderHeld_[index(s)] = false;
    if (s != PeqSlider::Q) {
        plotDragging_ = 0;
        if (PeqBand *band = selected())
            WritePeqSlider(s, sliders_[index(s)], *band);
        Refresh(kRefreshChanging);
    }
    userDriven_[index(s)] = false;
}

void PeqEditorModel::SliderKeyDown(PeqSlider s)
{
    userDriven_[index(s)] = true;
    plotDragging_ = 0;
}

void PeqEditorModel::SliderKeyUp(PeqSlider s)
{
    plotDragging_ = 0;
    userDriven_[index(s)] = false;
}

void PeqEditorModel::SliderMoved(PeqSlider s, double position)
{
    const int max = s == PeqSlider::Freq ? kPeqFreqSliderMax : s == PeqSlider::Gain ? kPeqGainSliderMax : kPeqQSliderMax;
    sliders_[index(s)] = SliderPosition(position, 0, max);
    operatorMoved(s);
}

void PeqEditorModel::operatorMoved(PeqSlider s)
{
    if (!userDriven_[index(s)])
        return;
    if (PeqBand *band = selected())
        WritePeqSlider(s, sliders_[index(s)], *band);
    LetEventsThrough(1);
    Refresh(kRefreshChanging);
}

void PeqEditorModel::SliderMovementFinished(PeqSlider s)
{
    finishCountdown_[index(s)] = 2;
    sliderHeld_[index(s)] = false;
    plotDragging_ = 0;
    if (s != PeqSlider::Q && userDriven_[index(s)]) {
        if (PeqBand *band = selected())
            WritePeqSlider(s, sliders_[index(s)], *band);
    }
}

void PeqEditorModel::RowFrequencyKeyPressed(int row)
{
    if (IsBand(row))
        selectedBand_ = row;
}

void PeqEditorModel::FrequencyEntered(int row, const QString &text)
{
    RowFrequencyKeyPressed(row);
    const int column = PeqTypedFrequencyColumn(text);
    if (column >= 0) {
        Refresh(kRefreshRepaint);
        sliders_[index(PeqSlider::Freq)] = column;
        if (PeqBand *band = selected())
            band->freq = PeqFrequencyTable()[static_cast<std::size_t>(column)];
    }
    // Read or not, the field is rewritten from the band. A frequency that was read is a
    // finished change, sent even while another frame is pending: no release or countdown
    // follows that would send it later.
    Refresh(column >= 0 ? kRefreshChanged : kRefreshChanging);
}

void PeqEditorModel::GainEntered(int row, double gain)
{
    if (std::isnan(gain))
        return;
    gain = std::clamp(gain, kPeqMinGain, kPeqMaxGain);
    RowFrequencyKeyPressed(row);
    if (PeqBand *band = selected()) {
        band->gain = gain;
        if (IsBand(row))
            sliders_[index(PeqSlider::Gain)] = SliderPosition(gain * 10.0 + kPeqGainSliderZero, 0, kPeqGainSliderMax);
    }
    Refresh(kRefreshChanged);
}

void PeqEditorModel::QEntered(int row, double q)
{
    if (std::isnan(q))
        return;
    q = std::clamp(q, kPeqMinQ, kPeqMaxQ);
    RowFrequencyKeyPressed(row);
    if (PeqBand *band = selected()) {
        band->q = q;
        if (IsBand(row))
            sliders_[index(PeqSlider::Q)] = SliderPosition(q * 10.0, 0, kPeqQSliderMax);
    }
    Refresh(kRefreshChanged);
}

void PeqEditorModel::FlatClicked(int band, bool ticked)
{
    if (!IsBand(band))
        return;
    flatBoxes_[Slot(band)] = ticked;
    flagsOf(channel())[Slot(band)] = ticked;
    Refresh(kRefreshControls);
    moveSelector(band);
    selectedBand_ = band;
    if (ticked)
        SendPeqFlat(band);
    else
        SendPeqBand();
    emit controlsChanged();
}

void PeqEditorModel::moveSelector(int position)
{
    if (selector_ != position)
        BandSelectorChanged(position);
}

void PeqEditorModel::BandSelectorChanged(int position)
{
    if (!IsBand(position))
        return;
    selector_ = position;
    selectedBand_ = position;
    Refresh(kRefreshControls);
    emit controlsChanged();
}

void PeqEditorModel::RepaintTick()
{
    if (!shown_) {
        repaintTimer_->stop();
        return;
    }
    Refresh(kRefreshRepaint);
}

void PeqEditorModel::Tick()
{
    if (!shown_) {
        tickTimer_->stop();
        return;
    }
    for (PeqSlider s : {PeqSlider::Freq, PeqSlider::Gain, PeqSlider::Q}) {
        if (sliderHeld_[index(s)])
            operatorMoved(s);
    }
    for (PeqSlider s : {PeqSlider::Freq, PeqSlider::Gain, PeqSlider::Q}) {
        if (finishCountdown_[index(s)] > 1) {
            Refresh(kRefreshChanged);
            --finishCountdown_[index(s)];
        }
    }
    if (plotDragging_ == 100 && selectedBand_ < 4)
        Refresh(kRefreshChanging);
}

void PeqEditorModel::CommitBand(int ch, int band, const PeqBand &value, bool flat)
{
    if (!IsBand(band))
        return;
    storeBand(ch, band, value, flat);
    sendBytes(ch, band, flat ? PeqFlatBytes(value) : PeqBandBytes(value));
}

void PeqEditorModel::EditBand(int ch, int band, const PeqBand &value, bool flat, bool finished)
{
    if (!IsBand(band))
        return;
    storeBand(ch, band, value, flat);
    if (finished || state_.link.pendingFrames.load() < 1)
        sendBytes(ch, band, flat ? PeqFlatBytes(value) : PeqBandBytes(value));
}

void PeqEditorModel::storeBand(int ch, int band, const PeqBand &value, bool flat)
{
    PeqState &peq = state_.peq;
    (ch == kLeftChannel ? peq.leftBands : peq.rightBands)[Slot(band)] = value;
    flagsOf(ch)[Slot(band)] = flat;
    // The open window edits workingBands and writes them back when it closes: the band goes
    // there too, or closing would undo it.
    if (shown_ && ch == channel()) {
        peq.workingBands[Slot(band)] = value;
        flatBoxes_[Slot(band)] = flat;
        Refresh(kRefreshControls);
    }
}

void PeqEditorModel::ImportBands(int ch, const PeqBands &bands, const PeqFlats &flats)
{
    PeqState &peq = state_.peq;
    (ch == kLeftChannel ? peq.leftBands : peq.rightBands) = bands;
    flagsOf(ch) = flats;
    state_.link.unsavedChanges = kYes;
    // Should the editor be showing this channel, its working copy would otherwise be written
    // back over the imported bands when it closes.
    if (shown_ && channel() == ch) {
        peq.workingBands = bands;
        flatBoxes_ = flats;
        Refresh(kRefreshControls);
    }
    if (state_.link.sendEnabled.load() != 1)
        return;
    for (int b = 1; b <= kPeqBandCount; ++b) {
        const PeqBand &band = bands[Slot(b)];
        sendBytes(ch, b, flats[Slot(b)] ? PeqFlatBytes(band) : PeqBandBytes(band));
    }
}

}  // namespace talvo
