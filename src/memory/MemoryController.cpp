#include "memory/MemoryController.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QStringList>

#include "link/Link.h"
#include "link/Transfers.h"
#include "programs/Windows1252.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr int kInUseByte = 11;      // block 1 / record offset of inUse
constexpr int kModeByte = 10;
constexpr std::uint8_t kDeleteCommand = 200;
constexpr std::uint8_t kLinkCommand = 220;
constexpr std::uint8_t kSelectData = 140;
constexpr std::uint8_t kReloadData = 88;
constexpr std::uint8_t kConnectData = 100;
constexpr std::uint8_t kHeaderCommand = 221;
constexpr std::uint8_t kModeCommand = 195;
constexpr int kLockedProgram = 21;
constexpr double kRecallPauseMs = 300;
constexpr double kSavePauseMs = 400;
constexpr double kDeleteWaitMs = 200;
constexpr double kDeleteAllWaitMs = 400;
constexpr double kReloadStepMs = 1000;
// Unanswered exchanges in a row (each after its resend) that mean the amplifier has gone: the
// sequence ends with a message instead of running its whole course against silence.
constexpr int kSilenceLimit = 3;

constexpr std::uint16_t kSubstitutedFrom = 12000;
constexpr std::uint16_t kSubstitutedTo = 12100;

constexpr const char *kMemoryCaption = "Memory Precinct";
constexpr const char *kSaveFileCaption = "Save file";

QString SlotList(const std::vector<int> &numbers)
{
    QStringList parts;
    for (int s : numbers)
        parts << QString::number(s);
    return parts.join(QStringLiteral(", "));
}

QString SlotsWord(const std::vector<int> &numbers)
{
    return numbers.size() == 1 ? QStringLiteral("slot %1").arg(numbers.front())
                             : QStringLiteral("slots %1").arg(SlotList(numbers));
}

int Ceil(double value)
{
    return static_cast<int>(std::ceil(value - 1e-9));
}

bool ExtensionIs(const QString &path, const char *extension)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && path.mid(dot) == QLatin1String(extension);
}

// A name without an extension gets the file kind's own.
QString WithExtension(const QString &path, const char *extension)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QLatin1String(extension) : path;
}

}  // namespace

std::array<std::uint8_t, kNameSize> NameFieldBytes(const QString &text)
{
    return ProgramNameBytes(text);
}

struct MemoryController::Busy {
    MemoryController &c;
    explicit Busy(MemoryController &controller) : c(controller)
    {
        if (c.busyDepth_++ > 0)
            return;
        c.busy_ = true;
        // finish() names a loss together with what it cut short, when there is someone to tell.
        c.link_.SetLossToldByProcedure(bool(c.prompts_.tell));
        c.failure_.clear();
        c.stopCause_.clear();
        c.transferSlot_ = 0;
        c.silentExchanges_ = 0;
        c.unstored_.clear();
        emit c.transferButtonsEnabled(false);
    }
    ~Busy()
    {
        if (--c.busyDepth_ > 0)
            return;
        c.busy_ = false;
        c.link_.SetLossToldByProcedure(false);
        emit c.transferButtonsEnabled(true);
    }
};

MemoryController::MemoryController(AppState &state, Link &link, ProgramApplier &applier, QObject *parent)
    : QObject(parent), state_(state), link_(link), applier_(applier)
{
    memoryImage_ = BlankMemoryImage();
    for (int i = 1; i <= kMemorySlotCount; ++i)
        rows_[i - 1].program = QString::number(i);
    connect(&link_, &Link::portLost, this, [this](const PortFailure &why) {
        if (busy_) {
            failure_ = QStringLiteral("The port was lost during the transfer (%1); the transfer stopped.").arg(why.describe());
            stopCause_ = QStringLiteral("port lost");
        }
    });
}

AmplifierIdentity MemoryController::connectedAmplifier() const
{
    const CommandFrame &f = state_.link.outFrame;
    return {link_.OpenedDevice(), f.address, f.subAddressHigh, f.subAddressLow};
}

void MemoryController::ForgetAmplifier()
{
    owner_.reset();
    slotStates_.fill(SlotState());
    for (int i = 1; i <= kMemorySlotCount; ++i)
        showRow(i, QString::number(i), QString());
    emit amplifierForgotten();
}

void MemoryController::CheckAmplifier()
{
    if (state_.link.linkActive != kYes || (owner_ && *owner_ != connectedAmplifier()))
        ForgetAmplifier();
    else
        owner_ = connectedAmplifier();
}

