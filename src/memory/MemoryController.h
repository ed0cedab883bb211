#pragma once
// The amplifier's program memory, free of widgets: reading, writing, deleting and recalling the
// twenty slots, the memory window's button sequences, and the download of the opened program
// into the amplifier's current program after New and Open.
//
// Everything runs on the main thread as a sequence of requests and timed waits (the event
// loop keeps running inside every wait, so a window stays responsive and can stop a Refresh).
// What a window shows comes out as signals (the grid rows, the selected row, the transfer
// buttons) and through the Link's progressChanged (the progress bar). Questions and notices go
// through MemoryPrompts, which the window answers with message boxes and dialogs, talvoctl
// from its arguments, and the tests from their script.
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

#include "memory/MemoryFile.h"
#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class Link;
class ProgramApplier;
struct PortFailure;

inline constexpr int kCurrentProgramSlot = 150;  // header target: the program the amplifier runs
inline constexpr int kRefreshStopped = 100;      // refreshIndex once OK or closing ends a Refresh
inline constexpr double kMemoryResendWaitMs = 600;
inline constexpr int kProgressStepsMax = 100;

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

// What a slot's block 1 said.
struct SlotState {
    bool answered = false;
    bool inUse = false;
    QString name;  // the 10 characters as stored, trailing spaces kept
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
    bool IsBusy() const { return busy_; }
    // What the last look at each slot's block 1 found.
    const SlotState &slotState(int slot) const { return slotStates_.at(slot - 1); }

    // ---- Transfer operations.

    // Row n from block 1 of slot n (asked for once more when it does not come).
    SlotState RefreshSlot(int n);
    // The seven blocks of slot n into programBuffer, in the order 1, 3, 4, 5, 6, 7, 2, each
    // asked for again when missing; `progress` (when given) gets the block number after each.
    bool ReadSlot(int n, double pauseMs, const std::function<void(int block)> &progress = {});
    // Blocks 2..7 of a record (commands 222..227), 12000 Hz sent as 12100 Hz, the gains as
    // -62.00 dB when muteOption is 1; each block sent once more when nothing answered it.
    // `progress` gets k after block k. The result lists the blocks that got no answer at all.
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
    // buttons while it runs; the grid is told through slotRowChanged.

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
    struct Busy;
    void showRow(int slot, const QString &program, const QString &name);
    void progress(int percent);
    // Sends outFrame; after `waitMs` sends it once more when no reply came, and waits again.
    // True when some reply came.
    bool sendAcknowledged(double waitMs);
    // The header block for `target`, sent once and given 600 ms; true when it was answered.
    bool sendHeader(const std::array<std::uint8_t, kNameSize> &name, std::uint8_t mode, int target);
    // Block k of program n, asked for once more when it does not come; true when it came.
    bool requestTwice(int k, int n, double pauseMs);
    // programBuffer := blocks 1..7, when all of them arrived.
    bool takeRecordBlocks();
    bool readForSave(int slot);
    // Progress 0, the row shown bare, then refreshed from the amplifier (Upload, Delete).
    SlotState refreshBareRow(int slot);
    void writeRecordSteps(RecordImage record, int slot);
    MemoryOutcome writeMemorySteps(const MemoryImage &image);
    MemoryOutcome readMemorySteps(MemoryImage &image);
    bool confirmOverwrite(const QString &path);
    // The port was lost, or the amplifier stopped answering: the sequence ends now.
    bool broken() const { return !failure_.isEmpty(); }
    void noteAnswer(bool answered);
    static MemoryOutcome notConnected();
    // Adds what went wrong underway and tells the operator about a failure.
    MemoryOutcome finish(MemoryOutcome outcome, const QString &caption = QString());
    void reload(int firstProgress, const std::array<int, 4> &steps, int lastProgress);
    void reconnect();
    AmplifierIdentity connectedAmplifier() const;
    MemoryOutcome saveMemorySteps(const QString &path, std::optional<bool> saveAnyway);
    MemoryOutcome fileDownSteps(const QString &path);
    MemoryOutcome setupDownSteps();
    // What a finished transfer says on the status bar. A sequence cut short names the slot it
    // was at and why it stopped.
    void showDone(const QString &text);
    QString stoppedText(const QString &what) const;
    QString restoreText(const MemoryOutcome &outcome, const QString &path) const;
    QString programWriteText(const MemoryOutcome &outcome, const QString &operation, int slot,
                             const QString &done) const;

    AppState &state_;
    Link &link_;
    ProgramApplier &applier_;
    MemoryPrompts prompts_;
    std::function<void()> gather_;
    ProgramNameState name_;
    MemoryImage memoryImage_{};
    std::array<SlotRow, kMemorySlotCount> rows_{};
    int currentRow_ = 1;
    int refreshIndex_ = 0;
    bool busy_ = false;
    int busyDepth_ = 0;
    QString failure_;            // why the running sequence had to end (port lost, silence)
    QString stopCause_;          // the same in two words, for the status bar
    int transferSlot_ = 0;       // the slot a backup or restore is at
    int silentExchanges_ = 0;    // exchanges in a row that got no answer at all
    std::array<SlotState, kMemorySlotCount> slotStates_{};
    std::vector<int> unstored_;  // slots of this sequence that may not have been stored
    std::optional<AmplifierIdentity> owner_;  // whom the rows were read from
};

}  // namespace talvo
