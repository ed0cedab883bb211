#include "remote/RemoteServer.h"

#include <algorithm>
#include <cmath>

#include <sys/socket.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

// The page's files are compiled into the library; a static library's resources are set up by
// hand, and only from outside any namespace.
static void InitRemoteResources()
{
    Q_INIT_RESOURCE(remote);
}

namespace talvo {

namespace {

// Room for a request's head besides its body before a connection is cut off for sending too
// much: the server answers a body over the limit with 413 when it arrives whole below this,
// and ends the connection with 413 as soon as more than this arrives.
constexpr qint64 kHeadRoom = 16 * 1024;
constexpr const char *kPendingProperty = "talvoRemotePending";
constexpr const char *kActivityProperty = "talvoRemoteActivity";
constexpr const char *kUpgradedProperty = "talvoRemoteUpgraded";
// An HTTP connection that sends nothing for this long is closed, and so is one whose request
// is still not whole after this long, so that idle or trickling clients cannot hold every
// place; WebSockets have their pings.
constexpr qint64 kIdleMs = 60000;
constexpr qint64 kSweepMs = 5000;
// Requests from one address that may wait out its penalty at once; more are refused (429).
constexpr int kHeldPerAddress = 16;
// WebSocket close codes of the page's own (4000..4999 are the application's).
constexpr int kCloseUnauthorized = 4401;
constexpr int kCloseForbidden = 4403;
constexpr int kCloseNotFound = 4404;

const QByteArray kJson = QByteArrayLiteral("application/json");

qint64 SinceStartMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// A whole fixed answer written straight to a connection the server will not read any further:
// the request is not taken at all, so no parser has produced a request to answer through.
// What the client still sends is read and dropped until it has the answer and closes (or for
// a few seconds): closing with its bytes unread would reset the connection, and the client
// could lose the answer.
void RefuseConnection(QTcpSocket *socket, const char *statusLine, const QString &message)
{
    const QByteArray body = QJsonDocument(QJsonObject{{"error", message}}).toJson(QJsonDocument::Compact);
    QByteArray out = QByteArray("HTTP/1.1 ") + statusLine + "\r\n";
    out += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0 && socket->socketDescriptor() >= 0)
            ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
    });
    QTimer::singleShot(std::chrono::seconds(3), socket, [socket] { socket->abort(); });
    socket->readAll();
    socket->write(out);
}

// The listening socket: bounds the connections open at once, and counts what each connection
// sends towards one request, so that a body far over the limit is never read into memory.
class GuardedListener : public QTcpServer {
public:
    GuardedListener(int maxConnections, qint64 maxRequestBytes, QObject *parent)
        : QTcpServer(parent), maxConnections_(maxConnections), maxRequestBytes_(maxRequestBytes)
    {
        auto *sweep = new QTimer(this);
        sweep->setInterval(static_cast<int>(kSweepMs));
        connect(sweep, &QTimer::timeout, this, [this] {
            const qint64 now = SinceStartMs();
            for (const QPointer<QTcpSocket> &s : open_) {
                if (s && !s->property(kUpgradedProperty).toBool() &&
                    now - s->property(kActivityProperty).toLongLong() > kIdleMs)
                    s->abort();
            }
        });
        sweep->start();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        // Counted by what is still there (an upgraded WebSocket keeps its socket), not by
        // signals: the server takes an upgraded socket's connections away.
        open_.erase(std::remove_if(open_.begin(), open_.end(), [](const QPointer<QTcpSocket> &p) {
                        return p.isNull() || p->state() == QAbstractSocket::UnconnectedState;
                    }),
                    open_.end());
        if (static_cast<int>(open_.size()) >= maxConnections_) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            RefuseConnection(socket, "503 Service Unavailable",
                             QStringLiteral("too many connections: at most %1 at once").arg(maxConnections_));
            return;
        }
        open_.emplace_back(socket);
        // Connected before the HTTP server's own handler, so it sees the bytes first. The server
        // reads everything that arrives, so what is available is what is new; handling a request
        // starts the count afresh. An upgraded WebSocket leaves this behind (its own limits
        // apply).
        socket->setProperty(kPendingProperty, qint64(0));
        socket->setProperty(kActivityProperty, SinceStartMs());
        connect(socket, &QTcpSocket::readyRead, socket, [socket, limit = maxRequestBytes_] {
            const qint64 pending = socket->property(kPendingProperty).toLongLong() + socket->bytesAvailable();
            socket->setProperty(kPendingProperty, pending);
            if (pending > limit)
                RefuseConnection(socket, "413 Payload Too Large",
                                 QStringLiteral("the request is too large: bodies of at most %1 bytes")
                                     .arg(limit - kHeadRoom));
        });
        addPendingConnection(socket);
    }