void MemoryController::SelectRow(int slot)
{
    if (slot < 1 || slot > kMemorySlotCount)
        return;
    currentRow_ = slot;
    emit rowSelected(slot);
}

void MemoryController::showRow(int slot, const QString &program, const QString &name)
{
    if (slot < 1 || slot > kMemorySlotCount)
        return;
    rows_[slot - 1] = {program, name};
    emit slotRowChanged(slot, rows_[slot - 1]);
}

void MemoryController::progress(int percent)
{
    link_.ShowProgress(std::clamp(percent, 0, kProgressStepsMax));
}

void MemoryController::noteAnswer(bool answered)
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

bool MemoryController::sendAcknowledged(double waitMs)
{
    LinkState &s = state_.link;
    s.reply.replyAddress = 0;
    link_.SendCommand();
    link_.WaitUnlessLost(waitMs);
    if (s.reply.replyAddress == 0 && !broken()) {
        link_.SendCommand();
        link_.WaitUnlessLost(waitMs);
    }
    return s.reply.replyAddress != 0;
}

bool MemoryController::sendHeader(const std::array<std::uint8_t, kNameSize> &name, std::uint8_t mode, int target)
{
    CommandFrame &f = state_.link.outFrame;
    f.command = kHeaderCommand;
    f.length = kRecordBlockSize;
    std::copy(name.begin(), name.end(), f.data.begin());
    f.data[10] = mode;
    f.data[11] = 1;
    f.data[12] = static_cast<std::uint8_t>(target);
    f.data[13] = f.data[14] = f.data[15] = 1;
    state_.link.reply.replyAddress = 0;
    link_.SendCommand();
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    return state_.link.reply.replyAddress != 0;
}

// ---- Transfer operations.

SlotState MemoryController::RefreshSlot(int n)
{
    SlotState result;
    if (n < 1 || n > kMemorySlotCount || broken())
        return result;
    ProgramBlock &b1 = state_.link.reply.block(1);
    b1.received = 0;
    b1.bytes.fill(0);
    RequestBlock(link_, 1, n);
    if (b1.received == kYes) {
        link_.WaitUnlessLost(1);
    } else {
        link_.WaitUnlessLost(kMemoryResendWaitMs);
        if (!broken())
            RequestBlock(link_, 1, n);
    }
    const QString number = QString::number(n);
    result.answered = b1.received == kYes;
    if (result.answered) {
        // Rows of another amplifier must not stand beside this one's.
        if (owner_ && *owner_ != connectedAmplifier())
            ForgetAmplifier();
        owner_ = connectedAmplifier();
    }
    showRow(n, number, QString());
    if (result.answered && b1.bytes[kInUseByte] != 0) {
        result.inUse = true;
        result.name = Windows1252ToString(QByteArrayView(reinterpret_cast<const char *>(b1.bytes.data()), kNameSize));
        showRow(n, number + QString::fromUtf8(kProgramMark), result.name);
    }
    slotStates_[n - 1] = result;
    noteAnswer(result.answered);
    return result;
}

bool MemoryController::requestTwice(int k, int n, double pauseMs)
{
    if (broken())
        return false;
    RequestBlock(link_, k, n);
    link_.WaitUnlessLost(pauseMs);
    if (state_.link.reply.block(k).received != kYes && !broken()) {
        RequestBlock(link_, k, n);
        link_.WaitUnlessLost(pauseMs);
    }
    const bool arrived = state_.link.reply.block(k).received == kYes;
    noteAnswer(arrived);
    return arrived;
}

bool MemoryController::takeRecordBlocks()
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

bool MemoryController::ReadSlot(int n, double pauseMs, const std::function<void(int block)> &progress)
{
    for (int k = 1; k <= kRecordBlockCount; ++k)
        state_.link.reply.block(k).received = 0;
    for (int k : {1, 3, 4, 5, 6, 7, 2}) {
        requestTwice(k, n, pauseMs);
        if (broken())
            return false;
        if (progress)
            progress(k);
    }
    return takeRecordBlocks();
}

