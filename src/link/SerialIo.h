#pragma once
// The serial port and the one I/O thread that owns it.
//
// Frames go out whole and in the order they were queued, one byte per write, each byte
// followed by at least 6 ms of silence and each frame by its command's pacing pause, so that
// the amplifiers' slow receivers keep up. While the thread paces it keeps reading, and what
// arrives is handed to the owner's thread by a queued signal. Every pause is a precise timer on
// the I/O thread's event loop, timed by talvo::Clock; nothing polls.
//
// The count of frames queued and not yet finished is shared with the rest of the program
// (`pendingFrames`): it is raised when a frame is queued and lowered on the I/O thread once the
// frame and its pause are over, or once it was discarded or its writing failed. A frame that
// comes up for writing while `sendEnabled` is not 1 is discarded without a pause.
//
// The port may also be a serial server on the network (tcp://HOST:PORT): the same bytes go
// over one TCP connection with Nagle's algorithm off, each byte written on its own with the
// same pause, so the bus behind the converter sees the timing a local port gives it.
//
// A port that hangs up, fails a read or a write, stalls, or whose device disappears is lost
// (for a network port: the connection is closed, reset or fails):
// it is closed at once (nothing polls a dead descriptor), every frame queued fails, and
// portLost says why. Until the next explicit open, frames fail at once instead of reopening it.

#include <atomic>
#include <deque>

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "link/Clock.h"
#include "link/PortFailure.h"

class QIODevice;
class QTcpSocket;
class QThread;
class QTimer;

namespace talvo {

inline constexpr int kBaudRate = 38400;
// How long one byte may take to leave the driver's buffer before the write counts as failed.
inline constexpr double kByteDrainTimeoutMs = 1000.0;
// How long connecting to a serial server on the network (name lookup included) may take.
inline constexpr double kTcpConnectTimeoutMs = 3000.0;

// Lives on the I/O thread; SerialIo is its face on the owner's thread.
class SerialWorker : public QObject {
    Q_OBJECT
public:
    SerialWorker(std::atomic<int> &pendingFrames, const std::atomic<int> &sendEnabled,
                 std::atomic<bool> &portOpen);

    // All of these run on the I/O thread.
    bool openDevice(const QString &devicePath, PortFailure *failure);
    void closeDevice();
    // `queued` is the clock hold the owner took when it queued the frame: released here.
    void enqueue(const QByteArray &wire, int pacingMs, Clock::HoldId queued = 0);
    // Closes the port and drops the queue, lowering the count for every frame dropped.
    void shutdown();

signals:
    void bytesReceived(const QByteArray &bytes);
    // After a frame's pacing pause (written = true), or when it was discarded or failed.
    void frameDone(bool written);
    // The open port was lost; it is closed and the queue is empty.
    void portLost(const talvo::PortFailure &why);

private:
    struct Frame {
        QByteArray wire;
        int pacingMs = 0;
    };
    using Step = void (SerialWorker::*)();

    void startNextFrame();
    void writeNextByte();
    void byteLeftDriver();
    void pacingOver();
    void drainTimedOut();
    void finishFrame(bool written);
    void failFrame();
    void armAt(double deadlineMs, Step step);
    void onTimer();
    void onReadyRead();
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);
    void checkLine(QSerialPort::SerialPortError error, const QString &words);
    void loseLine(const PortFailure &why);
    bool openTcp(const QString &name, PortFailure *failure);
    void onSocketError(QAbstractSocket::SocketError error);
    void onSocketGone();
    bool deviceOpen() const;
    QIODevice *device() const;
    // Hands what was written to the system at once.
    void pushOut();
    // Why the open port is unusable, or None while it is healthy.
    PortFailure lineFailure() const;

    std::atomic<int> &pendingFrames_;
    const std::atomic<int> &sendEnabled_;
    std::atomic<bool> &portOpen_;
    QSerialPort *port_;
    QTcpSocket *socket_;
    bool tcp_ = false;         // the port opened last is a network port
    bool tcpOpen_ = false;     // ...and its connection is up and not given up yet
    QTimer *timer_;
    QString devicePath_;  // the last device opened: a write while closed reopens it
    QString lineName_;    // the open device as a simulator in this process serves it (LineHolds)
    ClockHold stepHold_{"the I/O thread's next step"};  // the clock waits at deadlineMs_ until its step has run
    std::deque<Frame> queue_;
    bool busy_ = false;        // a frame is on the wire or in its pause
    bool draining_ = false;    // the last byte is still in the driver's buffer
    bool writeFailed_ = false; // the port reported a write error since the last byte began
    QSerialPort::SerialPortError writeError_ = QSerialPort::NoError;  // the kind, when writeFailed_
    bool lineCheckQueued_ = false;
    bool lost_ = false;        // lost since the last explicit open: no automatic reopening
    Frame current_;
    qsizetype nextByte_ = 0;
    double deadlineMs_ = 0;
    Step step_ = nullptr;
};

class SerialIo : public QObject {
    Q_OBJECT
public:
    SerialIo(std::atomic<int> &pendingFrames, const std::atomic<int> &sendEnabled, QObject *parent = nullptr);
    // Stops the I/O thread; frames still queued are dropped (and uncounted).
    ~SerialIo() override;

    // Opens the device at 38400 8N1, no flow control, DTR and RTS off where the device has
    // them. Blocks until the I/O thread has tried. On failure `failure` (if given) says why.
    bool open(const QString &devicePath, PortFailure *failure = nullptr);
    void close();
    bool isOpen() const { return portOpen_.load(); }

    // How often the I/O threads of this process have woken for their ports so far: a timer, bytes,
    // an error. A port that is polled after it died shows as a count that runs away; a sleeping
    // thread's count stays near the bytes and pauses it had to time.
    static long WakeUps();

    // Raises pendingFrames and queues the wire bytes; the pacing pause follows the last byte.
    void enqueue(const QByteArray &wire, int pacingMs);

signals:
    void bytesReceived(const QByteArray &bytes);
    void frameDone(bool written);
    void portLost(const talvo::PortFailure &why);

private:
    std::atomic<int> &pendingFrames_;
    std::atomic<bool> portOpen_{false};
    QThread *thread_;
    SerialWorker *worker_;
};

}  // namespace talvo
