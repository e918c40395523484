#pragma once
// A student's answers to an exercise, as typed, checked against the chain: a
// blank or unreadable answer is wrong, and so is any number that differs.

#include "jpeg/jpeg_chain.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quadrel::jpeg {

/// The answers a student gives, in the order of the chain.
enum class AnswerField : std::uint8_t { Quantised, ZigZag, DcDifference, Symbols, BitTotal };
inline constexpr int kAnswerFields = 5;

struct ExerciseAnswers {
    /// The quantised indices, row-major, one whole number a cell.
    std::array<std::string, kBlockCells> Quantised{};
    /// The indices in zig-zag order up to the last non-zero one, then EOB
    /// (unless that is the 64th), with commas or spaces between.
    std::string ZigZag;
    std::string DcDifference;
    /// One symbol a line (or ';' between): "run/size amplitude", the DC as
    /// "0/size amplitude", ZRL as "15/0" or "ZRL", EOB as "0/0" or "EOB".
    std::string Symbols;
    std::string BitTotal;
};

struct ExerciseMarks {
    std::array<bool, kBlockCells> QuantisedCells{};
    std::array<bool, kAnswerFields> Right{};
    /// The first symbol (0-based) that is wrong or missing, or the first one
    /// too many; -1 when the list is right.
    int FirstWrongSymbol = -1;

    bool IsRight(AnswerField field) const { return Right.at(static_cast<std::size_t>(field)); }
    int RightCells() const;
    /// The fields all right, of kAnswerFields.
    int Score() const;
};

ExerciseMarks CheckAnswers(const ExerciseAnswers& answers, const BlockAnalysis& chain);

/// A whole number with an optional sign, spaces around; nothing otherwise.
std::optional<int> WholeNumber(std::string_view text);

} // namespace quadrel::jpeg