private:
    int maxConnections_;
    qint64 maxRequestBytes_;
    std::vector<QPointer<QTcpSocket>> open_;
};

QByteArray MethodName(QHttpServerRequest::Method m)
{
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "OTHER";
    }
}

// The page's files by their exact path: nothing else is served, so no path (with dots,
// encoded dots or anything else) leads anywhere but here.
struct StaticFile {
    const char *path;
    const char *resource;
    const char *type;
};
constexpr StaticFile kStaticFiles[] = {
    {"/", ":/remote/index.html", "text/html; charset=utf-8"},
    {"/remote.js", ":/remote/remote.js", "text/javascript; charset=utf-8"},
    {"/remote.css", ":/remote/remote.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/remote/icon.svg", "image/svg+xml"},
};

// Every answer: nothing cached, nothing sniffed, nothing framed, no address handed on.
const std::vector<std::pair<QByteArray, QByteArray>> &CommonHeaders()
{
    static const std::vector<std::pair<QByteArray, QByteArray>> headers{
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return headers;
}

const QByteArray kPagePolicy = QByteArrayLiteral(
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
    "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");

std::optional<int> SlotOf(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < 1 || d > kMemorySlotCount)
        return std::nullopt;
    return static_cast<int>(d);
}

}  // namespace

RemoteServer::RemoteServer(RemoteControl &control, const RemoteServerOptions &options, QObject *parent)
    : QAbstractHttpServer(parent),
      control_(control),
      options_(options),
      token_(NewPairingToken()),
      attempts_(options.firstPenaltyMs, options.maxPenaltyMs),
      refreshTimer_(new QTimer(this)),
      pingTimer_(new QTimer(this))
{
    InitRemoteResources();
    refreshTimer_->setInterval(options_.refreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &RemoteServer::refreshPages);
    pingTimer_->setInterval(options_.pingMs);
    connect(pingTimer_, &QTimer::timeout, this, &RemoteServer::ping);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &RemoteServer::takeWebSockets);
    connect(&control_, &RemoteControl::changed, this, &RemoteServer::refreshSoon);
}

RemoteServer::~RemoteServer()
{
    const std::vector<QWebSocket *> clients = clients_;
    clients_.clear();
    for (QWebSocket *ws : clients) {
        ws->disconnect(this);
        ws->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("the room remote was stopped"));
    }
}

bool RemoteServer::Listen(const QHostAddress &address, quint16 port, QString *error)
{
    auto *listener = new GuardedListener(options_.maxConnections, options_.maxBodyBytes + kHeadRoom, this);
    if (!listener->listen(address, port)) {
        if (error)
            *error = listener->errorString();
        delete listener;
        return false;
    }
    bind(listener);
    listener_ = listener;
    address_ = address;
    port_ = listener->serverPort();
    return true;
}

QString RemoteServer::pageUrl(const QString &host) const
{
    QString h = host.isEmpty() ? address_.toString() : host;
    if (h.contains(QLatin1Char(':')) && !h.startsWith(QLatin1Char('[')))
        h = QLatin1Char('[') + h + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/?token=%3").arg(h).arg(port_).arg(QString::fromLatin1(token_));
}

QByteArray RemoteServer::cookieName() const
{
    // One per port: two servers on one machine would otherwise overwrite each other's.
    return "talvo_remote_" + QByteArray::number(port_);
}

