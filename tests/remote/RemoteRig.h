#pragma once
// The room remote on a simulated amplifier: the models a desktop has (editors, PEQ, memory,
// connect), connected to amplifier 1 on a pseudo-terminal, the server on the loopback address,
// and clients that speak to it as a phone's browser or a control system would.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <gtest/gtest.h>

#include "devices/ConnectProcedure.h"
#include "editors/EditorModels.h"
#include "link/Clock.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "memory/MemoryController.h"
#include "peq/PeqEditorModel.h"
#include "state/ProgramApply.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteServer.h"
#include "state/AppState.h"
#include "tests/devices/DeviceTestSupport.h"
#include "tests/support/SimLine.h"

namespace talvo::testing {

// Runs the event loop until `done` holds or `timeoutMs` of real time passed; true when it holds.
inline bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets the event loop run for a while (real time), for what should NOT happen meanwhile.
inline void Pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct HttpReply {
    int status = 0;  // 0: no answer
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &[k, v] : headers)
            if (k.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return QByteArray();
    }
    QString error() const { return json().value(QLatin1String("error")).toString(); }
};

using RawHeaders = std::vector<std::pair<QByteArray, QByteArray>>;

// One HTTP request on its way, from a client of its own (no cookies kept, no redirects
// followed): answered once finished() holds.
struct PendingHttp {
    std::unique_ptr<QNetworkAccessManager> manager = std::make_unique<QNetworkAccessManager>();
    QNetworkReply *reply = nullptr;

    PendingHttp(const QUrl &url, const QByteArray &method, const QByteArray &body, const RawHeaders &headers)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        for (const auto &[k, v] : headers)
            request.setRawHeader(k, v);
        reply = manager->sendCustomRequest(request, method, body);
    }
    ~PendingHttp() { delete reply; }
    bool finished() const { return reply->isFinished(); }
    HttpReply take() const
    {
        HttpReply out;
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.body = reply->readAll();
        out.headers = reply->rawHeaderPairs();
        return out;
    }
};

// One HTTP request, waited for.
inline HttpReply Http(const QUrl &url, const QByteArray &method, const QByteArray &body = QByteArray(),
                      const RawHeaders &headers = {}, int timeoutMs = 30000)
{
    PendingHttp pending(url, method, body, headers);
    if (!PumpUntil([&pending] { return pending.finished(); }, timeoutMs)) {
        pending.reply->abort();
        return HttpReply();
    }
    return pending.take();
}

// What a client that writes its request by hand gets back first: the status line's start
// ("HTTP/1.1 404"), so that paths go out exactly as written and bodies as large as wanted.
inline QByteArray RawStatus(quint16 port, const QByteArray &head, const QByteArray &body = QByteArray())
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!PumpUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return "no connection";
    socket.write(head);
    QByteArray got;
    // The body goes in pieces while the answer is looked for, as a client uploading does.
    for (qsizetype at = 0; at < body.size() && got.size() < 12; at += 64 * 1024) {
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.write(body.mid(at, 64 * 1024));
        PumpUntil([&] { return socket.bytesToWrite() < 256 * 1024 || socket.state() != QAbstractSocket::ConnectedState; });
        got += socket.readAll();
    }
    PumpUntil([&] {
        got += socket.readAll();
        return got.size() >= 12 || socket.state() == QAbstractSocket::UnconnectedState;
    });
    got += socket.readAll();
    return got.left(12);
}

// A page's WebSocket: every message it got, and how it was closed.
struct PageSocket {
    QWebSocket ws;
    std::vector<QJsonObject> messages;
    bool connected = false;
    bool closed = false;
    int closeCode = 0;
    QString closeReason;

    explicit PageSocket(const QNetworkRequest &request)
    {
        QObject::connect(&ws, &QWebSocket::connected, [this] { connected = true; });
        QObject::connect(&ws, &QWebSocket::disconnected, [this] {
            closed = true;
            closeCode = ws.closeCode();
            closeReason = ws.closeReason();
        });
        QObject::connect(&ws, &QWebSocket::textMessageReceived,
                         [this](const QString &text) { messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object()); });
        ws.open(request);
    }
    // Qt 6.4's QWebSocket leaks its closing text when it is destroyed while still open: a page
    // that goes away drops its connection first, as a browser tab that is closed does.
    ~PageSocket() { ws.abort(); }
    void send(const QJsonObject &m) { ws.sendTextMessage(QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact))); }
    // The last message of a type, or an empty object.
    QJsonObject last(const QString &type) const
    {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (it->value(QLatin1String("type")).toString() == type)
                return *it;
        return {};
    }
    int count(const QString &type) const
    {
        int n = 0;
        for (const QJsonObject &m : messages)
            n += m.value(QLatin1String("type")).toString() == type ? 1 : 0;
        return n;
    }
};

