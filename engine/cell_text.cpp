#include "engine/cell_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quadrel {

std::string CleanCellText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= '0' && c <= '9') || c == '-') {
            out.push_back(c);
        } else if (text.substr(i, kUnicodeMinus.size()) == kUnicodeMinus) {
            out.push_back('-'); // typeset text writes negatives with the true minus sign
            i += kUnicodeMinus.size() - 1;
        }
    }
    return out;
}

bool SpellsWholeNumber(std::string_view cleaned) {
    if (!cleaned.empty() && cleaned.front() == '-') {
        cleaned.remove_prefix(1);
    }
    return !cleaned.empty() &&
           std::all_of(cleaned.begin(), cleaned.end(), [](char c) { return c >= '0' && c <= '9'; });
}

double CellTextValue(std::string_view cleaned) {
    if (!SpellsWholeNumber(cleaned)) {
        return 0.0;
    }
    // strtod needs a terminated string; it rounds a long digit string correctly
    // and returns HUGE_VAL past the double range, which the clamp below catches.
    const std::string owned(cleaned);
    const double value = std::strtod(owned.c_str(), nullptr);
    return std::clamp(value, -kMaxTextMagnitude, kMaxTextMagnitude) + 0.0;
}

std::string WholeNumberText(double whole) {
    if (!std::isfinite(whole)) {
        return "0";
    }
    // Beyond the ceiling a text would read back as the ceiling itself, so that
    // is what is shown: a cell never shows digits of a number it cannot hold.
    // A negative zero prints as "0", not "-0".
    whole = std::clamp(whole, -kMaxTextMagnitude, kMaxTextMagnitude) + 0.0;
    // The largest double has 309 digits; fixed notation with no fraction digits
    // writes the exact integer value.
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), whole,
                                      std::chars_format::fixed, 0);
    return std::string(buffer.data(), result.ptr);
}

std::string TruncatedText(double value) {
    return WholeNumberText(std::trunc(value));
}

std::string FlooredText(double value) {
    return WholeNumberText(std::floor(value));
}

int GreyLevel(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    // Clamp before converting so that no value, however large, overflows the int.
    const double g = std::clamp(std::floor(value), 0.0, 255.0);
    return static_cast<int>(g);
}

std::string SignedText(int n) {
    std::string digits = std::to_string(n < 0 ? -static_cast<long long>(n) : n);
    return (n < 0 ? "-" : " ") + digits;
}

} // namespace quadrel
