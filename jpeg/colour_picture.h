#pragma once
// The JPEG chain over a whole colour picture, as libjpeg-turbo's cjpeg codes it
// and djpeg decodes it, to the last bit: RGB -> YCbCr in whole numbers, the
// chroma planes downsampled, each plane padded by repeating its last column and
// row, the blocks coded in interleaved MCUs (the Y blocks of an MCU, then Cb,
// then Cr) with the luminance tables for Y and the chrominance tables for Cb and
// Cr, DC differences chained per component; then dequantised, rebuilt, the
// chroma upsampled ("fancy" triangle filter or plain repetition) and turned back
// into RGB. One component codes a grey picture, as cjpeg codes a PGM file.

#include "jpeg/coded_picture.h"
#include "jpeg/encoder_dct.h"
#include "jpeg/jpeg_block.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel::jpeg {

/// The chroma sampling, named as usual; Cb and Cr are always sampled 1x1 and Y
/// with the factors below.
enum class Subsampling : std::uint8_t { S444, S422, S420, S440, S411 };
inline constexpr std::array<Subsampling, 5> kSubsamplings = {
    Subsampling::S444, Subsampling::S422, Subsampling::S420, Subsampling::S440, Subsampling::S411};

struct SamplingFactors {
    int Horizontal = 1;
    int Vertical = 1;
};
/// Y's factors: 1x1, 2x1, 2x2, 1x2, 4x1 (cjpeg's -sample HxV).
SamplingFactors LumaFactors(Subsampling sampling);
/// "4:2:0" and so on.
std::string_view SubsamplingName(Subsampling sampling);
std::optional<Subsampling> SubsamplingFromName(std::string_view name);
/// Bits per pixel of the sampled planes before any coding: 24, 16, 12, 16, 12.
double RawBitsPerPixel(Subsampling sampling);

/// How the decoder brings Cb and Cr back to full size: djpeg's default triangle
/// filter, or `djpeg -nosmooth`'s repetition.
enum class Upsampling : std::uint8_t { Smooth, Box };

/// A picture the caller owns: Height rows of Width pixels of Components bytes
/// (3: R, G, B; 1: grey), row r starting at Pixels + r * Stride.
struct ColourPicture {
    const std::uint8_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;
    int Components = 3;
};

struct ColourSettings {
    QuantTable LumaTable = LuminanceTable(75);
    QuantTable ChromaTable = ChrominanceTable(75);
    Subsampling Sampling = Subsampling::S420;
    Upsampling Upsample = Upsampling::Smooth;
    DctMethod Dct = DctMethod::Float;
    unsigned Threads = 0;    ///< 0: one per core
    bool KeepBlocks = false; ///< hand the quantised blocks over, e.g. to write a file
    /// Hand the reconstruction over; without it only the figures are made (a
    /// sweep's point), which spares the whole picture's memory.
    bool KeepReconstruction = true;
};

struct ComponentCoding {
    std::string Name; ///< "Y", "Cb", "Cr"
    SamplingFactors Factors;
    int BlocksAcross = 0; ///< blocks holding picture samples
    int BlocksDown = 0;
    std::int64_t Blocks = 0; ///< blocks coded, the MCUs' padding blocks included
    std::int64_t DcBits = 0;
    std::int64_t AcBits = 0;
    std::int64_t Bits() const { return DcBits + AcBits; }
};

struct ColourAnalysis {
    int Width = 0;
    int Height = 0;
    int Components = 0;
    std::vector<ComponentCoding> Coding; ///< Y, Cb, Cr (Y alone for grey)
    std::int64_t TotalBits = 0;          ///< entropy-coded data, before padding to whole bytes
    std::int64_t Bytes = 0;              ///< the scan padded to whole bytes, no stuffing
    double BitsPerPixel = 0.0;
    double RawBitsPerPixel = 0.0;  ///< of the sampled planes (8 for grey)
    double CompressionRatio = 0.0; ///< against 24 bits per pixel (8 for grey)
    double Mse = 0.0;              ///< over every channel of every pixel
    double Psnr = 0.0;             ///< dB over R, G, B (grey: the one channel)
    double PsnrY = 0.0;            ///< the Y plane coded against the Y plane decoded
    double Ssim = 0.0;      ///< mean SSIM (ssim.h) of those Y planes; NaN under 11 pixels a side
    bool Lossless = false;  ///< every channel of every pixel came back unchanged
    bool Cancelled = false; ///< stopped early: nothing else holds
    /// Width * Height * Components, row-major; empty unless the settings keep it.
    std::vector<std::uint8_t> Reconstruction;
    /// The frame, tables and every coded block (the MCUs' padding blocks
    /// included); only when the settings keep the blocks.
    CodedPicture Coded;
};

