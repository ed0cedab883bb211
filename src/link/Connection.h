#pragma once
// The connection's lifecycle on the link level: what Tools > Connect, Search and Disconnect do
// to the port and the link flags, the status timer's texts, and the link's part of shut-down.
// No windows here: what a window shows comes out as signals (and the Link's statusText and
// progressChanged), and the caller opens the Connect or Search window when told it may.

#include <QObject>
#include <QString>

#include "link/PortFailure.h"

class QTimer;

namespace talvo {

class Link;

class LinkController : public QObject {
    Q_OBJECT
public:
    explicit LinkController(Link &link, QObject *parent = nullptr);

    Link &link() { return link_; }

    // Tools > Connect, after the texts were applied: closes the port and reopens it; when it
    // cannot be opened, emits openError and returns false (sendEnabled unchanged). Otherwise
    // sendEnabled := 1, replyAddress := 0, and the Connect window may be shown (true).
    bool ConnectLinkSteps();
    // Tools > Search: closes the port, waits 50 ms, opens it; false (after openError) when
    // that fails, else sendEnabled := 1 and the Search window may be shown.
    bool SearchLinkSteps();
    // The connect procedure got an amplifier on the port now open: its disconnect goes there.
    void ConnectionMade();
    // Tools > Disconnect (and the link's part of closing the program), after the texts were
    // applied and the other windows cleared their connect state. While sending is enabled:
    // the disconnect frame twice (200 ms and 100 ms apart, both pauses blocking), OFFLINE,
    // the progress run when an amplifier was connected (about 4 s, 2 s while shutting down),
    // the Disconnect text, linkActive := 0. Always: status panel 2 cleared.
    // The frames go to the connected amplifier: when the port has moved to another device
    // since the connection was made (its path changed in talvo.conf and Connect reopened it),
    // they are written on the device the connection was made on, and the port then goes back
    // to the device it stands for now; when that device is gone they are skipped.
    // A Disconnect asked for while one runs is ignored.
    void Disconnect();
    // Closing the main window: shuttingDown := 100, then Disconnect.
    void Shutdown();
    bool IsDisconnecting() const { return disconnecting_; }

    // Close, wait 300 ms with the interface alive, open; a failure to open is swallowed.
    void ReopenPort();

    // The status timer's link texts (every 20 ms): once a reply arrived, panel 0 shows
    // ":Finish..." while at most one frame is pending, else ":Please Wait..." for commands
    // below 200.
    void Timer4Timer();
    // Runs Timer4Timer every 20 ms (for callers without a timer of their own).
    void StartStatusTimer();
    void StopStatusTimer();

    // The open error for the current port number, with the reason of the last failed open
    // on the line after it.
    QString OpenErrorText() const;

    // The port was lost under the link (Link::portLost): OFFLINE as after a disconnect, but
    // without the disconnect frames; the progress bar at 0, status panel 0 says the port was
    // lost and why, panel 2 is cleared, linkLost says the connection is over, and portLost asks
    // for the message unless the procedure under way tells the operator itself.
    void PortLost(const PortFailure &why);

signals:
    // Show a message box with the error icon.
    void openError(const QString &caption, const QString &text);
    // The connection ended with the port under it.
    void linkLost();
    // Show a message box with the error icon: the port was lost, and why.
    void portLost(const QString &caption, const QString &text);
    // lineled lit or not, linetext "ONLINE" / "OFFLINE".
    void indicatorChanged(bool lit, const QString &text);

private:
    Link &link_;
    QTimer *statusTimer_ = nullptr;
    bool disconnecting_ = false;
    QString connectionDevice_;  // where the connection was made; empty while none is
};

inline constexpr double kStatusTimerMs = 20;
inline constexpr double kDisconnectFirstPauseMs = 200;
inline constexpr double kDisconnectSecondPauseMs = 100;
inline constexpr double kDisconnectStepMs = 80;
inline constexpr double kDisconnectStepShuttingDownMs = 40;
inline constexpr double kReopenPauseMs = 300;
inline constexpr double kSearchReopenPauseMs = 50;
inline constexpr const char *kPortLostCaption = "COM port lost";

// "  COM3 lost: the device disappeared" (status panel 0).
QString PortLostStatusText(int port, const PortFailure &why);
// The message: which port, its device and why, and what to do.
QString PortLostText(int port, const PortFailure &why);

}  // namespace talvo
