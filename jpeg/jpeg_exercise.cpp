#include "jpeg/jpeg_exercise.h"

#include <algorithm>
#include <array>

namespace quadrel::jpeg {

std::uint64_t SplitMix64::Next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30U)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27U)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31U);
}

int SplitMix64::Between(int lo, int hi) {
    // The modulo's bias is below 2^-50 for these small ranges.
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1U;
    return lo + static_cast<int>(Next() % span);
}

Samples PhotoLikeBlock(SplitMix64& random) {
    // Everything in eighths of a grey level, so no rounding depends on the machine.
    const bool edge = random.Between(0, 1) == 1;
    const int rise = edge ? random.Between(20, 80) : 0;
    const bool fall = edge && random.Between(0, 1) == 1;
    // Both sides of an edge stay well inside 0..255.
    const int low = random.Between(30, 225 - rise);
    const int base = (fall ? low + rise : low) * 8;
    const int step = (fall ? -rise : rise) * 8;
    const int gx = random.Between(-16, 16); // up to 4 levels per pixel
    const int gy = random.Between(-16, 16);
    int ex = 0;
    int ey = 0;
    while (edge && ex == 0 && ey == 0) {
        ex = random.Between(-3, 3);
        ey = random.Between(-3, 3);
    }
    const int offset = random.Between(-6, 6);
    const int noise = random.Between(0, 6) * 8;
    Samples block{};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            int v = base + gx * (2 * x - 7) + gy * (2 * y - 7);
            if (edge && ex * (2 * x - 7) + ey * (2 * y - 7) > 2 * offset) {
                v += step;
            }
            v += random.Between(-noise, noise);
            block[IndexAt(y, x)] = static_cast<std::uint8_t>((std::clamp(v, 0, 255 * 8) + 4) / 8);
        }
    }
    return block;
}

namespace {

/// Each exercise has its own stream, so exercise 3 is the same whether 3 or 30 are made.
SplitMix64 ExerciseStream(std::uint64_t seed, int index) {
    SplitMix64 streams(seed);
    std::uint64_t streamSeed = 0;
    for (int i = 0; i <= index; ++i) {
        streamSeed = streams.Next();
    }
    return SplitMix64(streamSeed);
}

constexpr std::array<std::string_view, 4> kDifficultyNames = {"any", "easy", "medium", "hard"};

} // namespace

Samples ExerciseBlock(std::uint64_t seed, int index) {
    SplitMix64 random = ExerciseStream(seed, index);
    return PhotoLikeBlock(random);
}

std::optional<Difficulty> DifficultyFromName(std::string_view name) {
    for (std::size_t i = 1; i < kDifficultyNames.size(); ++i) {
        if (name == kDifficultyNames.at(i)) {
            return static_cast<Difficulty>(i);
        }
    }
    return std::nullopt;
}

std::string_view DifficultyName(Difficulty difficulty) {
    return kDifficultyNames.at(static_cast<std::size_t>(difficulty));
}

bool HasDifficulty(int nonZeroIndices, Difficulty difficulty) {
    switch (difficulty) {
    case Difficulty::Easy:
        return nonZeroIndices >= 1 && nonZeroIndices <= 4;
    case Difficulty::Medium:
        return nonZeroIndices >= 5 && nonZeroIndices <= 12;
    case Difficulty::Hard:
        return nonZeroIndices >= 13;
    case Difficulty::Any:
        break;
    }
    return true;
}

int NonZeroIndices(const Samples& block, const QuantTable& table) {
    const Indices quantised = Quantise(ForwardDct(LevelShift(block)), table);
    return static_cast<int>(
        std::count_if(quantised.begin(), quantised.end(), [](int index) { return index != 0; }));
}

std::optional<Samples> ExerciseBlock(std::uint64_t seed, int index, const QuantTable& table,
                                     Difficulty difficulty) {
    SplitMix64 random = ExerciseStream(seed, index);
    for (int tries = 0; tries < kExerciseTries; ++tries) {
        const Samples candidate = PhotoLikeBlock(random);
        if (difficulty == Difficulty::Any ||
            HasDifficulty(NonZeroIndices(candidate, table), difficulty)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> PhotoLikePicture(int width, int height, std::uint64_t seed) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    SplitMix64 random(seed);
    constexpr int kCell = 40;
    const int across = width / kCell + 2;
    const int down = height / kCell + 2;
    std::vector<int> control(static_cast<std::size_t>(across * down));
    for (int& c : control) {
        c = random.Between(20, 235);
    }
    struct Patch {
        int Left, Top, Right, Bottom, Shift;
    };
    std::vector<Patch> patches(static_cast<std::size_t>(4 + width / 100 * (height / 100)));
    for (Patch& p : patches) {
        p.Left = random.Between(0, width - 1);
        p.Top = random.Between(0, height - 1);
        p.Right = p.Left + random.Between(8, std::max(8, width / 4));
        p.Bottom = p.Top + random.Between(8, std::max(8, height / 4));
        p.Shift = random.Between(-60, 60);
    }
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<int> levels(count);
    for (int y = 0; y < height; ++y) {
        const int cy = y / kCell;
        const int dy = y % kCell;
        for (int x = 0; x < width; ++x) {
            const int cx = x / kCell;
            const int dx = x % kCell;
            auto at = [&](int i, int j) {
                return control[static_cast<std::size_t>(j) * static_cast<std::size_t>(across) +
                               static_cast<std::size_t>(i)];
            };
            levels[static_cast<std::size_t>(y) * width + x] =
                (at(cx, cy) * (kCell - dx) * (kCell - dy) + at(cx + 1, cy) * dx * (kCell - dy) +
                 at(cx, cy + 1) * (kCell - dx) * dy + at(cx + 1, cy + 1) * dx * dy) /
                (kCell * kCell);
        }
    }
    for (const Patch& p : patches) {
        for (int y = p.Top; y < std::min(p.Bottom, height); ++y) {
            for (int x = p.Left; x < std::min(p.Right, width); ++x) {
                levels[static_cast<std::size_t>(y) * width + x] += p.Shift;
            }
        }
    }
    std::vector<std::uint8_t> pixels(count);
    for (std::size_t i = 0; i < count; ++i) {
        pixels[i] =
            static_cast<std::uint8_t>(std::clamp(levels[i] + random.Between(-3, 3), 0, 255));
    }
    return pixels;
}

} // namespace quadrel::jpeg
