#include "devices/ConnectProcedure.h"

#include <algorithm>

#include "link/Connection.h"
#include "link/Link.h"
#include "link/Transfers.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

// The connect frame has to get onto the wire first (behind whatever is still queued: 13 bytes
// 6 ms apart and its pacing). Only then can the amplifier answer.
constexpr double kFrameOutMs = 2000;
// From there the answer is looked at no sooner than 0.4 s later, a reply arriving meanwhile
// or not: the amplifiers' original host waited 300 ms and then a hundred timer ticks of at
// least 1 ms each, and the amplifier takes that time to settle before the block requests.
// A reply does not end the wait.
constexpr double kAnswerFirstWaitMs = 300;
constexpr double kAnswerSecondWaitMs = 100;
constexpr int kAnswerMessageRounds = 6;

constexpr int kGainBlock = 8;
constexpr std::size_t kLeftGainOffset = 48;
constexpr std::size_t kRightGainOffset = 96;
constexpr std::size_t kInUseOffset = 11;

// Status block (bytes 1..16 are bytes[0..15]).
constexpr std::size_t kStatusProgram = 2;
constexpr std::size_t kStatusBridge = 6;
constexpr std::size_t kStatusFirmwareMajor = 8;
constexpr std::size_t kStatusFirmwareMinor = 9;

void processMessages(int times)
{
    for (int i = 0; i < times; ++i)
        Link::ProcessMessages();
}

}  // namespace

QString FirmwareStatusText(int major, int minor)
{
    return QStringLiteral("     MCU Firmware Version: DSP VS-%1.%2").arg(major).arg(minor);
}

QString CurrentProgramHeading(int program)
{
    return QStringLiteral("Amplifier current Program is NO. %1").arg(program);
}

QString ConnectWaitText(int id)
{
    return QStringLiteral("   %1").arg(id);
}

QString IdLabelText(int address)
{
    return QStringLiteral("ID:%1").arg(address);
}

QString ConnectOutcomeText(ConnectOutcome outcome, int id, const QString &port)
{
    switch (outcome) {
    case ConnectOutcome::Online:
        return QString();
    case ConnectOutcome::OnlineWithoutProgram:
        return QStringLiteral("ID %1 on %2 is connected, but part of its program is missing: "
                              "the default program is loaded, both inputs muted.")
            .arg(id)
            .arg(port);
    case ConnectOutcome::NoAnswer:
        return QStringLiteral("No answer from ID %1 on %2.").arg(id).arg(port);
    case ConnectOutcome::NoWholeProgram:
        return QStringLiteral("ID %1 answered on %2, but not with its whole program.").arg(id).arg(port);
    case ConnectOutcome::NoStatus:
        return QStringLiteral("ID %1 on %2 sent its program but not its status, and is not connected.").arg(id).arg(port);
    case ConnectOutcome::Cancelled:
        return QStringLiteral("Connecting to ID %1 on %2 was cancelled.").arg(id).arg(port);
    case ConnectOutcome::PortLost:
        return QStringLiteral("%2 was lost while connecting to ID %1.").arg(id).arg(port);
    }
    return QString();
}

ConnectController::ConnectController(AppState &state, Link &link, LinkController &linkController,
                                     ProgramApplier &applier, QObject *parent)
    : QObject(parent), state_(state), link_(link), linkController_(linkController), applier_(applier), run_(link)
{
}

void ConnectController::TakeWindowId(int id) { state_.link.connectWindowId = id; }

void ConnectController::ClearConnectState()
{
    state_.currentProgram = 0;
    emit currentProgramChanged(0);
    state_.bridgeAvailable = true;
    emit bridgeAvailableChanged(true);
}

void ConnectController::Disconnect()
{
    // The buttons are disabled while connecting; a call that slips through must not cut the
    // procedure's link from under it.
    if (run_.IsRunning())
        return;
    runDisconnect();
    emit closeRequested();
}

void ConnectController::runDisconnect()
{
    if (disconnectRunner_) {
        disconnectRunner_();
    } else {
        ClearConnectState();
        linkController_.Disconnect();
    }
}

void ConnectController::Cancel() { run_.RequestStop(); }

