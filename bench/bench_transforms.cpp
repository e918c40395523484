// The two transforms on their own, and the forward transform as the bitmap
// viewer drives it: transform, both grid writes and a synchronous repaint.

#include "bench/bench_app.h"
#include "bench/bench_blocks.h"
#include "main_window/dct_window.h"
#include "views/square_grid.h"

#include <benchmark/benchmark.h>

namespace {

using quadrel::bench::NaturalBlock;
using quadrel::test::ReadyEngine;

void BM_PerformDCT(benchmark::State& state) {
    quadrel::DctEngine engine = ReadyEngine();
    engine.SpaceArray = NaturalBlock(0);
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        engine.PerformDCT();
        benchmark::DoNotOptimize(engine.FreqArray);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PerformDCT);

void BM_PerformIDCT(benchmark::State& state) {
    quadrel::DctEngine engine = ReadyEngine();
    engine.SpaceArray = NaturalBlock(0);
    engine.PerformDCT(); // the coefficients of a natural block, not a sparse one
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        engine.PerformIDCT();
        benchmark::DoNotOptimize(engine.SpaceArray);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PerformIDCT);

// Alternates between two blocks so that every iteration changes all 64 cells
// and all 64 squares, as a pointer move over a picture does.
void BM_DCTandDrawRepaint(benchmark::State& state) {
    quadrel::bench::CountedWindow counted;
    quadrel::DCT& window = counted.window;
    auto* paints = counted.paints.get();
    const std::array<quadrel::Block, 2> blocks{NaturalBlock(0), NaturalBlock(1)};
    std::size_t next = 0;
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        window.Document().Engine().SpaceArray = blocks[next];
        next ^= 1u;
        window.Document().DCTandDraw();
        window.repaint();
    }
    state.counters["square_paints_per_iter"] = benchmark::Counter(
        static_cast<double>(paints->Count()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DCTandDrawRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