bool RemoteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // This request arrived whole: what the connection sends next counts towards the next one.
    socket->setProperty(kPendingProperty, qint64(0));
    socket->setProperty(kActivityProperty, SinceStartMs());
    // A WebSocket's upgrade goes ahead when this returns true having written nothing (Qt
    // HttpServer 6.4 asks here, but gives the handler no way to delay or word a refusal); the
    // upgraded socket is then checked before it may send or receive anything (vet).
    if (request.value(QByteArrayLiteral("upgrade")).compare("websocket", Qt::CaseInsensitive) == 0) {
        socket->setProperty(kUpgradedProperty, true);
        return true;
    }
    auto x = std::make_shared<Exchange>();
    x->method = MethodName(request.method());
    x->url = request.url();
    for (const auto &[name, value] : request.headers())
        x->headers.insert(name.toLower(), value);
    x->body = request.body();
    x->peer = request.remoteAddress();
    x->socket = socket;
    x->responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));

    if (x->body.size() > options_.maxBodyBytes) {
        answerError(x, 413, QStringLiteral("the body is too large: at most %1 bytes").arg(options_.maxBodyBytes));
        return true;
    }
    const qint64 wait = attempts_.WaitFor(x->peer);
    const bool presentsToken = !x->header("authorization").isEmpty() || !x->header("cookie").isEmpty() ||
                               QUrlQuery(x->url).hasQueryItem(QStringLiteral("token"));
    if (wait > 0 && presentsToken) {
        if (!holdUntilAllowed(x, wait))
            answerError(x, 429, QStringLiteral("too many attempts: wait and try again"),
                        {{"Retry-After", QByteArray::number((wait + 999) / 1000)}});
        return true;
    }
    handle(x);
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // handleRequest takes every request and every upgrade, so nothing comes here.
    (void)request;
    (void)socket;
}

bool RemoteServer::holdUntilAllowed(const ExchangePtr &x, qint64 waitMs)
{
    const QString key = x->peer.toString();
    int &held = held_[key];
    if (held >= kHeldPerAddress)
        return false;
    ++held;
    QTimer::singleShot(Clock::toRealCeilMs(waitMs), Qt::PreciseTimer, this, [this, x, key] {
        --held_[key];
        if (held_[key] <= 0)
            held_.remove(key);
        // Another wrong token from the address may have made it wait longer meanwhile.
        const qint64 more = attempts_.WaitFor(x->peer);
        if (more > 0 && holdUntilAllowed(x, more))
            return;
        handle(x);
    });
    return true;
}

