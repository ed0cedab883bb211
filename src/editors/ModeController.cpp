#include "editors/ModeController.h"

#include <QMetaMethod>
#include <QScopeGuard>

#include "editors/GainModel.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr std::size_t kModeByte = 10;  // the record's mode byte

std::size_t channelIndex(int channel)
{
    return channel == kLeftChannel ? 0 : 1;
}

// "Stereo", "Bridge", "Mono", as the Mode menu names them.
QString MenuModeName(Mode mode)
{
    switch (mode) {
    case Mode::Bridge:
        return QStringLiteral("Bridge");
    case Mode::Mono:
        return QStringLiteral("Mono");
    default:
        return QStringLiteral("Stereo");
    }
}

// The loss message of a mode change cut short: the port, why it was lost, and that the change
// to `mode` did not complete.
QString ModeChangeCutShortText(int port, const PortFailure &why, Mode mode)
{
    return PortLostText(port, why)
        + QStringLiteral("\r\rThe change to %1 mode did not complete: choose %1 again once connected.")
              .arg(MenuModeName(mode));
}

}  // namespace

bool PanelDiagram::ArrowShown(int n) const
{
    if ((n >= 1 && n <= 6) || n == 13)
        return true;
    if (n >= 7 && n <= 12)
        return rightChainShown;
    switch (n) {
    case 14:
        return arrow14Shown;
    case 15:
        return arrow15Shown;
    case 16:
        return arrow16Shown;
    case 17:
        return arrow17Shown;
    case 18:
        return arrow18Shown;
    case 19:
        return arrow19Shown;
    default:
        return false;
    }
}

PanelDiagram DiagramFor(Mode mode)
{
    PanelDiagram d;
    d.rightChainShown = mode == Mode::Stereo;
    d.arrow14Shown = mode == Mode::Stereo;
    d.arrow15Shown = d.arrow16Shown = d.arrow18Shown = mode == Mode::Bridge;
    d.arrow17Shown = mode == Mode::Bridge || mode == Mode::Mono;
    d.arrow19Shown = mode == Mode::Mono;
    return d;
}

ModeController::ModeController(AppState &state, Link &link, ProgramApplier &applier, GainModel &leftGain,
                               GainModel &rightGain, QObject *parent)
    : QObject(parent), state_(state), link_(link), applier_(applier), gains_{&leftGain, &rightGain},
      diagram_(DiagramFor(state.mode))
{
    connect(&link_, &Link::portLost, this, [this](const PortFailure &why) {
        if (changing_)
            lostDuringChange_ = why;
    });
}

Mode ModeController::mode() const
{
    return state_.mode;
}

bool ModeController::phaseInverted(int channel) const
{
    return phase_[channelIndex(channel)];
}

void ModeController::ChangeMode(Mode mode)
{
    if (changing_ || held_)
        return;
    changing_ = true;
    setPanelEnabled(false);
    // A port lost under the change is told once, by the change, together with what it cut
    // short: the windows show the new mode, the amplifier may not have it.
    const bool tellsLoss = isSignalConnected(QMetaMethod::fromSignal(&ModeController::modeChangeCutShort));
    const bool lossToldBefore = link_.LossToldByProcedure();
    if (tellsLoss)
        link_.SetLossToldByProcedure(true);
    lostDuringChange_ = PortFailure();
    // The panel comes back and the change counts as over however the steps end.
    const auto done = qScopeGuard([this, mode, tellsLoss, lossToldBefore] {
        setPanelEnabled(true);
        changing_ = false;
        if (tellsLoss)
            link_.SetLossToldByProcedure(lossToldBefore);
        if (tellsLoss && lostDuringChange_.isError())
            emit modeChangeCutShort(QLatin1String(kPortLostCaption),
                                    ModeChangeCutShortText(state_.link.portNumber, lostDuringChange_, mode));
        emit modeChangeFinished(mode);
    });

    applier_.LoadDefaultProgram();
    markMode(mode);
    ShowNormalPanel();
    state_.mode = mode;
    state_.programBuffer[kModeByte] = static_cast<std::uint8_t>(mode);
    setDiagram(DiagramFor(mode));
    PrepareModeChange();
    sendAcknowledged(kModeAnnounceCommand, kModeCommandData);
    sendAcknowledged(kModeCommand, static_cast<std::uint8_t>(mode));
    ResetGainEditors();
}

void ModeController::ModeSteps(Mode mode)
{
    markMode(mode);
    ShowNormalPanel();
    state_.mode = mode;
    setDiagram(DiagramFor(mode));
    sendAcknowledged(kModeAnnounceCommand, kModeCommandData);
    sendAcknowledged(kModeCommand, static_cast<std::uint8_t>(mode));
    ResetGainEditors();
}

