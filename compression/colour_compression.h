#pragma once
// A whole picture through the colour JPEG chain (jpeg/colour_picture.h) as
// cjpeg and djpeg code and decode it, with the pictures a student looks at
// afterwards. A grey picture is coded as one component, as cjpeg codes a PGM.

#include "base/result.h"
#include "jpeg/colour_picture.h"
#include "jpeg/mcu_detail.h"

#include <QImage>

#include <atomic>
#include <optional>
#include <vector>

namespace quadrel {

struct ColourCompressionSettings {
    int Quality = 50;       ///< Y's table, 1..100
    int ChromaQuality = 50; ///< Cb's and Cr's table, 1..100 (cjpeg -quality Q,M)
    jpeg::Subsampling Sampling = jpeg::Subsampling::S420;
    jpeg::Upsampling Upsample = jpeg::Upsampling::Smooth;
    jpeg::DctMethod Dct = jpeg::DctMethod::Float;
    bool KeepBlocks = false;        ///< keep the quantised blocks, to write a JPEG file
    bool KeepReconstruction = true; ///< false: the figures alone (jpeg::ColourSettings)
};

/// Codes a picture: Format_Grayscale8 as one component, any other format as
/// R, G, B (transparency is expected to be laid on a background already).
jpeg::ColourAnalysis CompressColour(const QImage& picture,
                                    const ColourCompressionSettings& settings,
                                    const std::atomic<bool>* cancel = nullptr);

/// A picture prepared once for CompressColour at many qualities with one
/// sampling and one transform: converted, sampled and transformed once, so
/// that only the quantisation onward is repeated per quality.
class PreparedColour {
public:
    /// Threads 0: one per core.
    PreparedColour(const QImage& picture, jpeg::Subsampling sampling, jpeg::DctMethod dct,
                   unsigned threads = 0);

    /// What CompressColour gives for the settings, whose sampling and transform
    /// must be this one's (their own are not used). Threads as above; the
    /// result does not depend on them. Safe to call from several threads at once.
    jpeg::ColourAnalysis Compress(const ColourCompressionSettings& settings,
                                  const std::atomic<bool>* cancel = nullptr,
                                  unsigned threads = 0) const;

private:
    QImage packed_; ///< the pixels the transforms were made from
    std::optional<jpeg::TransformedColourPicture> transformed_; ///< empty: no picture
};

/// The reconstruction as a picture: Format_RGB888, or Format_Grayscale8 for one
/// component; null when the analysis holds none.
QImage ColourReconstructionPicture(const jpeg::ColourAnalysis& analysis);
/// The same, reading the analysis's pixels in place without copying them: valid
/// only while the analysis lives and is not changed.
QImage ColourReconstructionView(const jpeg::ColourAnalysis& analysis);

/// The Y, Cb and Cr planes (Y alone for grey) as the encoder codes them, each
/// Format_Grayscale8 at the picture's size: a downsampled sample covers the
/// picture pixels it stands for. Empty when memory runs out.
std::vector<QImage> ColourPlanePictures(const QImage& picture, jpeg::Subsampling sampling);

/// 128 + amplification x (original - reconstruction) per channel, limited to
/// 0..255: mid grey where nothing changed. Same format as the reconstruction.
QImage ColourDifferencePicture(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                               int amplification);

/// The MCU holding pixel (x, y) of `picture` as `analysis` coded it with
/// `sampling`; the analysis must have kept its blocks (KeepBlocks).
Result<jpeg::McuDetail> DescribeMcu(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                                    jpeg::Subsampling sampling, int x, int y);

} // namespace quadrel
