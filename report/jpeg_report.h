#pragma once
// The textbook JPEG chain for one block, and exercises with their answer keys,
// as report trees: quadrel-cli writes them and the JPEG worksheet copies them.

#include "base/result.h"
#include "engine/block.h"
#include "jpeg/jpeg_block.h"
#include "jpeg/jpeg_exercise.h"
#include "jpeg/jpeg_huffman.h"
#include "report/report.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
/// What an exercise sheet holds of each exercise.
enum class SheetPart : std::uint8_t {
    Both,      ///< the block and its settings, then the whole chain as its answer key
    Questions, ///< the block, its settings and the tasks: no result of any step
    Answers,   ///< the exercise's number and the whole chain, without block or settings
};
std::optional<SheetPart> SheetPartFromName(std::string_view name);

struct ExerciseSheet {
    std::uint64_t Seed = 0;
    int Count = 1;
    int Quality = 50;
    jpeg::Difficulty Level = jpeg::Difficulty::Any;
    SheetPart Part = SheetPart::Both;
};

/// The sheet's exercises of a seed; fails when the difficulty is out of reach at that quality.
Result<Node> ExerciseReport(const ExerciseSheet& sheet);

/// A quantised DC lies in this range for 8-bit samples and any table.
inline constexpr int kLowestDc = -1024;
inline constexpr int kHighestDc = 1016;

} // namespace quadrel::report
