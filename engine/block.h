#pragma once
// One 8x8 block of numbers: the picture (space) block, the coefficient
// (frequency) block, or the cosine table. Indexed [column][row], that is
// [x][y] or [u][v], so that the transforms read in their natural order.
//
// The main window shows a block as 64 cells numbered row by row: cell
// k = i + 8j holds column i, row j.

#include <array>
#include <cstddef>

namespace quadrel {

inline constexpr int kBlockSide = 8;
inline constexpr int kBlockCells = kBlockSide * kBlockSide;

/// The cell number of column i, row j.
constexpr int CellIndex(int column, int row) {
    return column + kBlockSide * row;
}
constexpr int CellColumn(int k) {
    return k % kBlockSide;
}
constexpr int CellRow(int k) {
    return k / kBlockSide;
}
/// True for 0..7, the indexes a block has.
constexpr bool InBlock(int index) {
    return index >= 0 && index < kBlockSide;
}

struct Block {
    using Column = std::array<double, kBlockSide>;

    std::array<Column, kBlockSide> Columns{};

    constexpr Column& operator[](std::size_t column) { return Columns[column]; }
    constexpr const Column& operator[](std::size_t column) const { return Columns[column]; }
    /// Cell k as the main window numbers it.
    constexpr double& Cell(int k) { return Columns[Index(CellColumn(k))][Index(CellRow(k))]; }
    constexpr double Cell(int k) const { return Columns[Index(CellColumn(k))][Index(CellRow(k))]; }

    constexpr auto begin() { return Columns.begin(); }
    constexpr auto end() { return Columns.end(); }
    constexpr auto begin() const { return Columns.begin(); }
    constexpr auto end() const { return Columns.end(); }

    /// Cell by cell, as doubles compare: 0.0 equals -0.0, a NaN equals nothing.
    bool operator==(const Block&) const = default;

private:
    static constexpr std::size_t Index(int i) { return static_cast<std::size_t>(i); }
};

} // namespace quadrel
