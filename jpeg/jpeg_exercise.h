#pragma once
// Reproducible photo-like test material: the same seed gives the same blocks
// and pictures on every machine, because only whole-number arithmetic on the
// raw output of a fixed generator (SplitMix64) is used.

#include "jpeg/jpeg_block.h"

#include <cstdint>
#include <vector>

namespace quadrel::jpeg {

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    /// A whole number from lo to hi, both included (lo <= hi).
    int Between(int lo, int hi);

private:
    std::uint64_t state_;
};

/// A smooth gradient, in half the blocks an edge, and a little noise; 0..255.
Samples PhotoLikeBlock(SplitMix64& random);

/// Exercise `index` (0-based) of a seed: independent of how many are asked for.
Samples ExerciseBlock(std::uint64_t seed, int index);

/// Width * Height grey levels, row-major: smooth shading between random control
/// points every 40 pixels, a few sharp-edged rectangles, a little noise.
std::vector<std::uint8_t> PhotoLikePicture(int width, int height, std::uint64_t seed);

} // namespace quadrel::jpeg
