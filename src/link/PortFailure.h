#pragma once
// Why a serial port could not be opened, or why an open port was lost, in words an operator
// can act on. The I/O thread finds the cause; the windows and the command line say it.

#include <QMetaType>
#include <QString>

namespace talvo {

struct PortFailure {
    enum class Kind {
        None,
        // Opening.
        NoDeviceSet,       // the port number stands for no device
        NoSuchDevice,
        PermissionDenied,
        Busy,              // another program (or another port object) holds it
        NotSerial,         // opens, but is no terminal device
        // Opening a network port (tcp://HOST:PORT).
        BadAddress,        // not of the form tcp://HOST:PORT (detail says what is wrong)
        NameNotFound,      // the host name does not resolve
        Refused,           // nothing listens on that port, or the server turned us away
        Unreachable,       // no route to the host or its network
        TimedOut,          // no answer within the connection timeout
        // Losing an open port.
        HungUp,            // the far end hung up (a pseudo-terminal's owner ended)
        DeviceGone,        // the device disappeared (a USB adapter pulled out)
        ReadFailed,
        WriteFailed,
        Stalled,           // a byte stayed in the driver for too long
        Dropped,           // the serial server closed or reset the connection
        Other,
    };

    Kind kind = Kind::None;
    QString device;  // the device path or network address, when there is one
    QString detail;  // the system's own words, for Other, ReadFailed, WriteFailed, Unreachable and BadAddress

    bool isError() const { return kind != Kind::None; }
    // A phrase without the device: "no such device", "busy: another program is using it".
    QString reason() const;
    // One line naming the device, for status texts and the command line:
    // "/dev/ttyUSB0: no such device".
    QString describe() const;
};

// What an errno from open() or a terminal call means for opening a port.
PortFailure::Kind OpenFailureKind(int errorNumber);

// Looks at `device` after a failed open to find why. `lockRefused`: the port library refused
// for want of permission, which, when the device itself opens, is its lock held elsewhere.
// `fallback` (the library's own words) when nothing more precise is found. Opens the device
// for a moment and reads its settings, never changing them.
PortFailure ProbeOpenFailure(const QString &device, bool lockRefused, const QString &fallback);

// Looks at an open port's descriptor: a hang-up or a vanished device, or None while it is
// healthy. `device` names the path the port was opened from.
PortFailure ProbeOpenLine(int descriptor, const QString &device);

}  // namespace talvo

Q_DECLARE_METATYPE(talvo::PortFailure)
