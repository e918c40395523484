#include "block_file/block_file_format.h"

#include "engine/cell_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quadrel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Enough of a bad value to recognise it; binary garbage can run for megabytes.
constexpr std::size_t kShownFieldBytes = 24;

void AppendRow(std::string& out, const Block& block, std::size_t row) {
    for (std::size_t column = 0; column < 8; ++column) {
        if (column > 0) {
            out += ',';
        }
        out += TruncatedText(block[column][row]);
    }
    out += kLineEnd;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view lowerCase) {
    return a.size() == lowerCase.size() &&
           std::equal(a.begin(), a.end(), lowerCase.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? static_cast<char>(x - 'A' + 'a') : x) == y;
           });
}

// The shape of a decimal number, found before any conversion so that the
// converter never sees a spelling it would take but the file format does not
// ("inf", "nan", hexadecimal).
struct NumberShape {
    bool valid = false;
    std::string_view mantissa; // sign removed
    long exponent = 0;         // saturated at +-kExponentLimit
};

constexpr long kExponentLimit = 100000;

NumberShape ShapeOf(std::string_view s) {
    NumberShape shape;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        s.remove_prefix(1);
    }
    std::size_t i = 0;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return shape;
    }
    shape.mantissa = s.substr(0, i);
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            negative = s[i] == '-';
            ++i;
        }
        if (i == s.size() || !IsDigit(s[i])) {
            return shape;
        }
        long exponent = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            exponent = std::min(exponent * 10 + (s[i] - '0'), kExponentLimit);
        }
        shape.exponent = negative ? -exponent : exponent;
    }
    shape.valid = i == s.size();
    return shape;
}

// Decimal exponent of the leading non-zero digit: 0 for "1.5", 2 for "123",
// -3 for "0.001". Only asked when the converter reports the value out of range,
// so the mantissa has a non-zero digit and the sign of the answer tells
// overflow from underflow.
long LeadingDigitExponent(const NumberShape& shape) {
    const std::string_view m = shape.mantissa;
    const std::size_t point = std::min(m.find('.'), m.size());
    const std::size_t first = m.find_first_not_of("0.");
    if (first == std::string_view::npos) {
        return -kExponentLimit;
    }
    const long position =
        first < point ? static_cast<long>(point - first) - 1 : -static_cast<long>(first - point);
    return position + shape.exponent;
}

std::string Printable(std::string_view field) {
    std::string shown;
    const std::string_view head = field.substr(0, kShownFieldBytes);
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\') {
            std::array<char, 5> hex{};
            std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned>(byte));
            shown += hex.data();
        } else {
            shown += c;
        }
    }
    if (field.size() > head.size()) {
        shown += "...";
    }
    return shown;
}

