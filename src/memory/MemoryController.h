#pragma once
// The amplifier's program memory as the memory window and talvoctl memory see it, free of
// widgets: the twenty slots' grid, the window's button sequences (Refresh, Upload, File Down,
// Setup Down, Delete, Delete All, Save, and the backup and restore of the whole memory), and
// the download of the opened program into the amplifier's current program after New and Open.
// The frames, waits and resends of each slot transfer are SlotTransfer's.
//
// Everything runs on the main thread as a sequence of requests and timed waits (the event
// loop keeps running inside every wait, so a window stays responsive and can stop a Refresh).
// One sequence runs at a time. What a window shows comes out as signals (the grid rows, the
// selected row, the transfer buttons) and through the Link's progressChanged (the progress
// bar). Questions and notices go through MemoryPrompts, which the window answers with message
// boxes and dialogs, talvoctl from its arguments, and the tests from their script.
//
// Beyond the plain sequences, three things are watched so that nothing is lost in silence:
// a slot read that did not arrive whole is never written into a file as if it were blank; a
// written block that got no answer even after its resend is reported by slot; and a port lost
// (or an amplifier that stops answering) in the middle of a transfer ends it at once with a
// message, without a partial file.

#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "link/ProcedureRun.h"
#include "memory/MemoryFile.h"
#include "memory/SlotTransfer.h"
#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class Link;
class ProgramApplier;

inline constexpr int kRefreshStopped = 100;  // refreshIndex once OK or closing ends a Refresh

// The status-bar panel where a backup, a restore, File Down and Setup Down say what they did.
inline constexpr int kMemoryStatusPanel = 1;

inline constexpr const char *kProgramMark = "[√]";
inline constexpr const char *kWritingMark = "[▽]";
inline constexpr const char *kDefaultProgramName = "Memory123";

// The program-name dialog's state: what it shows and what it left the last time.
struct ProgramNameState {
    QString name = QString::fromLatin1(kDefaultProgramName);  // the name field, kept between uses
    bool muteTicked = true;        // "Mute" (else "Select Program Volume")
    bool volumeEnabled = true;     // "Select Program Volume" may be chosen
    int nameAccepted = 0;          // 100 after OK
    int muteOption = 0;            // 1 when "Mute" was ticked at the last OK
};

// The name field as the 10 bytes written: filled with spaces to 10 characters and cut to 10.
std::array<std::uint8_t, kNameSize> NameFieldBytes(const QString &text);

// What the memory window asks and says. Every member must be set before a sequence runs.
struct MemoryPrompts {
    // A question with Yes / No (or OK / Cancel): true for Yes or OK.
    std::function<bool(const QString &caption, const QString &text, bool warning)> ask;
    // A notice with OK; `error` chooses the error icon over the information one.
    std::function<void(const QString &caption, const QString &text, bool error)> tell;
    // Shows the program-name dialog modally over `state` (the caller has set its options);
    // the dialog sets nameAccepted and muteOption on OK and writes the name field back.
    std::function<void(ProgramNameState &state)> askName;
};

// One grid row: column 0 and column 1 as shown.
struct SlotRow {
    QString program;  // "3", "3[√]", "3[▽]"
    QString name;     // the 10-character name, or empty
};

// The amplifier the grid was read from: the port's device, the ID and the sub-address.
struct AmplifierIdentity {
    QString device;
    int address = 0;
    int subHigh = 0;
    int subLow = 0;
    friend bool operator==(const AmplifierIdentity &, const AmplifierIdentity &) = default;
};

// The outcome of a sequence, for the tool and the tests. `ok` false: `message` says what
// failed, in one line naming the slots.
struct MemoryOutcome {
    bool ok = true;
    bool cancelled = false;       // the operator declined a question; nothing was done
    QString message;
    std::vector<int> failedSlots;  // slots not read, or that may not have been stored
};

class MemoryController : public QObject {
    Q_OBJECT
public:
    MemoryController(AppState &state, Link &link, ProgramApplier &applier, QObject *parent = nullptr);

