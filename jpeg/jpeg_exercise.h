#pragma once
// Reproducible photo-like test material: the same seed gives the same blocks
// and pictures on every machine, because only whole-number arithmetic on the
// raw output of a fixed generator (SplitMix64) is used.

#include "jpeg/jpeg_block.h"

#include <cstdint>
#include <optional>
#include <string_view>
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

/// How much there is to code: counted in the block's non-zero quantised indices.
enum class Difficulty : std::uint8_t {
    Any,
    Easy,   ///< 1 to 4
    Medium, ///< 5 to 12
    Hard,   ///< 13 or more
};
/// "easy", "medium" or "hard".
std::optional<Difficulty> DifficultyFromName(std::string_view name);
std::string_view DifficultyName(Difficulty difficulty);
bool HasDifficulty(int nonZeroIndices, Difficulty difficulty);
/// Non-zero indices of the block quantised with `table`.
int NonZeroIndices(const Samples& block, const QuantTable& table);

/// Candidates drawn for one exercise before a difficulty is given up as out of reach.
inline constexpr int kExerciseTries = 4096;

/// Exercise `index` of a seed at a difficulty: the first candidate of the
/// exercise's own stream whose indices under `table` fit it (for Any the same
/// block as ExerciseBlock(seed, index)); nothing when none of the first
/// kExerciseTries does, as at quality 100 for easy.
std::optional<Samples> ExerciseBlock(std::uint64_t seed, int index, const QuantTable& table,
                                     Difficulty difficulty);

/// Width * Height grey levels, row-major: smooth shading between random control
/// points every 40 pixels, a few sharp-edged rectangles, a little noise.
std::vector<std::uint8_t> PhotoLikePicture(int width, int height, std::uint64_t seed);

} // namespace quadrel::jpeg
