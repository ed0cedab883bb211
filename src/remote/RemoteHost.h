#pragma once
// The room remote as the program runs it: off until started, on one address and port at a time,
// a new pairing token with every start. What the Tools > "Room Remote..." window presents and
// edits, what `talvo --remote` and `talvoctl remote` start.

#include <memory>
#include <optional>

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include "remote/QrCode.h"
#include "remote/RemoteServer.h"

namespace talvo {

class RemoteControl;

// The loopback address unless the operator picks another.
inline constexpr quint16 kDefaultRemotePort = 8480;

struct ListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultRemotePort;
};

// "[HOST:]PORT": HOST an IPv4 address, an IPv6 address in brackets, `localhost` or `any`
// (every address of the machine); loopback when left out. PORT 0..65535 (0: any free port).
// Empty, with `problem` saying why, when it is none of these.
std::optional<ListenAddress> ParseListenAddress(const QString &text, QString &problem);

class RemoteHost : public QObject {
    Q_OBJECT
public:
    explicit RemoteHost(RemoteControl &control, const RemoteServerOptions &options = {}, QObject *parent = nullptr);
    ~RemoteHost() override;

    // The addresses the window offers: loopback first, then the machine's own (no link-local
    // IPv6 ones, which a phone's browser cannot be given).
    static QList<QHostAddress> OfferedAddresses();

    // Starts on this address (a running server stops first). False, with `error`, when the
    // address cannot be listened on.
    bool Start(const QHostAddress &address, quint16 port, QString *error = nullptr);
    void Stop();
    bool isRunning() const { return server_ != nullptr; }
    RemoteServer *server() const { return server_.get(); }
    QHostAddress address() const;
    quint16 port() const;
    // The page's address with its token; for a server on every address, at the first address
    // of the machine a phone could reach. Empty while stopped.
    QString pageUrl() const;
    QrMatrix qrCode() const { return qr_; }
    int clientCount() const;

signals:
    void runningChanged(bool running);
    void clientCountChanged(int count);

private:
    RemoteControl &control_;
    RemoteServerOptions options_;
    std::unique_ptr<RemoteServer> server_;
    QrMatrix qr_;
};

}  // namespace talvo
