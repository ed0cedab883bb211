#include "link/TcpAddress.h"

namespace talvo {

namespace {

constexpr QLatin1StringView kScheme("tcp://");

bool fail(QString *problem, const QString &words)
{
    if (problem)
        *problem = words;
    return false;
}

std::optional<quint16> parsePort(const QString &text, bool anyPort)
{
    // Digits only: "+80", " 80" or "0x50" are typing slips, not ports.
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < (anyPort ? 0 : 1) || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

bool plausibleHost(const QString &host)
{
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'[' || c == u']' || c == u'@')
            return false;
    }
    return !host.isEmpty();
}

}  // namespace

bool IsTcpPortName(const QString &name)
{
    return name.startsWith(kScheme, Qt::CaseInsensitive);
}

std::optional<TcpAddress> ParseHostAndPort(const QString &text, const QString &defaultHost, QString *problem, bool anyPort)
{
    QString host;
    QString portText;
    if (text.startsWith(u'[')) {
        // [IPv6]:PORT
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || close + 1 >= text.size() || text.at(close + 1) != u':') {
            fail(problem, QStringLiteral("an IPv6 address is written [ADDRESS]:PORT"));
            return std::nullopt;
        }
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
        if (!host.contains(u':')) {
            fail(problem, QStringLiteral("'%1' is no IPv6 address").arg(host));
            return std::nullopt;
        }
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon < 0) {
            if (defaultHost.isEmpty()) {
                fail(problem, QStringLiteral("the port number is missing (HOST:PORT)"));
                return std::nullopt;
            }
            host = defaultHost;
            portText = text;
        } else {
            host = text.left(colon);
            portText = text.mid(colon + 1);
            if (host.contains(u':')) {
                fail(problem, QStringLiteral("an IPv6 address is written [ADDRESS]:PORT"));
                return std::nullopt;
            }
        }
    }
    if (!plausibleHost(host)) {
        fail(problem, host.isEmpty() ? QStringLiteral("the host is missing (HOST:PORT)")
                                     : QStringLiteral("'%1' is no host name or address").arg(host));
        return std::nullopt;
    }
    const std::optional<quint16> port = parsePort(portText, anyPort);
    if (!port) {
        fail(problem, QStringLiteral("'%1' is no TCP port (%2..65535)").arg(portText).arg(anyPort ? 0 : 1));
        return std::nullopt;
    }
    return TcpAddress{host, *port};
}

std::optional<TcpAddress> ParseTcpPortName(const QString &name, QString *problem)
{
    if (!IsTcpPortName(name)) {
        fail(problem, QStringLiteral("a network port is written tcp://HOST:PORT"));
        return std::nullopt;
    }
    return ParseHostAndPort(name.mid(kScheme.size()), QString(), problem);
}

QString TcpPortName(const TcpAddress &address)
{
    const QString host = address.host.contains(u':') ? u'[' + address.host + u']' : address.host;
    return QStringLiteral("tcp://%1:%2").arg(host).arg(address.port);
}

}  // namespace talvo
