#include "memory/MemoryController.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QStringList>

#include "link/Link.h"
#include "programs/Windows1252.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

constexpr int kLockedProgram = 21;
constexpr double kDeleteAllWaitMs = 400;

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

MemoryOutcome Failed(const QString &message)
{
    MemoryOutcome outcome;
    outcome.ok = false;
    outcome.message = message;
    return outcome;
}

}  // namespace

std::array<std::uint8_t, kNameSize> NameFieldBytes(const QString &text)
{
    return ProgramNameBytes(text);
}

// One sequence: the transfer buttons off while it runs, and the watch over the transfer and the
// slots left unstored begun afresh. While another sequence runs it does nothing (began() is
// false) and the caller does nothing either.
class MemoryController::Sequence {
public:
    explicit Sequence(MemoryController &controller) : c_(controller), began_(controller.run_.Begin())
    {
        if (!began_)
            return;
        // finish() names a loss together with what it cut short, when there is someone to tell.
        c_.link_.SetLossToldByProcedure(bool(c_.prompts_.tell));
        c_.transfer_.Begin();
        c_.transferSlot_ = 0;
        c_.unstored_.clear();
        emit c_.transferButtonsEnabled(false);
    }
    ~Sequence()
    {
        if (!began_)
            return;
        c_.run_.End();
        c_.link_.SetLossToldByProcedure(false);
        emit c_.transferButtonsEnabled(true);
    }
    Sequence(const Sequence &) = delete;
    Sequence &operator=(const Sequence &) = delete;
    bool began() const { return began_; }

private:
    MemoryController &c_;
    const bool began_;
};

MemoryController::MemoryController(AppState &state, Link &link, ProgramApplier &applier, QObject *parent)
    : QObject(parent), state_(state), link_(link), applier_(applier), transfer_(state, link), run_(link)
{
    memoryImage_ = BlankMemoryImage();
    for (int i = 1; i <= kMemorySlotCount; ++i)
        rows_[i - 1].program = QString::number(i);
    connect(&link_, &Link::portLost, this, [this](const PortFailure &why) {
        if (run_.IsRunning())
            transfer_.NotePortLost(why);
    });
}

// ---- The grid and the amplifier it speaks of.

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

// ---- Transfer operations.

SlotState MemoryController::RefreshSlot(int n)
{
    if (n < 1 || n > kMemorySlotCount || broken())
        return SlotState();
    const SlotState result = transfer_.ReadState(n);
    if (result.answered) {
        // Rows of another amplifier must not stand beside this one's.
        if (owner_ && *owner_ != connectedAmplifier())
            ForgetAmplifier();
        owner_ = connectedAmplifier();
    }
    const QString number = QString::number(n);
    showRow(n, number, QString());
    if (result.inUse)
        showRow(n, number + QString::fromUtf8(kProgramMark), result.name);
    slotStates_[n - 1] = result;
    return result;
}

bool MemoryController::ReadSlot(int n, double pauseMs, const std::function<void(int block)> &progress)
{
    return transfer_.ReadSlot(n, pauseMs, progress);
}

std::vector<int> MemoryController::WriteRecordBlocks(const RecordImage &record, const std::function<void(int k)> &progress)
{
    return transfer_.WriteRecordBlocks(record, muted(), progress);
}

bool MemoryController::WriteSlot(int source, int slot)
{
    if (source < 1 || source > kMemorySlotCount || slot < 1 || slot > kMemorySlotCount || broken())
        return false;
    const RecordImage record = memoryImage_[source - 1];
    showRow(slot, rows_[slot - 1].program, QString());
    bool stored = true;
    if (RecordInUse(record)) {
        std::array<std::uint8_t, kNameSize> name{};
        std::copy_n(record.begin(), kNameSize, name.begin());
        showRow(slot, rows_[slot - 1].program, ProgramNameText(name));
        SelectRow(slot);
        showRow(slot, QString::number(slot) + QString::fromUtf8(kWritingMark), ProgramNameText(name));
        stored = transfer_.WriteProgram(name, record, slot, muted(), 17).stored();
    } else {
        transfer_.DeleteSlotTwice(slot);
    }
    progress(0);
    if (!stored)
        unstored_.push_back(slot);
    return stored;
}

void MemoryController::DeleteSlot(int slot)
{
    transfer_.DeleteSlot(slot);
}

bool MemoryController::RecallProgram(int slot)
{
    const RecallEnd end = transfer_.Recall(slot);
    if (end == RecallEnd::CutShort)
        return false;
    if (end == RecallEnd::Whole)
        applyRecalled(slot);
    Close();
    emit closeRequested();
    return end == RecallEnd::Whole;
}

