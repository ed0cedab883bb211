#pragma once
// Serves a Bus on a serial line: a new pseudo-terminal, an existing device at 38400 8N1, or a
// TCP listening socket standing for a serial server on the network (one client at a time).
//
// One thread, one poll: it sleeps until bytes arrive, the next reply byte is due (taken from
// talvo::Clock, so a faster test clock shortens the delays) or a stop is requested.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QByteArray>
#include <QString>

#include "link/Clock.h"

namespace talvo::sim {

class Bus;
struct FrameRecord;

class SerialServer {
public:
    ~SerialServer();
    SerialServer(const SerialServer &) = delete;
    SerialServer &operator=(const SerialServer &) = delete;

    // A new pseudo-terminal in raw mode; devicePath() is the name a program opens.
    static std::unique_ptr<SerialServer> openPseudoTerminal(QString *error);
    // An existing serial device, set to 38400 baud, 8 data bits, no parity, 1 stop bit, raw,
    // without flow control.
    static std::unique_ptr<SerialServer> openDevice(const QString &path, QString *error);

    // A listening socket on HOST:PORT (port 0: any free one). The bus is served to one client
    // at a time: a second one is closed at once; when the client goes, the next may connect.
    static std::unique_ptr<SerialServer> listenTcp(const QString &host, quint16 port, QString *error);

    // The device path, or tcp://HOST:PORT for a listening socket.
    const QString &devicePath() const { return path_; }
    bool isTcp() const { return listenFd_ >= 0; }

    // Runs until requestStop() or a hang-up. Returns false (with the reason) when the line fails.
    bool serve(Bus &bus, QString *error = nullptr);
    // Safe from a signal handler and from any thread.
    void requestStop();

    // Line faults on the program's side of the line (safe from any thread):
    // Hangs up now, between whatever bytes are in flight: every handle on the line is closed,
    // so the program's port reports a hang-up and a pseudo-terminal's device disappears.
    // serve() then returns true.
    void requestHangUp();
    // Hangs up once this many bytes in all have been received from the program; bytes past
    // that count are never taken. A count inside a frame cuts the frame short. On a listening
    // socket only the client's connection is dropped, and the server goes on listening.
    void hangUpAfterReceiving(qint64 byteCount);
    // Hangs up as soon as a frame that `matches` has been received whole, whatever came before
    // it: a fault placed by what the program says rather than by a byte count that resends
    // would shift. No byte after that frame is taken.
    void hangUpAtFrame(std::function<bool(const FrameRecord &)> matches);
    // A pseudo-terminal only: stops (true) or resumes the flow of the program's output, so
    // that its writes find no room, as on a port whose driver stopped sending.
    bool stallProgramOutput(bool stalled);

private:
    SerialServer() = default;
    bool makeWakePipe(QString *error);
    void hangUpNow();
    void dropClient();
    // Reads what the program has written, up to the hang-up count.
    enum class Intake { Drained, LimitReached, Ended, Failed };
    Intake takeIn(Bus &bus);
    bool frameCallsForHangUp(const Bus &bus);
    bool acceptClient();

    int fd_ = -1;
    int peerFd_ = -1;  // our own handle on the terminal side, so that a program closing it never hangs us up
    int wake_[2] = {-1, -1};
    int listenFd_ = -1;
    QString path_;
    QByteArray out_;
    std::atomic<bool> hangUpRequested_{false};
    std::atomic<qint64> hangUpAfter_{-1};
    qint64 received_ = 0;
    std::mutex hangUpAtFrameMutex_;
    std::function<bool(const FrameRecord &)> hangUpAtFrame_;
    std::atomic<bool> watchingFrames_{false};
    std::size_t framesChecked_ = 0;
    ClockHold dueHold_{"the simulator's next reply byte"};  // the clock waits for the next reply byte that falls due
};

}  // namespace talvo::sim
