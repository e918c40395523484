#include "compression/ssim_map.h"

#include "jpeg/encoder_dct.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quadrel {

jpeg::SsimMap GreySsimMap(const QImage& grey, const jpeg::PictureAnalysis& analysis) {
    const auto pixels = static_cast<std::size_t>(grey.width()) * grey.height();
    if (grey.format() != QImage::Format_Grayscale8 || analysis.Reconstruction.size() != pixels) {
        return {};
    }
    const jpeg::GreyPicture original{grey.constBits(), grey.width(), grey.height(),
                                     grey.bytesPerLine()};
    const jpeg::GreyPicture coded{analysis.Reconstruction.data(), grey.width(), grey.height(),
                                  grey.width()};
    return jpeg::LocalSsim(original, coded);
}

jpeg::SsimMap ColourSsimMap(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                            const ColourCompressionSettings& settings) {
    const jpeg::CodedPicture& coded = analysis.Coded;
    if (coded.Components.empty() || coded.Width != picture.width() ||
        coded.Height != picture.height()) {
        return {};
    }
    const std::vector<QImage> planes = ColourPlanePictures(picture, settings.Sampling);
    const jpeg::CodedComponent& luma = coded.Components.front();
    if (planes.empty() || static_cast<std::size_t>(luma.QuantTable) >= coded.QuantTables.size() ||
        luma.Blocks.size() != static_cast<std::size_t>(luma.BlocksAcross) * luma.BlocksDown ||
        luma.BlocksAcross * 8 < coded.Width || luma.BlocksDown * 8 < coded.Height) {
        return {};
    }
    // Y's blocks cover the picture one sample a pixel, whatever the chroma's sampling.
    const jpeg::EncoderBlockCodec codec(
        coded.QuantTables[static_cast<std::size_t>(luma.QuantTable)], settings.Dct);
    const int width = coded.Width;
    const int height = coded.Height;
    std::vector<std::uint8_t> decoded(static_cast<std::size_t>(width) * height);
    jpeg::Indices indices{};
    jpeg::Samples samples{};
    for (int by = 0; by * 8 < height; ++by) {
        for (int bx = 0; bx * 8 < width; ++bx) {
            const jpeg::CoefficientBlock& block =
                luma.Blocks[static_cast<std::size_t>(by) * luma.BlocksAcross + bx];
            std::copy(block.begin(), block.end(), indices.begin());
            codec.Inverse(indices, samples);
            for (int y = 0; y < 8 && by * 8 + y < height; ++y) {
                const int across = std::min(8, width - bx * 8);
                const std::size_t at =
                    (static_cast<std::size_t>(by) * 8 + static_cast<std::size_t>(y)) *
                        static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(bx) * 8;
                std::memcpy(decoded.data() + at, samples.data() + static_cast<std::size_t>(y) * 8,
                            static_cast<std::size_t>(across));
            }
        }
    }
    const QImage& y = planes.front();
    return jpeg::LocalSsim({y.constBits(), width, height, y.bytesPerLine()},
                           {decoded.data(), width, height, width});
}

QImage SsimMapPicture(const jpeg::SsimMap& map) {
    if (map.Values.empty()) {
        return {};
    }
    QImage picture(map.Width, map.Height, QImage::Format_Grayscale8);
    if (picture.isNull()) {
        return picture;
    }
    for (int y = 0; y < map.Height; ++y) {
        uchar* row = picture.scanLine(y);
        const float* values = map.Values.data() + static_cast<std::size_t>(y) * map.Width;
        for (int x = 0; x < map.Width; ++x) {
            row[x] = static_cast<uchar>(std::lround(255.0 * std::clamp(values[x], 0.0F, 1.0F)));
        }
    }
    return picture;
}

} // namespace quadrel
