#pragma once
// One operation over many amplifiers on several buses, free of widgets: talvoctl's ID lists and
// the Search window's "Back Up All..." both run here.
//
// Each bus gets a thread of its own with its own link (and so its own I/O thread), and takes
// its amplifiers one after another, each as the single command takes it: connect as the
// Connect window does, the work, the disconnect. An amplifier that does not answer is skipped
// and named; a port lost ends its own bus only (the amplifiers not reached are named), and the
// other buses go on. A stop asked for (Ctrl+C, the window's "Stop") lets the frame on the line
// finish, sends nothing more of the work, and disconnects the amplifier each bus is at.
//
// The work itself (a backup, a list, a change of settings) is given as a FleetWork made for
// each amplifier on its bus's thread; it runs there with the event loop of that thread kept
// alive by the link's waits, exactly as the procedures run on the main thread elsewhere.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QJsonObject>
#include <QObject>
#include <QString>

#include "devices/BusSearch.h"

class QThread;

namespace talvo {

struct AppState;
class ConnectController;
class Link;
class LinkController;
class ProgramApplier;

// One amplifier on a bus: its ID and, where several share the ID, its sub-address.
struct FleetAddress {
    int id = 1;                 // 1..255
    std::optional<int> sub;     // 1..65535; none: the frames carry sub-address 0

    // "5", or "5.2" with a sub-address.
    QString text() const;
    friend bool operator==(const FleetAddress &, const FleetAddress &) = default;
};

// An ID list as typed: items split by commas, each an ID ("12"), an ID with its sub-address
// ("5.2") or a range of IDs ("1-8", rising). The amplifiers come in the order given. Empty
// items, IDs outside 1..255, sub-addresses outside 1..65535, falling ranges and an amplifier
// named twice are refused: the result is empty and `problem` says which item is wrong.
std::optional<std::vector<FleetAddress>> ParseIdList(const QString &text, QString *problem);

// Whether the text reads as a list rather than one plain ID: it has a comma, a range or a
// sub-address in it.
bool LooksLikeIdList(const QString &text);

// One --port as typed: the port, and the IDs that port holds when given as PORT=LIST
// ("tcp://rack-a:4001=1-30"). Without "=LIST" the IDs are those given for every port.
struct FleetPortSpec {
    QString port;
    std::optional<std::vector<FleetAddress>> ids;
};
std::optional<FleetPortSpec> ParsePortSpec(const QString &text, QString *problem);

// A port as a part of a file name: "COM3"; a device path without "/dev/" and with "-" for the
// other separators ("ttyUSB0", "pts-4"); "HOST-PORT" for tcp://HOST:PORT ("rack-a-4001").
// Any character other than letters, digits, ".", "_" and "-" becomes "_".
QString PortFileName(const QString &port);

// Where a port given as COMn, a device path or tcp://HOST:PORT is opened, and how messages
// name it ("COM9 (/dev/ttyUSB8)", the path, the address). Empty device and `problem` set when
// the text is no port (a COM number outside 1..255, a malformed network address).
struct FleetPortTarget {
    QString device;
    QString display;
};
std::optional<FleetPortTarget> ResolveFleetPort(const QString &port, QString *problem);

// What one bus does.
struct FleetBus {
    QString port;                          // as given
    // When set, the device opened for this bus instead of the one `port` stands for (the
    // program's own port under a device override); `port` still names the bus and its files.
    QString device;
    std::vector<FleetAddress> amplifiers;  // in order
    // When set, the bus is searched over this range first (as the Search window searches) and
    // the IDs found are taken after `amplifiers`.
    std::optional<IdRange> search;
};

struct FleetPlan {
    std::vector<FleetBus> buses;
    bool mute = false;  // connect with the amplifiers' outputs muted ("MUTE")
};

enum class FleetStatus {
    Done,      // the work was done
    Failed,    // connected (or tried to), and the work or the link failed
    NoAnswer,  // nobody answered the connect: skipped
    Stopped,   // a stop came while this amplifier was being worked on
    NotDone,   // never started: stopped before, or its bus was lost before it
};
// "done", "failed", "no answer", "stopped", "not done".
QString FleetStatusText(FleetStatus status);

struct FleetResult {
    int bus = 0;  // index into the plan's buses
    QString port;
    FleetAddress amplifier;
    FleetStatus status = FleetStatus::NotDone;
    QString done;     // what was done, in a few words (also for an amplifier that failed later)
    QString problem;  // why it is not done; empty when done
    double seconds = 0;  // from the connect to the end of the disconnect, real time
    QJsonObject details;  // what the work found, for --json
};

// What the work on one amplifier stands on, all of it on the bus's thread.
struct FleetSession {
    AppState &state;
    Link &link;
    LinkController &linkController;
    ProgramApplier &applier;
    ConnectController &connect;
    const FleetBus &bus;
    int busIndex;
    FleetAddress amplifier;
    const std::atomic<bool> &stop;