void MemoryController::applyRecalled(int slot)
{
    progress(100);
    progress(0);
    state_.link.linkActive = 0;
    applier_.ApplyProgram();
    Link::ProcessMessages();
    Link::ProcessMessages();
    applier_.MuteInput(kLeftChannel);
    applier_.MuteInput(kRightChannel);
    state_.link.linkActive = kYes;
    emit recalled(slot);
}

void MemoryController::OfferCurrentDownload()
{
    if (state_.link.linkActive != kYes)
        return;
    const Sequence sequence(*this);
    if (!sequence.began())
        return;
    const int n = std::min(transfer_.RunningProgram(), kLockedProgram);
    if (n == kLockedProgram) {
        transfer_.SendModeOf(state_.programBuffer);
        prompts_.tell(QStringLiteral("DOWNLOAD PROGRAM"), QStringLiteral("NO.21 PROGRAM Can not be Refresh... "), false);
    } else if (n != 0) {
        if (prompts_.ask(QStringLiteral("DOWNLOAD PROGRAM"), QStringLiteral("Do you Refresh NO.%1 PROGRAM?").arg(n), false))
            downloadSteps();
    } else {
        finish(MemoryOutcome(), QStringLiteral("DOWNLOAD PROGRAM"));  // says so if the port went
    }
}

void MemoryController::DownloadCurrentProgram()
{
    const Sequence sequence(*this);
    if (sequence.began())
        downloadSteps();
}

void MemoryController::downloadSteps()
{
    progress(0);
    name_.muteTicked = true;
    name_.volumeEnabled = false;
    prompts_.askName(name_);
    const WriteAnswers answers = transfer_.DownloadCurrent(NameFieldBytes(name_.name), state_.programBuffer, muted());
    MemoryOutcome outcome;
    if (broken()) {
        outcome = Failed(transfer_.Failure());
    } else if (!answers.stored()) {
        outcome = Failed(QStringLiteral("The amplifier's current program may not have been stored: %1 got no answer.")
                             .arg(answers.header ? QStringLiteral("blocks %1").arg(SlotList(answers.unanswered))
                                                 : QStringLiteral("the header block")));
    }
    finish(outcome, QStringLiteral("DOWNLOAD PROGRAM"));
}

// ---- The buttons.

MemoryOutcome MemoryController::runConnected(const std::function<MemoryOutcome()> &steps)
{
    if (state_.link.linkActive != kYes)
        return finish(notConnected());
    const Sequence sequence(*this);
    if (!sequence.began())
        return Failed(QStringLiteral("Another memory transfer is running; nothing was sent."));
    return steps();
}

MemoryOutcome MemoryController::finish(MemoryOutcome outcome, const QString &caption)
{
    if (broken()) {
        // What broke the link says more than what was left undone because of it.
        outcome.ok = false;
        outcome.cancelled = false;
        outcome.message = transfer_.Failure();
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
    return Failed(QStringLiteral("No amplifier is connected."));
}

SlotState MemoryController::refreshBareRow(int slot)
{
    progress(0);
    showRow(slot, QString::number(slot), QString());
    return RefreshSlot(slot);
}

MemoryOutcome MemoryController::Refresh()
{
    return runConnected([this] { return refreshSteps(); });
}

MemoryOutcome MemoryController::refreshSteps()
{
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
        outcome = Failed(QStringLiteral("No answer for %1; the list may be incomplete.").arg(SlotsWord(silent)));
        outcome.failedSlots = silent;
    }
    return finish(outcome);
}

MemoryOutcome MemoryController::Upload(int slot)
{
    return runConnected([this, slot] { return uploadSteps(slot); });
}

MemoryOutcome MemoryController::uploadSteps(int slot)
{
    MemoryOutcome outcome;
    const SlotState st = refreshBareRow(slot);
    if (st.inUse) {
        bool recall = state_.currentProgram == slot;
        if (!recall)
            recall = prompts_.ask(QStringLiteral("Upload"), QStringLiteral("Do you Refresh Amplifier and interface?"), false);
        if (!recall) {
            outcome.cancelled = true;
        } else if (!RecallProgram(slot) && !broken()) {
            outcome = Failed(QStringLiteral("Program %1 did not arrive whole; the editors were not changed.").arg(slot));
            outcome.failedSlots = {slot};
        }
    } else if (!st.answered && !broken()) {
        outcome = Failed(QStringLiteral("No answer for slot %1.").arg(slot));
        outcome.failedSlots = {slot};
    }
    progress(100);
    progress(0);
    return finish(outcome, QStringLiteral("Upload"));
}

