#pragma once
// Rate against distortion over many settings of one picture: each point is what
// quadrel-cli compress reports for that setting. For a grey picture the blocks
// are cut out and transformed once; only the quantisation onward is repeated
// per setting. No widgets: the "Rate-Distortion" window and quadrel-cli rd share it.

#include "compression/colour_compression.h"
#include "compression/picture_compression.h"
#include "jpeg/jpeg_picture.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quadrel {

/// One setting's rate and quality.
struct RatePoint {
    int Setting = 0; ///< the quality or the step
    /// The entropy-coded data padded to whole bytes, as compress's "bytes"; with
    /// optimised Huffman tables, the whole JPEG file, as compress's "file_bytes".
    std::int64_t Bytes = 0;
    /// Compress's "bits_per_pixel"; with optimised tables, the whole file's bits
    /// per pixel.
    double BitsPerPixel = 0.0;
    /// Bits per pixel of the entropy-coded data alone, as compress's
    /// "bits_per_pixel" without optimised tables; with them, of the optimised
    /// scan (padded to whole bytes): the rate all curves can be held against.
    double ScanBitsPerPixel = 0.0;
    double Psnr = 0.0;  ///< dB (colour: over R, G, B); +infinity when lossless
    double PsnrY = 0.0; ///< dB of Y (grey: the picture's PSNR)
    double Ssim = 0.0;  ///< mean SSIM (colour: of Y); NaN under 11 pixels a side
    bool Lossless = false;
};

/// The ways a grey picture's settings are swept.
enum class GreyRule : std::uint8_t {
    StandardTable, ///< the standard luminance table scaled to the quality
    FlatTable,     ///< every step of the table the setting (1..255): a uniform quantiser
    QuadrelStep,   ///< Quadrel's own transform and Quant rule at the step (1..512)
};

/// A grey picture prepared once for many settings; the picture (Format_Grayscale8)
/// must outlive it.
class GreySweep {
public:
    GreySweep(const QImage& grey, jpeg::DctMethod dct);

    /// What compress gives for the setting (CompressionMode::Quality, ::Table
    /// with a flat table, ::QuadrelStep), with --jpeg --optimize's file size when
    /// `optimise` (not for QuadrelStep, which makes no file). Empty when
    /// cancelled, or when no file can be made.
    /// Threads 0: one per core; the result does not depend on it. Safe to call
    /// from several threads at once.
    std::optional<RatePoint> At(GreyRule rule, int setting, bool optimise,
                                const std::atomic<bool>* cancel = nullptr,
                                unsigned threads = 0) const;

private:
    const QImage& grey_;
    jpeg::TransformedPicture transformed_;
};

/// What compress --colour gives for the settings; `optimise` as for grey.
std::optional<RatePoint> ColourPoint(const QImage& picture,
                                     const ColourCompressionSettings& settings, bool optimise,
                                     const std::atomic<bool>* cancel = nullptr);

/// A picture prepared once for many qualities of compress --colour with one
/// sampling and one transform: only the quantisation onward is repeated.
class ColourSweep {
public:
    ColourSweep(const QImage& picture, jpeg::Subsampling sampling, jpeg::DctMethod dct);

    /// ColourPoint for the settings, whose sampling and transform are taken as
    /// this sweep's. Threads as GreySweep::At; safe to call from several
    /// threads at once.
    std::optional<RatePoint> At(const ColourCompressionSettings& settings, bool optimise,
                                const std::atomic<bool>* cancel = nullptr,
                                unsigned threads = 0) const;

private:
    PreparedColour prepared_;
};

/// Each setting's point(setting, threads), in the settings' order, the
/// settings shared out among the cores: each point runs on one thread (a lone
/// point on them all), so that no core waits while another finishes its share
/// of a point. An empty entry is a point that could not be made.
using PointMaker = std::function<std::optional<RatePoint>(int setting, unsigned threads)>;
std::vector<std::optional<RatePoint>> SweepPoints(const std::vector<int>& settings,
                                                  const PointMaker& point);

/// Settings from "A:B:STEP" (A, A+STEP, ... up to B) or "Q1,Q2,...", each in
/// lo..hi; empty when the text is not one of these.
std::optional<std::vector<int>> ParseSettings(const QString& text, int lo, int hi);

} // namespace quadrel
