// One redraw of the crossover editor evaluates all 395 columns and paints them; it must stay
// far inside the 200 ms redraw tick (goal: under 1 ms).
#include "editors/CrossoverCurve.h"
#include "editors/CrossoverPlot.h"

#include <QImage>

#include <benchmark/benchmark.h>

namespace {

struct Combination {
    const char *name;
    talvo::CrossoverCurveInput input;
};

const Combination kCombinations[] = {
    {"6dB_hp10Hz_6dB_lp20k", {0, 0, 394, 0}},
    {"12dBBW_hp100Hz_12dBBW_lp1k", {119, 10, 238, 10}},
    {"48dBLR_hp200Hz_24dBLR_lp5k", {155, 15, 321, 13}},
    {"12dB/2.0_hp_12dB/1.0_lp", {150, 8, 300, 5}},
};

void BM_CrossoverCurve(benchmark::State &state) {
    const Combination &c = kCombinations[state.range(0)];
    state.SetLabel(c.name);
    for (auto _ : state) {
        talvo::CrossoverCurve curve = talvo::ComputeCrossoverCurve(c.input);
        benchmark::DoNotOptimize(curve);
    }
    state.SetItemsProcessed(state.iterations() * talvo::kCurveColumnCount);
}
BENCHMARK(BM_CrossoverCurve)->DenseRange(0, 3);

// What one tick of the editor's curve timer costs: the curve computed and painted, grid and
// all, into the plot's image (reused from one redraw to the next, as the plot does).
void BM_CrossoverRedraw(benchmark::State &state) {
    const Combination &c = kCombinations[state.range(0)];
    state.SetLabel(c.name);
    QImage image;
    for (auto _ : state) {
        talvo::DrawCrossoverPlot(image, c.input);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_CrossoverRedraw)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