    void SetPrompts(MemoryPrompts prompts) { prompts_ = std::move(prompts); }
    // Collects the editors into gatherBuffer (Setup Down); the application joins the editors.
    void SetGather(std::function<void()> gather) { gather_ = std::move(gather); }

    ProgramNameState &nameDialog() { return name_; }
    MemoryImage &memoryImage() { return memoryImage_; }
    const SlotRow &row(int slot) const { return rows_.at(slot - 1); }
    int currentRow() const { return currentRow_; }
    void SelectRow(int slot);
    int refreshIndex() const { return refreshIndex_; }
    // A sequence is running.
    bool IsBusy() const { return run_.IsRunning(); }
    // What the last look at each slot's block 1 found.
    const SlotState &slotState(int slot) const { return slotStates_.at(slot - 1); }

    // ---- Transfer operations: SlotTransfer's, with the grid kept up to date.

    // Row n from block 1 of slot n (asked for once more when it does not come).
    SlotState RefreshSlot(int n);
    // The seven blocks of slot n into programBuffer (SlotTransfer::ReadSlot).
    bool ReadSlot(int n, double pauseMs, const std::function<void(int block)> &progress = {});
    // Blocks 2..7 of a record, the gains muted when muteOption is 1
    // (SlotTransfer::WriteRecordBlocks). The result lists the blocks that got no answer at all.
    std::vector<int> WriteRecordBlocks(const RecordImage &record, const std::function<void(int k)> &progress = {});
    // memoryImage record `source` into `slot`, or the slot deleted when the record is blank.
    // False when a block of the program got no answer even after its resend (whether a slot
    // was emptied is for a refresh of it to tell).
    bool WriteSlot(int source, int slot);
    // Command 200 for the slot.
    void DeleteSlot(int slot);
    // Makes the amplifier run the slot and shows it in the editors, both gains muted.
    bool RecallProgram(int slot);
    // After New and Open: offer to download programBuffer into the amplifier's current program.
    void OfferCurrentDownload();
    void DownloadCurrentProgram();

    // ---- The memory window's buttons (and talvoctl memory). Each disables the transfer
    // buttons while it runs; the grid is told through slotRowChanged. One runs at a time: a
    // start while another runs is refused and sends nothing.

    MemoryOutcome Refresh();
    // Ends a running Refresh after the slot it is at (OK and closing the window do this).
    void StopRefresh() { refreshIndex_ = kRefreshStopped; }
    MemoryOutcome Upload(int slot);
    // File Down of a file chosen by the operator: a ".VKP" (exactly, case-sensitive) program
    // file into the current row, anything else as a memory file into all twenty slots.
    MemoryOutcome FileDown(const QString &path);
    // A program record into `slot` under the name field (the dialog asked first when `ask`).
    MemoryOutcome WriteProgramRecord(const RecordImage &record, int slot);
    // A whole memory image: used records into their own slots, blank records delete theirs.
    MemoryOutcome WriteMemory(const MemoryImage &image);
    MemoryOutcome SetupDown();
    MemoryOutcome Delete(int slot);
    MemoryOutcome DeleteAll();
    // Save: one slot into a program file, or the whole memory into a memory file. A file is
    // written only from what arrived whole, through a temporary file; `saveAnyway` decides
    // for a memory file with slots that did not arrive (nullopt: ask the operator).
    MemoryOutcome SaveSlot(int slot, const QString &path);
    MemoryOutcome SaveMemory(const QString &path, std::optional<bool> saveAnyway = std::nullopt);
    // The memory read whole for talvoctl's backup, without a file: slots that did not arrive
    // are listed in the outcome.
    MemoryOutcome ReadMemory(MemoryImage &image);
    // "OK" and closing the window.
    void Close();

    // The heading: "Amplifier current Program is NO." + n for n 1..21, otherwise empty.
    QString CurrentProgramLabel() const;