bool ConnectController::Connect(const ConnectRequest &request)
{
    if (request.id < 1 || request.id > 255 || (request.useSubAddress && (request.subAddress < 1 || request.subAddress > 65535)))
        return false;
    if (!run_.Begin())
        return false;
    answered_ = false;
    closeAfter_ = false;
    lastReadOut_.reset();
    LinkState &s = state_.link;
    emit outcomeText(QString());
    emit cancelOffered(true);

    // The count of pending frames is kept exact by the serial thread (it lowers it for every
    // frame written, discarded or failed), so it is left alone here: zeroing it while frames are
    // queued would drive it below zero once they finish and open the idle-only gate too early.
    if (s.linkActive == kYes)
        runDisconnect();

    s.chosenId = request.id;
    state_.currentProgram = 0;
    emit currentProgramChanged(0);
    emit buttonsEnabled(false);
    s.reply.statusBlock().received = 0;

    for (int i = 1; i <= kConnectAttempts && !run_.StopRequested(); ++i) {
        if (request.useSubAddress) {
            s.outFrame.subAddressHigh = static_cast<std::uint8_t>(request.subAddress / 256);
            s.outFrame.subAddressLow = static_cast<std::uint8_t>(request.subAddress % 256);
        } else {
            s.outFrame.subAddressHigh = 0;
            s.outFrame.subAddressLow = 0;
        }
        // A port lost before this connect, or under an attempt of it, is tried again at once
        // (a cable put back, a serial server's connection restored); if it stays gone there is
        // nothing left to try. A device that vanished under this connect is not: it does not
        // come back within a connect, and meanwhile its name may go to another device (a
        // pseudo-terminal's number is handed out again at once).
        if (i > 1 && link_.PortLost() && link_.Loss().kind == PortFailure::Kind::DeviceGone)
            break;
        if (i >= kConnectReopenFromAttempt || link_.PortLost())
            linkController_.ReopenPort();
        if (run_.Stopping())
            break;
        link_.ShowProgress(kConnectProgressStep * i);
        processMessages(2);
        s.reply.replyAddress = 0;
        attempt(request);
        processMessages(2);
        if (!run_.StopRequested() && s.reply.statusBlock().received == kYes)
            break;
    }

    const bool cancelled = run_.StopRequested();
    const bool lost = link_.PortLost();
    if (cancelled) {
        // What was queued before the stop goes out now, so that nothing of this procedure is
        // still on the wire once the link says OFFLINE.
        link_.WaitForIdle(kFrameOutMs);
        closeAfter_ = false;
        lastReadOut_.reset();
    }
    const ProgramBlock &status = s.reply.statusBlock();
    const bool online = !cancelled && !lost && status.received == kYes;
    if (cancelled)
        outcome_ = ConnectOutcome::Cancelled;
    else if (lost)
        outcome_ = ConnectOutcome::PortLost;
    else if (online)
        outcome_ = lastReadOut_ ? ConnectOutcome::Online : ConnectOutcome::OnlineWithoutProgram;
    else
        outcome_ = !answered_ ? ConnectOutcome::NoAnswer
                   : lastReadOut_ ? ConnectOutcome::NoStatus
                                  : ConnectOutcome::NoWholeProgram;

    s.linkActive = online ? kYes : 0;
    link_.ShowProgress(100);
    link_.ShowStatus(2, QString());
    state_.firmwareMajor = 1;
    state_.firmwareMinor = 0;
    if (online) {
        linkController_.ConnectionMade();
        state_.currentProgram = status.bytes[kStatusProgram];
        state_.firmwareMajor = status.bytes[kStatusFirmwareMajor];
        state_.firmwareMinor = status.bytes[kStatusFirmwareMinor];
        state_.bridgeAvailable = status.bytes[kStatusBridge] != 0;
        emit currentProgramChanged(state_.currentProgram);
        emit bridgeAvailableChanged(state_.bridgeAvailable);
        emit memoryHeadingChanged(CurrentProgramHeading(state_.currentProgram));
        link_.ShowStatus(2, FirmwareStatusText(state_.firmwareMajor, state_.firmwareMinor));
    } else {
        // An attempt that got an answer showed ONLINE; without the status block the amplifier
        // is not connected, and the lamp must not say otherwise.
        emit indicatorChanged(false, QLatin1String(kOfflineText));
    }
    emit firmwareChanged(state_.firmwareMajor, state_.firmwareMinor);
    link_.ShowProgress(0);
    emit buttonsEnabled(true);
    run_.End();
    emit cancelOffered(false);
    emit outcomeText(ConnectOutcomeText(outcome_, request.id, QStringLiteral("COM%1").arg(s.portNumber)));
    emit finished(online);
    if (online && closeAfter_)
        emit closeRequested();
    return online;
}

