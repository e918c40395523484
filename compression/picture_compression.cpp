#include "compression/picture_compression.h"

#include "engine/cell_text.h"
#include "engine/dct_engine.h"
#include "jpeg/engine_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace quadrel {

QImage GreyPicture(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    if (picture.format() == QImage::Format_Grayscale8) {
        return picture;
    }
    const QImage rgb =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(QImage::Format_RGB32);
    QImage grey(rgb.size(), QImage::Format_Grayscale8);
    if (grey.isNull()) {
        return grey;
    }
    // Taken once: scanLine() may detach, which threads must not race for.
    uchar* const bits = grey.bits();
    const qsizetype stride = grey.bytesPerLine();
    const int width = rgb.width();
    const auto rows = [&rgb, bits, stride, width](int first, int end) {
        for (int y = first; y < end; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uchar* out = bits + y * stride;
            for (int x = 0; x < width; ++x) {
                const int r = qRed(in[x]);
                const int g = qGreen(in[x]);
                const int b = qBlue(in[x]);
                // The weights in thousandths: r = g = b = v gives exactly v.
                out[x] = static_cast<uchar>((299 * r + 587 * g + 114 * b + 500) / 1000);
            }
        }
    };
    // A photo's worth of pixels on every core; the first result waits for it.
    const int bands = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1,
                                 std::max(1, rgb.height() / 64));
    {
        std::vector<std::jthread> workers;
        for (int b = 1; b < bands; ++b) {
            workers.emplace_back(rows, rgb.height() * b / bands, rgb.height() * (b + 1) / bands);
        }
        rows(0, rgb.height() / bands);
    }
    return grey;
}

std::optional<jpeg::QuantTable> TableOf(const CompressionSettings& settings) {
    switch (settings.Mode) {
    case CompressionMode::Quality:
        return jpeg::LuminanceTable(settings.Quality);
    case CompressionMode::Table:
        return settings.Table;
    case CompressionMode::Uniform: {
        jpeg::QuantTable flat{};
        flat.fill(std::clamp(settings.Step, 1, kMaxUniformStep));
        return flat;
    }
    case CompressionMode::QuadrelStep:
        break;
    }
    return std::nullopt;
}

namespace {

DctEngine ReadyEngine() {
    DctEngine engine;
    engine.SetConsts();
    engine.MakeCosTable();
    return engine;
}

/// The engine's cosine table twice: [x][u] as the engine indexes it, and
/// transposed, so that the loops below run over contiguous values.
struct CosTables {
    Block Table;      ///< [a][b] = cos((2a + 1) b pi / 16), as the engine builds it
    Block Transposed; ///< [b][a]
};

CosTables MakeCosTables() {
    CosTables t;
    t.Table = ReadyEngine().CosTable;
    for (std::size_t a = 0; a < kBlockSide; ++a) {
        for (std::size_t b = 0; b < kBlockSide; ++b) {
            t.Transposed[b][a] = t.Table[a][b];
        }
    }
    return t;
}

} // namespace

