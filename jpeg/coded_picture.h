#pragma once
// A picture as a baseline JPEG file holds it: the frame's size, its
// quantisation tables and, for each component, the quantised coefficients of
// every block it codes. The colour coder fills it, the file writer writes it,
// and the file reader gives it back from any JPEG.

#include "jpeg/jpeg_block.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quadrel::jpeg {

/// One block's quantised coefficients, row-major (row = vertical frequency).
using CoefficientBlock = std::array<std::int16_t, kBlockCells>;

struct CodedComponent {
    int Id = 1;           ///< component identifier in the frame: 1 Y, 2 Cb, 3 Cr
    int H = 1;            ///< horizontal sampling factor 1..4
    int V = 1;            ///< vertical sampling factor 1..4
    int QuantTable = 0;   ///< index into CodedPicture::QuantTables
    int HuffmanTable = 0; ///< 0 the luminance DC/AC pair, 1 the chrominance pair
    /// Blocks stored for this component: whole MCUs, so the blocks an MCU holds
    /// beyond the picture's edge are counted too (in a single-component scan
    /// these are just ceil(width / 8) by ceil(height / 8)).
    int BlocksAcross = 0;
    int BlocksDown = 0;
    std::vector<CoefficientBlock> Blocks; ///< BlocksAcross * BlocksDown, raster order
};

struct CodedPicture {
    int Width = 0;
    int Height = 0;
    std::vector<QuantTable> QuantTables; ///< row-major entries 1..255
    std::vector<CodedComponent> Components;
};

} // namespace quadrel::jpeg