MemoryOutcome MemoryController::FileDown(const QString &path)
{
    return runConnected([this, &path] {
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
    });
}

MemoryOutcome MemoryController::fileDownSteps(const QString &path)
{
    const MemoryOutcome outcome =
        ExtensionIs(path, kProgramFileExtension) ? programFileDown(path) : memoryFileDown(path);
    if (!path.isEmpty()) {
        link_.WaitUnlessLost(30);
        Link::ProcessMessages();
        // The row current now: after a memory file, the last one written (20).
        RefreshSlot(currentRow_);
        progress(0);
    }
    return finish(outcome, QStringLiteral("File Down"));
}

MemoryOutcome MemoryController::memoryFileDown(const QString &path)
{
    MemoryImage image;
    const FileResult read = ReadCheckedMemoryFile(path, image);
    // Nothing goes to the amplifier from a file that is not a whole memory file, or that holds
    // a value no editor produces.
    if (!read)
        return Failed(read.message);
    return writeMemorySteps(image);
}

MemoryOutcome MemoryController::programFileDown(const QString &path)
{
    const int row = currentRow_;
    RecordImage record;
    const FileResult read = ReadCheckedRecordFile(path, record);
    if (!read)
        return Failed(read.message);
    if (!RecordInUse(record))
        return Failed(QStringLiteral("%1 holds a blank program; nothing was written.").arg(path));
    MemoryOutcome outcome;
    name_.nameAccepted = 0;
    name_.volumeEnabled = true;
    name_.name = ReadProgramName(path);
    prompts_.askName(name_);
    if (name_.nameAccepted == kYes)
        writeRecordSteps(record, row);
    else
        outcome.cancelled = true;
    RefreshSlot(row);
    return outcome;
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
    if (state_.link.linkActive == kYes && (slot < 1 || slot > kMemorySlotCount || !RecordInUse(record)))
        return Failed(QStringLiteral("nothing to write"));
    return runConnected([&] {
        SelectRow(slot);
        writeRecordSteps(record, slot);
        link_.WaitUnlessLost(30);
        Link::ProcessMessages();
        RefreshSlot(slot);
        progress(0);
        return finish(MemoryOutcome());
    });
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
        outcome = Failed(QStringLiteral("The file has no program for %1, but it may not have been deleted.")
                             .arg(SlotsWord(notDeleted)));
        outcome.failedSlots = notDeleted;
    }
    return outcome;
}

MemoryOutcome MemoryController::WriteMemory(const MemoryImage &image)
{
    return runConnected([this, &image] {
        const MemoryOutcome outcome = finish(writeMemorySteps(image), QStringLiteral("File Down"));
        showDone(restoreText(outcome, QString()));
        return outcome;
    });
}

MemoryOutcome MemoryController::SetupDown()
{
    return runConnected([this] {
        const int r = currentRow_;
        const MemoryOutcome outcome = setupDownSteps();
        if (!outcome.cancelled)
            showDone(programWriteText(outcome, QStringLiteral("Setup Down"), r,
                                      QStringLiteral("Wrote the editors' program to slot %1").arg(r)));
        return outcome;
    });
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
        outcome = Failed(QStringLiteral("The program in the editors is refused: %1. Nothing was written into slot %2.")
                             .arg(fault->text())
                             .arg(r));
        return finish(outcome, QStringLiteral("Setup Down"));
    }
    name_.nameAccepted = 0;
    name_.volumeEnabled = true;
    prompts_.askName(name_);
    if (name_.nameAccepted == kYes) {
        const auto name = NameFieldBytes(name_.name);
        showRow(r, QString::number(r) + QString::fromUtf8(kWritingMark), ProgramNameText(name));
        const RecordImage record = state_.gatherBuffer;
        const WriteAnswers answers = transfer_.WriteProgram(name, record, r, muted(), 14);
        progress(100);
        link_.WaitUnlessLost(10);
        progress(0);
        if (!answers.stored())
            unstored_.push_back(r);
    } else {
        outcome.cancelled = true;
    }
    RefreshSlot(r);
    return finish(outcome, QStringLiteral("Setup Down"));
}

MemoryOutcome MemoryController::Delete(int slot)
{
    return runConnected([this, slot] { return deleteSteps(slot); });
}

