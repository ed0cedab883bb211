// A held gain slider, in real time on a simulated bus: the operator drags the left gain for
// 5 s, the slider reporting a new position every 16 ms. Reported:
//  - frames_out: gain frames that reached the amplifier during the drag, against max_frames,
//    the most the pacing allows (15 bytes x 6 ms + 150 ms = 240 ms a frame);
//  - last_reached: 1 when the amplifier ended at the last position (after the release and
//    the timer's resends), which it must;
//  - stall_ms: the longest the main thread was kept from its event loop (goal under 5 ms),
//    seen by a 1 ms probe timer; busy_ms: the most CPU time the main thread used within one
//    such gap (on a loaded machine a gap can be time the thread was not scheduled at all;
//    busy_ms is the part the program's own work took); handler_ms: the longest slider
//    handler (show and send).

#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"

#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "link/Link.h"
#include "programs/ProgramApply.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "state/AppState.h"

namespace {

using namespace talvo;
using Steady = std::chrono::steady_clock;

constexpr double kDragMs = 5000;
constexpr int kStepMs = 16;
constexpr double kGainFrameMs = (3 + kFrameOverhead) * kByteGapMs + 150;

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

void BM_HeldGainSlider(benchmark::State &bench)
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
        ProgramApplier applier(state);
        EditorModels models(state, link, applier);
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

        GainModel &gain = models.gain(kLeftChannel);
        gain.Apply(-600, false);
        gain.Shown();

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

        // Up and down the slider's range, one position every 16 ms, for 5 s.
        double handler = 0;
        int position = -600;
        int direction = 1;
        QTimer drag;
        drag.setTimerType(Qt::PreciseTimer);
        QObject::connect(&drag, &QTimer::timeout, [&] {
            position += direction * 3;
            if (position >= kGainSliderMax || position <= kGainSliderMin)
                direction = -direction;
            position = std::clamp(position, kGainSliderMin, kGainSliderMax);
            const Steady::time_point t = Steady::now();
            gain.PositionChanged(position);
            handler = std::max(handler, MsSince(t));
        });

        const Steady::time_point start = Steady::now();
        gain.SliderPressed();
        probe.start(1);
        drag.start(kStepMs);
        link.WaitPumping(kDragMs);
        drag.stop();
        const double dragMs = MsSince(start);
        gain.SliderReleased();
        gain.PositionChangeFinished();
        // The release's send and the timer's resends.
        link.WaitPumping(4 * GainTraits(kLeftChannel).timerIntervalMs);
        probe.stop();
        gain.Closed();
        link.WaitForIdle(2000);
        server->requestStop();
        serving.join();
        bench.SetIterationTime(dragMs / 1000.0);

        int framesDuringDrag = 0;
        const auto &frames = bus.record().frames;
        const double firstMs = frames.empty() ? 0 : frames.front().firstByteMs;
        for (const auto &f : frames)
            framesDuringDrag += f.frame.command == 2 && f.firstByteMs - firstMs < dragMs;
        const auto live = bus.amplifier(0).liveGains();
        const auto wanted = GainBytes(position);
        const bool reached = live[0] == wanted[0] && live[1] == wanted[1] && live[2] == wanted[2];

        bench.counters["frames_out"] = framesDuringDrag;
        bench.counters["max_frames"] = static_cast<int>(dragMs / kGainFrameMs) + 1;
        bench.counters["last_reached"] = reached ? 1 : 0;
        bench.counters["stall_ms"] = stall;
        bench.counters["busy_ms"] = busy;
        bench.counters["handler_ms"] = handler;
        if (!reached)
            bench.SkipWithError("the last position did not reach the amplifier");
    }
}
BENCHMARK(BM_HeldGainSlider)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
