#pragma once
// One MCU of a colour picture as the encoder codes it, for a student to follow
// by hand: its pixels in RGB and YCbCr, how every sample of its blocks was
// formed (a chroma sample averaged from its pixels with the encoder's own
// rounding, the padding beyond the picture repeated from its edge), and each
// block's quantised indices, DC prediction and Huffman symbols. The indices
// come from the coder's kept blocks, so they are the encoder's exactly.

#include "base/result.h"
#include "jpeg/coded_picture.h"
#include "jpeg/colour_picture.h"
#include "jpeg/jpeg_huffman.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quadrel::jpeg {

/// One converted pixel an average takes in.
struct SampleTerm {
    int X = 0;
    int Y = 0;
    int Value = 0; ///< the pixel's Y, Cb or Cr
};

/// One sample of a block: (Sum + Bias) / Divisor of its terms.
struct SampleAverage {
    std::vector<SampleTerm> Terms; ///< row by row; one for a full-size sample
    int Sum = 0;
    DownsampleRounding Rounding;
    int Value = 0;
    int SampledRow = 0;      ///< the component's row averaged (the last one for rows below it)
    bool RepeatsRow = false; ///< below the sampled rows: a copy of SampledRow
    bool Outside = false;    ///< stands for no picture pixel: the encoder's padding
};

struct McuBlock {
    std::size_t Component = 0; ///< 0 Y, 1 Cb, 2 Cr
    int Index = 0;             ///< among the component's blocks in the MCU, row by row
    int BlockX = 0;            ///< in the component's grid of coded blocks
    int BlockY = 0;
    /// Beyond the component's samples: the encoder codes the block before's DC
    /// and no AC, and takes no samples.
    bool Padding = false;
    std::array<SampleAverage, kBlockCells> Averages; ///< row-major; empty for padding
    Indices Quantised{};                             ///< row-major
    int Prediction = 0; ///< DC of the component's block before in MCU order, 0 at first
    int DcDifference = 0;
    HuffmanClass Tables = HuffmanClass::Luminance;
    SymbolList Symbols;
    int Bits = 0;
    Samples Values() const; ///< the samples coded, row-major
};

struct McuPixel {
    std::array<std::uint8_t, 3> Rgb{};
    std::array<std::uint8_t, 3> Ycc{};
    int SourceX = 0; ///< the picture pixel whose values these are
    int SourceY = 0;
    bool Outside = false; ///< beyond the picture: the nearest edge pixel's values
};

struct McuDetail {
    int Column = 0; ///< among the MCUs
    int Row = 0;
    int X = 0; ///< the MCU's first picture pixel
    int Y = 0;
    int Width = 8;                ///< pixels an MCU spans: 8 x the largest factor
    int Height = 8;               ///< the same down
    int InsideWidth = 8;          ///< of those, inside the picture
    int InsideHeight = 8;         ///< the same down
    std::vector<McuPixel> Pixels; ///< Width x Height, row-major
    std::vector<McuBlock> Blocks; ///< in the order the MCU sends them: Y..., Cb, Cr
};

/// The MCU holding picture pixel (x, y) of a colour picture coded with
/// `sampling`; `coded` is that coding's kept blocks (ColourAnalysis::Coded).
/// Fails when the pixel lies beyond the picture or the blocks belong to
/// another picture or sampling.
Result<McuDetail> DescribeMcu(const ColourPicture& picture, Subsampling sampling,
                              const CodedPicture& coded, int x, int y);

} // namespace quadrel::jpeg
