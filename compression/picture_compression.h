#pragma once
// A whole picture through the JPEG chain or through Quadrel's own transform and
// quantiser, with the pictures a student looks at afterwards. No widgets: the
// "Compress Picture" window and quadrel-cli share it.
//
// The picture is made grey with the JPEG luminance weights, cut into 8x8 blocks
// from the top-left corner (partial blocks padded by repeating the last column
// and row), and each block is coded on its own; the bits are those of the
// standard Huffman codes with the DC differences chained in raster order.

#include "engine/block.h"
#include "jpeg/jpeg_picture.h"

#include <QImage>
#include <QString>

#include <optional>

namespace quadrel {

enum class CompressionMode : std::uint8_t {
    Quality, ///< the standard luminance table scaled to Quality
    Table,   ///< a table of the user's own
    /// One step (1..255) for every coefficient: a flat table through the same
    /// JPEG chain, a uniform quantiser.
    Uniform,
    /// Quadrel's own scaled DCT and its Quant rule with a dead zone, as the Quant
    /// button: not a uniform quantiser.
    QuadrelStep,
};

struct CompressionSettings {
    CompressionMode Mode = CompressionMode::Quality;
    int Quality = 50;                               ///< 1..100
    jpeg::QuantTable Table = jpeg::kLuminanceTable; ///< for CompressionMode::Table
    int Step = 16;                                  ///< 1..512 for QuadrelStep, 1..255 for Uniform
    /// The encoder's transform for the JPEG modes: Float as `cjpeg -dct float`
    /// and `djpeg -dct float`, Integer as plain `cjpeg` and `djpeg`.
    jpeg::DctMethod Dct = jpeg::DctMethod::Float;
    bool KeepBlocks = false; ///< keep the quantised blocks, to write a JPEG file
};

/// What a transparent pixel of a picture file counts as before it is made
/// grey, in the "Compress Picture" window and in quadrel-cli alike: white. (The
/// bitmap viewer lays it on its own background grey instead, and a picture it
/// hands over comes as it shows it.)
inline constexpr QRgb kCompressionBackground = qRgb(255, 255, 255);

/// Grey levels Y = 0.299 R + 0.587 G + 0.114 B, rounded (worked in whole numbers,
/// so a grey picture keeps its levels exactly), as QImage::Format_Grayscale8.
QImage GreyPicture(const QImage& picture);

/// The largest step of a uniform quantiser: a baseline file's tables hold bytes.
inline constexpr int kMaxUniformStep = 255;

/// The table a setting codes with; empty in CompressionMode::QuadrelStep.
std::optional<jpeg::QuantTable> TableOf(const CompressionSettings& settings);

/// One padded block in Quadrel mode, exactly as the main window computes it
/// when the block is loaded and Quant pressed: the DCT is shown (each cell then
/// holds its truncated text), the block is quantised with `step` and inverted,
/// and the squares show the grey levels of the result. `quantised` receives the
/// quantisation indices in the JPEG layout (vertical frequency as row).
void QuadrelCodeBlock(const jpeg::Samples& block, int step, jpeg::Indices& quantised,
                      jpeg::Samples& reconstruction);

/// Analyses a grey (Format_Grayscale8) picture; `control` may cancel it and count
/// its progress.
jpeg::PictureAnalysis Compress(const QImage& grey, const CompressionSettings& settings,
                               const jpeg::PictureControl& control = {});

/// The reconstruction as a picture (a copy of the analysis's pixels).
QImage ReconstructionPicture(const jpeg::PictureAnalysis& analysis, QSize size);

/// 128 + amplification x (original - reconstruction), limited to 0..255: mid grey
/// where nothing changed.
QImage DifferencePicture(const QImage& grey, const jpeg::PictureAnalysis& analysis,
                         int amplification);

/// The 8x8 block (bx, by) of the grey picture as the encoder cuts it, padded the
/// same way, indexed [x][y] for the main window.
Block PictureBlock(const QImage& grey, int bx, int by);

} // namespace quadrel