RemoteServer::Presented RemoteServer::presented(const QByteArray &authorization, const QByteArray &cookie,
                                                const QString &queryToken) const
{
    std::vector<QByteArray> offered;
    if (authorization.size() > 7 && authorization.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
        offered.push_back(authorization.mid(7).trimmed());
    else if (!authorization.isEmpty())
        offered.push_back(QByteArray());  // some other scheme: presented, and wrong
    const QByteArray name = cookieName();
    for (const QByteArray &piece : cookie.split(';')) {
        const QByteArray c = piece.trimmed();
        const qsizetype eq = c.indexOf('=');
        if (eq > 0 && c.left(eq) == name)
            offered.push_back(c.mid(eq + 1));
    }
    if (!queryToken.isEmpty())
        offered.push_back(queryToken.toLatin1());
    // A cookie left from an earlier run beside the token of this one is no failure.
    bool any = false;
    bool right = false;
    for (const QByteArray &t : offered) {
        any = true;
        right = TokensEqual(t, token_) || right;
    }
    return right ? Presented::Right : any ? Presented::Wrong : Presented::None;
}

bool RemoteServer::foreignOrigin(const QByteArray &origin, const QByteArray &host)
{
    if (origin.isEmpty())
        return false;  // not sent by a page (curl, a control system)
    const QUrl url(QString::fromLatin1(origin));
    return url.authority().compare(QString::fromLatin1(host), Qt::CaseInsensitive) != 0;
}

void RemoteServer::handle(const ExchangePtr &x)
{
    const bool page = x->method == "GET" && x->url.path() == QLatin1String("/");
    const QString queryToken = page ? QUrlQuery(x->url).queryItemValue(QStringLiteral("token")) : QString();
    switch (presented(x->header("authorization"), x->header("cookie"), queryToken)) {
    case Presented::None:
        answerError(x, 401,
                    QStringLiteral("no pairing token: open the address the room remote shows (its QR code), or send "
                                   "Authorization: Bearer TOKEN"),
                    {{"WWW-Authenticate", "Bearer"}});
        return;
    case Presented::Wrong: {
        const qint64 penalty = attempts_.Failed(x->peer);
        QTimer::singleShot(Clock::toRealCeilMs(penalty), Qt::PreciseTimer, this, [this, x, penalty] {
            answerError(x, 401, QStringLiteral("wrong pairing token"),
                        {{"WWW-Authenticate", "Bearer error=\"invalid_token\""},
                         {"Retry-After", QByteArray::number((penalty + 999) / 1000)}});
        });
        return;
    }
    case Presented::Right:
        break;
    }
    // A page of another site may send requests here through the phone's browser; what changes
    // something must come from the remote's own page (or from no page at all).
    if (x->method != "GET" && foreignOrigin(x->header("origin"), x->header("host"))) {
        answerError(x, 403, QStringLiteral("requests from another origin are refused"));
        return;
    }
    if (page && !queryToken.isEmpty()) {
        // The QR code's address: the token goes into a cookie and out of the address bar.
        answer(x, 303, QByteArray(), "text/plain",
               {{"Location", "/"},
                {"Set-Cookie", cookieName() + '=' + token_ + "; Path=/; HttpOnly; SameSite=Strict"}});
        return;
    }
    route(x);
}

void RemoteServer::route(const ExchangePtr &x)
{
    const QString path = x->url.path();
    const QByteArray &method = x->method;
    const auto wrongMethod = [&](const char *allowed) {
        answerError(x, 405, QStringLiteral("%1 takes %2").arg(path, QLatin1String(allowed)), {{"Allow", allowed}});
    };
    const auto bodyObject = [&](QJsonObject &object) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(x->body, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            answerError(x, 400,
                        error.error != QJsonParseError::NoError
                            ? QStringLiteral("the body is not JSON: %1 at %2").arg(error.errorString()).arg(error.offset)
                            : QStringLiteral("the body is not a JSON object"));
            return false;
        }
        object = doc.object();
        return true;
    };

    if (serveStatic(x, path))
        return;
    if (path == QLatin1String("/api/v1/state")) {
        if (method != "GET")
            return wrongMethod("GET");
        answerJson(x, 200, control_.State());
    } else if (path == QLatin1String("/api/v1/channels")) {
        if (method != "PATCH")
            return wrongMethod("PATCH");
        QJsonObject values;
        if (bodyObject(values))
            answerResult(x, control_.Set(values));
    } else if (path == QLatin1String("/api/v1/memory")) {
        if (method != "GET")
            return wrongMethod("GET");
        answerJson(x, 200, RemoteControl::MemoryJson(control_.View()));
    } else if (path == QLatin1String("/api/v1/memory/recall")) {
        if (method != "POST")
            return wrongMethod("POST");
        QJsonObject request;
        if (!bodyObject(request))
            return;
        const std::optional<int> slot = SlotOf(request.value(QLatin1String("slot")));
        if (!slot)
            return answerError(x, 400, QStringLiteral("'slot' is a whole number 1..%1").arg(kMemorySlotCount));
        QPointer<RemoteServer> self(this);
        control_.Recall(*slot, [self, x](const RemoteResult &r) {
            if (self)
                self->answerResult(x, r);
        });
    } else if (path == QLatin1String("/api/v1/memory/refresh")) {
        if (method != "POST")
            return wrongMethod("POST");
        QPointer<RemoteServer> self(this);
        control_.RefreshMemory([self, x](const RemoteResult &r) {
            if (self)
                self->answerResult(x, r);
        });
    } else if (path == QLatin1String("/api/v1/mute") || path == QLatin1String("/api/v1/unmute")) {
        if (method != "POST")
            return wrongMethod("POST");
        QJsonObject request;
        if (!bodyObject(request))
            return;
        const QJsonValue channel = request.value(QLatin1String("channel"));
        if (!channel.isString())
            return answerError(x, 400, QStringLiteral("'channel' is left, right or both"));
        answerResult(x, control_.Mute(channel.toString(), path.endsWith(QLatin1String("/mute"))));
    } else if (path == QLatin1String("/ws")) {
        answerError(x, 400, QStringLiteral("/ws is a WebSocket: connect with an upgrade"));
    } else {
        answerError(x, 404, QStringLiteral("no such route: %1").arg(path));
    }
}

bool RemoteServer::serveStatic(const ExchangePtr &x, const QString &path)
{
    for (const StaticFile &f : kStaticFiles) {
        if (path != QLatin1String(f.path))
            continue;
        if (x->method != "GET") {
            answerError(x, 405, QStringLiteral("%1 takes GET").arg(path), {{"Allow", "GET"}});
            return true;
        }
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly)) {
            answerError(x, 404, QStringLiteral("no such file: %1").arg(path));
            return true;
        }
        answer(x, 200, file.readAll(), f.type, {{"Content-Security-Policy", kPagePolicy}});
        return true;
    }
    return false;
}

