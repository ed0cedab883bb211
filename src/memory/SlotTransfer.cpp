#include "memory/SlotTransfer.h"

#include <algorithm>

#include "link/Link.h"
#include "link/PortFailure.h"
#include "link/Transfers.h"
#include "programs/Windows1252.h"
#include "state/AppState.h"

namespace talvo {

namespace {

constexpr int kInUseByte = 11;  // block 1 / record offset of inUse
constexpr int kModeByte = 10;
constexpr std::uint8_t kDeleteCommand = 200;
constexpr std::uint8_t kLinkCommand = 220;
constexpr std::uint8_t kHeaderCommand = 221;
constexpr std::uint8_t kModeCommand = 195;
constexpr std::uint8_t kSelectData = 140;
constexpr std::uint8_t kReloadData = 88;
constexpr std::uint8_t kConnectData = 100;
constexpr double kRecallPauseMs = 300;
constexpr double kSavePauseMs = 400;
constexpr double kDeleteWaitMs = 200;
constexpr double kReloadStepMs = 1000;
// Unanswered exchanges in a row (each after its resend) that mean the amplifier has gone: the
// sequence ends with a message instead of running its whole course against silence.
constexpr int kSilenceLimit = 3;

constexpr std::uint16_t kSubstitutedFrom = 12000;
constexpr std::uint16_t kSubstitutedTo = 12100;

// Block k of a record as it goes out: the amplifier has no 12000 Hz, so the nearest crossover
// frequency it knows goes instead; and with "Mute" the channel's gain (blocks 4 and 7 start
// with it) is stored muted at -62.00 dB.
void AdaptForAmplifier(CommandFrame &f, int k, bool muted)
{
    // Positions (from 0) of the frequencies' whole-hertz words in this block.
    std::vector<int> words;
    if (k == 2 || k == 5)
        words = {0, 8};
    else if (k == 3 || k == 6)
        words = {0, 9, 13};
    for (int at : words) {
        if (f.data[at] * 256 + f.data[at + 1] == kSubstitutedFrom) {
            f.data[at] = kSubstitutedTo >> 8;
            f.data[at + 1] = kSubstitutedTo & 0xFF;
        }
    }
    if ((k == 4 || k == 7) && muted) {
        f.data[0] = 62;
        f.data[1] = 0;
        f.data[2] = kSignNegative;
    }
}

// The header block's frame for `target`, all but its mode and target.
void SetHeaderName(CommandFrame &f, const std::array<std::uint8_t, kNameSize> &name)
{
    f.command = kHeaderCommand;
    f.length = kRecordBlockSize;
    std::copy(name.begin(), name.end(), f.data.begin());
}

void SetHeaderTarget(CommandFrame &f, std::uint8_t mode, int target)
{
    f.data[10] = mode;
    f.data[11] = 1;
    f.data[12] = static_cast<std::uint8_t>(target);
    f.data[13] = f.data[14] = f.data[15] = 1;
}

}  // namespace

SlotTransfer::SlotTransfer(AppState &state, Link &link) : state_(state), link_(link) {}

// ---- The watch over one sequence.

void SlotTransfer::Begin()
{
    failure_.clear();
    stopCause_.clear();
    silentExchanges_ = 0;
}

void SlotTransfer::NotePortLost(const PortFailure &why)
{
    failure_ = QStringLiteral("The port was lost during the transfer (%1); the transfer stopped.").arg(why.describe());
    stopCause_ = QStringLiteral("port lost");
}

void SlotTransfer::noteAnswer(bool answered)
{
    if (answered) {
        silentExchanges_ = 0;
        return;
    }
    if (++silentExchanges_ >= kSilenceLimit && failure_.isEmpty()) {
        failure_ = QStringLiteral("ID %1 stopped answering; the transfer stopped.").arg(state_.link.outFrame.address);
        stopCause_ = QStringLiteral("no answer");
    }
}

void SlotTransfer::ShowProgress(int percent) const
{
    link_.ShowProgress(std::clamp(percent, 0, kProgressStepsMax));
}

// ---- Exchanges.

bool SlotTransfer::sendAcknowledged(double waitMs)
{
    LinkState &s = state_.link;
    s.reply.replyAddress = 0;
    link_.SendCommand();
    link_.WaitUnlessLost(waitMs);
    if (s.reply.replyAddress == 0 && !Broken()) {
        link_.SendCommand();
        link_.WaitUnlessLost(waitMs);
    }
    return s.reply.replyAddress != 0;
}

bool SlotTransfer::sendHeader(const std::array<std::uint8_t, kNameSize> &name, std::uint8_t mode, int target)
{
    CommandFrame &f = state_.link.outFrame;
    SetHeaderName(f, name);
    SetHeaderTarget(f, mode, target);
    state_.link.reply.replyAddress = 0;
    link_.SendCommand();
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    return state_.link.reply.replyAddress != 0;
}

bool SlotTransfer::requestTwice(int k, int n, double pauseMs)
{
    if (Broken())
        return false;
    RequestBlock(link_, k, n);
    link_.WaitUnlessLost(pauseMs);
    if (state_.link.reply.block(k).received != kYes && !Broken()) {
        RequestBlock(link_, k, n);
        link_.WaitUnlessLost(pauseMs);
    }
    const bool arrived = state_.link.reply.block(k).received == kYes;
    noteAnswer(arrived);
    return arrived;
}

bool SlotTransfer::takeRecordBlocks()
{
    RecordImage record{};
    for (int k = 1; k <= kRecordBlockCount; ++k) {
        const ProgramBlock &b = state_.link.reply.block(k);
        if (b.received != kYes)
            return false;
        std::copy(b.bytes.begin(), b.bytes.end(), record.begin() + kRecordBlockSize * (k - 1));
    }
    state_.programBuffer = record;
    return true;
}

// ---- Reading.

SlotState SlotTransfer::ReadState(int n)
{
    ProgramBlock &b1 = state_.link.reply.block(1);
    b1.received = 0;
    b1.bytes.fill(0);
    RequestBlock(link_, 1, n);
    if (b1.received == kYes) {
        link_.WaitUnlessLost(1);
    } else {
        link_.WaitUnlessLost(kMemoryResendWaitMs);
        if (!Broken())
            RequestBlock(link_, 1, n);
    }
    SlotState result;
    result.answered = b1.received == kYes;
    if (result.answered && b1.bytes[kInUseByte] != 0) {
        result.inUse = true;
        result.name = Windows1252ToString(QByteArrayView(reinterpret_cast<const char *>(b1.bytes.data()), kNameSize));
    }
    noteAnswer(result.answered);
    return result;
}

bool SlotTransfer::ReadSlot(int n, double pauseMs, const BlockProgress &progress)
{
    for (int k = 1; k <= kRecordBlockCount; ++k)
        state_.link.reply.block(k).received = 0;
    for (int k : {1, 3, 4, 5, 6, 7, 2}) {
        requestTwice(k, n, pauseMs);
        if (Broken())
            return false;
        if (progress)
            progress(k);
    }
    return takeRecordBlocks();
}

bool SlotTransfer::ReadForSave(int slot)
{
    static const int kSaveProgress[8] = {0, 15, 90, 30, 45, 60, 70, 80};  // by block number
    const bool ok = ReadSlot(slot, kSavePauseMs, [this](int k) { ShowProgress(kSaveProgress[k]); });
    if (Broken())
        return false;
    state_.link.outFrame.set(kLinkCommand, {kConnectData});
    sendAcknowledged(100);
    Link::ProcessMessages();
    for (int i = 0; i < 30; ++i) {
        link_.WaitUnlessLost(1);
        Link::ProcessMessages();
    }
    return ok;
}

int SlotTransfer::RunningProgram()
{
    RequestStatus(link_);
    const ProgramBlock &status = state_.link.reply.statusBlock();
    return status.received == kYes ? status.bytes[2] : 0;
}

// ---- Writing.

std::vector<int> SlotTransfer::WriteRecordBlocks(const RecordImage &record, bool muted, const BlockProgress &progress)
{
    std::vector<int> unanswered;
    CommandFrame &f = state_.link.outFrame;
    for (int k = 2; k <= kRecordBlockCount; ++k) {
        if (Broken())
            break;
        const RecordBlockBytes block = RecordBlock(record, k);
        f.command = static_cast<std::uint8_t>(220 + k);
        f.length = kRecordBlockSize;
        std::copy(block.begin(), block.end(), f.data.begin());
        AdaptForAmplifier(f, k, muted);
        const bool answered = sendAcknowledged(kMemoryResendWaitMs);
        if (!answered)
            unanswered.push_back(k);
        noteAnswer(answered);
        Link::ProcessMessages();
        if (progress)
            progress(k);
    }
    return unanswered;
}

WriteAnswers SlotTransfer::WriteProgram(const std::array<std::uint8_t, kNameSize> &name, const RecordImage &record,
                                        int slot, bool muted, int percentPerBlock)
{
    WriteAnswers answers;
    answers.header = sendHeader(name, record[kModeByte], slot);
    noteAnswer(answers.header);
    ShowProgress(0);
    answers.unanswered =
        WriteRecordBlocks(record, muted, [this, percentPerBlock](int k) { ShowProgress(percentPerBlock * k); });
    return answers;
}

WriteAnswers SlotTransfer::DownloadCurrent(const std::array<std::uint8_t, kNameSize> &name, const RecordImage &record,
                                           bool muted)
{
    CommandFrame &f = state_.link.outFrame;
    SetHeaderName(f, name);
    link_.WaitUnlessLost(300);
    SetHeaderTarget(f, record[kModeByte], kCurrentProgramSlot);
    WriteAnswers answers;
    answers.header = sendAcknowledged(kMemoryResendWaitMs);
    noteAnswer(answers.header);
    ShowProgress(10);
    answers.unanswered = WriteRecordBlocks(record, muted, [this](int k) { ShowProgress(5 * k); });
    reload(40, {45, 50, 55, 60}, 70);
    reconnect();
    ShowProgress(100);
    Link::ProcessMessages();
    link_.WaitUnlessLost(300);
    ShowProgress(100);
    Link::ProcessMessages();
    ShowProgress(0);
    return answers;
}

void SlotTransfer::SendModeOf(const RecordImage &record)
{
    state_.link.outFrame.set(kModeCommand, {record[kModeByte]});
    link_.SendCommand();
    link_.WaitUnlessLost(100);
}

// ---- Deleting.

void SlotTransfer::DeleteSlot(int slot)
{
    state_.link.outFrame.set(kDeleteCommand, {static_cast<std::uint8_t>(slot)});
    state_.link.reply.replyAddress = 0;
    link_.SendCommand();
}

void SlotTransfer::DeleteSlotAnswered(int slot, double waitMs)
{
    DeleteSlot(slot);
    link_.WaitUnlessLost(waitMs);
    if (state_.link.reply.replyAddress == 0) {
        link_.SendCommand();
        link_.WaitUnlessLost(waitMs);
    }
}

void SlotTransfer::DeleteSlotTwice(int slot)
{
    DeleteSlot(slot);
    link_.WaitUnlessLost(kDeleteWaitMs);
    bool answered = state_.link.reply.replyAddress != 0;
    link_.SendCommand();
    link_.WaitUnlessLost(kDeleteWaitMs);
    answered = answered || state_.link.reply.replyAddress != 0;
    // Whether the slot is empty now is for the refresh after it to tell: its 200 ms leave the
    // delete's reply little room.
    noteAnswer(answered);
}

// ---- Recalling.

void SlotTransfer::readRecallBlocks(int slot)
{
    ReplyFields &reply = state_.link.reply;
    for (int k = 1; k <= 8; ++k)
        reply.block(k).received = 0;
    const std::array<int, 6> order{1, 3, 4, 5, 6, 7};
    const std::array<int, 6> steps{5, 10, 15, 20, 25, 30};
    for (std::size_t i = 0; i < order.size(); ++i) {
        requestTwice(order[i], slot, kRecallPauseMs);
        ShowProgress(steps[i]);
    }
    // The live gains: from the running program, else from the slot.
    if (!Broken()) {
        RequestBlock(link_, 8, kRunningProgram);
        link_.WaitUnlessLost(kRecallPauseMs);
        if (reply.block(8).received != kYes && !Broken()) {
            RequestBlock(link_, 8, slot);
            link_.WaitUnlessLost(kRecallPauseMs);
        }
    }
    ShowProgress(35);
    requestTwice(2, slot, kRecallPauseMs);
    ShowProgress(40);
}

RecallEnd SlotTransfer::Recall(int slot)
{
    ShowProgress(0);
    readRecallBlocks(slot);
    if (Broken())
        return RecallEnd::CutShort;

    state_.link.outFrame.set(kLinkCommand, {kSelectData, static_cast<std::uint8_t>(slot)});
    link_.SendCommand();
    link_.WaitUnlessLost(kRecallPauseMs);
    ShowProgress(45);
    reload(50, {55, 60, 70, 80}, 90);
    reconnect();
    if (Broken())
        return RecallEnd::CutShort;
    const ProgramBlock &status = state_.link.reply.statusBlock();
    RequestStatus(link_);
    link_.WaitUnlessLost(10);
    if (status.received == kYes)
        state_.currentProgram = status.bytes[2];
    for (int i = 0; i < 30; ++i) {
        link_.WaitUnlessLost(1);
        Link::ProcessMessages();
    }
    return !Broken() && takeRecordBlocks() ? RecallEnd::Whole : RecallEnd::NotWhole;
}

void SlotTransfer::reload(int firstProgress, const std::array<int, 4> &steps, int lastProgress)
{
    if (Broken())
        return;
    state_.link.linkActive = kYes;
    state_.link.outFrame.set(kLinkCommand, {kReloadData});
    link_.SendCommand();
    ShowProgress(firstProgress);
    link_.WaitUnlessLost(kReloadStepMs);
    for (int i = 0; i < 6; ++i)
        Link::ProcessMessages();
    for (int p : steps) {
        ShowProgress(p);
        link_.WaitUnlessLost(kReloadStepMs);
        Link::ProcessMessages();
    }
    ShowProgress(lastProgress);
}

void SlotTransfer::reconnect()
{
    if (Broken())
        return;
    state_.link.linkActive = kYes;
    state_.link.outFrame.set(kLinkCommand, {kConnectData});
    link_.SendCommand();
    link_.WaitUnlessLost(100);
    link_.SendCommand();
}

}  // namespace talvo
