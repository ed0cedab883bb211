// The PEQ plot recomputes its whole curve on every mouse move of a drag, every slider step and
// every 200 ms: 361 columns from three bands.

#include <benchmark/benchmark.h>

#include "peq/PeqResponse.h"

namespace {

using talvo::PeqBands;
using talvo::PeqFlats;

const PeqBands kBands{{{30.0, 3.5, 3.0}, {1000.0, -6.2, 12.0}, {5040.0, 9.0, 128.0}}};
const PeqFlats kNoFlat{false, false, false};

// What the painter calls: all 361 rows at once.
void BM_CurveRows(benchmark::State &state) {
    PeqBands bands = kBands;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bands);
        auto rows = talvo::CurveRows(bands, kNoFlat);
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * talvo::kPeqCurvePoints);
}
BENCHMARK(BM_CurveRows);

// The same curve column by column through CurveRow, each band located on the grid anew.
void BM_CurveRowByColumn(benchmark::State &state) {
    PeqBands bands = kBands;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bands);
        int sum = 0;
        for (int column = 0; column < talvo::kPeqCurvePoints; ++column)
            sum += talvo::CurveRow(column, bands, kNoFlat);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * talvo::kPeqCurvePoints);
}
BENCHMARK(BM_CurveRowByColumn);

}  // namespace

BENCHMARK_MAIN();