    // The grid and the heading speak of the amplifier the rows were read from. Once the link
    // is OFFLINE or another amplifier (port, ID or sub-address) is connected they are cleared:
    // every row back to its bare number, and amplifierForgotten for the heading.
    void ForgetAmplifier();
    // Clears them unless an amplifier is connected and it is the one the rows were read from.
    void CheckAmplifier();

signals:
    void slotRowChanged(int slot, const talvo::SlotRow &row);
    void rowSelected(int slot);
    // The seven transfer buttons: disabled while one runs.
    void transferButtonsEnabled(bool enabled);
    // The window closes itself (after a recall).
    void closeRequested();
    // The editors should show a recalled program muted (after applying).
    void recalled(int slot);
    // The rows were cleared (ForgetAmplifier): the heading goes too.
    void amplifierForgotten();

private:
    class Sequence;
    // A sequence of the window's buttons (or talvoctl's) runs `steps`: refused without a
    // connected amplifier, and while another sequence runs.
    MemoryOutcome runConnected(const std::function<MemoryOutcome()> &steps);
    void showRow(int slot, const QString &program, const QString &name);
    void progress(int percent) { transfer_.ShowProgress(percent); }
    bool muted() const { return name_.muteOption == 1; }
    // Progress 0, the row shown bare, then refreshed from the amplifier (Upload, Delete).
    SlotState refreshBareRow(int slot);
    // The recalled program into the editors, both gains muted.
    void applyRecalled(int slot);
    void downloadSteps();
    MemoryOutcome refreshSteps();
    MemoryOutcome uploadSteps(int slot);
    void writeRecordSteps(RecordImage record, int slot);
    MemoryOutcome writeMemorySteps(const MemoryImage &image);
    MemoryOutcome readMemorySteps(MemoryImage &image);
    bool confirmOverwrite(const QString &path);
    // The port was lost, or the amplifier stopped answering: the sequence ends now.
    bool broken() const { return transfer_.Broken(); }
    static MemoryOutcome notConnected();
    // Adds what went wrong underway and tells the operator about a failure.
    MemoryOutcome finish(MemoryOutcome outcome, const QString &caption = QString());
    AmplifierIdentity connectedAmplifier() const;
    MemoryOutcome saveSlotSteps(int slot, const QString &path);
    MemoryOutcome saveMemorySteps(const QString &path, std::optional<bool> saveAnyway);
    MemoryOutcome fileDownSteps(const QString &path);
    MemoryOutcome memoryFileDown(const QString &path);
    MemoryOutcome programFileDown(const QString &path);
    MemoryOutcome setupDownSteps();
    MemoryOutcome deleteSteps(int slot);
    MemoryOutcome deleteAllSteps();
    // What a finished transfer says on the status bar. A sequence cut short names the slot it
    // was at and why it stopped.
    void showDone(const QString &text);
    QString stoppedText(const QString &what) const;
    QString backupText(const MemoryOutcome &outcome, const QString &path) const;
    QString restoreText(const MemoryOutcome &outcome, const QString &path) const;
    QString programWriteText(const MemoryOutcome &outcome, const QString &operation, int slot,
                             const QString &done) const;

    AppState &state_;
    Link &link_;
    ProgramApplier &applier_;
    SlotTransfer transfer_;
    ProcedureRun run_;  // one sequence at a time
    MemoryPrompts prompts_;
    std::function<void()> gather_;
    ProgramNameState name_;
    MemoryImage memoryImage_{};
    std::array<SlotRow, kMemorySlotCount> rows_{};
    int currentRow_ = 1;
    int refreshIndex_ = 0;       // also the Refresh's stop: OK and closing set it to 100
    int transferSlot_ = 0;       // the slot a backup or restore is at
    std::array<SlotState, kMemorySlotCount> slotStates_{};
    std::vector<int> unstored_;  // slots of this sequence that may not have been stored
    std::optional<AmplifierIdentity> owner_;  // whom the rows were read from
};

}  // namespace talvo
