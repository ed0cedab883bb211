#include "sim/SerialServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "link/Clock.h"
#include "link/LineHolds.h"
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
    LineHolds::endServing(path_);
    closeFd(fd_);
    closeFd(peerFd_);
    closeFd(listenFd_);
    closeFd(wake_[0]);
    closeFd(wake_[1]);
}

bool SerialServer::makeWakePipe(QString *error)
{
    // Every server is made with its path known, and then its wake pipe: from here the bytes on
    // the line are counted (LineHolds) until it is served no more.
    LineHolds::serve(path_);
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

std::unique_ptr<SerialServer> SerialServer::listenTcp(const QString &host, quint16 port, QString *error)
{
    std::unique_ptr<SerialServer> s(new SerialServer);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray portText = QByteArray::number(port);
    const int lookup = ::getaddrinfo(host.toLocal8Bit().constData(), portText.constData(), &hints, &found);
    if (lookup != 0) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(host, QString::fromLocal8Bit(::gai_strerror(lookup)));
        return nullptr;
    }
    int savedErrno = 0;
    for (addrinfo *a = found; a && s->listenFd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            savedErrno = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 4) == 0) {
            s->listenFd_ = fd;
        } else {
            savedErrno = errno;
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (s->listenFd_ < 0) {
        errno = savedErrno;
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(host)
                         .arg(port)
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(s->listenFd_, reinterpret_cast<sockaddr *>(&bound), &length);
    char numeric[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr *>(&bound), length, numeric, sizeof numeric, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    const QString address = QString::fromLatin1(numeric);
    s->path_ = QStringLiteral("tcp://%1:%2")
                   .arg(address.contains(u':') ? u'[' + address + u']' : address, QString::fromLatin1(service));
    if (!s->makeWakePipe(error))
        return nullptr;
    return s;
}

bool SerialServer::acceptClient()
{
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return false;
    if (fd_ >= 0) {
        ::close(client);  // one client at a time: the bus is busy
        return false;
    }
    // Replies leave byte by byte at their due times, as they would from the converter.
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd_ = client;
    out_.clear();
    return true;
}

void SerialServer::dropClient()
{
    LineHolds::dropBoth(path_);
    closeFd(fd_);
    out_.clear();
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

void SerialServer::hangUpAtFrame(std::function<bool(const FrameRecord &)> matches)
{
    const std::lock_guard lock(hangUpAtFrameMutex_);
    watchingFrames_.store(bool(matches));
    hangUpAtFrame_ = std::move(matches);
}

bool SerialServer::frameCallsForHangUp(const Bus &bus)
{
    const std::lock_guard lock(hangUpAtFrameMutex_);
    const auto &frames = bus.record().frames;
    bool found = false;
    for (; framesChecked_ < frames.size(); ++framesChecked_)
        found = found || (hangUpAtFrame_ && hangUpAtFrame_(frames[framesChecked_]));
    return found;
}

bool SerialServer::stallProgramOutput(bool stalled)
{
    // The flow control of the program's own side of the terminal: while it is stopped the
    // terminal takes no byte from the program's writes.
    // Nothing the program writes meanwhile can be taken: it must not hold the clock.
    if (stalled)
        LineHolds::endServing(path_);
    else
        LineHolds::serve(path_);
    return peerFd_ >= 0 && ::tcflow(peerFd_, stalled ? TCOOFF : TCOON) == 0;
}

void SerialServer::hangUpNow()
{
    LineHolds::endServing(path_);
    closeFd(fd_);
    closeFd(peerFd_);
    closeFd(listenFd_);
}

SerialServer::Intake SerialServer::takeIn(Bus &bus)
{
    char buf[4096];
    for (;;) {
        const qint64 limit = hangUpAfter_.load();
        qint64 room = limit < 0 ? qint64(sizeof buf) : std::min<qint64>(sizeof buf, limit - received_);
        // Watched for a frame, the line is read a byte at a time: the bytes after the frame
        // that calls for the hang-up are never taken, however late this thread wakes.
        if (watchingFrames_.load())
            room = std::min<qint64>(room, 1);
        if (room <= 0)
            return Intake::LimitReached;
        const ssize_t n = ::read(fd_, buf, static_cast<size_t>(room));
        if (n > 0) {
            received_ += n;
            bus.receive(QByteArrayView(buf, n), Clock::nowMs());
            LineHolds::taken(path_, LineHolds::Toward::Amplifiers, n);
            if (frameCallsForHangUp(bus))
                return Intake::LimitReached;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Intake::Drained;
        // A terminal reads 0 when nothing is there; a socket only when its client has gone.
        if (n == 0)
            return isTcp() ? Intake::Ended : Intake::Drained;
        return Intake::Failed;
    }
}

bool SerialServer::serve(Bus &bus, QString *error)
{
    struct Ending {
        SerialServer &server;
        ~Ending()
        {
            server.dueHold_.clear();
            LineHolds::endServing(server.path_);
        }
    } ending{*this};
    const auto fail = [error](const char *what) {
        if (error)
            *error = systemError(what);
        return false;
    };

    for (;;) {
        // Half a microsecond of slack, so that rounding between nominal and real time never
        // leaves a due byte waiting for another turn.
        out_.append(bus.takeDue(Clock::nowMs() + 0.0005));
        // With no client connected, replies go nowhere, as on a bus without a master.
        if (isTcp() && fd_ < 0)
            out_.clear();
        while (!out_.isEmpty()) {
            // Counted before they are written (the program may take them before the write returns);
            // what did not go is taken back.
            const qint64 offered = out_.size();
            LineHolds::sent(path_, LineHolds::Toward::Program, offered);
            // A socket whose client has gone must not end the process with SIGPIPE.
            const ssize_t n = isTcp() ? ::send(fd_, out_.constData(), static_cast<size_t>(out_.size()), MSG_NOSIGNAL)
                                      : ::write(fd_, out_.constData(), static_cast<size_t>(out_.size()));
            LineHolds::taken(path_, LineHolds::Toward::Program, offered - std::max<qint64>(n, 0));
            if (n > 0) {
                out_.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;  // the line is full: poll for room
            if (isTcp()) {
                dropClient();  // the client went away: wait for the next one
                break;
            }
            return fail("cannot write to the line");
        }

        pollfd fds[3] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        if (!out_.isEmpty())
            fds[0].events |= POLLOUT;

        timespec timeout{};
        timespec *timeoutPtr = nullptr;
        if (const auto due = bus.nextDueMs())
            dueHold_.at(*due + Clock::kLineSlackMs);
        else
            dueHold_.clear();
        if (const auto due = bus.nextDueMs()) {
            const auto wait = Clock::realDeadline(*due) - Clock::RealClock::now();
            const auto ns = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        if (::ppoll(fds, 3, timeoutPtr, nullptr) < 0) {
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

        if (isTcp() && fd_ >= 0 && ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) || stopping)) {
            // Bytes first, then the end of the connection: a client that writes and closes
            // still has its bytes received.
            const Intake in = takeIn(bus);
            if (in == Intake::LimitReached)
                hangUpAfter_.store(-1);  // this client only: a later connection is served in full
            const bool gone = in != Intake::Drained;
            if (gone)
                dropClient();
        }
        if (isTcp()) {
            if (stopping)
                return true;
            // After the client's own events: one that closed and at once connected again
            // finds its old connection gone rather than the bus busy.
            if (fds[2].revents & POLLIN)
                acceptClient();
            continue;
        }

        if ((fds[0].revents & POLLIN) || stopping) {
            const Intake in = takeIn(bus);
            if (in == Intake::LimitReached) {
                hangUpNow();
                return true;
            }
            if (in == Intake::Failed)
                return fail("cannot read from the line");
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
