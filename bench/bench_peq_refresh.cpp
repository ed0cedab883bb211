// One full refresh of the PEQ editor as a slider step or a typed value causes it: the gains and
// Qs requantised, the texts and sliders rewritten, the curve computed and painted into the
// plot's image (the image reused, as the plot does). It runs on every mouse move of a marker
// drag, so it must stay far below a frame of the drag (goal: under 1 ms).

#include <QImage>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"

#include "editors/EditorTimer.h"
#include "link/Link.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotPainter.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace {

using namespace talvo;

void BM_PeqEditorRefresh(benchmark::State &bench)
{
    AppState state;
    state.peq.leftBands = {{{30.0, 3.5, 3.0}, {1000.0, -6.2, 12.0}, {5040.0, 9.0, 128.0}}};
    Link link(state.link);  // no port: nothing is sent
    PeqEditorModel model(state, link);
    QImage plot;
    QObject::connect(&model, &PeqEditorModel::plotChanged, [&] { DrawPeqPlot(plot, model.drawnBands(), model.curve()); });
    model.Open(kLeftChannel);
    model.Shown();
    model.repaintTimer().stop();
    model.tickTimer().stop();

    // A different band value every time, off the tenths, so that every step has work to do.
    const auto grid = PeqFrequencyTable();
    int column = 0;
    for (auto _ : bench) {
        column = (column + 7) % kPeqGridSize;
        state.peq.workingBands[1] = {grid[static_cast<std::size_t>(column)], -6.0 + column * 0.0333, 0.4 + column * 0.0717};
        model.Refresh(kRefreshControls);
        benchmark::DoNotOptimize(plot.constBits());
    }
    model.Closed();
}
BENCHMARK(BM_PeqEditorRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

TALVO_QT_BENCHMARK_MAIN()
