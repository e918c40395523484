#pragma once
// Text <-> number rules shared by the numeric grid, the block file and the
// pattern captions. Every function is total: any double, any text.

#include <string>
#include <string_view>

namespace quadrel {

/// Largest magnitude a text can put into a block. Text may spell numbers of any
/// length; saturating here keeps every later transform finite (a transform grows
/// a magnitude by at most a factor of 16, far below the double range above this).
inline constexpr double kMaxTextMagnitude = 1e300;

/// U+2212 MINUS SIGN in UTF-8, as typeset text and the help document write negatives.
inline constexpr std::string_view kUnicodeMinus = "\xE2\x88\x92";

/// The cell-change rule's cleaning: keeps only the digits 0-9 and '-', in order;
/// a U+2212 minus sign becomes '-'. Text is UTF-8.
std::string CleanCellText(std::string_view text);

/// Numeric value of a cleaned cell text. An optional leading '-' then digits
/// ("-12", "007") is that whole number; a text spelling no whole number
/// ("", "-", "1-2", "--3") counts as 0, like a cell that was never written.
double CellTextValue(std::string_view cleaned);

/// True when the cleaned text spells a whole number.
bool SpellsWholeNumber(std::string_view cleaned);

/// Plain decimal digits of a whole-valued double: no exponent, no "-0".
/// A magnitude beyond kMaxTextMagnitude is written as +-kMaxTextMagnitude, so
/// every text written reads back (CellTextValue) as exactly the number it shows.
/// Non-finite input (never produced by the engine) is written as "0".
std::string WholeNumberText(double whole);

/// Truncation toward zero, as the frequency grid and the block file show values.
std::string TruncatedText(double value);

/// Rounding down, as the pixel grid shows values.
std::string FlooredText(double value);

/// Grey level 0..255 of a pixel amplitude: rounded down, then clamped.
int GreyLevel(double value);

/// One sign position (blank or '-') followed by the digits: " 3", "-2".
std::string SignedText(int n);

} // namespace quadrel
