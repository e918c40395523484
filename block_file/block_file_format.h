#pragma once
// The block file: both blocks as comma-separated whole numbers, and the reader
// that takes the space block back. No toolkit here, so the fuzzer links it alone.
//
// Written form (FormatBlockFile): 17 lines, each ended by CR LF. Lines 1-8 hold
// rows 0-7 of the space block, line 9 is the marker line, lines 10-17 rows 0-7
// of the frequency block. A row is its eight cells, left to right, joined by
// single commas. A cell is written truncated toward zero as plain decimal digits
// with a leading '-' when negative: never "-0", never an exponent, never a
// decimal point. Large values are written with all their digits (1e20 is
// "100000000000000000000"), so reading the text back gives exactly the same
// whole number; beyond 1e300 (kMaxTextMagnitude) the digits of +-1e300 are
// written, the value the reader saturates at. A cell holding no finite number
// is written as 0.
//
// Read form (ParseBlockValues): a stream of values in bytes.
//  - A UTF-8 byte-order mark (EF BB BF) at the very start is skipped.
//  - Lines end with CR LF, LF or a lone CR; all three may be mixed.
//  - A value ends at a comma or at a line end; both separate values alike, so 64
//    values on one line, one to a line or eight to a line read the same.
//  - Blanks (spaces and tabs) before and after a value are ignored.
//  - A line holding nothing but blanks is skipped and counts as no value.
//  - An empty field (",,", a comma at the start or the end of a line, or a
//    comma at the end of the file) is an error: it might mean 0 or a lost value.
//  - A value may be wrapped in double quotes, with blanks around it inside or
//    outside: "12" and " 12 " read as 12. A quoted field runs to its closing
//    quote on the same line; nothing but blanks may follow that quote.
//  - A value is a decimal number: an optional '+' or '-' (or U+2212, the
//    minus sign of typeset text, in UTF-8), digits with an optional
//    fraction ("12", "-3.75", ".5", "5."), and an optional exponent ("1.5e2").
//    Fractions are kept; nothing is rounded or clamped. "-0" reads as 0.
//  - Rejected, with the line and number of the value: anything else ("abc",
//    "0x10", "1 2", "1,5" in quotes, control bytes such as NUL) and the
//    non-finite spellings "inf", "infinity" and "nan" in any case.
//  - A value whose magnitude exceeds kMaxTextMagnitude (1e300), even beyond the
//    double range, reads as +-1e300, the same ceiling a typed cell has: every
//    later transform stays finite and the program's own files always read back.
//    A value too small for a double (1e-400) reads as 0.
//  - Reading stops after the 64th value and the separator that ends it; nothing
//    after it is looked at, so a file written by FormatBlockFile never reaches
//    its marker line. Fewer than 64 values, even none, is no error.

#include "engine/dct_engine.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

inline constexpr std::string_view kBlockFileMarker = "# Pixel brightness above, DCT Values below";

/// How many values the reader takes: one space block.
inline constexpr std::size_t kBlockFileValues = 64;

/// The whole file text: 17 lines, each ended by CR LF.
std::string FormatBlockFile(const Block& space, const Block& freq);

struct BlockFileError {
    int Line = 0;        ///< 1-based line on which the value starts
    int Value = 0;       ///< 1-based number of the value in the stream, 1..64
    std::string Field;   ///< the value as found: printable, shortened, quotes kept
    std::string Problem; ///< e.g. "is not a number"
};

struct BlockFileValues {
    std::vector<double> Values;          ///< at most 64, in file order; empty on error
    std::optional<BlockFileError> Error; ///< set when the stream does not parse
    std::size_t Consumed = 0;            ///< bytes looked at, separators included
};

/// Parses the whole stream up to the 64th value. Either every value parses and
/// Values holds them, or Error says which one does not and Values is empty.
BlockFileValues ParseBlockValues(std::string_view text);

/// "Line 3, value 17: \"abc\" is not a number."
std::string DescribeError(const BlockFileError& error);

/// Value k goes to cell (k mod 8, k div 8); cells after the last value keep theirs.
void StoreBlockValues(const std::vector<double>& values, Block& space);

} // namespace quadrel