std::vector<int> MemoryController::WriteRecordBlocks(const RecordImage &record, const std::function<void(int k)> &progress)
{
    std::vector<int> unanswered;
    CommandFrame &f = state_.link.outFrame;
    for (int k = 2; k <= kRecordBlockCount; ++k) {
        if (broken())
            break;
        const RecordBlockBytes block = RecordBlock(record, k);
        f.command = static_cast<std::uint8_t>(220 + k);
        f.length = kRecordBlockSize;
        std::copy(block.begin(), block.end(), f.data.begin());
        // The amplifier has no 12000 Hz: the nearest crossover frequency it knows goes instead.
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
        // Blocks 4 and 7 start with the channel's gain: stored muted at -62.00 dB.
        if ((k == 4 || k == 7) && name_.muteOption == 1) {
            f.data[0] = 62;
            f.data[1] = 0;
            f.data[2] = kSignNegative;
        }
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

bool MemoryController::WriteSlot(int source, int slot)
{
    if (source < 1 || source > kMemorySlotCount || slot < 1 || slot > kMemorySlotCount || broken())
        return false;
    const RecordImage record = memoryImage_[source - 1];
    const QString number = QString::number(slot);
    showRow(slot, rows_[slot - 1].program, QString());
    bool stored = true;
    if (RecordInUse(record)) {
        std::array<std::uint8_t, kNameSize> name{};
        std::copy_n(record.begin(), kNameSize, name.begin());
        showRow(slot, rows_[slot - 1].program, ProgramNameText(name));
        SelectRow(slot);
        showRow(slot, number + QString::fromUtf8(kWritingMark), ProgramNameText(name));
        const bool headerAnswered = sendHeader(name, record[kModeByte], slot);
        noteAnswer(headerAnswered);
        progress(0);
        const std::vector<int> unanswered =
            WriteRecordBlocks(record, [this](int k) { progress(17 * k); });
        stored = headerAnswered && unanswered.empty();
    } else {
        DeleteSlot(slot);
        link_.WaitUnlessLost(kDeleteWaitMs);
        bool answered = state_.link.reply.replyAddress != 0;
        link_.SendCommand();
        link_.WaitUnlessLost(kDeleteWaitMs);
        answered = answered || state_.link.reply.replyAddress != 0;
        // Whether the slot is empty now is for the refresh after it to tell: its 200 ms leave
        // the delete's reply little room.
        noteAnswer(answered);
    }
    progress(0);
    if (!stored)
        unstored_.push_back(slot);
    return stored;
}

void MemoryController::DeleteSlot(int slot)
{
    state_.link.outFrame.set(kDeleteCommand, {static_cast<std::uint8_t>(slot)});
    state_.link.reply.replyAddress = 0;
    link_.SendCommand();
}

void MemoryController::reload(int firstProgress, const std::array<int, 4> &steps, int lastProgress)
{
    if (broken())
        return;
    state_.link.linkActive = kYes;
    state_.link.outFrame.set(kLinkCommand, {kReloadData});
    link_.SendCommand();
    progress(firstProgress);
    link_.WaitUnlessLost(kReloadStepMs);
    for (int i = 0; i < 6; ++i)
        Link::ProcessMessages();
    for (int p : steps) {
        progress(p);
        link_.WaitUnlessLost(kReloadStepMs);
        Link::ProcessMessages();
    }
    progress(lastProgress);
}

void MemoryController::reconnect()
{
    if (broken())
        return;
    state_.link.linkActive = kYes;
    state_.link.outFrame.set(kLinkCommand, {kConnectData});
    link_.SendCommand();
    link_.WaitUnlessLost(100);
    link_.SendCommand();
}

bool MemoryController::RecallProgram(int slot)
{
    progress(0);
    ReplyFields &reply = state_.link.reply;
    for (int k = 1; k <= 8; ++k)
        reply.block(k).received = 0;
    const std::array<int, 6> order{1, 3, 4, 5, 6, 7};
    const std::array<int, 6> steps{5, 10, 15, 20, 25, 30};
    for (std::size_t i = 0; i < order.size(); ++i) {
        requestTwice(order[i], slot, kRecallPauseMs);
        progress(steps[i]);
    }
    // The live gains: from the running program, else from the slot.
    if (!broken()) {
        RequestBlock(link_, 8, kRunningProgram);
        link_.WaitUnlessLost(kRecallPauseMs);
        if (reply.block(8).received != kYes && !broken()) {
            RequestBlock(link_, 8, slot);
            link_.WaitUnlessLost(kRecallPauseMs);
        }
    }
    progress(35);
    requestTwice(2, slot, kRecallPauseMs);
    progress(40);
    if (broken())
        return false;

    state_.link.outFrame.set(kLinkCommand, {kSelectData, static_cast<std::uint8_t>(slot)});
    link_.SendCommand();
    link_.WaitUnlessLost(kRecallPauseMs);
    progress(45);
    reload(50, {55, 60, 70, 80}, 90);
    reconnect();
    if (broken())
        return false;
    RequestStatus(link_);
    link_.WaitUnlessLost(10);
    if (reply.statusBlock().received == kYes)
        state_.currentProgram = reply.statusBlock().bytes[2];
    for (int i = 0; i < 30; ++i) {
        link_.WaitUnlessLost(1);
        Link::ProcessMessages();
    }
    bool applied = false;
    if (!broken() && takeRecordBlocks()) {
        progress(100);
        progress(0);
        state_.link.linkActive = 0;
        applier_.ApplyProgram();
        Link::ProcessMessages();
        Link::ProcessMessages();
        applier_.MuteInput(kLeftChannel);
        applier_.MuteInput(kRightChannel);
        state_.link.linkActive = kYes;
        applied = true;
        emit recalled(slot);
    }
    Close();
    emit closeRequested();
    return applied;
}

void MemoryController::OfferCurrentDownload()
{
    if (state_.link.linkActive != kYes)
        return;
    Busy busy(*this);
    RequestStatus(link_);
    const ProgramBlock &status = state_.link.reply.statusBlock();
    int n = status.received == kYes ? status.bytes[2] : 0;
    n = std::min(n, kLockedProgram);
    if (n == kLockedProgram) {
        state_.link.outFrame.set(kModeCommand, {state_.programBuffer[kModeByte]});
        link_.SendCommand();
        link_.WaitUnlessLost(100);
        prompts_.tell(QStringLiteral("DOWNLOAD PROGRAM"), QStringLiteral("NO.21 PROGRAM Can not be Refresh... "), false);
    } else if (n != 0) {
        if (prompts_.ask(QStringLiteral("DOWNLOAD PROGRAM"), QStringLiteral("Do you Refresh NO.%1 PROGRAM?").arg(n), false))
            DownloadCurrentProgram();
    } else {
        finish(MemoryOutcome(), QStringLiteral("DOWNLOAD PROGRAM"));  // says so if the port went
    }
}

void MemoryController::DownloadCurrentProgram()
{
    Busy busy(*this);
    progress(0);
    name_.muteTicked = true;
    name_.volumeEnabled = false;
    prompts_.askName(name_);
    const auto name = NameFieldBytes(name_.name);
    CommandFrame &f = state_.link.outFrame;
    f.command = kHeaderCommand;
    f.length = kRecordBlockSize;
    std::copy(name.begin(), name.end(), f.data.begin());
    link_.WaitUnlessLost(300);
    f.data[10] = state_.programBuffer[kModeByte];
    f.data[11] = 1;
    f.data[12] = kCurrentProgramSlot;
    f.data[13] = f.data[14] = f.data[15] = 1;
    const bool headerAnswered = sendAcknowledged(kMemoryResendWaitMs);
    noteAnswer(headerAnswered);
    progress(10);
    const std::vector<int> unanswered = WriteRecordBlocks(state_.programBuffer, [this](int k) { progress(5 * k); });
    reload(40, {45, 50, 55, 60}, 70);
    reconnect();
    progress(100);
    Link::ProcessMessages();
    link_.WaitUnlessLost(300);
    progress(100);
    Link::ProcessMessages();
    progress(0);

    MemoryOutcome outcome;
    if (broken()) {
        outcome.ok = false;
        outcome.message = failure_;
    } else if (!headerAnswered || !unanswered.empty()) {
        outcome.ok = false;
        outcome.message = QStringLiteral("The amplifier's current program may not have been stored: %1 got no answer.")
                              .arg(headerAnswered ? QStringLiteral("blocks %1").arg(SlotList(unanswered))
                                                  : QStringLiteral("the header block"));
    }
    finish(outcome, QStringLiteral("DOWNLOAD PROGRAM"));
}

// ---- The buttons.

MemoryOutcome MemoryController::finish(MemoryOutcome outcome, const QString &caption)
{
    if (broken()) {
        // What broke the link says more than what was left undone because of it.
        outcome.ok = false;
        outcome.cancelled = false;
        outcome.message = failure_;
    }
    if (!broken() && !unstored_.empty()) {
        outcome.ok = false;
        outcome.failedSlots.insert(outcome.failedSlots.end(), unstored_.begin(), unstored_.end());
        if (!outcome.message.isEmpty())
            outcome.message += QLatin1Char(' ');
        outcome.message += QStringLiteral("The program in %1 may not have been stored: the amplifier did not answer a "
                                         "block even after it was sent again.")
                              .arg(SlotsWord(unstored_));
    }
    if (!outcome.ok && !outcome.message.isEmpty() && prompts_.tell)
        prompts_.tell(caption.isEmpty() ? QString::fromLatin1(kMemoryCaption) : caption, outcome.message, true);
    return outcome;
}

MemoryOutcome MemoryController::notConnected()
{
    MemoryOutcome outcome;
    outcome.ok = false;
    outcome.message = QStringLiteral("No amplifier is connected.");
    return outcome;
}

SlotState MemoryController::refreshBareRow(int slot)
{
    progress(0);
    showRow(slot, QString::number(slot), QString());
    return RefreshSlot(slot);
}

MemoryOutcome MemoryController::Refresh()
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    refreshIndex_ = 1;
    progress(0);
    for (int i = 1; i <= kMemorySlotCount; ++i)
        showRow(i, QString::number(i), QString());
    std::vector<int> silent;
    while (refreshIndex_ < 21) {
        link_.WaitUnlessLost(40);
        Link::ProcessMessages();
        // OK or closing the window during the wait ends the loop here.
        if (refreshIndex_ >= 21 || broken())
            break;
        // The slot it is at is read to its end even when OK comes meanwhile.
        const int n = refreshIndex_;
        SelectRow(n);
        if (!RefreshSlot(n).answered && !broken())
            silent.push_back(n);
        Link::ProcessMessages();
        refreshIndex_ = refreshIndex_ + 1;
        progress(Ceil(4.5 * refreshIndex_));
    }
    progress(100);
    progress(0);
    MemoryOutcome outcome;
    if (!silent.empty() && !broken()) {
        outcome.ok = false;
        outcome.failedSlots = silent;
        outcome.message = QStringLiteral("No answer for %1; the list may be incomplete.").arg(SlotsWord(silent));
    }
    return finish(outcome);
}

MemoryOutcome MemoryController::Upload(int slot)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    MemoryOutcome outcome;
    const SlotState st = refreshBareRow(slot);
    if (st.inUse) {
        bool recall = state_.currentProgram == slot;
        if (!recall)
            recall = prompts_.ask(QStringLiteral("Upload"), QStringLiteral("Do you Refresh Amplifier and interface?"), false);
        if (!recall) {
            outcome.cancelled = true;
        } else if (!RecallProgram(slot) && !broken()) {
            outcome.ok = false;
            outcome.failedSlots = {slot};
            outcome.message = QStringLiteral("Program %1 did not arrive whole; the editors were not changed.").arg(slot);
        }
    } else if (!st.answered && !broken()) {
        outcome.ok = false;
        outcome.failedSlots = {slot};
        outcome.message = QStringLiteral("No answer for slot %1.").arg(slot);
    }
    progress(100);
    progress(0);
    return finish(outcome, QStringLiteral("Upload"));
}

