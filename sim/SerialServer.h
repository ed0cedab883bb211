#pragma once
// Serves a Bus on a serial line: a new pseudo-terminal, or an existing device at 38400 8N1.
//
// One thread, one poll: it sleeps until bytes arrive, the next reply byte is due (taken from
// talvo::Clock, so a faster test clock shortens the delays) or a stop is requested.

#include <memory>

#include <QByteArray>
#include <QString>

namespace talvo::sim {

class Bus;

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

    const QString &devicePath() const { return path_; }

    // Runs until requestStop(). Returns false (with the reason) when the line fails.
    bool serve(Bus &bus, QString *error = nullptr);
    // Safe from a signal handler and from any thread.
    void requestStop();

private:
    SerialServer() = default;
    bool makeWakePipe(QString *error);

    int fd_ = -1;
    int peerFd_ = -1;  // our own handle on the terminal side, so that a program closing it never hangs us up
    int wake_[2] = {-1, -1};
    QString path_;
    QByteArray out_;
};

}  // namespace talvo::sim