// Converts one field's text, quotes already removed; returns the problem on failure.
std::optional<std::string> ConvertValue(std::string_view text, double& value) {
    if (text.empty()) {
        return "is empty";
    }
    // A leading U+2212 minus sign, as a word processor may write it, is a '-'.
    std::string respelt;
    if (text.substr(0, kUnicodeMinus.size()) == kUnicodeMinus) {
        // Appended, not prefixed ("-" + rest): GCC 12 at -O3 sees an overlap
        // in the prefixing insert that cannot happen and warns (-Wrestrict).
        respelt += '-';
        respelt += text.substr(kUnicodeMinus.size());
        text = respelt;
    }
    std::string_view magnitude = text;
    if (magnitude.front() == '+' || magnitude.front() == '-') {
        magnitude.remove_prefix(1);
    }
    if (EqualsIgnoringCase(magnitude, "inf") || EqualsIgnoringCase(magnitude, "infinity") ||
        EqualsIgnoringCase(magnitude, "nan")) {
        return "is not a finite number";
    }
    const NumberShape shape = ShapeOf(text);
    if (!shape.valid) {
        return "is not a number";
    }
    // from_chars takes '-' but not '+', and never depends on the locale.
    const std::string_view convertible = text.front() == '+' ? text.substr(1) : text;
    double parsed = 0.0;
    const auto [end, status] =
        std::from_chars(convertible.data(), convertible.data() + convertible.size(), parsed);
    if (status == std::errc::result_out_of_range) {
        // Beyond the double range: saturates below, like any huge value; below
        // the smallest double its nearest value is zero.
        const bool huge = LeadingDigitExponent(shape) > 0;
        parsed = huge ? (text.front() == '-' ? -kMaxTextMagnitude : kMaxTextMagnitude) : 0.0;
    } else if (status != std::errc() || end != convertible.data() + convertible.size()) {
        return "is not a number";
    }
    // The same ceiling as a typed cell: the program's own files, which may hold
    // larger values after a few transforms, still read back.
    value = std::clamp(parsed, -kMaxTextMagnitude, kMaxTextMagnitude) + 0.0; // "-0" is 0
    return std::nullopt;
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    BlockFileValues Run() {
        BlockFileValues result;
        if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            pos_ = kByteOrderMark.size();
        }
        bool lineStart = true;
        while (result.Values.size() < kBlockFileValues) {
            SkipBlanks();
            fieldLine_ = line_;
            if (AtEnd()) {
                if (!lineStart) { // the file ends right after a comma
                    return Fail(result, "", "is empty");
                }
                break;
            }
            if (lineStart && IsLineEnd(Peek())) {
                ConsumeLineEnd(); // a blank line holds no value
                continue;
            }
            double value = 0.0;
            if (const auto problem = ReadField(value)) {
                return Fail(result, field_, *problem);
            }
            result.Values.push_back(value);
            if (AtEnd()) {
                break;
            }
            if (Peek() == ',') {
                ++pos_;
                lineStart = false;
            } else {
                ConsumeLineEnd();
                lineStart = true;
            }
        }
        result.Consumed = pos_;
        return result;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    void SkipBlanks() {
        while (!AtEnd() && IsBlank(Peek())) {
            ++pos_;
        }
    }

    void ConsumeLineEnd() {
        const char c = Peek();
        ++pos_;
        if (c == '\r' && !AtEnd() && Peek() == '\n') {
            ++pos_;
        }
        ++line_;
    }

    // Reads one field up to, not including, its separator. Sets field_ to the
    // raw text for messages.
    std::optional<std::string> ReadField(double& value) {
        const std::size_t start = pos_;
        if (Peek() == '"') {
            const std::size_t close = text_.find_first_of("\"\r\n", pos_ + 1);
            if (close == std::string_view::npos || text_[close] != '"') {
                pos_ = close == std::string_view::npos ? text_.size() : close;
                field_ = text_.substr(start, pos_ - start);
                return "has no closing quote";
            }
            pos_ = close + 1;
            field_ = text_.substr(start, pos_ - start);
            SkipBlanks();
            if (!AtEnd() && Peek() != ',' && !IsLineEnd(Peek())) {
                const std::size_t end = std::min(text_.find_first_of(",\r\n", pos_), text_.size());
                field_ = text_.substr(start, end - start);
                return "has text after its closing quote";
            }
            return ConvertValue(Trim(field_.substr(1, field_.size() - 2)), value);
        }
        pos_ = std::min(text_.find_first_of(",\r\n", pos_), text_.size());
        field_ = Trim(text_.substr(start, pos_ - start));
        return ConvertValue(field_, value);
    }

    BlockFileValues& Fail(BlockFileValues& result, std::string_view field, std::string problem) {
        const auto number = static_cast<int>(result.Values.size()) + 1;
        result.Values.clear();
        result.Error = BlockFileError{fieldLine_, number, Printable(field), std::move(problem)};
        result.Consumed = pos_;
        return result;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int fieldLine_ = 1;
    std::string_view field_;
};

} // namespace

std::string FormatBlockFile(const Block& space, const Block& freq) {
    std::string out;
    out.reserve(std::size_t{17} * 40);
    for (std::size_t y = 0; y < 8; ++y) {
        AppendRow(out, space, y);
    }
    out += kBlockFileMarker;
    out += kLineEnd;
    for (std::size_t v = 0; v < 8; ++v) {
        AppendRow(out, freq, v);
    }
    return out;
}

BlockFileValues ParseBlockValues(std::string_view text) {
    return Reader(text).Run();
}

std::string DescribeError(const BlockFileError& error) {
    std::string text =
        "Line " + std::to_string(error.Line) + ", value " + std::to_string(error.Value);
    if (error.Field.empty()) {
        return text + " " + error.Problem + ".";
    }
    return text + ": \"" + error.Field + "\" " + error.Problem + ".";
}

void StoreBlockValues(const std::vector<double>& values, Block& space) {
    const std::size_t count = std::min(values.size(), kBlockFileValues);
    for (std::size_t k = 0; k < count; ++k) {
        space[k % 8][k / 8] = values[k];
    }
}

} // namespace quadrel