MemoryOutcome MemoryController::FileDown(const QString &path)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    const int row = currentRow_;
    const MemoryOutcome outcome = fileDownSteps(path);
    if (outcome.cancelled)
        return outcome;
    if (ExtensionIs(path, kProgramFileExtension))
        showDone(programWriteText(outcome, QStringLiteral("File Down"), row,
                                  QStringLiteral("Wrote %1 to slot %2").arg(path).arg(row)));
    else
        showDone(restoreText(outcome, path));
    return outcome;
}

MemoryOutcome MemoryController::fileDownSteps(const QString &path)
{
    MemoryOutcome outcome;
    const int row = currentRow_;
    if (!ExtensionIs(path, kProgramFileExtension)) {
        MemoryImage image;
        const FileResult read = ReadCheckedMemoryFile(path, image);
        if (!read) {
            // Nothing goes to the amplifier from a file that is not a whole memory file, or
            // that holds a value no editor produces.
            outcome.ok = false;
            outcome.message = read.message;
        } else {
            outcome = writeMemorySteps(image);
        }
    } else {
        RecordImage record;
        const FileResult read = ReadCheckedRecordFile(path, record);
        if (!read) {
            outcome.ok = false;
            outcome.message = read.message;
        } else if (!RecordInUse(record)) {
            outcome.ok = false;
            outcome.message = QStringLiteral("%1 holds a blank program; nothing was written.").arg(path);
        } else {
            name_.nameAccepted = 0;
            name_.volumeEnabled = true;
            name_.name = ReadProgramName(path);
            prompts_.askName(name_);
            if (name_.nameAccepted == kYes)
                writeRecordSteps(record, row);
            else
                outcome.cancelled = true;
            RefreshSlot(row);
        }
    }
    if (!path.isEmpty()) {
        link_.WaitUnlessLost(30);
        Link::ProcessMessages();
        // The row current now: after a memory file, the last one written (20).
        RefreshSlot(currentRow_);
        progress(0);
    }
    return finish(outcome, QStringLiteral("File Down"));
}