void ModeController::PrepareModeChange()
{
    if (state_.link.linkActive != kYes)
        return;
    LinkState &s = state_.link;
    const auto replied = [&s] { return s.reply.replyAddress != 0; };
    // A port lost under the steps ends them: nothing on the line is left to prepare.
    const auto wait = [this](double ms) { return link_.WaitUnlessLost(ms); };
    auto lost = qScopeGuard([this] { progress(0); });

    if (!wait(500))
        return;
    s.outFrame.set(kModeConnectCommand, {kModeCommandData});
    link_.SendCommand();
    progress(20);
    if (!wait(500))
        return;

    s.reply.replyAddress = 0;
    s.outFrame.set(kModePrepareCommand, {kModeCommandData});
    link_.SendCommand();
    for (int p : {40, 60, 80}) {
        progress(p);
        if (!wait(1000))
            return;
    }
    progress(90);
    if (!replied() && !wait(1000))
        return;
    progress(80);
    if (!replied() && !wait(1000))
        return;
    if (!replied()) {
        s.outFrame.set(kModePrepareCommand, {kModeCommandData});
        link_.SendCommand();
        progress(60);
        if (!wait(4000))
            return;
        progress(80);
        if (!wait(1000))
            return;
        progress(100);
        if (!wait(1000))
            return;
    }
    lost.dismiss();
    progress(0);
    wait(100);
}

void ModeController::ResetGainEditors()
{
    // The slider changes must not reach the amplifier: the link counts as inactive meanwhile.
    int &active = state_.link.linkActive;
    const bool wasActive = active == kYes;
    active = 0;
    const auto restore = qScopeGuard([&active, wasActive] {
        if (wasActive)
            active = kYes;
    });
    for (GainModel *gain : gains_) {
        gain->Reset();
        Link::ProcessMessages();
    }
}

void ModeController::ShowNormalPanel()
{
    state_.testMode = kTestModeNone;
    PanelDiagram d = diagram_;
    d.blocksEnabled = true;
    d.labelsShown = true;
    d.testSignalShown = false;
    d.arrow14Shown = true;
    d.arrow15Shown = d.arrow16Shown = d.arrow17Shown = d.arrow18Shown = d.arrow19Shown = false;
    setDiagram(d);
}

void ModeController::ShowTestPanel()
{
    PanelDiagram d = DiagramFor(Mode::Stereo);
    d.blocksEnabled = false;
    d.labelsShown = false;
    d.testSignalShown = true;
    setDiagram(d);
}

void ModeController::PhaseClicked(int channel, bool ticked)
{
    const std::size_t i = channelIndex(channel);
    if (phase_[i] != ticked) {
        phase_[i] = ticked;
        emit phaseChanged(channel, ticked);
    }
    state_.link.outFrame.set(i == 0 ? kPhaseCommandLeft : kPhaseCommandRight,
                             {static_cast<std::uint8_t>(ticked ? kPhaseInverted : 0)});
    link_.SendCommand();
}

void ModeController::ApplyPhase(int channel, int phase)
{
    const std::size_t i = channelIndex(channel);
    const bool inverted = phase == kPhaseInverted;
    if (phase_[i] != inverted) {
        phase_[i] = inverted;
        emit phaseChanged(channel, inverted);
    }
}

void ModeController::setPanelEnabled(bool enabled)
{
    if (panelEnabled_ == enabled)
        return;
    panelEnabled_ = enabled;
    emit panelEnabledChanged(enabled);
}

void ModeController::setDiagram(const PanelDiagram &diagram)
{
    if (diagram == diagram_)
        return;
    diagram_ = diagram;
    emit diagramChanged(diagram_);
}

void ModeController::markMode(Mode mode)
{
    emit modeChanged(mode);
}

void ModeController::sendAcknowledged(std::uint8_t command, std::uint8_t data)
{
    LinkState &s = state_.link;
    s.reply.replyAddress = 0;
    s.outFrame.set(command, {data});
    link_.SendCommand();
    Link::ProcessMessages();
    if (!link_.WaitUnlessLost(kModeReplyWaitMs))
        return;
    if (s.reply.replyAddress == 0) {
        // Handlers that ran during the wait may have used the frame.
        s.outFrame.set(command, {data});
        link_.SendCommand();
        link_.WaitUnlessLost(kModeReplyWaitMs);
    }
}

void ModeController::progress(int percent)
{
    link_.ShowProgress(percent);
}

}  // namespace talvo
