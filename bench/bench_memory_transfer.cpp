// A whole-memory backup and a restore of the demonstration amplifier (programs in slots 1..4,
// the other sixteen blank) on the simulated bus, at real time, against the time the sequences
// must take by their own waits.
//
// Reported per run:
//  - ms: the sequence's wall time;
//  - floor_ms: what the sequence's prescribed waits and the line allow at best, worked out by
//    playing the sequence on a model of the line: every frame takes 6 ms a byte and then its
//    pacing; a send while the line is busy first takes its 10 ms breath; an awaited request
//    ends when its answer is back (the simulated amplifier's 5 ms and 23 bytes at 38400
//    baud); every prescribed wait counts in full from where the sequence stands;
//  - over_pct: how far ms lies above floor_ms (goal: under 2 %).

#include <algorithm>
#include <array>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"
#include "link/Clock.h"
#include "link/CommandFrame.h"
#include "memory/MemoryController.h"
#include "sim/Amplifier.h"
#include "state/ProgramApply.h"

namespace talvo::bench {
namespace {

constexpr double kAnswerMs = sim::kDefaultReplyDelayMs + sim::kReplyFrameSize * 10 * 1000.0 / 38400;
constexpr int kRequestBytes = 13;
constexpr int kBlockBytes = 28;
constexpr double kSendBreathMs = 10;

// The sequence as the line lets it go at best.
struct LineModel {
    double now = 0;       // where the sequence stands
    double lineFree = 0;  // the last frame's pacing over

    // Queues a frame; returns when its last byte is out.
    double send(int bytes, std::uint8_t command)
    {
        if (lineFree > now)
            now += kSendBreathMs;
        const double end = std::max(now, lineFree) + bytes * kByteGapMs;
        lineFree = end + PacingDelayMs(command);
        return end;
    }
    // A block request whose answer the sequence waits for.
    void request() { now = std::max(now, send(kRequestBytes, 231) + kAnswerMs); }
    void wait(double ms) { now += ms; }
};

// Backup: every slot's block 1 (then 1 ms); a slot in use has its seven blocks read, each given
// 400 ms after its answer, the 220 / 100 frame with its 100 ms, and 30 short waits.
double BackupFloorMs(const std::array<bool, kMemorySlotCount> &used)
{
    LineModel line;
    for (bool inUse : used) {
        line.request();
        line.wait(1);
        if (!inUse)
            continue;
        for (int k = 0; k < kRecordBlockCount; ++k) {
            line.request();
            line.wait(400);
        }
        line.send(kRequestBytes, 220);
        line.wait(100 + 30);
    }
    return line.now;
}

// Restore: a used record is the header and six blocks, each given 600 ms from its sending; a
// blank record is two deletes given 200 ms each; then the slot's block 1.
double RestoreFloorMs(const std::array<bool, kMemorySlotCount> &used)
{
    LineModel line;
    for (bool inUse : used) {
        if (inUse) {
            for (int k = 1; k <= kRecordBlockCount; ++k) {
                line.send(kBlockBytes, static_cast<std::uint8_t>(220 + k));
                line.wait(kMemoryResendWaitMs);
            }
        } else {
            for (int i = 0; i < 2; ++i) {
                line.send(kRequestBytes, 200);
                line.wait(200);
            }
        }
        line.request();
        line.wait(1);
    }
    return line.now;
}

std::array<bool, kMemorySlotCount> InUse(const sim::Amplifier &amp)
{
    std::array<bool, kMemorySlotCount> used{};
    for (int i = 1; i <= kMemorySlotCount; ++i)
        used[i - 1] = RecordInUse(amp.slot(i));
    return used;
}

struct MemoryRig {
    SimBusRig rig;
    ProgramApplier applier{rig.state};
    MemoryController memory{rig.state, rig.link, applier};
    QString told;

    MemoryRig()
    {
        MemoryPrompts prompts;
        prompts.ask = [](const QString &, const QString &, bool) { return true; };
        prompts.tell = [this](const QString &, const QString &text, bool) { told = text; };
        prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = kYes; };
        memory.SetPrompts(prompts);
    }
};

void Report(benchmark::State &state, double ms, double floorMs)
{
    state.counters["ms"] = ms;
    state.counters["floor_ms"] = floorMs;
    state.counters["over_pct"] = 100.0 * (ms - floorMs) / floorMs;
}

void BM_MemoryBackup(benchmark::State &state)
{
    Clock::setSpeed(1.0);
    MemoryRig r;
    if (!r.rig.ok()) {
        state.SkipWithError(qPrintable(r.rig.error));
        return;
    }
    const auto used = InUse(r.rig.bus.amplifier(0));
    QTemporaryDir dir;
    double ms = 0;
    for (auto _ : state) {
        const auto start = Steady::now();
        const MemoryOutcome outcome = r.memory.SaveMemory(dir.filePath(QStringLiteral("bench.DMP")));
        ms = MsSince(start);
        if (!outcome.ok)
            state.SkipWithError(qPrintable(outcome.message));
    }
    Report(state, ms, BackupFloorMs(used));
}

void BM_MemoryRestore(benchmark::State &state)
{
    Clock::setSpeed(1.0);
    MemoryRig r;
    if (!r.rig.ok()) {
        state.SkipWithError(qPrintable(r.rig.error));
        return;
    }
    MemoryImage image;
    for (int i = 1; i <= kMemorySlotCount; ++i)
        image[i - 1] = r.rig.bus.amplifier(0).slot(i);
    const auto used = InUse(r.rig.bus.amplifier(0));
    double ms = 0;
    for (auto _ : state) {
        const auto start = Steady::now();
        const MemoryOutcome outcome = r.memory.WriteMemory(image);
        ms = MsSince(start);
        if (!outcome.ok)
            state.SkipWithError(qPrintable(outcome.message));
    }
    Report(state, ms, RestoreFloorMs(used));
}

// Each run reads or writes the whole memory at real time (about 15 s and 25 s).
BENCHMARK(BM_MemoryBackup)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryRestore)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvo::bench

TALVO_QT_BENCHMARK_MAIN()
