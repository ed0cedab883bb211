#include "link/PortFailure.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace talvo {

namespace {

QString systemWords(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

PortFailure failure(PortFailure::Kind kind, const QString &device, const QString &detail = QString())
{
    return PortFailure{kind, device, detail};
}

PortFailure fromErrno(int errorNumber, const QString &device)
{
    return failure(OpenFailureKind(errorNumber), device, systemWords(errorNumber));
}

}  // namespace

QString PortFailure::reason() const
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::NoDeviceSet:
        return QStringLiteral("no device is set for this port");
    case Kind::NoSuchDevice:
        return QStringLiteral("no such device");
    case Kind::PermissionDenied:
        return QStringLiteral("permission denied (add your user to the dialout group: "
                              "sudo usermod -aG dialout $USER, then log in again)");
    case Kind::Busy:
        return QStringLiteral("busy: another program is using it");
    case Kind::NotSerial:
        return QStringLiteral("not a serial device");
    case Kind::BadAddress:
        return QStringLiteral("not a network port: %1").arg(detail);
    case Kind::NameNotFound:
        return QStringLiteral("the host name does not resolve");
    case Kind::Refused:
        return QStringLiteral("the connection was refused (is the serial server listening on that port?)");
    case Kind::Unreachable:
        return detail.isEmpty() ? QStringLiteral("the host cannot be reached")
                                : QStringLiteral("the host cannot be reached: %1").arg(detail);
    case Kind::TimedOut:
        return QStringLiteral("the host did not answer in time");
    case Kind::Dropped:
        return QStringLiteral("the serial server closed the connection");
    case Kind::HungUp:
        return QStringLiteral("the line was hung up");
    case Kind::DeviceGone:
        return QStringLiteral("the device disappeared");
    case Kind::ReadFailed:
        return QStringLiteral("reading failed: %1").arg(detail);
    case Kind::WriteFailed:
        return QStringLiteral("writing failed: %1").arg(detail);
    case Kind::Stalled:
        return QStringLiteral("the port stopped taking bytes");
    case Kind::Other:
        return detail.isEmpty() ? QStringLiteral("unknown error") : detail;
    }
    return detail;
}

QString PortFailure::describe() const
{
    return device.isEmpty() ? reason() : device + QStringLiteral(": ") + reason();
}

PortFailure::Kind OpenFailureKind(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return PortFailure::Kind::NoSuchDevice;
    case EACCES:
    case EPERM:
    case EROFS:
        return PortFailure::Kind::PermissionDenied;
    case EBUSY:
    case ETXTBSY:
        return PortFailure::Kind::Busy;
    case ENOTTY:
    case EINVAL:
    case EISDIR:
        return PortFailure::Kind::NotSerial;
    default:
        return PortFailure::Kind::Other;
    }
}

PortFailure ProbeOpenFailure(const QString &device, bool lockRefused, const QString &fallback)
{
    if (device.isEmpty())
        return failure(PortFailure::Kind::NoDeviceSet, device);
    const QByteArray path = device.toLocal8Bit();

    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return fromErrno(errno, device);
    if (!S_ISCHR(st.st_mode))
        return failure(PortFailure::Kind::NotSerial, device);

    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno, device);
    termios attributes {};
    const bool isTerminal = ::tcgetattr(fd, &attributes) == 0;
    const int error = errno;
    ::close(fd);
    if (!isTerminal)
        return fromErrno(error, device);

    // The device itself opens: what refused was the lock that another port holds on it.
    if (lockRefused)
        return failure(PortFailure::Kind::Busy, device);
    return failure(PortFailure::Kind::Other, device, fallback);
}

PortFailure ProbeOpenLine(int descriptor, const QString &device)
{
    pollfd look{descriptor, POLLIN, 0};
    if (::poll(&look, 1, 0) < 0 && errno != EINTR)
        return failure(PortFailure::Kind::DeviceGone, device);
    if (look.revents & POLLNVAL)
        return failure(PortFailure::Kind::DeviceGone, device);
    termios attributes {};
    const bool answers = ::tcgetattr(descriptor, &attributes) == 0;
    if (answers && !(look.revents & (POLLHUP | POLLERR)))
        return PortFailure{};

    // A node that is gone went with its device: an adapter pulled out, or a pseudo-terminal
    // whose owner ended.
    struct stat st {};
    if (!device.isEmpty() && ::stat(device.toLocal8Bit().constData(), &st) != 0 && errno == ENOENT)
        return failure(PortFailure::Kind::DeviceGone, device);
    return failure(PortFailure::Kind::HungUp, device);
}

}  // namespace talvo
