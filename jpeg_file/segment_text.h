#pragma once
// What the parts of the JPEG file reader share: big-endian numbers, text for
// the user made from raw bytes, and a bounded list of warnings.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel::jpeg_file::detail {

inline constexpr std::size_t kMaxSummaryText = 80;

inline std::string Num(std::size_t n) {
    return std::to_string(n);
}

inline std::string Bytes(std::size_t n) {
    return Num(n) + (n == 1 ? " byte" : " bytes");
}

inline int Be16(std::span<const std::uint8_t> b, std::size_t at) {
    return (b[at] << 8) | b[at + 1];
}

inline std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | std::uint32_t{b[at + 3]};
}

inline bool StartsWith(std::span<const std::uint8_t> b, std::string_view prefix) {
    return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

/// Printable ASCII kept, line breaks and tabs as spaces, anything else as '.'.
inline std::string Printable(std::span<const std::uint8_t> b) {
    while (!b.empty() && b.back() == 0) {
        b = b.first(b.size() - 1);
    }
    std::string text;
    text.reserve(b.size());
    for (const std::uint8_t c : b) {
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        } else if (c == '\n' || c == '\r' || c == '\t') {
            text.push_back(' ');
        } else {
            text.push_back('.');
        }
    }
    return text;
}

inline std::string Shortened(std::string text) {
    if (text.size() > kMaxSummaryText) {
        text.resize(kMaxSummaryText - 3);
        text += "...";
    }
    return text;
}

/// `text` in double quotes. (Built by appending: gcc 12 at -O3 reports a
/// false overlap for "\"" + std::string.)
inline std::string Quoted(const std::string& text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

/// The file's warnings: a broken file can repeat the same fault thousands of
/// times; the user needs the first few, and the list must stay small.
class WarningList {
public:
    static constexpr std::size_t kMax = 100;

    explicit WarningList(std::vector<std::string>& list) : list_(list) {}

    void Add(std::string text) {
        if (list_.size() < kMax) {
            list_.push_back(std::move(text));
        } else if (list_.size() == kMax) {
            list_.emplace_back("Further warnings are left out.");
        }
    }

private:
    std::vector<std::string>& list_;
};

} // namespace quadrel::jpeg_file::detail
