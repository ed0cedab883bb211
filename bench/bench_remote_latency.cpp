// The room remote's cost, in real time on a simulated bus (one amplifier on a pseudo-terminal
// served in a thread of its own, the server on the loopback address in this process):
//
//  - BM_GainToWire/desktop|patch|websocket: from the moment a change is asked for to the first
//    byte of its frame at the amplifier, for the desktop editor's own slider path
//    (GainModel::PositionChanged), a PATCH /api/v1/channels written on a kept-alive connection,
//    and a page's slider move over the WebSocket. Reported: median_ms, p90_ms and max_ms over
//    the changes (each one waits until the line is idle, so no frame waits behind another);
//    the server's share is the remote paths' figures less the desktop's (goal: under 5 ms).
//  - BM_IdleClientsCpu/0|8: the main thread's CPU time while that many pages are connected and
//    nothing changes, over 10 s, as cpu_percent of one core (goal with 8: under 0.5 %).

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <vector>

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"

#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "link/Clock.h"
#include "memory/MemoryController.h"
#include "peq/PeqEditorModel.h"
#include "state/ProgramApply.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteServer.h"

namespace {

using namespace talvo;
using namespace talvo::bench;

constexpr int kChanges = 25;

// Runs the event loop until `done` or `ms` of real time.
template <typename F>
bool Pump(F done, int ms = 10000)
{
    const Steady::time_point start = Steady::now();
    while (!done()) {
        if (MsSince(start) > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct RemoteRig {
    SimBusRig bus;
    ProgramApplier applier{bus.state};
    EditorModels models{bus.state, bus.link, applier};
    PeqEditorModel peq{bus.state, bus.link};
    MemoryController memory{bus.state, bus.link, applier};
    std::unique_ptr<RemoteControl> control;
    std::unique_ptr<RemoteServer> server;

    RemoteRig()
    {
        if (!bus.ok())
            return;
        models.gain(kLeftChannel).Apply(-300, false);
        MemoryPrompts prompts;
        prompts.ask = [](const QString &, const QString &, bool) { return false; };
        prompts.tell = [](const QString &, const QString &, bool) {};
        prompts.askName = [](ProgramNameState &) {};
        memory.SetPrompts(prompts);
        RemoteModels m{bus.state, bus.link, models, peq, memory, nullptr, nullptr, nullptr, prompts, {}};
        control = std::make_unique<RemoteControl>(m);
        server = std::make_unique<RemoteServer>(*control);
        QString error;
        if (!server->Listen(QHostAddress(QHostAddress::LocalHost), 0, &error))
            bus.error = error;
    }
};

QByteArray WsMessage(double db)
{
    return QJsonDocument(QJsonObject{{"type", "edit"}, {"phase", "move"}, {"values", QJsonObject{{"left.gain", db}}}})
        .toJson(QJsonDocument::Compact);
}

QByteArray PatchRequest(const QByteArray &token, double db)
{
    const QByteArray body = "{\"left.gain\": " + QByteArray::number(db) + "}";
    return "PATCH /api/v1/channels HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
           "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(std::min<double>(v.size() - 1, std::floor(p * (v.size() - 1) + 0.5)))];
}

enum class Path { Desktop = 0, Patch = 1, WebSocket = 2 };

void BM_GainToWire(benchmark::State &bench)
{
    const auto path = static_cast<Path>(bench.range(0));
    for (auto _ : bench) {
        RemoteRig rig;
        if (!rig.bus.ok()) {
            bench.SkipWithError(rig.bus.error.toStdString().c_str());
            return;
        }
        Link &link = rig.bus.link;
        GainModel &gain = rig.models.gain(kLeftChannel);
        const quint16 port = rig.server->port();

        QTcpSocket http;
        QWebSocket ws;
        if (path == Path::Patch) {
            http.connectToHost(QHostAddress::LocalHost, port);
            Pump([&] { return http.state() == QAbstractSocket::ConnectedState; });
            QObject::connect(&http, &QTcpSocket::readyRead, [&] { http.readAll(); });
        } else if (path == Path::WebSocket) {
            bool admitted = false;
            QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString &) { admitted = true; });
            QNetworkRequest r(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
            r.setRawHeader("Authorization", "Bearer " + rig.server->token());
            ws.open(r);
            Pump([&] { return admitted; });
        }

        std::vector<double> askedAt;
        for (int i = 0; i < kChanges; ++i) {
            link.WaitForIdle(5000);
            // Let the frame's pacing pass and the loop settle, so that every change finds an idle
            // line and nothing of the last one is still being handled.
            link.WaitPumping(20);
            const int position = i % 2 ? -200 : -250;
            askedAt.push_back(Clock::nowMs());
            switch (path) {
            case Path::Desktop:
                gain.PositionChanged(position);
                break;
            case Path::Patch:
                http.write(PatchRequest(rig.server->token(), position / 10.0));
                http.flush();
                break;
            case Path::WebSocket:
                ws.sendTextMessage(QString::fromUtf8(WsMessage(position / 10.0)));
                ws.flush();
                break;
            }
            Pump([&] { return gain.position() == position; });
        }
        link.WaitForIdle(5000);
        ws.close();
        http.close();
        rig.server.reset();
        rig.bus.stop();

        std::vector<double> latency;
        std::size_t k = 0;
        for (const auto &f : rig.bus.bus.record().frames) {
            if (f.frame.command != 2 || k >= askedAt.size())
                continue;
            latency.push_back(f.firstByteMs - askedAt[k++]);
        }
        if (latency.size() != askedAt.size()) {
            bench.SkipWithError("a change did not reach the amplifier as one frame");
            return;
        }
        bench.SetIterationTime(std::accumulate(latency.begin(), latency.end(), 0.0) / 1000.0);
        bench.counters["median_ms"] = Percentile(latency, 0.5);
        bench.counters["p90_ms"] = Percentile(latency, 0.9);
        bench.counters["max_ms"] = *std::max_element(latency.begin(), latency.end());
        bench.counters["changes"] = static_cast<double>(latency.size());
    }
}
BENCHMARK(BM_GainToWire)
    ->ArgName("path(0=desktop,1=patch,2=websocket)")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_IdleClientsCpu(benchmark::State &bench)
{
    const int pages = static_cast<int>(bench.range(0));
    constexpr int kWatchMs = 10000;
    for (auto _ : bench) {
        RemoteRig rig;
        if (!rig.bus.ok()) {
            bench.SkipWithError(rig.bus.error.toStdString().c_str());
            return;
        }
        std::vector<std::unique_ptr<QWebSocket>> sockets;
        int admitted = 0;
        for (int i = 0; i < pages; ++i) {
            auto ws = std::make_unique<QWebSocket>();
            bool *seen = new bool(false);
            QObject::connect(ws.get(), &QWebSocket::textMessageReceived, ws.get(), [seen, &admitted](const QString &) {
                if (!*seen) {
                    *seen = true;
                    ++admitted;
                }
            });
            QObject::connect(ws.get(), &QObject::destroyed, [seen] { delete seen; });
            QNetworkRequest r(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(rig.server->port())));
            r.setRawHeader("Authorization", "Bearer " + rig.server->token());
            ws->open(r);
            sockets.push_back(std::move(ws));
        }
        Pump([&] { return admitted == pages; });
        if (rig.server->clientCount() != pages) {
            bench.SkipWithError("not every page was admitted");
            return;
        }
        const double cpu0 = ThreadCpuMs();
        const Steady::time_point start = Steady::now();
        QEventLoop loop;
        QTimer::singleShot(kWatchMs, &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = MsSince(start);
        const double cpu = ThreadCpuMs() - cpu0;
        bench.SetIterationTime(wall / 1000.0);
        bench.counters["cpu_percent"] = 100.0 * cpu / wall;
        bench.counters["pages"] = pages;
        sockets.clear();
        rig.server.reset();
        rig.bus.stop();
    }
}
BENCHMARK(BM_IdleClientsCpu)->Arg(0)->Arg(8)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
