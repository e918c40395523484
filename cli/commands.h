#pragma once
// Each command's result as a report tree: Quadrel's own block commands replayed
// from a freshly opened window, and the textbook JPEG chain.

#include "cli/report.h"
#include "jpeg/jpeg_block.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadrel::cli {

/// The window's "Load Block" of 64 pixel values: the frequency block it shows.
Node DctReport(const std::vector<double>& block);
/// "Build Picture" from 64 frequency values: the pixel block.
Node IdctReport(const std::vector<double>& frequencies);
/// "Load Block", the step set with "+"/"-", then "Quantise".
Node QuantReport(const std::vector<double>& block, int step);
/// "View Single DCT Pattern" for horizontal frequency u and vertical v.
Node PatternReport(int u, int v);

struct JpegSettings {
    jpeg::QuantTable Table = jpeg::kLuminanceTable;
    int Quality = 50;      ///< 0 when the table came from a file
    std::string TableFile; ///< shown when Quality is 0
    int PreviousDc = 0;
    int Keep = jpeg::kBlockCells;
};

/// The whole chain for one block.
Node JpegReport(const jpeg::Samples& block, const JpegSettings& settings);
/// `count` exercises of a seed, each a block with the whole chain as its answer key.
Node ExerciseReport(std::uint64_t seed, int count, int quality);

/// A quantised DC lies in this range for 8-bit samples and any table.
inline constexpr int kLowestDc = -1024;
inline constexpr int kHighestDc = 1016;
inline constexpr int kMostExercises = 1000;
/// Seeds every JSON reader holds exactly: below 2^53.
inline constexpr std::uint64_t kLargestSeed = (std::uint64_t{1} << 53U) - 1U;

} // namespace quadrel::cli