MemoryOutcome MemoryController::deleteSteps(int slot)
{
    MemoryOutcome outcome;
    if (!refreshBareRow(slot).inUse)
        return finish(outcome);
    if (!prompts_.ask(QStringLiteral("Delete program"), QStringLiteral("Delete this program?"), true)) {
        outcome.cancelled = true;
        return finish(outcome);
    }
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    transfer_.DeleteSlot(slot);
    link_.WaitUnlessLost(kMemoryResendWaitMs);
    const SlotState after = RefreshSlot(slot);
    if ((after.inUse || !after.answered) && !broken()) {
        outcome = Failed(QStringLiteral("Slot %1 may not have been deleted.").arg(slot));
        outcome.failedSlots = {slot};
    }
    return finish(outcome, QStringLiteral("Delete program"));
}

MemoryOutcome MemoryController::DeleteAll()
{
    return runConnected([this] { return deleteAllSteps(); });
}

MemoryOutcome MemoryController::deleteAllSteps()
{
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
        transfer_.DeleteSlotAnswered(i, kDeleteAllWaitMs);
        const SlotState after = RefreshSlot(i);
        if (after.inUse || !after.answered)
            kept.push_back(i);
        link_.WaitUnlessLost(300);
        link_.WaitUnlessLost(50);
        Link::ProcessMessages();
    }
    progress(0);
    if (!kept.empty() && !broken()) {
        outcome = Failed(QStringLiteral("%1 may not have been deleted.").arg(SlotsWord(kept)));
        outcome.message[0] = outcome.message[0].toUpper();
        outcome.failedSlots = kept;
    }
    return finish(outcome, QStringLiteral("Delete program"));
}

// ---- Save, and the backup of the whole memory.

bool MemoryController::confirmOverwrite(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    return prompts_.ask(QString::fromLatin1(kSaveFileCaption), path + QStringLiteral(" already exist, Overwrite this file?"),
                        true);
}

MemoryOutcome MemoryController::SaveSlot(int slot, const QString &chosenPath)
{
    return runConnected([this, slot, &chosenPath] {
        return saveSlotSteps(slot, WithExtension(chosenPath, kProgramFileExtension));
    });
}

MemoryOutcome MemoryController::saveSlotSteps(int slot, const QString &path)
{
    MemoryOutcome outcome;
    const SlotState st = RefreshSlot(slot);
    if (!st.answered) {
        outcome = Failed(QStringLiteral("No answer for slot %1; %2 was not written.").arg(slot).arg(path));
        outcome.failedSlots = {slot};
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
    if (transfer_.ReadForSave(slot)) {
        const FileResult written = WriteRecordFile(path, state_.programBuffer);
        if (!written)
            outcome = Failed(written.message);
    } else if (!broken()) {
        outcome = Failed(QStringLiteral("Program %1 did not arrive whole; %2 was not written.").arg(slot).arg(path));
        outcome.failedSlots = {slot};
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
            if (transfer_.ReadForSave(i))
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
    return runConnected([this, &image] { return finish(readMemorySteps(image)); });
}

MemoryOutcome MemoryController::SaveMemory(const QString &chosenPath, std::optional<bool> saveAnyway)
{
    return runConnected([this, &chosenPath, saveAnyway] {
        const QString path = WithExtension(chosenPath, kMemoryFileExtension);
        const MemoryOutcome outcome = saveMemorySteps(path, saveAnyway);
        if (!outcome.cancelled)
            showDone(backupText(outcome, path));
        return outcome;
    });
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

// ---- What a finished transfer says on the status bar.

void MemoryController::showDone(const QString &text)
{
    link_.ShowStatus(kMemoryStatusPanel, text);
}

QString MemoryController::stoppedText(const QString &what) const
{
    return QStringLiteral("%1 stopped at slot %2: %3").arg(what).arg(transferSlot_).arg(transfer_.StopCause());
}

QString MemoryController::backupText(const MemoryOutcome &outcome, const QString &path) const
{
    if (broken())
        return stoppedText(QStringLiteral("Backup")) + QStringLiteral("; %1 was not written").arg(path);
    if (!outcome.ok)
        return QStringLiteral("Backup failed: ") + outcome.message;
    QString text = QStringLiteral("Saved %1 slots to %2").arg(kMemorySlotCount).arg(path);
    if (!outcome.failedSlots.empty())
        text += QStringLiteral("; %1 did not arrive (blank in the file)").arg(SlotsWord(outcome.failedSlots));
    return text;
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
        return QStringLiteral("%1 stopped: %2; slot %3 may not have been stored")
            .arg(operation, transfer_.StopCause())
            .arg(slot);
    return outcome.ok ? done : QStringLiteral("%1 failed: ").arg(operation) + outcome.message;
}

// ---- The window.

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
