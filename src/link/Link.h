#pragma once
// The link on the main thread: the send operations, the wait that keeps the interface alive,
// the serial port by its COM number, and the received bytes going to the reply parser.
//
// A window sends by filling state().outFrame (command, length, data; the address stays as the
// connect procedure set it) and calling SendIfIdle (continuous controls: dropped while a frame
// is pending) or SendCommand (discrete actions: always queued). Neither waits for an answer:
// callers that need one clear a reply field, send, WaitPumping, and look.
//
// Everything here runs on the main thread (the thread that created the Link); only the frames
// themselves go out on the I/O thread (SerialIo).

#include <functional>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "link/LinkState.h"
#include "link/PortFailure.h"
#include "link/ReplyParser.h"
#include "link/ReplyTap.h"

namespace talvo {

class SerialIo;

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(LinkState &state, QObject *parent = nullptr);
    ~Link() override;

    LinkState &state() { return state_; }
    const LinkState &state() const { return state_; }

    // ---- The serial port.

    // For this run only: every port number opens this device (the demonstration bus uses it);
    // the remembered number is not touched. An empty path ends the override.
    void SetDeviceOverride(const QString &devicePath);
    QString DeviceOverride() const { return deviceOverride_; }
    // The device that port number `port` stands for in this run.
    QString DevicePathFor(int port) const;

    // Reads the remembered port number into state().portNumber; an open port moves to it.
    void LoadPortNumber();
    // Sets state().portNumber (modulo 256) without remembering it; an open port moves to it.
    void SetPortNumber(int port);

    // Opens (or reopens) the device of state().portNumber. False when it cannot be opened.
    bool OpenPort();
    // Opens (or reopens) the port on this device, whatever the port number stands for.
    bool OpenDevice(const QString &devicePath);
    // The device the port was last opened on (empty after an open failed): the port number
    // may stand for another device by now (talvo.conf edited, COM Setup).
    QString OpenedDevice() const { return openedDevice_; }
    void ClosePort();
    bool IsPortOpen() const;
    // True from the loss of the open port until a port opens again: procedures under way end
    // then instead of waiting out their steps on a line that is gone.
    bool PortLost() const { return loss_.isError(); }
    // Why the port was lost, while PortLost() holds (kind None otherwise).
    const PortFailure &Loss() const { return loss_; }
    // Set while a procedure runs that tells the operator itself of a port lost under it,
    // together with what the loss cut short: the operator gets one message, not two.
    void SetLossToldByProcedure(bool told) { lossToldByProcedure_ = told; }
    bool LossToldByProcedure() const { return lossToldByProcedure_; }
    // Why the last OpenPort failed (kind None after a success).
    const PortFailure &OpenFailure() const { return openFailure_; }
    // The same as one line: "/dev/ttyUSB0: no such device".
    QString LastOpenFailure() const { return openFailure_.describe(); }

    // ---- Sending.

    // Both say whether the frame was queued (false: dropped by the gates or, for SendIfIdle,
    // because a frame is pending).
    bool SendIfIdle();
    bool SendCommand();

    // Waits ms nominal milliseconds while the event loop runs (timers, received bytes, user
    // input), and returns at the deadline. Other handlers, other sends included, may run inside.
    void WaitPumping(double ms);
    // Lets the event loop handle what is pending, once.
    static void ProcessMessages();
    // Like WaitPumping, but returns as soon as no frame is pending. True when none is.
    bool WaitForIdle(double timeoutMs);
    // Like WaitPumping, but returns as soon as `done` holds, looked at whenever a frame
    // finished, bytes were received or the port was lost. True when it holds.
    bool WaitUntil(const std::function<bool()> &done, double timeoutMs);
    // Like WaitPumping, but returns at once when the port is lost, or was lost already: a
    // procedure's timed steps end then instead of being waited out. False when it was lost.
    // The procedures' steps wait with this; on a line that stays up it is WaitPumping.
    bool WaitUnlessLost(double ms);

    // Status-bar and progress texts for whoever shows them.
    void ShowStatus(int panel, const QString &text) { emit statusText(panel, text); }
    void ShowProgress(int percent) { emit progressChanged(percent); }

    // Since the link was made: frames written and failed, replies read, resynchronisations.
    struct Counters {
        std::int64_t framesWritten = 0;
        std::int64_t framesFailed = 0;
        ReplyCounts replies;
    };
    Counters counters() const { return {framesWritten_, framesFailed_, parser_.counts()}; }

    // Bytes as the port delivered them: parsed in pieces of at most kReceivePiece bytes.
    void HandleReceived(const QByteArray &bytes);
    static constexpr int kReceivePiece = 800;

signals:
    // panel 0: link activity; panel 2: firmware version. The texts are exactly what to show.
    void statusText(int panel, const QString &text);
    // 0..100, the bottom progress bar.
    void progressChanged(int percent);
    // Every complete reply frame received, after the reply fields were updated.
    void replyFrame(const talvo::ReplyFrame &frame);
    // A queued frame finished: written and paced, or discarded / failed (written false).
    void frameDone(bool written);
    // The open port was lost (hung up, failed, stalled or gone). It is closed, every frame
    // queued has failed, and the link is offline: linkActive 0, replyAddress 0. The next
    // OpenPort tries the device again.
    void portLost(const talvo::PortFailure &why);

private:
    bool Send(bool ifIdle);
    void LosePort(const PortFailure &why);

    LinkState &state_;
    ReplyParser parser_;
    ReplyFrameTap tap_;
    SerialIo *io_;
    QString deviceOverride_;
    PortFailure openFailure_;
    QString openedDevice_;
    PortFailure loss_;  // kind None while no loss stands
    bool lossToldByProcedure_ = false;
    std::int64_t framesWritten_ = 0;
    std::int64_t framesFailed_ = 0;
};

// Panel 0 texts of the send operations and the status timer.
QString ReceiveStatusText(const CommandFrame &frame);
QString PleaseWaitText(int address);
QString FinishText(int address);

}  // namespace talvo