void RemoteServer::answer(const ExchangePtr &x, int status, const QByteArray &body, const QByteArray &contentType,
                          const std::vector<std::pair<QByteArray, QByteArray>> &extra)
{
    // The connection may have gone while the answer waited (a penalty, a memory transfer).
    if (!x->responder || !x->socket || x->socket->state() != QAbstractSocket::ConnectedState) {
        x->responder.reset();
        return;
    }
    QHttpServerResponder &r = *x->responder;
    r.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    r.writeHeader("Content-Type", contentType);
    r.writeHeader("Content-Length", QByteArray::number(body.size()));
    for (const auto &[name, value] : CommonHeaders())
        r.writeHeader(name, value);
    for (const auto &[name, value] : extra)
        r.writeHeader(name, value);
    r.writeBody(body);
    x->responder.reset();
}

void RemoteServer::answerJson(const ExchangePtr &x, int status, const QJsonObject &body,
                              const std::vector<std::pair<QByteArray, QByteArray>> &extra)
{
    answer(x, status, QJsonDocument(body).toJson(QJsonDocument::Compact), kJson, extra);
}

void RemoteServer::answerResult(const ExchangePtr &x, const RemoteResult &result)
{
    answerJson(x, result.status, result.body);
}

void RemoteServer::answerError(const ExchangePtr &x, int status, const QString &message,
                               const std::vector<std::pair<QByteArray, QByteArray>> &extra)
{
    answerJson(x, status, QJsonObject{{"error", message}}, extra);
}

// ---- WebSockets.

void RemoteServer::takeWebSockets()
{
    while (std::unique_ptr<QWebSocket> ws = nextPendingWebSocketConnection()) {
        QWebSocket *socket = ws.release();
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(static_cast<quint64>(options_.maxBodyBytes));
        socket->setMaxAllowedIncomingFrameSize(static_cast<quint64>(options_.maxBodyBytes));
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            dropClient(socket);
            socket->deleteLater();
        });
        // Nothing is read from it or sent to it before its request passed the check.
        const qint64 wait = attempts_.WaitFor(socket->peerAddress());
        if (wait > 0)
            QTimer::singleShot(Clock::toRealCeilMs(wait), Qt::PreciseTimer, socket, [this, socket] { vet(socket); });
        else
            vet(socket);
    }
}

void RemoteServer::vet(QWebSocket *socket)
{
    const qint64 more = attempts_.WaitFor(socket->peerAddress());
    if (more > 0) {
        QTimer::singleShot(Clock::toRealCeilMs(more), Qt::PreciseTimer, socket, [this, socket] { vet(socket); });
        return;
    }
    const QNetworkRequest &request = socket->request();
    const auto close = [socket](int code, const QString &why) {
        socket->close(static_cast<QWebSocketProtocol::CloseCode>(code), why);
    };
    if (request.url().path() != QLatin1String("/ws"))
        return close(kCloseNotFound, QStringLiteral("no such WebSocket"));
    const QString queryToken = QUrlQuery(request.url()).queryItemValue(QStringLiteral("token"));
    switch (presented(request.rawHeader("Authorization"), request.rawHeader("Cookie"), queryToken)) {
    case Presented::None:
        return close(kCloseUnauthorized, QStringLiteral("no pairing token"));
    case Presented::Wrong: {
        const qint64 penalty = attempts_.Failed(socket->peerAddress());
        QTimer::singleShot(Clock::toRealCeilMs(penalty), Qt::PreciseTimer, socket,
                           [close] { close(kCloseUnauthorized, QStringLiteral("wrong pairing token")); });
        return;
    }
    case Presented::Right:
        break;
    }
    if (foreignOrigin(socket->origin().toLatin1(), request.rawHeader("Host")))
        return close(kCloseForbidden, QStringLiteral("another origin"));
    if (clientCount() >= options_.maxClients)
        return close(QWebSocketProtocol::CloseCodePolicyViolated,
                     QStringLiteral("too many pages: at most %1 at once").arg(options_.maxClients));
    admit(socket);
}

void RemoteServer::admit(QWebSocket *socket)
{
    clients_.push_back(socket);
    lastPong_.insert(socket, SinceStartMs());
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString &text) { onMessage(socket, text); });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [socket] {
        socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported, QStringLiteral("text messages only"));
    });
    connect(socket, &QWebSocket::pong, this, [this, socket] { lastPong_.insert(socket, SinceStartMs()); });
    QJsonObject hello = RemoteControl::Tables();
    hello.insert(QLatin1String("type"), QStringLiteral("hello"));
    hello.insert(QLatin1String("maxClients"), options_.maxClients);
    send(socket, hello);
    QJsonObject state = control_.State();
    state.insert(QLatin1String("type"), QStringLiteral("state"));
    send(socket, state);
    if (!refreshTimer_->isActive())
        refreshTimer_->start();
    if (!pingTimer_->isActive())
        pingTimer_->start();
    emit clientCountChanged(clientCount());
}

