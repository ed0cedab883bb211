#pragma once
// The connect procedure behind the Connect window's buttons, free of widgets: up to eight
// attempts to get an answer from one amplifier (the port reopened from the third on), the
// read-out of the program it runs and of its status block, applying that program, and the
// results: ONLINE / OFFLINE, the firmware version, the running program, whether bridge mode
// is available.
//
// Everything runs on the main thread; the waits keep the event loop running (replies arrive
// during them). The progress bar and the status panels are reported through the Link's
// progressChanged and statusText signals like every other link activity; what belongs to
// the windows comes out of the signals below, so a window only presents.

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include "link/ProcedureRun.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class Link;
class LinkController;
class ProgramApplier;

inline constexpr int kConnectAttempts = 8;
inline constexpr int kConnectReopenFromAttempt = 3;
inline constexpr int kConnectProgressStep = 12;  // 12, 24 ... 96 for attempts 1..8
inline constexpr std::uint8_t kConnectCommand = 220;
inline constexpr std::uint8_t kConnectData = 100;
inline constexpr std::uint8_t kConnectMutedData = 101;

inline constexpr const char *kOnlineText = "ONLINE";
inline constexpr const char *kOfflineText = "OFFLINE";

// What the Connect window holds when "Connect" is pressed.
struct ConnectRequest {
    int id = 1;                  // "Add", 1..255
    bool useSubAddress = false;  // "Sub Add" ticked
    int subAddress = 1;          // 1..65535, sent only when useSubAddress
    bool mute = true;            // "MUTE": connect with the amplifier's outputs muted
};

// Status panel 2 while connected: "     MCU Firmware Version: DSP VS-2.5".
QString FirmwareStatusText(int major, int minor);
// The memory window's heading after a connect: "Amplifier current Program is NO. 7".
QString CurrentProgramHeading(int program);
// Status panel 0 while an attempt waits: three spaces and the ID.
QString ConnectWaitText(int id);
// The main window's ID label: "ID:" and the address.
QString IdLabelText(int address);

// How the last connect procedure ended.
enum class ConnectOutcome {
    Online,             // the whole program and the status block arrived
    OnlineWithoutProgram,  // the status block arrived, part of the program did not
    NoAnswer,           // nobody answered the connect frame in any attempt
    NoWholeProgram,     // an answer came, but never the whole program with its status block
    NoStatus,           // the whole program came, its status block did not
    Cancelled,          // stopped by the operator
    PortLost,           // the port was lost and did not open again
};
// What the operator is told about an outcome: one line naming the ID and the port (COM3, or
// a device path), empty for a plain ONLINE.
QString ConnectOutcomeText(ConnectOutcome outcome, int id, const QString &port);

class ConnectController : public QObject {
    Q_OBJECT
public:
    ConnectController(AppState &state, Link &link, LinkController &linkController, ProgramApplier &applier,
                      QObject *parent = nullptr);

    // The "Connect" button: the whole procedure; returns when it is over (true = online, the
    // status block arrived and linkActive is 100). Asked for while one runs: ignored (false).
    // An ID outside 1..255 or a sub-address outside 1..65535 is refused the same way; the
    // window's fields never produce them.
    bool Connect(const ConnectRequest &request);
    bool IsConnecting() const { return run_.IsRunning(); }
    // Stops a running procedure after the wait it is in: the frames already queued go out,
    // nothing more is sent, no program is applied, and the link ends OFFLINE (linkActive 0).
    // Offered (cancelOffered) only while the procedure runs; otherwise it does nothing.
    void Cancel();
    bool IsCancelling() const { return run_.StopRequested(); }
    // How the last procedure ended (NoAnswer before the first).
    ConnectOutcome LastOutcome() const { return outcome_; }

    // The "Disconnect" button, and the disconnect before connecting anew while connected:
    // runs the disconnect runner.
    void Disconnect();
    // What Disconnect runs. By default ClearConnectState() and then the link's Disconnect; the
    // application sets the main window's Disconnect (texts, the other windows' state) here.
    void SetDisconnectRunner(std::function<void()> runner) { disconnectRunner_ = std::move(runner); }
    // The connect state a disconnect clears: no current program, the Bridge entry enabled.
    void ClearConnectState();
    // The Connect window's ID field changed: the Disconnect status text names this ID.
    void TakeWindowId(int id);

    // The record the last read-out assembled (blocks 1..7, the live gains over bytes 48..50 and
    // 96..98), when all of blocks 1..8 arrived; empty otherwise.
    const std::optional<RecordImage> &LastReadOut() const { return lastReadOut_; }

signals:
    // The "Connect" and "Disconnect" buttons: disabled while the procedure runs.
    void buttonsEnabled(bool enabled);
    // The main window's lamp and its text ("ONLINE" / "OFFLINE").
    void indicatorChanged(bool lit, const QString &text);
    // The main window's ID label ("ID:5").
    void idLabelChanged(const QString &text);
    // Firmware version from the status block (1.0 when none arrived); the panel text itself
    // goes out through the Link's statusText on panel 2.
    void firmwareChanged(int major, int minor);
    // The running program from the status block (0 = none), and the memory window's heading.
    void currentProgramChanged(int program);
    void memoryHeadingChanged(const QString &text);
    // The Mode menu's "Bridge" entry.
    void bridgeAvailableChanged(bool available);
    // The Connect window closes itself: the whole program and the status block arrived.
    void closeRequested();
    // The procedure is over.
    void finished(bool online);
    // The procedure can be stopped (true while it runs, false once it is over).
    void cancelOffered(bool offered);
    // A line for the Connect window about the procedure: empty as it starts, then why it
    // ended OFFLINE, or that part of the program is missing (ConnectOutcomeText, the port as
    // the COM number).
    void outcomeText(const QString &text);

private:
    void attempt(const ConnectRequest &request);
    bool waitForAnswer(int id);
    void readOut();
    void applyReadOut();
    void runDisconnect();

    AppState &state_;
    Link &link_;
    LinkController &linkController_;
    ProgramApplier &applier_;
    std::function<void()> disconnectRunner_;
    ProcedureRun run_;  // one connect at a time; Cancel and a lost port end it
    bool answered_ = false;  // some attempt of this procedure got an answer
    ConnectOutcome outcome_ = ConnectOutcome::NoAnswer;
    bool closeAfter_ = false;
    std::optional<RecordImage> lastReadOut_;
};

}  // namespace talvo
