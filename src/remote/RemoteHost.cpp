#include "remote/RemoteHost.h"

#include <QNetworkInterface>
#include <QRegularExpression>

#include "remote/RemoteControl.h"

namespace talvo {

std::optional<ListenAddress> ParseListenAddress(const QString &text, QString &problem)
{
    static const QRegularExpression form(QStringLiteral("^(?:(\\[[0-9A-Fa-f:.]+\\]|[^:\\[\\]]+):)?([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        problem = QStringLiteral("'%1' is not [HOST:]PORT").arg(text);
        return std::nullopt;
    }
    ListenAddress a;
    const int port = m.captured(2).toInt();
    if (port > 65535) {
        problem = QStringLiteral("'%1': the port is 0..65535").arg(text);
        return std::nullopt;
    }
    a.port = static_cast<quint16>(port);
    QString host = m.captured(1);
    if (host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return a;
    if (host.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0) {
        a.address = QHostAddress(QHostAddress::Any);
        return a;
    }
    const bool bracketed = host.startsWith(QLatin1Char('['));
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (!address.setAddress(host) || (bracketed != (address.protocol() == QAbstractSocket::IPv6Protocol))) {
        problem = QStringLiteral("'%1': the host is an IPv4 address, an IPv6 address in brackets, localhost or any")
                      .arg(text);
        return std::nullopt;
    }
    a.address = address;
    return a;
}

RemoteHost::RemoteHost(RemoteControl &control, const RemoteServerOptions &options, QObject *parent)
    : QObject(parent), control_(control), options_(options)
{
}

RemoteHost::~RemoteHost() = default;

QList<QHostAddress> RemoteHost::OfferedAddresses()
{
    QList<QHostAddress> out{QHostAddress(QHostAddress::LocalHost)};
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.isLoopback() || a.isLinkLocal() || a.isNull() || !a.scopeId().isEmpty())
            continue;
        if (!out.contains(a))
            out << a;
    }
    return out;
}

bool RemoteHost::Start(const QHostAddress &address, quint16 port, QString *error)
{
    Stop();
    auto server = std::make_unique<RemoteServer>(control_, options_);
    if (!server->Listen(address, port, error))
        return false;
    connect(server.get(), &RemoteServer::clientCountChanged, this, &RemoteHost::clientCountChanged);
    server_ = std::move(server);
    qr_ = EncodeQr(pageUrl().toUtf8());
    emit runningChanged(true);
    emit clientCountChanged(0);
    return true;
}

void RemoteHost::Stop()
{
    if (!server_)
        return;
    // Deleted later: a request being answered from inside the server's own handling may be
    // what stops it.
    RemoteServer *server = server_.release();
    server->disconnect(this);
    server->deleteLater();
    qr_ = {};
    emit clientCountChanged(0);
    emit runningChanged(false);
}

QHostAddress RemoteHost::address() const
{
    return server_ ? server_->address() : QHostAddress();
}

quint16 RemoteHost::port() const
{
    return server_ ? server_->port() : 0;
}

QString RemoteHost::pageUrl() const
{
    if (!server_)
        return QString();
    const QHostAddress a = server_->address();
    if (a == QHostAddress::Any || a == QHostAddress::AnyIPv4 || a == QHostAddress::AnyIPv6) {
        const QList<QHostAddress> offered = OfferedAddresses();
        // The first address of the machine: loopback only when there is no other.
        for (const QHostAddress &o : offered)
            if (!o.isLoopback() && o.protocol() == QAbstractSocket::IPv4Protocol)
                return server_->pageUrl(o.toString());
        return server_->pageUrl(offered.value(offered.size() > 1 ? 1 : 0).toString());
    }
    return server_->pageUrl();
}

int RemoteHost::clientCount() const
{
    return server_ ? server_->clientCount() : 0;
}

}  // namespace talvo
