// The pattern cycle and the Build Mode inverse transform with the real widgets:
// the two commands that repaint the main window many times in a row.

#include "bench/bench_app.h"
#include "bench/bench_blocks.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/square_grid.h"

#include <benchmark/benchmark.h>

namespace {

// All 64 steps in Fast Mode: inverse transform, both grid writes, a repaint
// and a yield to the event loop per step.
void BM_CycleFastMode(benchmark::State& state) {
    quadrel::bench::CountedWindow counted;
    quadrel::DCT& window = counted.window;
    auto* paints = counted.paints.get();
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        window.Document().CycleThroDCTPatterns();
    }
    state.counters["square_paints_per_iter"] = benchmark::Counter(
        static_cast<double>(paints->Count()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CycleFastMode)->Unit(benchmark::kMillisecond);

// One inverse transform in Build Mode: after each of the 64 coefficients the
// grids are written and the window repainted.
void BM_IDCTandDrawBuildMode(benchmark::State& state) {
    quadrel::bench::CountedWindow counted;
    quadrel::DCT& window = counted.window;
    auto* paints = counted.paints.get();
    quadrel::test::Option1(window, 1)->click();
    quadrel::DctEngine& engine = window.Document().Engine();
    engine.SpaceArray = quadrel::bench::NaturalBlock(0);
    engine.PerformDCT();
    const quadrel::Block coefficients = engine.FreqArray;
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        engine.FreqArray = coefficients;
        window.Document().IDCTandDraw();
    }
    state.counters["square_paints_per_iter"] = benchmark::Counter(
        static_cast<double>(paints->Count()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IDCTandDrawBuildMode)->Unit(benchmark::kMillisecond);

} // namespace
