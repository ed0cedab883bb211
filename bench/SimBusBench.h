#pragma once
// What the benchmarks of a live control share: one simulated amplifier on a pseudo-terminal,
// served in a thread of its own, with the link open on it as after connecting to ID 1; and a
// probe that sees how long the main thread was kept from its event loop.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <QString>

#include <benchmark/benchmark.h>
#include <QTimer>

#include "link/Link.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "state/AppState.h"

namespace talvo::bench {

using Steady = std::chrono::steady_clock;

inline double MsSince(Steady::time_point t)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

// CPU time of the calling thread, ms.
inline double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The bus and its record may be looked at only after stop().
class SimBusRig {
public:
    SimBusRig() : link(state.link)
    {
        bus.addAmplifier(sim::AmplifierConfig());
        server_ = sim::SerialServer::openPseudoTerminal(&error);
        if (!server_)
            return;
        serving_ = std::thread([this] { server_->serve(bus); });
        link.SetDeviceOverride(server_->devicePath());
        if (!link.OpenPort()) {
            error = QStringLiteral("cannot open the pseudo-terminal");
            return;
        }
        state.link.sendEnabled.store(1);
        state.link.linkActive = kYes;
        state.link.outFrame.address = 1;
    }
    ~SimBusRig() { stop(); }

    bool ok() const { return error.isEmpty(); }
    void stop()
    {
        if (serving_.joinable()) {
            server_->requestStop();
            serving_.join();
        }
    }

    QString error;
    sim::Bus bus;
    AppState state;
    Link link;

private:
    std::unique_ptr<sim::SerialServer> server_;
    std::thread serving_;
};

// A 1 ms timer on the main thread: any gap between its ticks beyond 1 ms is time the loop was
// kept busy (`stallMs`); `busyMs` is the most CPU time the thread used within one such gap (on
// a loaded machine a gap can be time the thread was not scheduled at all).
class StallProbe {
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double cpu = ThreadCpuMs();
            stallMs = std::max(stallMs, MsSince(lastTick_) - 1.0);
            busyMs = std::max(busyMs, cpu - lastCpu_);
            lastTick_ = Steady::now();
            lastCpu_ = cpu;
        });
    }
    void start()
    {
        lastTick_ = Steady::now();
        lastCpu_ = ThreadCpuMs();
        timer_.start(1);
    }
    void stop() { timer_.stop(); }

    double stallMs = 0;
    double busyMs = 0;

private:
    QTimer timer_;
    Steady::time_point lastTick_;
    double lastCpu_ = 0;
};

// Frames of `command` whose first byte went out within `ms` of the first frame on the line.
inline int FramesWithin(const std::vector<sim::FrameRecord> &frames, int command, double ms)
{
    const double firstMs = frames.empty() ? 0 : frames.front().firstByteMs;
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const sim::FrameRecord &f) {
        return f.frame.command == command && f.firstByteMs - firstMs < ms;
    }));
}

// The figures of a control held for a while: frames out against the most the pacing allows,
// whether the last value reached the amplifier (a skip with `missed` when not), the probe's
// stall and busy time, the longest handler.
inline void ReportHeldControl(benchmark::State &bench, int framesOut, int maxFrames, bool reached,
                              const StallProbe &probe, double handlerMs, const char *missed)
{
    bench.counters["frames_out"] = framesOut;
    bench.counters["max_frames"] = maxFrames;
    bench.counters["last_reached"] = reached ? 1 : 0;
    bench.counters["stall_ms"] = probe.stallMs;
    bench.counters["busy_ms"] = probe.busyMs;
    bench.counters["handler_ms"] = handlerMs;
    if (!reached)
        bench.SkipWithError(missed);
}

}  // namespace talvo::bench
