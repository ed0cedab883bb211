// The link runtime on a real (pseudo-)serial line, in real time:
//  - how long a frame occupies the line, measured where the amplifiers listen (the simulated
//    bus stamps every byte it reads), against the least the pacing allows: 28 x 6 + 150 =
//    318 ms for a frame with 16 data bytes, 13 x 6 + 30 = 108 ms for a connect frame;
//  - the CPU time this process spends while 50 frames go out (the bus runs in a process of
//    its own, talvo-ampsim, so that only the program's work is counted).

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

// Frames queued back to back: the time from one frame's first byte to the next one's is what
// the frame costs the line, its bytes, their pauses and its pacing together.
void LineTimePerFrame(benchmark::State &bench, std::uint8_t command, std::vector<std::uint8_t> data, double minimumMs)
{
    constexpr int kFrames = 11;
    for (auto _ : bench) {
        sim::Bus bus;
        bus.addAmplifier(sim::AmplifierConfig());
        QString error;
        auto server = sim::SerialServer::openPseudoTerminal(&error);
        if (!server) {
            bench.SkipWithError(error.toStdString().c_str());
            return;
        }
        std::thread serving([&] { server->serve(bus); });

        LinkState state;
        Link link(state);
        link.SetDeviceOverride(server->devicePath());
        if (!link.OpenPort()) {
            server->requestStop();
            serving.join();
            bench.SkipWithError("cannot open the pseudo-terminal");
            return;
        }
        Connected(state);
        for (int i = 0; i < kFrames; ++i) {
            state.outFrame.command = command;
            state.outFrame.length = static_cast<std::uint8_t>(data.size());
            std::copy(data.begin(), data.end(), state.outFrame.data.begin());
            link.SendCommand();
        }
        link.WaitForIdle(kFrames * (minimumMs + 200));
        server->requestStop();
        serving.join();

        const auto &frames = bus.record().frames;
        std::vector<double> perFrame;
        std::vector<double> bytesSpan;
        for (std::size_t i = 0; i + 1 < frames.size(); ++i)
            perFrame.push_back(frames[i + 1].firstByteMs - frames[i].firstByteMs);
        for (const auto &f : frames)
            bytesSpan.push_back(f.lastByteMs - f.firstByteMs);
        if (perFrame.empty()) {
            bench.SkipWithError("the simulator saw too few frames");
            return;
        }
        const double mean = std::accumulate(perFrame.begin(), perFrame.end(), 0.0) / perFrame.size();
        bench.SetIterationTime(mean / 1000.0);
        bench.counters["line_ms"] = mean;
        bench.counters["line_ms_min"] = *std::min_element(perFrame.begin(), perFrame.end());
        bench.counters["line_ms_max"] = *std::max_element(perFrame.begin(), perFrame.end());
        bench.counters["minimum_ms"] = minimumMs;
        bench.counters["over_pct"] = 100.0 * (mean - minimumMs) / minimumMs;
        bench.counters["bytes_span_ms"] = std::accumulate(bytesSpan.begin(), bytesSpan.end(), 0.0) / bytesSpan.size();
    }
}

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

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