void MemoryController::writeRecordSteps(RecordImage record, int slot)
{
    const auto name = NameFieldBytes(name_.name);
    showRow(slot, rows_[slot - 1].program, ProgramNameText(name));
    std::copy(name.begin(), name.end(), record.begin());
    memoryImage_[0] = record;
    WriteSlot(1, slot);
}

MemoryOutcome MemoryController::WriteProgramRecord(const RecordImage &record, int slot)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    if (slot < 1 || slot > kMemorySlotCount || !RecordInUse(record)) {
        MemoryOutcome refused;
        refused.ok = false;
        refused.message = QStringLiteral("nothing to write");
        return refused;
    }
    Busy busy(*this);
    SelectRow(slot);
    writeRecordSteps(record, slot);
    link_.WaitUnlessLost(30);
    Link::ProcessMessages();
    RefreshSlot(slot);
    progress(0);
    return finish(MemoryOutcome());
}

MemoryOutcome MemoryController::writeMemorySteps(const MemoryImage &image)
{
    memoryImage_ = image;
    std::vector<int> notDeleted;
    for (int i = 1; i <= kMemorySlotCount && !broken(); ++i) {
        transferSlot_ = i;
        SelectRow(i);
        WriteSlot(i, i);
        const SlotState after = RefreshSlot(i);
        if (!RecordInUse(image[i - 1]) && (after.inUse || !after.answered) && !broken())
            notDeleted.push_back(i);
    }
    MemoryOutcome outcome;
    if (!notDeleted.empty()) {
        outcome.ok = false;
        outcome.failedSlots = notDeleted;
        outcome.message = QStringLiteral("The file has no program for %1, but it may not have been deleted.")
                              .arg(SlotsWord(notDeleted));
    }
    return outcome;
}

