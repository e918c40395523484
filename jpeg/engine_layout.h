#pragma once
// The one place where the engine's blocks, indexed [column][row], meet the JPEG
// core's row-major arrays (index 8 * row + column). Every conversion between the
// two goes through here, so a transposed block cannot creep in anywhere else.

#include "engine/block.h"

#include <array>
#include <cstddef>

namespace quadrel::jpeg {

/// The row-major index of the engine's cell [column][row].
constexpr std::size_t RowMajorIndex(std::size_t column, std::size_t row) {
    return row * kBlockSide + column;
}

/// The block laid out row by row, each value converted by `convert`.
template <typename T, typename Convert>
std::array<T, kBlockCells> ToRowMajor(const Block& block, Convert convert) {
    std::array<T, kBlockCells> values{};
    for (std::size_t column = 0; column < kBlockSide; ++column) {
        for (std::size_t row = 0; row < kBlockSide; ++row) {
            values[RowMajorIndex(column, row)] = convert(block[column][row]);
        }
    }
    return values;
}

/// The block laid out row by row, values as they are.
std::array<double, kBlockCells> ToRowMajor(const Block& block);

/// A row-major array as an engine block.
template <typename T> Block FromRowMajor(const std::array<T, kBlockCells>& values) {
    Block block;
    for (std::size_t column = 0; column < kBlockSide; ++column) {
        for (std::size_t row = 0; row < kBlockSide; ++row) {
            block[column][row] = static_cast<double>(values[RowMajorIndex(column, row)]);
        }
    }
    return block;
}

} // namespace quadrel::jpeg