// The frames an editor sends: everything but connecting, the read-out and disconnecting.
inline std::vector<std::vector<int>> EditorFrames(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<std::vector<int>> out;
    for (const auto &f : frames) {
        const int c = f.frame.command;
        if (c == 220 || (c >= 231 && c <= 239))
            continue;
        std::vector<int> frame{c};
        frame.insert(frame.end(), f.frame.data.begin(), f.frame.data.begin() + f.frame.length);
        out.push_back(frame);
    }
    return out;
}

struct RemoteRig {
    // The speed first: the models' timers take their intervals from it.
    struct Speed {
        explicit Speed(double s) { Clock::setSpeed(s); }
        ~Speed() { Clock::setSpeed(1.0); }
    } speed;
    testsupport::SimLine line;
    AppState state;
    Link link{state.link};
    LinkController linkController{link};
    ProgramApplier applier{state};
    EditorModels models{state, link, applier};
    PeqEditorModel peq{state, link};
    MemoryController memory{state, link, applier};
    ConnectController connect{state, link, linkController, applier};
    std::vector<QString> told;  // what the memory controller told the desktop
    std::unique_ptr<RemoteControl> control;
    std::unique_ptr<RemoteServer> server;

    explicit RemoteRig(RemoteServerOptions options = {}, sim::AmplifierConfig amplifier = sim::AmplifierConfig(),
                       bool connectNow = true)
        : speed(kProcedureSpeed), line({amplifier}, testsupport::PatientBus())
    {
        link.SetDeviceOverride(line.devicePath());
        memory.SetGather([this] { models.GatherProgram(); });
        MemoryPrompts prompts;
        prompts.ask = [](const QString &, const QString &, bool) { return false; };
        prompts.tell = [this](const QString &, const QString &text, bool) { told.push_back(text); };
        prompts.askName = [](ProgramNameState &) {};
        memory.SetPrompts(prompts);
        if (connectNow) {
            EXPECT_TRUE(linkController.ConnectLinkSteps());
            ConnectRequest request;
            request.id = 1;
            request.mute = false;
            EXPECT_TRUE(connect.Connect(request)) << "amplifier 1 did not come ONLINE";
        }
        RemoteModels m{state, link, models, peq, memory, nullptr, nullptr, nullptr, {}, {}};
        m.connect = &connect;
        m.linkController = &linkController;
        m.memoryPrompts = prompts;
        m.portName = [this] { return line.devicePath(); };
        control = std::make_unique<RemoteControl>(m);
        server = std::make_unique<RemoteServer>(*control, options);
        QString error;
        EXPECT_TRUE(server->Listen(QHostAddress(QHostAddress::LocalHost), 0, &error)) << error.toStdString();
    }

    QByteArray token() const { return server->token(); }
    RawHeaders bearer() const { return {{"Authorization", "Bearer " + token()}}; }
    QUrl url(const QString &path) const
    {
        QUrl u(QStringLiteral("http://127.0.0.1:%1").arg(server->port()));
        u.setPath(path, QUrl::StrictMode);
        return u;
    }
    HttpReply get(const QString &path, const RawHeaders &headers) { return Http(url(path), "GET", {}, headers); }
    HttpReply call(const QByteArray &method, const QString &path, const QJsonObject &body)
    {
        return Http(url(path), method, QJsonDocument(body).toJson(QJsonDocument::Compact), bearer());
    }
    QNetworkRequest pageRequest(const RawHeaders &headers, const QString &query = QString()) const
    {
        QNetworkRequest r(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws%2").arg(server->port()).arg(query)));
        for (const auto &[k, v] : headers)
            r.setRawHeader(k, v);
        return r;
    }
    std::unique_ptr<PageSocket> page() { return std::make_unique<PageSocket>(pageRequest(bearer())); }
    // A page that got its hello and first state.
    std::unique_ptr<PageSocket> admittedPage()
    {
        auto p = page();
        EXPECT_TRUE(PumpUntil([&p] { return p->count(QStringLiteral("state")) >= 1 || p->closed; })) << "no state";
        EXPECT_FALSE(p->closed) << p->closeReason.toStdString();
        return p;
    }
    // Everything queued has left the wire; the frames the amplifier got.
    std::vector<std::vector<int>> editorFrames()
    {
        EXPECT_TRUE(link.WaitForIdle(20000));
        line.stop();
        return EditorFrames(line.frames());
    }
};

}  // namespace talvo::testing
