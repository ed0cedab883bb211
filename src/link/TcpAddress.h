#pragma once
// Network addresses of serial servers: an Ethernet-to-RS-485 converter (or a serial server on
// a small computer) that passes raw bytes over one TCP connection. Wherever a port is named,
// "tcp://HOST:PORT" stands for such a connection instead of a local device.

#include <optional>

#include <QString>

namespace talvo {

struct TcpAddress {
    QString host;  // a name, an IPv4 address, or an IPv6 address without its brackets
    quint16 port = 0;
};

// True when the name is meant as a network address (it begins with "tcp://", in any case),
// whether or not the rest is well formed.
bool IsTcpPortName(const QString &name);

// "tcp://HOST:PORT", HOST a name, an IPv4 address or an IPv6 address in brackets, PORT 1..65535.
// On a malformed name the result is empty and `problem` (if given) says what is wrong.
std::optional<TcpAddress> ParseTcpPortName(const QString &name, QString *problem = nullptr);

// "HOST:PORT" (or only "PORT" when `defaultHost` is given, which then stands for the host).
// `anyPort`: port 0 is taken too (a listener then gets any free port).
std::optional<TcpAddress> ParseHostAndPort(const QString &text, const QString &defaultHost, QString *problem = nullptr,
                                           bool anyPort = false);

// "tcp://HOST:PORT" again, with brackets around an IPv6 address.
QString TcpPortName(const TcpAddress &address);

}  // namespace talvo