void RemoteServer::dropClient(QWebSocket *socket)
{
    const auto it = std::find(clients_.begin(), clients_.end(), socket);
    lastPong_.remove(socket);
    if (it == clients_.end())
        return;
    clients_.erase(it);
    if (clients_.empty()) {
        refreshTimer_->stop();
        pingTimer_->stop();
        haveSent_ = false;
    }
    emit clientCountChanged(clientCount());
}

void RemoteServer::send(QWebSocket *socket, const QJsonObject &message)
{
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void RemoteServer::onMessage(QWebSocket *socket, const QString &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject m = doc.object();
    const QJsonValue id = m.value(QLatin1String("id"));
    QPointer<QWebSocket> target(socket);
    QPointer<RemoteServer> self(this);
    // Answers go to the page that asked; errors always, results where the page waits for one.
    const auto reply = [self, target, id](const RemoteResult &r) {
        if (!self || !target)
            return;
        QJsonObject out{{"type", r.ok() ? QStringLiteral("result") : QStringLiteral("error")},
                        {"status", r.status},
                        {"body", r.body}};
        if (!r.ok())
            out.insert(QLatin1String("error"), r.body.value(QLatin1String("error")));
        if (!id.isUndefined())
            out.insert(QLatin1String("id"), id);
        self->send(target, out);
    };
    if (!doc.isObject()) {
        reply(RemoteResult::Error(400, QStringLiteral("a message is a JSON object")));
        return;
    }
    const QString type = m.value(QLatin1String("type")).toString();
    if (type == QLatin1String("edit")) {
        const QString phase = m.value(QLatin1String("phase")).toString();
        if (phase != QLatin1String("move") && phase != QLatin1String("end"))
            return reply(RemoteResult::Error(400, QStringLiteral("an edit's phase is move or end")));
        const RemoteResult r = control_.Edit(m.value(QLatin1String("values")).toObject(),
                                             phase == QLatin1String("end") ? RemoteEdit::Finish : RemoteEdit::Move);
        if (!r.ok() || phase == QLatin1String("end"))
            reply(r);
    } else if (type == QLatin1String("set")) {
        reply(control_.Set(m.value(QLatin1String("values")).toObject()));
    } else if (type == QLatin1String("mute")) {
        reply(control_.Mute(m.value(QLatin1String("channel")).toString(), m.value(QLatin1String("muted")).toBool()));
    } else if (type == QLatin1String("recall")) {
        const std::optional<int> slot = SlotOf(m.value(QLatin1String("slot")));
        if (!slot)
            return reply(RemoteResult::Error(400, QStringLiteral("'slot' is a whole number 1..%1").arg(kMemorySlotCount)));
        control_.Recall(*slot, reply);
    } else if (type == QLatin1String("refresh")) {
        control_.RefreshMemory(reply);
    } else {
        reply(RemoteResult::Error(400, QStringLiteral("unknown message type '%1'").arg(type)));
    }
}

void RemoteServer::refreshSoon()
{
    if (refreshQueued_ || clients_.empty())
        return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        refreshPages();
    });
}

void RemoteServer::refreshPages()
{
    if (clients_.empty())
        return;
    const RemoteView view = control_.View();
    if (haveSent_ && view == sent_)
        return;
    sent_ = view;
    haveSent_ = true;
    QJsonObject state = RemoteControl::StateJson(view);
    state.insert(QLatin1String("type"), QStringLiteral("state"));
    const QString text = QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
    for (QWebSocket *ws : clients_)
        ws->sendTextMessage(text);
}

void RemoteServer::ping()
{
    const qint64 now = SinceStartMs();
    const std::vector<QWebSocket *> clients = clients_;
    for (QWebSocket *ws : clients) {
        // A phone that went to sleep never says goodbye; its place is freed for another.
        if (now - lastPong_.value(ws, now) > 3 * qint64(options_.pingMs)) {
            ws->abort();
            continue;
        }
        ws->ping();
    }
}

}  // namespace talvo
