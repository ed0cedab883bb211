// The link runtime on a real (pseudo-)serial line, in real time:
//  - how long a frame occupies the line, measured where the amplifiers listen (the simulated
//    bus stamps every byte it reads), against the least the pacing allows: 28 x 6 + 150 =
//    318 ms for a frame with 16 data bytes, 13 x 6 + 30 = 108 ms for a connect frame;
//  - the same per-byte gaps and frame period over a serial server on the loopback address
//    (tcp://) against the pseudo-terminal;
//  - the CPU time this process spends while 50 frames go out (the bus runs in a process of
//    its own, talvo-ampsim, so that only the program's work is counted);
//  - how long the frames still queued take once the line hangs up: they must fail at once,
//    not each wait for the dead port.

#include <sys/resource.h>

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"

#include "link/Clock.h"
#include "link/Link.h"
#include "link/SerialIo.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"

namespace {

using namespace talvo;

void Connected(LinkState &state)
{
    state.sendEnabled.store(1);
    state.linkActive = kYes;
    state.outFrame.address = 1;
}

// What the simulated amplifiers saw of frames queued back to back: the time from one frame's
// first byte to the next one's (what the frame costs the line: its bytes, their pauses and its
// pacing together), and the gaps between the bytes of each frame.
struct LineFigures {
    std::vector<double> perFrame;
    std::vector<double> bytesSpan;
    std::vector<double> gaps;
    QString error;

    static double Mean(const std::vector<double> &v) { return std::accumulate(v.begin(), v.end(), 0.0) / v.size(); }
};

// The line is a pseudo-terminal, or a serial server listening on the loopback address.
LineFigures MeasureLine(bool overTcp, std::uint8_t command, const std::vector<std::uint8_t> &data, double minimumMs,
                        int frameCount)
{
    LineFigures figures;
    sim::Bus bus;
    bus.addAmplifier(sim::AmplifierConfig());
    auto server = overTcp ? sim::SerialServer::listenTcp(QStringLiteral("127.0.0.1"), 0, &figures.error)
                          : sim::SerialServer::openPseudoTerminal(&figures.error);
    if (!server)
        return figures;
    std::thread serving([&] { server->serve(bus); });

    LinkState state;
    Link link(state);
    link.SetDeviceOverride(server->devicePath());
    if (!link.OpenPort()) {
        server->requestStop();
        serving.join();
        figures.error = link.LastOpenFailure();
        return figures;
    }
    Connected(state);
    for (int i = 0; i < frameCount; ++i) {
        state.outFrame.command = command;
        state.outFrame.length = static_cast<std::uint8_t>(data.size());
        std::copy(data.begin(), data.end(), state.outFrame.data.begin());
        link.SendCommand();
    }
    link.WaitForIdle(frameCount * (minimumMs + 200));
    server->requestStop();
    serving.join();

    const auto &frames = bus.record().frames;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i)
        figures.perFrame.push_back(frames[i + 1].firstByteMs - frames[i].firstByteMs);
    for (const auto &f : frames) {
        figures.bytesSpan.push_back(f.lastByteMs - f.firstByteMs);
        figures.gaps.insert(figures.gaps.end(), f.gapsMs.begin(), f.gapsMs.end());
    }
    if (figures.perFrame.empty() || figures.gaps.empty())
        figures.error = QStringLiteral("the simulator saw too few frames");
    return figures;
}

void LineTimePerFrame(benchmark::State &bench, std::uint8_t command, std::vector<std::uint8_t> data, double minimumMs)
{
    constexpr int kFrames = 11;
    for (auto _ : bench) {
        const LineFigures f = MeasureLine(false, command, data, minimumMs, kFrames);
        if (!f.error.isEmpty()) {
            bench.SkipWithError(f.error.toStdString().c_str());
            return;
        }
        const double mean = LineFigures::Mean(f.perFrame);
        bench.SetIterationTime(mean / 1000.0);
        bench.counters["line_ms"] = mean;
        bench.counters["line_ms_min"] = *std::min_element(f.perFrame.begin(), f.perFrame.end());
        bench.counters["line_ms_max"] = *std::max_element(f.perFrame.begin(), f.perFrame.end());
        bench.counters["minimum_ms"] = minimumMs;
        bench.counters["over_pct"] = 100.0 * (mean - minimumMs) / minimumMs;
        bench.counters["bytes_span_ms"] = LineFigures::Mean(f.bytesSpan);
    }
}

