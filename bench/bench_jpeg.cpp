// The JPEG chain as the worksheet runs it on every pointer move (one block,
// every step), the whole-picture analysis the compression window runs, and
// the SSIM alone, which every analysis and every sweep point pays.

#include "jpeg/jpeg_chain.h"
#include "jpeg/jpeg_exercise.h"
#include "jpeg/jpeg_picture.h"
#include "jpeg/ssim.h"

#include <benchmark/benchmark.h>

namespace {

using namespace quadrel::jpeg;

// Alternates between two photo-like blocks, as a pointer moving over a picture does.
void BM_JpegChainOneBlock(benchmark::State& state) {
    const std::array<Samples, 2> blocks{ExerciseBlock(1, 0), ExerciseBlock(1, 1)};
    const ChainSettings settings{LuminanceTable(50), 0, kBlockCells, TieRule::AwayFromZero};
    BlockAnalysis result;
    std::size_t next = 0;
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        AnalyseBlock(blocks[next], settings, result);
        next ^= 1U;
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_JpegChainOneBlock);

// 4000 x 3000, a twelve-megapixel photo, on every core.
void BM_JpegPicture4000x3000(benchmark::State& state) {
    constexpr int kWidth = 4000;
    constexpr int kHeight = 3000;
    const std::vector<std::uint8_t> pixels = PhotoLikePicture(kWidth, kHeight, 1);
    const PictureSettings settings{LuminanceTable(75), TieRule::AwayFromZero, 0};
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        PictureAnalysis result = AnalysePicture({pixels.data(), kWidth, kHeight, kWidth}, settings);
        benchmark::DoNotOptimize(result.TotalBits);
    }
}
BENCHMARK(BM_JpegPicture4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The SSIM of a 12-megapixel picture against its coded form on every core:
// whole (as one compress pays it) and against moments kept (as a sweep point).
void BM_Ssim4000x3000(benchmark::State& state) {
    constexpr int kWidth = 4000;
    constexpr int kHeight = 3000;
    const std::vector<std::uint8_t> pixels = PhotoLikePicture(kWidth, kHeight, 1);
    const GreyPicture original{pixels.data(), kWidth, kHeight, kWidth};
    const PictureAnalysis coded = AnalysePicture(original, {LuminanceTable(50)});
    const GreyPicture rebuilt{coded.Reconstruction.data(), kWidth, kHeight, kWidth};
    const bool kept = state.range(0) != 0;
    const SsimReference reference(kept ? original : GreyPicture{});
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        benchmark::DoNotOptimize(kept ? reference.Mean(rebuilt) : MeanSsim(original, rebuilt));
    }
}
BENCHMARK(BM_Ssim4000x3000)
    ->ArgName("moments_kept")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