MemoryOutcome MemoryController::WriteMemory(const MemoryImage &image)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    const MemoryOutcome outcome = finish(writeMemorySteps(image), QStringLiteral("File Down"));
    showDone(restoreText(outcome, QString()));
    return outcome;
}

MemoryOutcome MemoryController::SetupDown()
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    const int r = currentRow_;
    const MemoryOutcome outcome = setupDownSteps();
    if (!outcome.cancelled)
        showDone(programWriteText(outcome, QStringLiteral("Setup Down"), r,
                                  QStringLiteral("Wrote the editors' program to slot %1").arg(r)));
    return outcome;
}

MemoryOutcome MemoryController::setupDownSteps()
{
    MemoryOutcome outcome;
    const int r = currentRow_;
    if (gather_)
        gather_();
    // The editors hold what a file or the amplifier gave them; a value no editor produces
    // (one the amplifier's own program held) is not written into memory.
    if (const std::optional<RecordFault> fault = CheckRecordValues(state_.gatherBuffer)) {
        outcome.ok = false;
        outcome.message = QStringLiteral("The program in the editors is refused: %1. Nothing was written into slot %2.")
                              .arg(fault->text())
                              .arg(r);
        return finish(outcome, QStringLiteral("Setup Down"));
    }
    name_.nameAccepted = 0;
    name_.volumeEnabled = true;
    prompts_.askName(name_);
    if (name_.nameAccepted == kYes) {
        const auto name = NameFieldBytes(name_.name);
        showRow(r, QString::number(r) + QString::fromUtf8(kWritingMark), ProgramNameText(name));
        const RecordImage record = state_.gatherBuffer;
        const bool headerAnswered = sendHeader(name, record[kModeByte], r);
        noteAnswer(headerAnswered);
        progress(0);
        const std::vector<int> unanswered = WriteRecordBlocks(record, [this](int k) { progress(14 * k); });
        progress(100);
        link_.WaitUnlessLost(10);
        progress(0);
        if (!headerAnswered || !unanswered.empty())
            unstored_.push_back(r);
    } else {
        outcome.cancelled = true;
    }
    RefreshSlot(r);
    return finish(outcome, QStringLiteral("Setup Down"));
}

