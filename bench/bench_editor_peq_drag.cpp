// A PEQ marker dragged for 5 s, in real time on a simulated bus: the operator holds band 2 of
// the left channel and moves it across the plot, the mouse reporting a new position every
// 16 ms; every move refreshes the editor. Reported:
//  - frames_out: band frames that reached the amplifier during the drag, against max_frames,
//    the most the pacing allows (20 bytes x 6 ms + the command's pause a frame);
//  - last_reached: 1 when the amplifier ended with the band where the marker was let go
//    (after the release's send), which it must;
//  - stall_ms: the longest the main thread was kept from its event loop (goal under 5 ms),
//    seen by a 1 ms probe timer; busy_ms: the most CPU time the main thread used within one
//    such gap (on a loaded machine a gap can be time the thread was not scheduled at all);
//    handler_ms: the longest mouse-move handler (refresh, paint and send).

#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QImage>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "link/Link.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotPainter.h"
#include "programs/ProgramApply.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "state/AppState.h"

namespace {

using namespace talvo;
using Steady = std::chrono::steady_clock;

constexpr double kDragMs = 5000;
constexpr int kStepMs = 16;
constexpr int kBand = 2;
constexpr int kLeftBand2Offset = 16 + 8;  // band 2 in the left channel block of the record

double MsSince(Steady::time_point t)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

// CPU time of the calling thread, ms.
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void BM_DraggedPeqMarker(benchmark::State &bench)
{
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

        AppState state;
        Link link(state.link);
        PeqEditorModel model(state, link);
        QImage plot;
        QObject::connect(&model, &PeqEditorModel::plotChanged,
                         [&] { DrawPeqPlot(plot, model.drawnBands(), model.curve()); });
        link.SetDeviceOverride(server->devicePath());
        if (!link.OpenPort()) {
            server->requestStop();
            serving.join();
            bench.SkipWithError("cannot open the pseudo-terminal");
            return;
        }
        state.link.sendEnabled.store(1);
        state.link.linkActive = kYes;
        state.link.outFrame.address = 1;

        model.Open(kLeftChannel);
        model.Shown();

        // The probe: any gap between its ticks beyond 1 ms is time the loop was kept busy.
        double stall = 0;
        double busy = 0;
        Steady::time_point lastProbe = Steady::now();
        double lastCpu = ThreadCpuMs();
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const double cpu = ThreadCpuMs();
            stall = std::max(stall, MsSince(lastProbe) - 1.0);
            busy = std::max(busy, cpu - lastCpu);
            lastProbe = Steady::now();
            lastCpu = cpu;
        });

        // Band 2's marker picked up, then moved back and forth across the plot and up and down
        // its gain range, 3 columns and 1 row a move.
        const PeqBand start = state.peq.workingBands[kBand - 1];
        int x = FreqToColumn(start.freq);
        int y = GainToRow(start.gain);
        model.PlotPressed(x, y);
        if (model.selectedBand() != kBand) {
            server->requestStop();
            serving.join();
            bench.SkipWithError("the press did not pick band 2");
            return;
        }
        double handler = 0;
        int dx = 3;
        int dy = 1;
        QTimer drag;
        drag.setTimerType(Qt::PreciseTimer);
        QObject::connect(&drag, &QTimer::timeout, [&] {
            x += dx;
            y += dy;
            if (x >= kPeqLastColumn - 3 || x <= 3)
                dx = -dx;
            if (y >= 140 || y <= 10)
                dy = -dy;
            const Steady::time_point t = Steady::now();
            model.PlotMoved(x, y);
            handler = std::max(handler, MsSince(t));
        });

        const Steady::time_point begin = Steady::now();
        probe.start(1);
        drag.start(kStepMs);
        link.WaitPumping(kDragMs);
        drag.stop();
        const double dragMs = MsSince(begin);
        model.PlotReleased();
        const PeqBand released = state.peq.workingBands[kBand - 1];
        // The release's send, and a tick or two of the editor's timer.
        link.WaitPumping(3 * kPeqTickMs);
        probe.stop();
        model.Closed();
        link.WaitForIdle(2000);
        server->requestStop();
        serving.join();
        bench.SetIterationTime(dragMs / 1000.0);

        const std::uint8_t command = PeqBandCommand(kLeftChannel, kBand);
        int framesDuringDrag = 0;
        const auto &frames = bus.record().frames;
        const double firstMs = frames.empty() ? 0 : frames.front().firstByteMs;
        for (const auto &f : frames)
            framesDuringDrag += f.frame.command == command && f.firstByteMs - firstMs < dragMs;
        const auto live = bus.amplifier(0).liveProgram();
        const auto wanted = PeqBandBytes(released);
        const bool reached = std::equal(wanted.begin(), wanted.end(), live.begin() + kLeftBand2Offset);
        const double frameMs = (8 + kFrameOverhead) * kByteGapMs + PacingDelayMs(command);

        bench.counters["frames_out"] = framesDuringDrag;
        bench.counters["max_frames"] = static_cast<int>(dragMs / frameMs) + 1;
        bench.counters["last_reached"] = reached ? 1 : 0;
        bench.counters["stall_ms"] = stall;
        bench.counters["busy_ms"] = busy;
        bench.counters["handler_ms"] = handler;
        if (!reached)
            bench.SkipWithError("the released band did not reach the amplifier");
    }
}
BENCHMARK(BM_DraggedPeqMarker)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
