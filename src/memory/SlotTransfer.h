#pragma once
// The amplifier's side of the memory transfers: the frames, waits and resends that read, write,
// delete and recall a memory slot and download a program into the one the amplifier runs. What
// the memory window shows of them and what it asks the operator is MemoryController's.
//
// Every exchange runs on the main thread as a request and a timed wait (the event loop keeps
// running inside every wait). A block is read into the reply's programBlocks, a whole slot into
// programBuffer. A request that got nothing is sent once more; three exchanges in a row that
// got nothing even so mean the amplifier has gone, and a port lost under a sequence ends it as
// well: from then on Broken() holds and the steps send nothing more, so that a sequence does
// not run its whole course against silence.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include <QString>

#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class Link;
struct PortFailure;

inline constexpr int kCurrentProgramSlot = 150;  // header target: the program the amplifier runs
inline constexpr double kMemoryResendWaitMs = 600;
inline constexpr int kProgressStepsMax = 100;

// What a slot's block 1 said.
struct SlotState {
    bool answered = false;
    bool inUse = false;
    QString name;  // the 10 characters as stored, trailing spaces kept
};

// How a recall ended.
enum class RecallEnd {
    CutShort,  // the port went or the amplifier fell silent before it was asked what it runs
    NotWhole,  // the amplifier was told to run the slot, but the program did not arrive whole
    Whole,     // programBuffer holds the slot's program
};

// What a program write got no answer for.
struct WriteAnswers {
    bool header = false;          // the header block was answered
    std::vector<int> unanswered;  // blocks 2..7 that got no answer even after their resend
    bool stored() const { return header && unanswered.empty(); }
};

class SlotTransfer {
public:
    using BlockProgress = std::function<void(int block)>;

    SlotTransfer(AppState &state, Link &link);

    // ---- The watch over one sequence.

    // A sequence begins: nothing broken, no silence counted.
    void Begin();
    // The port went under the running sequence: it ends now.
    void NotePortLost(const PortFailure &why);
    // The port was lost, or the amplifier stopped answering: the sequence ends now.
    bool Broken() const { return !failure_.isEmpty(); }
    // Why, in a sentence for the operator, and in two words for the status bar.
    const QString &Failure() const { return failure_; }
    const QString &StopCause() const { return stopCause_; }

    // The progress bar, held within 0..100.
    void ShowProgress(int percent) const;

    // ---- Reading.

    // Block 1 of slot n, asked for once more when it does not come.
    SlotState ReadState(int n);
    // The seven blocks of slot n into programBuffer, in the order 1, 3, 4, 5, 6, 7, 2, each
    // asked for again when missing; `progress` (when given) gets the block number after each.
    bool ReadSlot(int n, double pauseMs, const BlockProgress &progress = {});
    // Save's read of a slot: ReadSlot with 400 ms pauses and the bar at 15 .. 90, then the
    // connect frame and a short settling. True when the program arrived whole.
    bool ReadForSave(int slot);
    // The program the amplifier runs, from its status block; 0 when the block did not come.
    int RunningProgram();

    // ---- Writing.

    // Blocks 2..7 of a record (commands 222..227), 12000 Hz sent as 12100 Hz, the gains as
    // -62.00 dB when `muted`; each block sent once more when nothing answered it. `progress`
    // gets k after block k. The result lists the blocks that got no answer at all.
    std::vector<int> WriteRecordBlocks(const RecordImage &record, bool muted, const BlockProgress &progress = {});
    // A program into a memory slot: the header block under `name` with the record's mode, then
    // blocks 2..7, the bar at `percentPerBlock` x k after block k.
    WriteAnswers WriteProgram(const std::array<std::uint8_t, kNameSize> &name, const RecordImage &record, int slot,
                              bool muted, int percentPerBlock);
    // A program into the one the amplifier runs (target 150), then the reload that makes the
    // amplifier take it up and the connect frame after it.
    WriteAnswers DownloadCurrent(const std::array<std::uint8_t, kNameSize> &name, const RecordImage &record,
                                 bool muted);
    // The mode command alone, with the record's mode (the amplifier runs the program no
    // download may replace).
    void SendModeOf(const RecordImage &record);

    // ---- Deleting.

    // Command 200 for the slot, sent once, without a wait.
    void DeleteSlot(int slot);
    // Command 200 for the slot, sent once more when nothing answered it within `waitMs`.
    void DeleteSlotAnswered(int slot, double waitMs);
    // Command 200 for the slot sent twice, 200 ms apart (a blank record of a restore).
    void DeleteSlotTwice(int slot);

    // ---- Recalling.

    // Makes the amplifier run the slot: its blocks (and the live gains as block 8) read, the
    // slot selected, the amplifier reloaded and connected again, and currentProgram taken from
    // its status block. With RecallEnd::Whole programBuffer holds the program.
    RecallEnd Recall(int slot);

private:
    // Sends outFrame; after `waitMs` sends it once more when no reply came, and waits again.
    // True when some reply came.
    bool sendAcknowledged(double waitMs);
    // The header block for `target`, sent once and given 600 ms; true when it was answered.
    bool sendHeader(const std::array<std::uint8_t, kNameSize> &name, std::uint8_t mode, int target);
    // Block k of program n, asked for once more when it does not come; true when it came.
    bool requestTwice(int k, int n, double pauseMs);
    // programBuffer := blocks 1..7, when all of them arrived.
    bool takeRecordBlocks();
    // Recall's reads: blocks 1, 3..7, the live gains (block 8), then block 2.
    void readRecallBlocks(int slot);
    // The reload command and its five seconds, the bar at the given steps.
    void reload(int firstProgress, const std::array<int, 4> &steps, int lastProgress);
    // The connect command, sent twice.
    void reconnect();
    void noteAnswer(bool answered);

    AppState &state_;
    Link &link_;
    QString failure_;          // why the running sequence had to end (port lost, silence)
    QString stopCause_;        // the same in two words, for the status bar
    int silentExchanges_ = 0;  // exchanges in a row that got no answer at all
};

}  // namespace talvo
