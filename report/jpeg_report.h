#pragma once
// The textbook JPEG chain for one block, and exercises with their answer keys,
// as report trees: quadrel-cli writes them and the JPEG worksheet copies them.

#include "engine/block.h"
#include "jpeg/jpeg_block.h"
#include "jpeg/jpeg_huffman.h"
#include "report/report.h"

#include <array>
#include <cstdint>
#include <string>

namespace quadrel::report {

using Grid64 = std::array<double, kBlockCells>;

/// The engine's [column][row] block as row-major values, the order of a grid node.
Grid64 RowMajor(const Block& block);
/// An empty top-level object.
Node Document();
/// A grid node that shows every value exactly.
Node WholeGrid(std::string key, std::string title, const Grid64& values, Axes axes);

struct JpegSettings {
    jpeg::QuantTable Table = jpeg::kLuminanceTable;
    int Quality = 50;      ///< 0 when the table came from a file
    std::string TableFile; ///< shown when Quality is 0
    int PreviousDc = 0;
    int Keep = jpeg::kBlockCells;
    /// Chrominance: the chrominance Huffman codes, and its table when Quality > 0.
    jpeg::HuffmanClass Component = jpeg::HuffmanClass::Luminance;
};

/// The whole chain for one block.
Node JpegReport(const jpeg::Samples& block, const JpegSettings& settings);
/// `count` exercises of a seed, each a block with the whole chain as its answer key.
Node ExerciseReport(std::uint64_t seed, int count, int quality);

/// A quantised DC lies in this range for 8-bit samples and any table.
inline constexpr int kLowestDc = -1024;
inline constexpr int kHighestDc = 1016;

} // namespace quadrel::report
