#pragma once
// Each block command's result as a report tree: Quadrel's own block commands
// replayed from a freshly opened window, and the limits of the JPEG commands.

#include "report/jpeg_report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadrel::cli {

using report::Node;

/// The window's "Load Block" of 64 pixel values: the frequency block it shows.
Node DctReport(const std::vector<double>& block);
/// "Build Picture" from 64 frequency values: the pixel block.
Node IdctReport(const std::vector<double>& frequencies);
/// "Load Block", the step set with "+"/"-", then "Quantise".
Node QuantReport(const std::vector<double>& block, int step);
/// "View Single DCT Pattern" for horizontal frequency u and vertical v.
Node PatternReport(int u, int v);

inline constexpr int kMostExercises = 1000;
/// Seeds every JSON reader holds exactly: below 2^53.
inline constexpr std::uint64_t kLargestSeed = (std::uint64_t{1} << 53U) - 1U;

} // namespace quadrel::cli
