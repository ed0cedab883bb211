#include "sim/SerialServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "link/Clock.h"
#include "sim/Bus.h"

namespace talvo::sim {
namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw 38400 8N1, no flow control, no echo, no line editing: bytes pass exactly as written.
bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

SerialServer::~SerialServer()
{
    closeFd(fd_);
    closeFd(peerFd_);
    closeFd(wake_[0]);
    closeFd(wake_[1]);
}

bool SerialServer::makeWakePipe(QString *error)
{
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = systemError("cannot create the stop pipe");
        return false;
    }
    return true;
}

std::unique_ptr<SerialServer> SerialServer::openPseudoTerminal(QString *error)
{
    std::unique_ptr<SerialServer> s(new SerialServer);
    char name[256] = {};
    if (::openpty(&s->fd_, &s->peerFd_, name, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError("cannot open a pseudo-terminal");
        return nullptr;
    }
    ::fcntl(s->fd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(s->peerFd_, F_SETFD, FD_CLOEXEC);
    // The program opens the other side and sets its own mode; raw from the start means that
    // nothing is echoed or translated before it does.
    if (!makeRaw(s->peerFd_) || !setNonBlocking(s->fd_)) {
        if (error)
            *error = systemError("cannot set up the pseudo-terminal");
        return nullptr;
    }
    s->path_ = QString::fromLocal8Bit(name);
    if (!s->makeWakePipe(error))
        return nullptr;
    return s;
}

std::unique_ptr<SerialServer> SerialServer::openDevice(const QString &path, QString *error)
{
    std::unique_ptr<SerialServer> s(new SerialServer);
    s->fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s->fd_ < 0) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    if (!makeRaw(s->fd_)) {
        if (error)
            *error = QStringLiteral("%1 is not a serial device that takes 38400 8N1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    ::tcflush(s->fd_, TCIOFLUSH);
    s->path_ = path;
    if (!s->makeWakePipe(error))
        return nullptr;
    return s;
}

void SerialServer::requestStop()
{
    if (wake_[1] >= 0) {
        const char c = 's';
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    }
}

void SerialServer::requestHangUp()
{
    hangUpRequested_.store(true);
    requestStop();
}

void SerialServer::hangUpAfterReceiving(qint64 byteCount)
{
    hangUpAfter_.store(byteCount);
}

bool SerialServer::stallProgramOutput(bool stalled)
{
    // The flow control of the program's own side of the terminal: while it is stopped the
    // terminal takes no byte from the program's writes.
    return peerFd_ >= 0 && ::tcflow(peerFd_, stalled ? TCOOFF : TCOON) == 0;
}

void SerialServer::hangUpNow()
{
    closeFd(fd_);
    closeFd(peerFd_);
}

bool SerialServer::serve(Bus &bus, QString *error)
{
    const auto fail = [error](const char *what) {
        if (error)
            *error = systemError(what);
        return false;
    };

    for (;;) {
        // Half a microsecond of slack, so that rounding between nominal and real time never
        // leaves a due byte waiting for another turn.
        out_.append(bus.takeDue(Clock::nowMs() + 0.0005));
        while (!out_.isEmpty()) {
            const ssize_t n = ::write(fd_, out_.constData(), static_cast<size_t>(out_.size()));
            if (n > 0) {
                out_.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;  // the line is full: poll for room
            return fail("cannot write to the line");
        }

        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (!out_.isEmpty())
            fds[0].events |= POLLOUT;

        timespec timeout{};
        timespec *timeoutPtr = nullptr;
        if (const auto due = bus.nextDueMs()) {
            const auto wait = Clock::realDeadline(*due) - Clock::RealClock::now();
            const auto ns = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        if (::ppoll(fds, 2, timeoutPtr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot wait for the line");
        }

        // A stop takes in what the program has written so far first: a loaded machine may
        // wake this thread for the stop and the last bytes at once.
        const bool stopping = fds[1].revents & POLLIN;
        if (stopping && hangUpRequested_.load()) {
            hangUpNow();
            return true;
        }

        if ((fds[0].revents & POLLIN) || stopping) {
            char buf[4096];
            for (;;) {
                const qint64 limit = hangUpAfter_.load();
                const qint64 room = limit < 0 ? qint64(sizeof buf) : std::min<qint64>(sizeof buf, limit - received_);
                if (room <= 0) {
                    hangUpNow();
                    return true;
                }
                const ssize_t n = ::read(fd_, buf, static_cast<size_t>(room));
                if (n > 0) {
                    received_ += n;
                    bus.receive(QByteArrayView(buf, n), Clock::nowMs());
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
                    break;
                return fail("cannot read from the line");
            }
            if (stopping)
                return true;
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            if (fds[1].revents & POLLIN)
                return true;
            if (error)
                *error = QStringLiteral("the line was closed or failed");
            return false;
        }
        if (fds[1].revents & POLLIN)
            return true;
    }
}

}  // namespace talvo::sim
