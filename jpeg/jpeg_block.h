#pragma once
// The textbook JPEG chain for one 8x8 grey block: level shift, orthonormal DCT,
// quantisation with the standard luminance table at a quality, zig-zag, DC
// difference, (run, size, amplitude) symbols with their default Huffman codes,
// bit totals and the reconstruction with its error. No toolkit, no heap: one
// call to AnalyseBlock runs the whole chain into a fixed-size result, cheap
// enough to rerun on every pointer move.
//
// Layout: every 8x8 array is row-major, index 8 * row + column. For pixels the
// row is y (top row first) and the column x; for coefficients the row is the
// vertical frequency v and the column the horizontal frequency u.
//
// Relation to Quadrel's own transform (engine/dct_engine.h), which has no level
// shift and the weights c(0) = 1/2 instead of C(0) = 1/sqrt(2):
//   F_Quadrel(u, v) = C(u) C(v) F_JPEG(u, v)        for (u, v) != (0, 0)
//   F_Quadrel(0, 0) = (F_JPEG(0, 0) + 1024) / 2
// up to the effect of Quadrel's rounded pi (3.1415927); QuadrelFromJpeg applies it.

#include "base/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quadrel::jpeg {

inline constexpr int kBlockCells = 64;

using Samples = std::array<std::uint8_t, kBlockCells>; ///< grey levels, row-major
using Reals = std::array<double, kBlockCells>;         ///< row-major
using Indices = std::array<int, kBlockCells>;          ///< row-major (or zig-zag where said)
using QuantTable = std::array<int, kBlockCells>;       ///< row-major, entries 1..255

/// Row-major index of (row, column) in a block. (Quadrel's own CellIndex takes
/// the column first, as its [column][row] blocks do.)
constexpr std::size_t IndexAt(int row, int column) {
    return static_cast<std::size_t>(row) * 8U + static_cast<std::size_t>(column);
}

/// Zig-zag position -> row-major index.
inline constexpr std::array<int, kBlockCells> kZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

/// The luminance table of the JPEG standard's Annex K (quality 50).
inline constexpr QuantTable kLuminanceTable = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

inline constexpr int kMinQuality = 1;
inline constexpr int kMaxQuality = 100;

/// The standard table scaled the usual way: scale = 5000 / q below 50, else
/// 200 - 2q; entry = (T * scale + 50) / 100 in integers, limited to 1..255.
/// A quality outside 1..100 is taken as the nearest end.
QuantTable LuminanceTable(int quality);

/// The chrominance table of the same annex (quality 50), for Cb and Cr.
inline constexpr QuantTable kChrominanceTable = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
/// The chrominance table scaled as LuminanceTable scales its own.
QuantTable ChrominanceTable(int quality);

/// A table from 64 values (e.g. read from a block file): each must be a whole
/// number from 1 to 255. Otherwise the failure names the 1-based value.
Result<QuantTable> TableFromValues(std::span<const double> values);

/// x - 128 for every sample.
Reals LevelShift(const Samples& samples);

/// Orthonormal 2-D DCT-II: F(u,v) = 1/4 C(u) C(v) sum f(x,y) cos((2x+1)u pi/16)
/// cos((2y+1)v pi/16), C(0) = 1/sqrt(2), C(k) = 1. The four coefficients with
/// u, v in {0, 4} are exact multiples of 1/8 for whole-number input and are
/// computed exactly, so that quantisation ties are decided as on paper.
Reals ForwardDct(const Reals& block);
/// The inverse; the part carried by the four coefficients above is exact too.
Reals InverseDct(const Reals& coefficients);

/// How a quotient exactly halfway between two whole numbers is rounded. Textbooks
/// round away from zero; libjpeg-turbo's float quantiser rounds to even, which
/// changes the bit count measurably at high qualities (small steps make such
/// ties common among the coefficients that are multiples of 1/8).
enum class TieRule : std::uint8_t { AwayFromZero, ToEven };

/// Nearest whole number, halves away from zero.
int RoundHalfAway(double value);
Indices Quantise(const Reals& coefficients, const QuantTable& table,
                 TieRule ties = TieRule::AwayFromZero);
Reals Dequantise(const Indices& quantised, const QuantTable& table);
/// Zeroes every index from zig-zag position k on (k = 0..64; outside, the nearest end).
void KeepFirst(Indices& quantised, int k);
/// The 64 row-major values read in zig-zag order.
Indices ToZigZag(const Indices& rowMajor);

/// Inverse DCT + 128, rounded to nearest (halves away from zero), limited to 0..255.
Samples Reconstruct(const Reals& dequantised);

struct ErrorMeasures {
    Indices Error{}; ///< block - reconstruction, per pixel
    double Mse = 0.0;
    double Psnr = 0.0;     ///< in dB; +infinity when the error is zero
    bool Lossless = false; ///< every pixel came back unchanged (PSNR infinite)
};
ErrorMeasures MeasureError(const Samples& original, const Samples& reconstruction);

/// Quadrel's coefficients predicted from the textbook ones (see the relation above).
Reals QuadrelFromJpeg(const Reals& jpegCoefficients);

} // namespace quadrel::jpeg
