// Frames through the whole stack (link, I/O thread, pseudo-terminal, simulated amplifiers with
// faults on the line):
//  - at the wire's own pacing (real time): frames per second against the pacing's ceiling of
//    1000 / 108 (13 bytes 6 ms apart and 30 ms of pacing per search probe), and the share of
//    one core the program spends meanwhile (the simulator's thread is not counted);
//  - ten thousand frames on a clock 30 times faster, as the soak test sends them.
// Both check that the program's counts agree with the simulator's record, and fail if not.

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include <QString>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"

#include "link/Clock.h"
#include "link/Link.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "tests/support/LineSoak.h"

namespace {

using namespace talvo;

double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void RunSoak(benchmark::State &state, int frames, double speed)
{
    Clock::setSpeed(speed);
    sim::BusOptions options;
    options.interByteTimeoutMs = 0;
    sim::Bus bus(options);
    for (const auto &config : testsupport::SoakAmplifiers())
        bus.addAmplifier(config);
    QString error;
    auto server = sim::SerialServer::openPseudoTerminal(&error);
    if (!server) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    double simCpuMs = 0;
    std::thread serving([&] {
        server->serve(bus);
        simCpuMs = bench::ThreadCpuMs();
    });

    LinkState linkState;
    Link link(linkState);
    link.SetDeviceOverride(server->devicePath());
    if (!link.OpenPort()) {
        server->requestStop();
        serving.join();
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    linkState.sendEnabled.store(1);
    linkState.linkActive = kYes;

    const double cpuBefore = ProcessCpuMs();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        testsupport::SendSoakFrames(link, frames);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server->requestStop();
    serving.join();
    bus.flush();
    const double programCpuMs = ProcessCpuMs() - cpuBefore - simCpuMs;
    Clock::setSpeed(1.0);

    const testsupport::SoakExpectation expected = testsupport::ExpectedFromRecord(bus.record());
    const Link::Counters counted = link.counters();
    // A reply the simulator judged to touch another may or may not be read: each loosens the
    // agreement by one (the soak test's rule).
    if (counted.framesWritten != frames || expected.framesRead != frames
        || std::abs(counted.replies.replies - expected.wholeReplies) > expected.collided
        || std::abs(counted.replies.resyncs - expected.resyncs) > expected.collided) {
        state.SkipWithError(qPrintable(QStringLiteral("counts disagree: written %1, read %2, replies %3 of %4, "
                                                      "resyncs %5 of %6, collided %7")
                                           .arg(counted.framesWritten).arg(expected.framesRead)
                                           .arg(counted.replies.replies).arg(expected.wholeReplies)
                                           .arg(counted.replies.resyncs).arg(expected.resyncs).arg(expected.collided)));
        return;
    }
    state.counters["frames"] = frames;
    state.counters["frames_per_s"] = frames / seconds;
    state.counters["nominal_frames_per_s"] = frames / seconds / speed;
    state.counters["ceiling_per_s"] = 1000.0 / 108.0;
    state.counters["program_cpu_pct"] = 100.0 * programCpuMs / (seconds * 1e3);
    state.counters["replies"] = static_cast<double>(counted.replies.replies);
    state.counters["resyncs"] = static_cast<double>(counted.replies.resyncs);
    state.counters["dropped"] = static_cast<double>(expected.dropped);
    state.counters["collided"] = static_cast<double>(expected.collided);
}

void BM_SoakAtTheWiresPace(benchmark::State &state) { RunSoak(state, 300, 1.0); }
void BM_Soak10000FramesFast(benchmark::State &state) { RunSoak(state, 10000, 30.0); }

BENCHMARK(BM_SoakAtTheWiresPace)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_Soak10000FramesFast)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