// The engine's own arithmetic, operation for operation, so every result is the
// same to the last bit: each coefficient sums the products (s * c[x][u]) * c[y][v]
// in the engine's order, x outer, y inner; each pixel sums its terms in the
// engine's order, u outer, v inner. Only the loops are turned so that eight
// independent sums advance together, which the compiler vectorises, and an
// inverse term of a zero coefficient, which can change no sum but the sign of a
// zero, is left out. The text rule becomes std::trunc: a truncated text spells
// exactly the whole number trunc gives (a negative zero as 0).
void QuadrelCodeBlock(const jpeg::Samples& block, int step, jpeg::Indices& quantised,
                      jpeg::Samples& reconstruction) {
    static const CosTables kCos = MakeCosTables();
    const Block& c = kCos.Table;
    const Block& ct = kCos.Transposed;
    const Block space = jpeg::FromRowMajor(block);
    const double q = std::clamp(step, 1, DctEngine::kMaxQuantScale);
    Block freq{};
    for (std::size_t u = 0; u < kBlockSide; ++u) {
        std::array<double, kBlockSide> sums{};
        for (std::size_t x = 0; x < kBlockSide; ++x) {
            for (std::size_t y = 0; y < kBlockSide; ++y) {
                const double p = space[x][y] * c[x][u];
                for (std::size_t v = 0; v < kBlockSide; ++v) {
                    sums[v] = sums[v] + p * c[y][v];
                }
            }
        }
        const double cu = (u == 0) ? 0.5 : 1.0;
        for (std::size_t v = 0; v < kBlockSide; ++v) {
            const double cv = (v == 0) ? 0.5 : 1.0;
            const double f = std::clamp((2.0 * cu * cv * sums[v]) / kBlockSide, -kMaxTextMagnitude,
                                        kMaxTextMagnitude);
            const double shown = std::trunc(f) + 0.0;
            // QuantiseBlock: DC rounded (halves up), AC truncated.
            const double quotient = (u == 0 && v == 0) ? (shown + q / 2.0) / q : shown / q;
            freq[u][v] = std::trunc(quotient) * q + 0.0;
            quantised[8 * v + u] = static_cast<int>(std::trunc(quotient));
        }
    }
    Block rebuilt{};
    for (std::size_t u = 0; u < kBlockSide; ++u) {
        for (std::size_t v = 0; v < kBlockSide; ++v) {
            if (freq[u][v] == 0.0) {
                continue;
            }
            for (std::size_t x = 0; x < kBlockSide; ++x) {
                const double a = freq[u][v] * c[x][u];
                for (std::size_t y = 0; y < kBlockSide; ++y) {
                    rebuilt[x][y] = rebuilt[x][y] + ((a * ct[v][y]) * 2.0) / kBlockSide;
                }
            }
        }
    }
    reconstruction = jpeg::ToRowMajor<std::uint8_t>(
        rebuilt, [](double s) { return static_cast<std::uint8_t>(GreyLevel(s)); });
}

jpeg::PictureAnalysis Compress(const QImage& grey, const CompressionSettings& settings,
                               const jpeg::PictureControl& control) {
    const jpeg::GreyPicture picture{grey.constBits(), grey.width(), grey.height(),
                                    grey.bytesPerLine()};
    jpeg::PictureSettings pictureSettings;
    pictureSettings.KeepBlocks = settings.KeepBlocks;
    jpeg::PictureControl pictureControl = control;
    if (const std::optional<jpeg::QuantTable> table = TableOf(settings)) {
        pictureSettings.Table = *table;
        pictureSettings.Encoder = settings.Dct;
    } else {
        const int step = settings.Step;
        pictureControl.Coder = [step](const jpeg::Samples& block, jpeg::Indices& quantised,
                                      jpeg::Samples& reconstruction) {
            QuadrelCodeBlock(block, step, quantised, reconstruction);
        };
    }
    return jpeg::AnalysePicture(picture, pictureSettings, pictureControl);
}

QImage ReconstructionPicture(const jpeg::PictureAnalysis& analysis, QSize size) {
    QImage picture(size, QImage::Format_Grayscale8);
    const auto width = static_cast<std::size_t>(size.width());
    if (picture.isNull() ||
        analysis.Reconstruction.size() != width * static_cast<std::size_t>(size.height())) {
        return {};
    }
    for (int y = 0; y < size.height(); ++y) {
        std::memcpy(picture.scanLine(y), analysis.Reconstruction.data() + y * width, width);
    }
    return picture;
}

QImage DifferencePicture(const QImage& grey, const jpeg::PictureAnalysis& analysis,
                         int amplification) {
    const auto width = static_cast<std::size_t>(grey.width());
    if (analysis.Reconstruction.size() != width * static_cast<std::size_t>(grey.height())) {
        return {};
    }
    QImage difference(grey.size(), QImage::Format_Grayscale8);
    if (difference.isNull()) {
        return difference;
    }
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* original = grey.constScanLine(y);
        const std::uint8_t* back = analysis.Reconstruction.data() + y * width;
        uchar* out = difference.scanLine(y);
        for (std::size_t x = 0; x < width; ++x) {
            const int d = 128 + amplification * (int{original[x]} - int{back[x]});
            out[x] = static_cast<uchar>(std::clamp(d, 0, 255));
        }
    }
    return difference;
}

Block PictureBlock(const QImage& grey, int bx, int by) {
    Block block;
    if (grey.isNull()) {
        return block;
    }
    for (int y = 0; y < kBlockSide; ++y) {
        const uchar* row = grey.constScanLine(std::min(by * kBlockSide + y, grey.height() - 1));
        for (int x = 0; x < kBlockSide; ++x) {
            block[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] =
                row[std::min(bx * kBlockSide + x, grey.width() - 1)];
        }
    }
    return block;
}

} // namespace quadrel
