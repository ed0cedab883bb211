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

#include <algorithm>

#include <QTimer>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"

#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "state/ProgramApply.h"

namespace {

using namespace talvo;
using namespace talvo::bench;

constexpr double kDragMs = 5000;
constexpr int kStepMs = 16;
constexpr double kGainFrameMs = (3 + kFrameOverhead) * kByteGapMs + 150;

void BM_HeldGainSlider(benchmark::State &bench)
{
    for (auto _ : bench) {
        SimBusRig rig;
        if (!rig.ok()) {
            bench.SkipWithError(rig.error.toStdString().c_str());
            return;
        }
        AppState &state = rig.state;
        Link &link = rig.link;
        ProgramApplier applier(state);
        EditorModels models(state, link, applier);

        GainModel &gain = models.gain(kLeftChannel);
        gain.Apply(-600, false);
        gain.Shown();

        StallProbe probe;

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
        probe.start();
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
        rig.stop();
        bench.SetIterationTime(dragMs / 1000.0);

        const int framesDuringDrag = FramesWithin(rig.bus.record().frames, 2, dragMs);
        const auto live = rig.bus.amplifier(0).liveGains();
        const auto wanted = GainBytes(position);
        const bool reached = live[0] == wanted[0] && live[1] == wanted[1] && live[2] == wanted[2];

        ReportHeldControl(bench, framesDuringDrag, static_cast<int>(dragMs / kGainFrameMs) + 1, reached, probe, handler,
                          "the last position did not reach the amplifier");
    }
}
BENCHMARK(BM_HeldGainSlider)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
