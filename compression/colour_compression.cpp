#include "compression/colour_compression.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quadrel {

namespace {

bool IsGrey(const QImage& picture) {
    return picture.format() == QImage::Format_Grayscale8;
}

/// The picture in the layout the core reads: one byte per channel, R G B or grey.
QImage Packed(const QImage& picture) {
    return picture.convertToFormat(IsGrey(picture) ? QImage::Format_Grayscale8
                                                   : QImage::Format_RGB888);
}

jpeg::ColourPicture InputOf(const QImage& packed) {
    return {packed.constBits(), packed.width(), packed.height(), packed.bytesPerLine(),
            IsGrey(packed) ? 1 : 3};
}

jpeg::ColourSettings CodingOf(const ColourCompressionSettings& settings) {
    jpeg::ColourSettings coding;
    coding.LumaTable = jpeg::LuminanceTable(settings.Quality);
    coding.ChromaTable = jpeg::ChrominanceTable(settings.ChromaQuality);
    coding.Sampling = settings.Sampling;
    coding.Upsample = settings.Upsample;
    coding.Dct = settings.Dct;
    coding.KeepBlocks = settings.KeepBlocks;
    coding.KeepReconstruction = settings.KeepReconstruction;
    return coding;
}

} // namespace

jpeg::ColourAnalysis CompressColour(const QImage& picture,
                                    const ColourCompressionSettings& settings,
                                    const std::atomic<bool>* cancel) {
    const QImage packed = Packed(picture);
    if (packed.isNull()) {
        return {};
    }
    return jpeg::AnalyseColourPicture(InputOf(packed), CodingOf(settings), cancel);
}

PreparedColour::PreparedColour(const QImage& picture, jpeg::Subsampling sampling,
                               jpeg::DctMethod dct, unsigned threads)
    : packed_(Packed(picture)) {
    if (!packed_.isNull()) {
        transformed_.emplace(InputOf(packed_), sampling, dct, threads);
    }
}

jpeg::ColourAnalysis PreparedColour::Compress(const ColourCompressionSettings& settings,
                                              const std::atomic<bool>* cancel,
                                              unsigned threads) const {
    if (!transformed_) {
        return {};
    }
    jpeg::ColourSettings coding = CodingOf(settings);
    coding.Threads = threads;
    return transformed_->Analyse(coding, cancel);
}

Result<jpeg::McuDetail> DescribeMcu(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                                    jpeg::Subsampling sampling, int x, int y) {
    const QImage packed = Packed(picture);
    if (packed.isNull() || IsGrey(packed)) {
        return Fail("An MCU is described for a colour picture only.");
    }
    const jpeg::ColourPicture input{packed.constBits(), packed.width(), packed.height(),
                                    packed.bytesPerLine(), 3};
    return jpeg::DescribeMcu(input, sampling, analysis.Coded, x, y);
}

QImage ColourReconstructionView(const jpeg::ColourAnalysis& analysis) {
    const auto rowBytes =
        static_cast<std::size_t>(analysis.Width) * static_cast<std::size_t>(analysis.Components);
    if (rowBytes == 0 ||
        analysis.Reconstruction.size() != rowBytes * static_cast<std::size_t>(analysis.Height)) {
        return {};
    }
    return {analysis.Reconstruction.data(), analysis.Width, analysis.Height,
            static_cast<qsizetype>(rowBytes),
            analysis.Components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888};
}

QImage ColourReconstructionPicture(const jpeg::ColourAnalysis& analysis) {
    return ColourReconstructionView(analysis).copy();
}

std::vector<QImage> ColourPlanePictures(const QImage& picture, jpeg::Subsampling sampling) {
    const QImage packed = Packed(picture);
    if (packed.isNull()) {
        return {};
    }
    const jpeg::ColourPicture input{packed.constBits(), packed.width(), packed.height(),
                                    packed.bytesPerLine(), IsGrey(packed) ? 1 : 3};
    std::vector<QImage> pictures;
    for (const jpeg::SampledPlane& plane : jpeg::SampledPlanes(input, sampling)) {
        QImage sampled(plane.Width, plane.Height, QImage::Format_Grayscale8);
        if (sampled.isNull()) {
            return {};
        }
        for (int y = 0; y < plane.Height; ++y) {
            std::memcpy(sampled.scanLine(y),
                        plane.Samples.data() + static_cast<std::ptrdiff_t>(y) * plane.Width,
                        static_cast<std::size_t>(plane.Width));
        }
        // Whole factors and no smoothing: every sample becomes a block of equal
        // pixels; the last ones reach past the picture and are cut off.
        QImage shown = sampled
                           .scaled(plane.Width * plane.ExpandH, plane.Height * plane.ExpandV,
                                   Qt::IgnoreAspectRatio, Qt::FastTransformation)
                           .copy(0, 0, packed.width(), packed.height());
        if (shown.isNull()) {
            return {};
        }
        pictures.push_back(std::move(shown));
    }
    return pictures;
}

QImage ColourDifferencePicture(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                               int amplification) {
    QImage difference = ColourReconstructionPicture(analysis);
    const QImage original =
        difference.isNull() ? QImage() : picture.convertToFormat(difference.format());
    if (original.isNull() || original.size() != difference.size()) {
        return {};
    }
    const auto rowBytes =
        static_cast<std::size_t>(analysis.Width) * static_cast<std::size_t>(analysis.Components);
    for (int y = 0; y < difference.height(); ++y) {
        const uchar* in = original.constScanLine(y);
        uchar* out = difference.scanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int d = 128 + amplification * (int{in[i]} - int{out[i]});
            out[i] = static_cast<uchar>(std::clamp(d, 0, 255));
        }
    }
    return difference;
}

} // namespace quadrel
