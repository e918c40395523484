// "Compress Picture" on a twelve-megapixel photo: the grey picture through the
// whole chain (DCT, quantise, symbols and bits, inverse, PSNR) on every core, at
// quality 50 and in Quadrel mode; the colour picture made grey first; and the
// JPEG file written from the kept blocks, as the window writes one per result.

#include "compression/colour_compression.h"
#include "compression/picture_compression.h"
#include "jpeg/jfif_writer.h"
#include "jpeg/jpeg_exercise.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace quadrel;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

QImage Photo() {
    const std::vector<std::uint8_t> pixels = jpeg::PhotoLikePicture(kWidth, kHeight, 1);
    QImage grey(kWidth, kHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kHeight; ++y) {
        std::copy_n(pixels.data() + static_cast<std::ptrdiff_t>(y) * kWidth, kWidth,
                    grey.scanLine(y));
    }
    return grey;
}

void BM_CompressPicture4000x3000(benchmark::State& state) {
    const QImage grey = Photo();
    CompressionSettings settings;
    settings.Mode = state.range(0) == 0 ? CompressionMode::Quality : CompressionMode::QuadrelStep;
    settings.Quality = 50;
    settings.Step = 16;
    while (state.KeepRunning()) {
        const jpeg::PictureAnalysis result = Compress(grey, settings);
        benchmark::DoNotOptimize(result.Psnr);
    }
}
// 0: JPEG chain at quality 50; 1: Quadrel's quantiser at step 16.
BENCHMARK(BM_CompressPicture4000x3000)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The reference the analysis is held to: libjpeg-turbo's cjpeg piped into djpeg
// on the same picture, float DCT both ways, as whole processes.
void BM_CjpegDjpegRoundTrip4000x3000(benchmark::State& state) {
    QTemporaryDir dir;
    const QString pgm = dir.filePath(QStringLiteral("photo.pgm"));
    if (!Photo().save(pgm)) {
        state.SkipWithError("cannot write the picture");
        return;
    }
    const std::string command = "cjpeg -baseline -dct float -quality 50 '" + pgm.toStdString() +
                                "' | djpeg -dct float > /dev/null";
    while (state.KeepRunning()) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cjpeg or djpeg failed (libjpeg-turbo-progs installed?)");
            return;
        }
    }
}
BENCHMARK(BM_CjpegDjpegRoundTrip4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GreyPicture4000x3000(benchmark::State& state) {
    const QImage colour = Photo().convertToFormat(QImage::Format_RGB32);
    while (state.KeepRunning()) {
        const QImage grey = GreyPicture(colour);
        benchmark::DoNotOptimize(grey.constBits());
    }
}
BENCHMARK(BM_GreyPicture4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

/// Three photo-like planes as R, G and B.
QImage ColourPhoto() {
    QImage picture(kWidth, kHeight, QImage::Format_RGB888);
    for (int c = 0; c < 3; ++c) {
        const std::vector<std::uint8_t> plane = jpeg::PhotoLikePicture(kWidth, kHeight, 1 + c);
        for (int y = 0; y < kHeight; ++y) {
            uchar* line = picture.scanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                line[3 * x + c] = plane[static_cast<std::size_t>(y) * kWidth + x];
            }
        }
    }
    return picture;
}

// The file alone, from blocks coded once at quality 50 (colour at 4:2:0).
void BM_WriteJfif4000x3000(benchmark::State& state) {
    const bool colour = state.range(0) != 0;
    jpeg::CodedPicture coded;
    if (colour) {
        ColourCompressionSettings settings;
        settings.KeepBlocks = true;
        coded = CompressColour(ColourPhoto(), settings).Coded;
    } else {
        CompressionSettings settings;
        settings.KeepBlocks = true;
        const jpeg::PictureAnalysis a = Compress(Photo(), settings);
        coded = jpeg::GreyCodedPicture(a, kWidth, kHeight, *TableOf(settings));
    }
    const jpeg::JfifOptions options{state.range(1) != 0, 0};
    std::size_t bytes = 0;
    while (state.KeepRunning()) {
        const Result<jpeg::JfifFile> file = jpeg::WriteJfifFile(coded, options);
        bytes = file ? file->Bytes.size() : 0;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
// 0/1: grey or colour; 0/1: standard or optimised Huffman tables.
BENCHMARK(BM_WriteJfif4000x3000)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
