#pragma once
// The whole chain for one block in one call: what a worksheet shows, step by step.

#include "jpeg/jpeg_block.h"
#include "jpeg/jpeg_huffman.h"

namespace quadrel::jpeg {

struct ChainSettings {
    QuantTable Table = kLuminanceTable;
    /// Quantised DC of the block before, which the DC difference is taken against.
    int PreviousDc = 0;
    /// Zig-zag positions kept (0..64); the rest are zeroed after quantising.
    int Keep = kBlockCells;
    TieRule Ties = TieRule::AwayFromZero;
    /// Whose default Huffman codes code the DC and AC symbols: Y's, or Cb's and Cr's.
    HuffmanClass Component = HuffmanClass::Luminance;
};

/// The standard table of a component class scaled to a quality 1..100: the
/// luminance table for Y, the chrominance table for Cb and Cr.
QuantTable StandardTable(HuffmanClass component, int quality);

struct BitTotals {
    int Dc = 0;
    int Ac = 0;
    int Total = 0;
    double BitsPerPixel = 0.0;
    double CompressionRatio = 0.0; ///< 8 bits per pixel against BitsPerPixel
};

struct BlockAnalysis {
    Samples Block{};
    Reals Shifted{};
    Reals Coefficients{};
    Indices Quantised{}; ///< after quantising and keeping the first Keep
    Reals Dequantised{};
    Indices ZigZag{}; ///< Quantised in zig-zag order
    int DcDifference = 0;
    SymbolList Symbols;
    BitTotals Bits;
    Samples Reconstruction{};
    ErrorMeasures Error;
};

/// Runs every step; `out` is overwritten whole. No heap allocation.
void AnalyseBlock(const Samples& block, const ChainSettings& settings, BlockAnalysis& out);
BlockAnalysis AnalyseBlock(const Samples& block, const ChainSettings& settings);

} // namespace quadrel::jpeg