MemoryOutcome MemoryController::Delete(int slot)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    MemoryOutcome outcome;
    if (!refreshBareRow(slot).inUse)
        return finish(outcome);
    if (!prompts_.ask(QStringLiteral("Delete program"), QStringLiteral("Delete this program?"), true)) {
        outcome.cancelled = true;
        return finish(outcome);
    }
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    DeleteSlot(slot);
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    const SlotState after = RefreshSlot(slot);
    if ((after.inUse || !after.answered) && !broken()) {
        outcome.ok = false;
        outcome.failedSlots = {slot};
        outcome.message = QStringLiteral("Slot %1 may not have been deleted.").arg(slot);
    }
    return finish(outcome, QStringLiteral("Delete program"));
}

MemoryOutcome MemoryController::DeleteAll()
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    MemoryOutcome outcome;
    if (!prompts_.ask(QStringLiteral("Delete program"), QStringLiteral("Delete all program?"), true)) {
        outcome.cancelled = true;
        return finish(outcome);
    }
    progress(0);
    std::vector<int> kept;
    for (int i = 1; i <= kMemorySlotCount && !broken(); ++i) {
        progress(Ceil(4.8 * i));
        SelectRow(i);
        DeleteSlot(i);
        link_.WaitUnlessLost(kDeleteAllWaitMs);
        if (state_.link.reply.replyAddress == 0) {
            link_.SendCommand();
            link_.WaitUnlessLost(kDeleteAllWaitMs);
        }
        const SlotState after = RefreshSlot(i);
        if (after.inUse || !after.answered)
            kept.push_back(i);
        link_.WaitUnlessLost(300);
        link_.WaitUnlessLost(50);
        Link::ProcessMessages();
    }
    progress(0);
    if (!kept.empty() && !broken()) {
        outcome.ok = false;
        outcome.failedSlots = kept;
        outcome.message = QStringLiteral("%1 may not have been deleted.").arg(SlotsWord(kept));
        outcome.message[0] = outcome.message[0].toUpper();
    }
    return finish(outcome, QStringLiteral("Delete program"));
}

bool MemoryController::confirmOverwrite(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    return prompts_.ask(QString::fromLatin1(kSaveFileCaption), path + QStringLiteral(" already exist, Overwrite this file?"),
                        true);
}

bool MemoryController::readForSave(int slot)
{
    static const int kSaveProgress[8] = {0, 15, 90, 30, 45, 60, 70, 80};  // by block number
    const bool ok = ReadSlot(slot, kSavePauseMs, [this](int k) { progress(kSaveProgress[k]); });
    if (broken())
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

MemoryOutcome MemoryController::SaveSlot(int slot, const QString &chosenPath)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    MemoryOutcome outcome;
    const QString path = WithExtension(chosenPath, kProgramFileExtension);
    const SlotState st = RefreshSlot(slot);
    if (!st.answered) {
        outcome.ok = false;
        outcome.failedSlots = {slot};
        outcome.message = QStringLiteral("No answer for slot %1; %2 was not written.").arg(slot).arg(path);
        return finish(outcome, QString::fromLatin1(kSaveFileCaption));
    }
    if (!st.inUse) {
        prompts_.tell(QStringLiteral("Save file..."), QStringLiteral("This Program is blank."), false);
        outcome.ok = false;
        outcome.failedSlots = {slot};
        return finish(outcome);
    }
    if (!confirmOverwrite(path)) {
        outcome.cancelled = true;
        return finish(outcome);
    }
    // Read first: the file is written only once every block arrived, and then whole.
    const bool read = readForSave(slot);
    if (read) {
        const FileResult written = WriteRecordFile(path, state_.programBuffer);
        if (!written) {
            outcome.ok = false;
            outcome.message = written.message;
        }
    } else if (!broken()) {
        outcome.ok = false;
        outcome.failedSlots = {slot};
        outcome.message = QStringLiteral("Program %1 did not arrive whole; %2 was not written.").arg(slot).arg(path);
    }
    progress(100);
    progress(0);
    return finish(outcome, QString::fromLatin1(kSaveFileCaption));
}

MemoryOutcome MemoryController::readMemorySteps(MemoryImage &image)
{
    MemoryOutcome outcome;
    image = BlankMemoryImage();
    for (int i = 1; i <= kMemorySlotCount && !broken(); ++i) {
        transferSlot_ = i;
        SelectRow(i);
        const SlotState st = RefreshSlot(i);
        if (!st.answered) {
            outcome.failedSlots.push_back(i);
        } else if (st.inUse) {
            if (readForSave(i))
                image[i - 1] = state_.programBuffer;
            else
                outcome.failedSlots.push_back(i);
            progress(100);
            progress(0);
        }
    }
    if (!outcome.failedSlots.empty()) {
        outcome.ok = false;
        outcome.message = QStringLiteral("The program in %1 did not arrive whole.").arg(SlotsWord(outcome.failedSlots));
    }
    return outcome;
}