    bool StopRequested() const { return stop.load(); }
};

class FleetWork {
public:
    virtual ~FleetWork() = default;
    // Before the connect: what has to see the program the connect reads (editor models).
    virtual void Prepare(FleetSession &) {}
    // The amplifier is online. Fills result.done (and result.problem, result.details); true
    // when the work was done. A stop shows as session.StopRequested(); after one, frames are
    // no longer written, and the work ends as soon as it can.
    virtual bool Run(FleetSession &session, FleetResult &result) = 0;
};
// Makes the work for one amplifier; called on the bus's thread, so it must only read what it
// captured.
using FleetWorkFactory = std::function<std::unique_ptr<FleetWork>(int busIndex, const FleetAddress &)>;

class FleetRunner : public QObject {
    Q_OBJECT
public:
    FleetRunner(FleetPlan plan, FleetWorkFactory factory, QObject *parent = nullptr);
    // Asks a run still going to stop and waits for its buses.
    ~FleetRunner() override;

    const FleetPlan &plan() const { return plan_; }

    // Starts every bus (once). Ports that are no port at all are the caller's to refuse
    // beforehand (ResolveFleetPort); here such a bus fails as a port that cannot be opened.
    void Start();
    // Start, then wait with the event loop running until every bus is done.
    void RunToEnd();
    bool IsRunning() const { return started_ && busesLeft_ > 0; }
    bool IsFinished() const { return started_ && busesLeft_ == 0; }

    // Ends the run as early as it can: the frame on the line finishes, no further frame of the
    // work is written, each bus disconnects the amplifier it is at and starts no other.
    void RequestStop();
    bool StopRequested() const;

    // Every amplifier finished so far, in the plan's order (bus by bus, then as listed).
    std::vector<FleetResult> Results() const;
    // Amplifiers known so far (a bus that searches adds what it found) and finished so far.
    int Planned() const { return planned_; }
    int Finished() const { return finished_; }
    // Per bus: why the bus as a whole could not do its part (its port did not open, or was
    // lost during its search); empty for a bus that could.
    const std::vector<QString> &BusProblems() const { return busProblems_; }

signals:
    // A bus knows its amplifiers (at once, or after its search).
    void busPlanned(int bus, int count);
    // A bus cannot do its part: its port did not open, or was lost during its search.
    void busFailed(int bus, const QString &problem);
    void amplifierStarted(int bus, const talvo::FleetAddress &amplifier);
    void amplifierFinished(const talvo::FleetResult &result);
    // Every bus is done.
    void finished();

private:
    struct Shared;
    struct BusRun;
    void take(const FleetResult &result);
    void busDone();

    FleetPlan plan_;
    FleetWorkFactory factory_;
    std::shared_ptr<Shared> shared_;
    std::vector<QThread *> threads_;
    std::vector<std::vector<FleetResult>> results_;  // per bus, in order
    std::vector<QString> busProblems_;
    bool started_ = false;
    int busesLeft_ = 0;
    int planned_ = 0;
    int finished_ = 0;
};

}  // namespace talvo

Q_DECLARE_METATYPE(talvo::FleetAddress)
Q_DECLARE_METATYPE(talvo::FleetResult)
