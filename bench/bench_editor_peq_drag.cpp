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

#include <algorithm>

#include <QImage>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "SimBusBench.h"

#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotPainter.h"
#include "state/ProgramApply.h"

namespace {

using namespace talvo;
using namespace talvo::bench;

constexpr double kDragMs = 5000;
constexpr int kStepMs = 16;
constexpr int kBand = 2;
constexpr int kLeftBand2Offset = 16 + 8;  // band 2 in the left channel block of the record

void BM_DraggedPeqMarker(benchmark::State &bench)
{
    for (auto _ : bench) {
        SimBusRig rig;
        if (!rig.ok()) {
            bench.SkipWithError(rig.error.toStdString().c_str());
            return;
        }
        AppState &state = rig.state;
        Link &link = rig.link;
        PeqEditorModel model(state, link);
        QImage plot;
        QObject::connect(&model, &PeqEditorModel::plotChanged,
                         [&] { DrawPeqPlot(plot, model.drawnBands(), model.curve()); });
        model.Open(kLeftChannel);
        model.Shown();

        StallProbe probe;

        // Band 2's marker picked up, then moved back and forth across the plot and up and down
        // its gain range, 3 columns and 1 row a move.
        const PeqBand start = state.peq.workingBands[kBand - 1];
        int x = FreqToColumn(start.freq);
        int y = GainToRow(start.gain);
        model.PlotPressed(x, y);
        if (model.selectedBand() != kBand) {
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
        probe.start();
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
        rig.stop();
        bench.SetIterationTime(dragMs / 1000.0);

        const std::uint8_t command = PeqBandCommand(kLeftChannel, kBand);
        const int framesDuringDrag = FramesWithin(rig.bus.record().frames, command, dragMs);
        const auto live = rig.bus.amplifier(0).liveProgram();
        const auto wanted = PeqBandBytes(released);
        const bool reached = std::equal(wanted.begin(), wanted.end(), live.begin() + kLeftBand2Offset);
        const double frameMs = (8 + kFrameOverhead) * kByteGapMs + PacingDelayMs(command);

        ReportHeldControl(bench, framesDuringDrag, static_cast<int>(dragMs / frameMs) + 1, reached, probe, handler,
                          "the released band did not reach the amplifier");
    }
}
BENCHMARK(BM_DraggedPeqMarker)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
