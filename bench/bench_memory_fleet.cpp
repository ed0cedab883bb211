// A backup of the same four amplifiers (two programs each) through the fleet runner: all four
// on one bus, then two on each of two buses at once, each bus a pseudo-terminal served by the
// simulator in a thread of its own. Run on a clock four times faster than real time, so that
// the pair takes about half a minute; the waits that make up a backup shrink with it, the
// ratio between the two does not.
//
// Reported:
//  - one_bus_ms, two_buses_ms: wall time of each run, from start to the last disconnect;
//  - ratio: two_buses_ms / one_bus_ms (goal: at most 0.55; the buses run side by side, so
//    about 0.5 is what the amplifiers' own waits allow);
//  - frames_one_bus, frames_two_buses: frames written in all, which must match (a frame sent
//    again because an answer was late on a loaded machine would show here, and skew the times).

#include <memory>
#include <thread>
#include <vector>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"
#include "devices/Fleet.h"
#include "link/Clock.h"
#include "memory/FleetMemory.h"
#include "sim/Amplifier.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"

namespace talvo::bench {
namespace {

constexpr double kSpeed = 4;

// Simulated amplifiers on a pseudo-terminal, served in a thread; the record may be looked at
// after stop().
class SimBus {
public:
    explicit SimBus(const std::vector<int> &ids)
    {
        for (int id : ids) {
            sim::AmplifierConfig config;
            config.id = static_cast<std::uint8_t>(id);
            const auto demo = sim::DemoSlots();
            config.slotRecords.fill(BlankSlotRecord());
            config.slotRecords[0] = demo[0];
            config.slotRecords[1] = demo[1];
            bus_.addAmplifier(config);
        }
        server_ = sim::SerialServer::openPseudoTerminal(&error);
        if (server_)
            serving_ = std::thread([this] { server_->serve(bus_); });
    }
    ~SimBus() { stop(); }

    bool ok() const { return server_ != nullptr; }
    QString device() const { return server_ ? server_->devicePath() : QString(); }
    void stop()
    {
        if (serving_.joinable()) {
            server_->requestStop();
            serving_.join();
        }
    }
    std::size_t frames() const { return bus_.record().frames.size(); }

    QString error;

private:
    sim::Bus bus_;
    std::unique_ptr<sim::SerialServer> server_;
    std::thread serving_;
};

struct Timed {
    double ms = 0;
    bool allDone = false;
    std::size_t frames = 0;
};

Timed Backup(const std::vector<std::vector<int>> &busIds)
{
    std::vector<std::unique_ptr<SimBus>> buses;
    FleetPlan plan;
    for (const auto &ids : busIds) {
        buses.push_back(std::make_unique<SimBus>(ids));
        FleetBus bus;
        bus.port = buses.back()->device();
        for (int id : ids)
            bus.amplifiers.push_back(FleetAddress{id, std::nullopt});
        plan.buses.push_back(bus);
    }
    QTemporaryDir dir;
    FleetRunner runner(plan, FleetBackupFactory(plan, dir.path()));
    const auto start = Steady::now();
    runner.RunToEnd();
    Timed t;
    t.ms = MsSince(start);
    t.allDone = true;
    for (const FleetResult &r : runner.Results())
        t.allDone = t.allDone && r.status == FleetStatus::Done;
    for (auto &bus : buses) {
        bus->stop();
        t.frames += bus->frames();
    }
    return t;
}

void BM_FleetBackupTwoBusesAgainstOne(benchmark::State &state)
{
    Clock::setSpeed(kSpeed);
    Timed one;
    Timed two;
    for (auto _ : state) {
        one = Backup({{1, 2, 3, 4}});
        two = Backup({{1, 2}, {3, 4}});
    }
    Clock::setSpeed(1.0);
    state.counters["one_bus_ms"] = one.ms;
    state.counters["two_buses_ms"] = two.ms;
    state.counters["ratio"] = one.ms > 0 ? two.ms / one.ms : 0;
    state.counters["frames_one_bus"] = static_cast<double>(one.frames);
    state.counters["frames_two_buses"] = static_cast<double>(two.frames);
    if (!one.allDone || !two.allDone)
        state.SkipWithError("an amplifier was not backed up");
}

BENCHMARK(BM_FleetBackupTwoBusesAgainstOne)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace talvo::bench

TALVO_QT_BENCHMARK_MAIN()