void ConnectController::attempt(const ConnectRequest &request)
{
    LinkState &s = state_.link;
    s.reply.replyAddress = 0;
    if (s.sendEnabled.load() != 1)
        return;

    s.outFrame.address = static_cast<std::uint8_t>(request.id);
    s.outFrame.set(kConnectCommand, {request.mute ? kConnectMutedData : kConnectData});
    s.linkActive = kYes;  // the send operations pass only an active link
    link_.SendCommand();

    if (!waitForAnswer(request.id)) {
        emit indicatorChanged(false, QLatin1String(kOfflineText));
    } else {
        answered_ = true;
        processMessages(kAnswerMessageRounds);
        readOut();
        processMessages(1);
        if (!run_.Stopping())
            emit indicatorChanged(true, QLatin1String(kOnlineText));
    }
    emit idLabelChanged(IdLabelText(s.outFrame.address));
}

bool ConnectController::waitForAnswer(int id)
{
    LinkState &s = state_.link;
    link_.WaitUntil([&] { return s.pendingFrames.load() <= 0; }, kFrameOutMs);
    if (!run_.Wait(kAnswerFirstWaitMs))
        return false;
    link_.ShowStatus(0, ConnectWaitText(id));
    return run_.Wait(kAnswerSecondWaitMs) && s.reply.replyAddress > 0;
}

void ConnectController::readOut()
{
    LinkState &s = state_.link;
    s.reply.replyAddress = 0;
    processMessages(1);
    ReadLiveProgram(link_, [this] { return run_.Stopping(); });
    if (run_.Stopping())
        return;  // nothing of a read-out cut short is applied
    processMessages(1);

    link_.ShowProgress(100);
    s.sendEnabled.store(0);  // the program is applied without sending
    applyReadOut();
    s.sendEnabled.store(1);
    link_.ShowProgress(0);
}

void ConnectController::applyReadOut()
{
    LinkState &s = state_.link;
    const ReplyFields &reply = s.reply;
    bool allBlocks = true;
    for (int k = 1; k <= kGainBlock; ++k)
        allBlocks = allBlocks && reply.block(k).received == kYes;
    const bool status = reply.statusBlock().received == kYes;

    closeAfter_ = false;
    lastReadOut_.reset();
    if (allBlocks) {
        if (reply.replyAddress > 0 && status)
            closeAfter_ = true;
        RecordImage record{};
        for (int k = 1; k <= kRecordBlockCount; ++k)
            std::copy(reply.block(k).bytes.begin(), reply.block(k).bytes.end(),
                      record.begin() + kRecordBlockSize * (k - 1));
        // Block 8 carries the live input gains; they replace the stored ones.
        const auto &gains = reply.block(kGainBlock).bytes;
        std::copy(gains.begin(), gains.begin() + 3, record.begin() + kLeftGainOffset);
        std::copy(gains.begin() + 3, gains.begin() + 6, record.begin() + kRightGainOffset);
        state_.programBuffer = record;
        lastReadOut_ = record;

        if (record[kInUseOffset] == 1) {
            applier_.ApplyProgram();
        } else {
            applier_.LoadDefaultProgram();
            applier_.SetInputGain(kLeftChannel, GainFromBytes(gains[0], gains[1], gains[2]));
            applier_.SetInputGain(kRightChannel, GainFromBytes(gains[3], gains[4], gains[5]));
        }
    } else if (status) {
        // Part of the program is missing (two amplifiers answering at once garble each other):
        // nothing of it is trusted, and both channels stay silent.
        applier_.LoadDefaultProgram();
        applier_.MuteInput(kLeftChannel);
        applier_.MuteInput(kRightChannel);
    }
}

}  // namespace talvo