// The same frames over a serial server on the loopback address and over a pseudo-terminal:
// the bus behind a network converter must see the timing of a local port (ratios near 1).
void BM_LineTime_TcpAgainstPseudoTerminal(benchmark::State &bench)
{
    constexpr int kFrames = 11;
    const std::vector<std::uint8_t> data(16, 0x20);
    const double minimumMs = 28 * kByteGapMs + 150;
    for (auto _ : bench) {
        const LineFigures pty = MeasureLine(false, 221, data, minimumMs, kFrames);
        const LineFigures tcp = MeasureLine(true, 221, data, minimumMs, kFrames);
        if (!pty.error.isEmpty() || !tcp.error.isEmpty()) {
            bench.SkipWithError((pty.error + tcp.error).toStdString().c_str());
            return;
        }
        const double tcpPeriod = LineFigures::Mean(tcp.perFrame);
        bench.SetIterationTime(tcpPeriod / 1000.0);
        bench.counters["gap_ms_pty"] = LineFigures::Mean(pty.gaps);
        bench.counters["gap_ms_tcp"] = LineFigures::Mean(tcp.gaps);
        bench.counters["gap_ms_max_tcp"] = *std::max_element(tcp.gaps.begin(), tcp.gaps.end());
        bench.counters["gap_ratio"] = LineFigures::Mean(tcp.gaps) / LineFigures::Mean(pty.gaps);
        bench.counters["frame_ms_pty"] = LineFigures::Mean(pty.perFrame);
        bench.counters["frame_ms_tcp"] = tcpPeriod;
        bench.counters["frame_ratio"] = tcpPeriod / LineFigures::Mean(pty.perFrame);
    }
}
BENCHMARK(BM_LineTime_TcpAgainstPseudoTerminal)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LineTime_Frame16DataBytes(benchmark::State &bench)
{
    LineTimePerFrame(bench, 221, std::vector<std::uint8_t>(16, 0x20), 28 * kByteGapMs + 150);
}
BENCHMARK(BM_LineTime_Frame16DataBytes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LineTime_ConnectFrame(benchmark::State &bench)
{
    LineTimePerFrame(bench, 220, {100}, 13 * kByteGapMs + 30);
}
BENCHMARK(BM_LineTime_ConnectFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// 50 left-gain frames (15 bytes, 150 ms pacing: 240 ms each) queued as a fast button would.
void BM_Cpu_50Frames(benchmark::State &bench)
{
    constexpr int kFrames = 50;
    for (auto _ : bench) {
        QProcess sim;
        sim.start(QStringLiteral(TALVO_AMPSIM_PATH), {});
        if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
            bench.SkipWithError("talvo-ampsim did not start");
            return;
        }
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();

        LinkState state;
        Link link(state);
        link.SetDeviceOverride(device);
        if (!link.OpenPort()) {
            sim.terminate();
            sim.waitForFinished();
            bench.SkipWithError("cannot open the simulator's terminal");
            return;
        }
        Connected(state);

        const double cpuBefore = CpuSeconds();
        const double wallBefore = Clock::nowMs();
        for (int i = 0; i < kFrames; ++i) {
            state.outFrame.set(2, {static_cast<std::uint8_t>(i % 60), 50, 0x55});
            link.SendCommand();
        }
        link.WaitForIdle(kFrames * 1000.0);
        const double cpu = CpuSeconds() - cpuBefore;
        const double wallMs = Clock::nowMs() - wallBefore;

        bench.SetIterationTime(cpu);
        bench.counters["cpu_ms"] = cpu * 1000.0;
        bench.counters["wall_ms"] = wallMs;
        bench.counters["cpu_pct"] = 100.0 * cpu * 1000.0 / wallMs;
        bench.counters["cpu_ms_per_frame"] = cpu * 1000.0 / kFrames;

        link.ClosePort();
        sim.terminate();
        sim.waitForFinished(5000);
    }
}
BENCHMARK(BM_Cpu_50Frames)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Twenty connect frames queued; the line hangs up within the fourth (as an adapter pulled out). The time from the hang-up to the queue's
// end is what the seventeen frames left cost: near nothing when a dead port ends them, about
// 108 ms each (their line time) if each waited for it.
void BM_DeadPort_RemainingFrames(benchmark::State &bench)
{
    constexpr int kFrames = 20;
    constexpr qint64 kHangUpAfter = 3 * 13 + 5;  // bytes: three frames and five of the fourth
    for (auto _ : bench) {
        QString error;
        sim::Bus bus;
        bus.addAmplifier(sim::AmplifierConfig());
        auto server = sim::SerialServer::openPseudoTerminal(&error);
        if (!server) {
            bench.SkipWithError(error.toStdString().c_str());
            return;
        }
        server->hangUpAfterReceiving(kHangUpAfter);
        const long wakeUpsBefore = SerialIo::WakeUps();
        std::thread serving([&] { server->serve(bus); });
        LinkState state;
        Link link(state);
        link.SetDeviceOverride(server->devicePath());
        if (!link.OpenPort()) {
            server->requestStop();
            serving.join();
            bench.SkipWithError("cannot reach the simulator");
            return;
        }
        Connected(state);
        double lostAtMs = -1;
        int failed = 0;
        QObject::connect(&link, &Link::frameDone, [&](bool written) {
            if (written)
                return;
            if (lostAtMs < 0)
                lostAtMs = Clock::nowMs();
            ++failed;
        });
        for (int i = 0; i < kFrames; ++i) {
            state.outFrame.set(220, {100});
            link.SendCommand();
        }
        link.WaitForIdle(kFrames * 1000.0);
        const double endMs = Clock::nowMs();
        server->requestStop();
        serving.join();
        if (lostAtMs < 0) {
            bench.SkipWithError("the hang-up was not seen");
            return;
        }
        const double remainingMs = endMs - lostAtMs;
        bench.SetIterationTime(remainingMs / 1000.0);
        bench.counters["frames_failed"] = failed;
        bench.counters["remaining_ms"] = remainingMs;
        bench.counters["ms_per_failed_frame"] = failed > 0 ? remainingMs / failed : 0;
        bench.counters["io_wakeups"] = static_cast<double>(SerialIo::WakeUps() - wakeUpsBefore);
    }
}
BENCHMARK(BM_DeadPort_RemainingFrames)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
