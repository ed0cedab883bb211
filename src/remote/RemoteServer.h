#pragma once
// The room remote's server: the phone page and the JSON API over HTTP, and the page's
// WebSocket, on one address and port, on the main thread's event loop beside the models. One
// object is one run: its pairing token is drawn when it is made, and stopping the server is
// deleting it (RemoteHost does both).
//
// Access: every request and every WebSocket presents the token (the cookie the page's first
// visit through the QR address sets, `Authorization: Bearer`, or `?token=` on the page's
// address and on the WebSocket); without it, 401 and nothing changes. A wrong token slows its
// address down (FailedAttempts). At most eight pages at once (the ninth WebSocket is closed),
// a bound on connections of any kind, request bodies over 64 KiB refused with 413, no CORS
// headers at all (the page is served from the same origin), and requests that change
// something from a page of another origin refused.
//
// Qt HttpServer 6.4 shows a WebSocket's upgrade request to handleRequest, but only to let it
// go ahead or drop the connection unanswered; a refusal with a reason, or one that waits out a
// penalty, comes with the upgrade verifiers of 6.8. So the upgrade goes ahead, and the upgraded
// socket is kept silent (nothing read, nothing sent) until its request has been checked, then
// closed with a code the page can explain (4401 no or wrong token, 4403 another origin, 1008
// too many pages) when the check fails.
//
// The pages are kept in step by comparing the remote's view every `refreshMs` while a page is
// connected (and at once after a change made here): a change from the desktop or another page
// reaches every page within that time plus the network's.

#include <memory>
#include <vector>

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "remote/RemoteAccess.h"
#include "remote/RemoteControl.h"

class QHttpServerResponder;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;

namespace talvo {

struct RemoteServerOptions {
    int maxClients = 8;          // pages (WebSockets) at once
    int maxConnections = 32;     // TCP connections of any kind at once
    qint64 maxBodyBytes = 64 * 1024;
    int firstPenaltyMs = 250;    // a first wrong token; doubling from there
    int maxPenaltyMs = 8000;
    int refreshMs = 40;          // how often the pages' view is compared while one is connected
    int pingMs = 20000;          // a page that answers no ping for three of these is closed
};

class RemoteServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit RemoteServer(RemoteControl &control, const RemoteServerOptions &options = {}, QObject *parent = nullptr);
    ~RemoteServer() override;

    // Listens on `address` (port 0: any free port). False, with `error` saying why, when it
    // cannot.
    bool Listen(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress address() const { return address_; }
    quint16 port() const { return port_; }
    const QByteArray &token() const { return token_; }
    // The page's address with the token, as the QR code carries it:
    // http://HOST:PORT/?token=... (HOST: the listening address unless another is given).
    QString pageUrl(const QString &host = QString()) const;
    // Pages connected now (WebSockets that passed the check).
    int clientCount() const { return static_cast<int>(clients_.size()); }

signals:
    void clientCountChanged(int count);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // A request taken out of the server's hands, so that it can be answered later (after a
    // penalty, after a memory transfer) when its connection is still there.
    struct Exchange {
        QByteArray method;
        QUrl url;
        QHash<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;
        QHostAddress peer;
        QPointer<QTcpSocket> socket;
        std::shared_ptr<QHttpServerResponder> responder;
        QByteArray header(const char *name) const { return headers.value(QByteArray(name)); }
    };
    using ExchangePtr = std::shared_ptr<Exchange>;

    // The whole handling of one request once its address may be looked at.
    void handle(const ExchangePtr &x);
    void route(const ExchangePtr &x);
    void answer(const ExchangePtr &x, int status, const QByteArray &body, const QByteArray &contentType,
                const std::vector<std::pair<QByteArray, QByteArray>> &extra = {});
    void answerJson(const ExchangePtr &x, int status, const QJsonObject &body,
                    const std::vector<std::pair<QByteArray, QByteArray>> &extra = {});
    void answerResult(const ExchangePtr &x, const RemoteResult &result);
    void answerError(const ExchangePtr &x, int status, const QString &message,
                     const std::vector<std::pair<QByteArray, QByteArray>> &extra = {});
    bool serveStatic(const ExchangePtr &x, const QString &path);
    // Holds the request until its address may be looked at again; false when too many wait.
    bool holdUntilAllowed(const ExchangePtr &x, qint64 waitMs);

    enum class Presented { None, Right, Wrong };
    Presented presented(const QByteArray &authorization, const QByteArray &cookie, const QString &queryToken) const;
    QByteArray cookieName() const;
    // A request from a page of another origin (its Origin is not the Host it was sent to).
    static bool foreignOrigin(const QByteArray &origin, const QByteArray &host);

    // WebSockets.
    void takeWebSockets();
    void vet(QWebSocket *socket);
    void admit(QWebSocket *socket);
    void dropClient(QWebSocket *socket);
    void onMessage(QWebSocket *socket, const QString &text);
    void send(QWebSocket *socket, const QJsonObject &message);
    void refreshPages();
    void refreshSoon();
    void ping();

    RemoteControl &control_;
    RemoteServerOptions options_;
    QByteArray token_;
    QHostAddress address_;
    quint16 port_ = 0;
    QTcpServer *listener_ = nullptr;
    FailedAttempts attempts_;
    QHash<QString, int> held_;  // requests waiting out a penalty, by address
    std::vector<QWebSocket *> clients_;
    QHash<QWebSocket *, qint64> lastPong_;
    QTimer *refreshTimer_;
    QTimer *pingTimer_;
    bool refreshQueued_ = false;
    bool haveSent_ = false;
    RemoteView sent_;
};

}  // namespace talvo