MemoryOutcome MemoryController::ReadMemory(MemoryImage &image)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    return finish(readMemorySteps(image));
}

MemoryOutcome MemoryController::SaveMemory(const QString &chosenPath, std::optional<bool> saveAnyway)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    Busy busy(*this);
    const QString path = WithExtension(chosenPath, kMemoryFileExtension);
    const MemoryOutcome outcome = saveMemorySteps(path, saveAnyway);
    if (outcome.cancelled)
        return outcome;
    if (broken()) {
        showDone(stoppedText(QStringLiteral("Backup")) + QStringLiteral("; %1 was not written").arg(path));
    } else if (outcome.ok) {
        QString text = QStringLiteral("Saved %1 slots to %2").arg(kMemorySlotCount).arg(path);
        if (!outcome.failedSlots.empty())
            text += QStringLiteral("; %1 did not arrive (blank in the file)").arg(SlotsWord(outcome.failedSlots));
        showDone(text);
    } else {
        showDone(QStringLiteral("Backup failed: ") + outcome.message);
    }
    return outcome;
}

MemoryOutcome MemoryController::saveMemorySteps(const QString &path, std::optional<bool> saveAnyway)
{
    MemoryOutcome outcome;
    if (!confirmOverwrite(path)) {
        outcome.cancelled = true;
        return finish(outcome);
    }
    MemoryImage image;
    outcome = readMemorySteps(image);
    if (broken())
        return finish(outcome, QString::fromLatin1(kSaveFileCaption));
    if (!outcome.ok) {
        // A slot that held a program must not turn into a blank record without a word.
        const QString question = outcome.message +
                                 QStringLiteral(" Save the other slots anyway? (%1 would be blank in the file)")
                                     .arg(SlotsWord(outcome.failedSlots));
        const bool rest = saveAnyway ? *saveAnyway : prompts_.ask(QString::fromLatin1(kSaveFileCaption), question, true);
        if (!rest) {
            outcome.message += QStringLiteral(" %1 was not written.").arg(path);
            return finish(outcome, QString::fromLatin1(kSaveFileCaption));
        }
        outcome.ok = true;  // the operator chose to keep the rest
        outcome.message.clear();
    }
    const FileResult written = WriteMemoryFile(path, image);
    if (!written) {
        outcome.ok = false;
        outcome.message = written.message;
    }
    return finish(outcome, QString::fromLatin1(kSaveFileCaption));
}

void MemoryController::showDone(const QString &text)
{
    link_.ShowStatus(kMemoryStatusPanel, text);
}

QString MemoryController::stoppedText(const QString &what) const
{
    return QStringLiteral("%1 stopped at slot %2: %3").arg(what).arg(transferSlot_).arg(stopCause_);
}

QString MemoryController::restoreText(const MemoryOutcome &outcome, const QString &path) const
{
    if (broken()) {
        // The slot it was at may be half written; the ones before it were written whole.
        const int whole = transferSlot_ - 1;
        const QString written = whole <= 0 ? QStringLiteral("nothing written")
                                : whole == 1 ? QStringLiteral("slot 1 written")
                                             : QStringLiteral("slots 1\u2013%1 written").arg(whole);
        return stoppedText(QStringLiteral("Restore")) + QStringLiteral("; ") + written;
    }
    if (outcome.ok)
        return path.isEmpty() ? QStringLiteral("Restored %1 slots").arg(kMemorySlotCount)
                              : QStringLiteral("Restored %1 slots from %2").arg(kMemorySlotCount).arg(path);
    return QStringLiteral("Restore failed: ") + outcome.message;
}

QString MemoryController::programWriteText(const MemoryOutcome &outcome, const QString &operation, int slot,
                                           const QString &done) const
{
    if (broken())
        return QStringLiteral("%1 stopped: %2; slot %3 may not have been stored").arg(operation, stopCause_).arg(slot);
    return outcome.ok ? done : QStringLiteral("%1 failed: ").arg(operation) + outcome.message;
}

void MemoryController::Close()
{
    refreshIndex_ = kRefreshStopped;
    progress(0);
}

QString MemoryController::CurrentProgramLabel() const
{
    const int p = state_.currentProgram;
    return p >= 1 && p <= kLockedProgram ? QStringLiteral("Amplifier current Program is NO.%1").arg(p) : QString();
}

}  // namespace talvo
