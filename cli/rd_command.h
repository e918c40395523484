#pragma once
// quadrel-cli rd: one picture at many qualities, a row each with what
// quadrel-cli compress reports for that quality: bits per pixel, bytes, PSNR
// and SSIM.

#include "base/result.h"
#include "compression/colour_compression.h"
#include "report/report.h"

#include <QString>

#include <vector>

namespace quadrel::cli {

struct RateRequest {
    QString Picture;
    std::vector<int> Qualities;
    jpeg::DctMethod Dct = jpeg::DctMethod::Float;
    bool Colour = false; ///< code Y, Cb and Cr with ColourSettings
    /// The sampling, the upsampling and (when ChromaFollows is false) the
    /// chroma quality; the quality is each row's.
    ColourCompressionSettings ColourSettings;
    bool ChromaFollows = true; ///< each row's chroma quality is its quality
    bool Optimise = false;     ///< the JPEG file's size with tables made for the picture
};

/// The report; it fails when the picture cannot be read or coded.
Result<report::Node> RateReport(const RateRequest& request);

} // namespace quadrel::cli
