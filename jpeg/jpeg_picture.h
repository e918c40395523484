#pragma once
// The JPEG chain over a whole grey picture, as a baseline encoder codes it: 8x8
// blocks from the top left, partial blocks at the right and bottom padded by
// repeating the last column and row, DC differences chained block to block in
// raster order. The block rows are shared out among several threads.

#include "jpeg/coded_picture.h"
#include "jpeg/encoder_dct.h"
#include "jpeg/jpeg_block.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quadrel::jpeg {

class SsimReference;

/// A grey picture the caller owns: Height rows of Width bytes, row r starting at
/// Pixels + r * Stride.
struct GreyPicture {
    const std::uint8_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;
};

struct PictureAnalysis {
    int BlocksAcross = 0;
    int BlocksDown = 0;
    std::int64_t DcBits = 0;
    std::int64_t AcBits = 0;
    std::int64_t TotalBits = 0; ///< entropy-coded data, before padding to whole bytes
    double BitsPerPixel = 0.0;  ///< over the picture's own pixels
    double CompressionRatio = 0.0;
    double ZeroShare = 0.0; ///< quantised coefficients that are 0, over every coded block
    double Mse = 0.0;       ///< over the picture's own pixels, not the padding
    double Psnr = 0.0;      ///< dB; +infinity when lossless
    double Ssim = 0.0;      ///< mean SSIM (ssim.h); NaN when a side is under 11 pixels
    bool Lossless = false;
    bool Cancelled = false;                   ///< stopped early: nothing else in the analysis holds
    std::vector<std::uint8_t> Reconstruction; ///< Width * Height, row-major, no padding
    std::vector<std::uint32_t> BlockBits;     ///< bits of each block, raster order
    /// Each block's quantised indices, raster order; only when the settings keep them.
    std::vector<CoefficientBlock> Quantised;
};

struct PictureSettings {
    QuantTable Table = kLuminanceTable;
    TieRule Ties = TieRule::AwayFromZero; ///< for the exact chain only
    unsigned Threads = 0;                 ///< 0: one per core
    /// The encoder's own transform and quantiser (encoder_dct.h), as real files
    /// are coded and decoded; empty: the worksheet's exact chain, block for block.
    std::optional<DctMethod> Encoder = std::nullopt;
    bool KeepBlocks = false; ///< hand the quantised blocks over, e.g. to write a file
};

/// Codes one padded block in place of the table's chain: fills the quantised
/// indices (row-major, vertical frequency first, as Quantise gives them) whose
/// symbols are counted, and the block as the decoder would rebuild it.
using BlockCoder =
    std::function<void(const Samples& block, Indices& quantised, Samples& reconstruction)>;

/// What a caller running the analysis in the background may add.
struct PictureControl {
    BlockCoder Coder;                          ///< empty: the settings' table
    const std::atomic<bool>* Cancel = nullptr; ///< checked before each block row
    std::atomic<int>* RowsDone = nullptr;      ///< counts the block rows finished
};

/// An empty picture (or no pixels) gives an empty analysis.
PictureAnalysis AnalysePicture(const GreyPicture& picture, const PictureSettings& settings);
/// The same under a control; a cancelled analysis comes back empty but for Cancelled.
PictureAnalysis AnalysePicture(const GreyPicture& picture, const PictureSettings& settings,
                               const PictureControl& control);

/// A grey picture's blocks cut out as the analysis cuts them and put through
/// the encoder's forward transform once, so that many tables can be tried on
/// them: only the quantisation onward is repeated per table. The picture's
/// pixels must outlive it.
class TransformedPicture {
public:
    /// Threads 0: one per core.
    TransformedPicture(const GreyPicture& picture, DctMethod method, unsigned threads = 0);

    const GreyPicture& Picture() const { return picture_; }
    DctMethod Method() const { return method_; }
    /// Block (bx, by)'s transform, raster order.
    const TransformedBlock& Block(std::size_t index) const { return blocks_[index]; }
    /// The picture's side of the SSIM, for every table tried.
    const SsimReference& Reference() const { return *reference_; }

private:
    GreyPicture picture_;
    DctMethod method_;
    std::vector<TransformedBlock> blocks_;
    std::shared_ptr<const SsimReference> reference_;
};

/// What AnalysePicture gives for the picture with settings.Table and
/// settings.Encoder set to the transform's method (settings.Encoder, Ties and
/// the control's Coder are not used).
PictureAnalysis AnalysePicture(const TransformedPicture& transformed,
                               const PictureSettings& settings, const PictureControl& control = {});

} // namespace quadrel::jpeg