/// An empty picture (or no pixels) gives an empty analysis; Cancel is checked
/// before each row of MCUs.
ColourAnalysis AnalyseColourPicture(const ColourPicture& picture, const ColourSettings& settings,
                                    const std::atomic<bool>* cancel = nullptr);

struct ColourPlanes;

/// A picture converted, sampled, cut into blocks and put through the encoder's
/// forward transform once, so that many pairs of tables can be tried on it:
/// only the quantisation onward is repeated per pair. The picture's pixels must
/// outlive it.
class TransformedColourPicture {
public:
    /// Threads 0: one per core.
    TransformedColourPicture(const ColourPicture& picture, Subsampling sampling, DctMethod method,
                             unsigned threads = 0);
    ~TransformedColourPicture();
    TransformedColourPicture(const TransformedColourPicture&) = delete;
    TransformedColourPicture& operator=(const TransformedColourPicture&) = delete;

    /// What AnalyseColourPicture gives for the picture with this sampling and
    /// method in place of the settings' own.
    ColourAnalysis Analyse(const ColourSettings& settings,
                           const std::atomic<bool>* cancel = nullptr) const;

private:
    ColourPicture picture_;
    Subsampling sampling_;
    DctMethod method_;
    std::shared_ptr<const ColourPlanes> planes_; ///< null for an empty picture
};

/// One component's samples as the encoder takes them into its blocks: converted,
/// downsampled, without the padding. Sample (x, y) stands for the picture pixels
/// x*ExpandH .. x*ExpandH+ExpandH-1 across and likewise down.
struct SampledPlane {
    int Width = 0;
    int Height = 0;
    int ExpandH = 1;
    int ExpandV = 1;
    std::vector<std::uint8_t> Samples; ///< Width * Height, row-major
};

/// Y, Cb, Cr as coded with `sampling` (Y alone for grey); empty for an empty picture.
std::vector<SampledPlane> SampledPlanes(const ColourPicture& picture, Subsampling sampling);

/// How the encoder rounds the sum of a group of ExpandH x ExpandV converted
/// samples into one downsampled sample: (sum + Bias) / Divisor. 2x1 and 2x2
/// groups take a bias that alternates along the row (0, 1, ... and 1, 2, ...),
/// so that rounding errors do not pile up; other groups round to nearest.
struct DownsampleRounding {
    int Bias = 0;
    int Divisor = 1;
};
DownsampleRounding RoundingOfSample(int expandH, int expandV, int column);

/// Where one sample of a component's coded plane (its blocks' whole width and
/// height, padding included) comes from: the converted picture pixels it
/// averages, row by row, and their rounding. Places beyond the picture's right
/// edge take its last column; rows below the last sampled row repeat that row,
/// as the encoder pads its blocks.
struct SampleSource {
    std::vector<std::array<int, 2>> Pixels; ///< (x, y), each inside the picture
    DownsampleRounding Rounding;
    int SampledRow = 0;   ///< the sampled row averaged: the sample's own or the last one
    bool Outside = false; ///< the sample stands for no picture pixel: padding only
};
/// Component 0 is Y (or grey, with Subsampling::S444), 1 and 2 Cb and Cr;
/// (column, row) counts the component's samples.
SampleSource SourceOfSample(int width, int height, Subsampling sampling, std::size_t component,
                            int column, int row);

/// One pixel's conversions, in the encoder's and the decoder's whole numbers.
std::array<std::uint8_t, 3> RgbToYcc(int r, int g, int b);
std::array<std::uint8_t, 3> YccToRgb(int y, int cb, int cr);

} // namespace quadrel::jpeg
