#include "jpeg/exercise_check.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace quadrel::jpeg {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// The text cut at any of `separators`, empty pieces dropped.
std::vector<std::string_view> Pieces(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        const std::string_view piece = Trimmed(text.substr(start, end - start));
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        start = end + 1;
    }
    return pieces;
}

bool SameWord(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

/// The zig-zag sequence as it is written: the indices up to the last non-zero
/// one, then EOB unless that index is the 64th.
std::vector<std::string> ZigZagWords(const Indices& zigzag) {
    int last = kBlockCells - 1;
    while (last > 0 && zigzag.at(static_cast<std::size_t>(last)) == 0) {
        --last;
    }
    std::vector<std::string> words;
    for (int i = 0; i <= last; ++i) {
        words.push_back(std::to_string(zigzag.at(static_cast<std::size_t>(i))));
    }
    if (last < kBlockCells - 1) {
        words.emplace_back("EOB");
    }
    return words;
}

bool ZigZagRight(std::string_view answer, const Indices& zigzag) {
    const std::vector<std::string_view> given = Pieces(answer, ", \t\r\n");
    const std::vector<std::string> wanted = ZigZagWords(zigzag);
    if (given.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < given.size(); ++i) {
        const std::optional<int> number = WholeNumber(given[i]);
        const bool right = wanted[i] == "EOB" ? SameWord(given[i], "EOB")
                                              : number && std::to_string(*number) == wanted[i];
        if (!right) {
            return false;
        }
    }
    return true;
}

/// One written symbol against the chain's: "run/size amplitude", or a name for ZRL and EOB.
bool SymbolRight(std::string_view written, const Symbol& symbol) {
    const std::vector<std::string_view> words = Pieces(written, " \t");
    if (words.size() == 1 && SameWord(words[0], "EOB")) {
        return symbol.Kind == SymbolKind::Eob;
    }
    if (words.size() == 1 && SameWord(words[0], "ZRL")) {
        return symbol.Kind == SymbolKind::Zrl;
    }
    const bool valued = symbol.Kind == SymbolKind::Dc || symbol.Kind == SymbolKind::Ac;
    if (words.size() != (valued ? 2U : 1U)) {
        return false;
    }
    const std::size_t slash = words[0].find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    const std::optional<int> run = WholeNumber(words[0].substr(0, slash));
    const std::optional<int> size = WholeNumber(words[0].substr(slash + 1));
    if (run != symbol.Run || size != symbol.Size) {
        return false;
    }
    return !valued || WholeNumber(words[1]) == symbol.Amplitude;
}

int FirstWrongSymbol(std::string_view answer, const SymbolList& symbols) {
    const std::vector<std::string_view> written = Pieces(answer, ";\n");
    const auto count = static_cast<std::size_t>(symbols.Count);
    for (std::size_t i = 0; i < std::min(written.size(), count); ++i) {
        if (!SymbolRight(written[i], symbols.Items.at(i))) {
            return static_cast<int>(i);
        }
    }
    return written.size() == count ? -1 : static_cast<int>(std::min(written.size(), count));
}

} // namespace

std::optional<int> WholeNumber(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int ExerciseMarks::RightCells() const {
    return static_cast<int>(std::count(QuantisedCells.begin(), QuantisedCells.end(), true));
}

int ExerciseMarks::Score() const {
    return static_cast<int>(std::count(Right.begin(), Right.end(), true));
}

ExerciseMarks CheckAnswers(const ExerciseAnswers& answers, const BlockAnalysis& chain) {
    ExerciseMarks marks;
    for (std::size_t k = 0; k < marks.QuantisedCells.size(); ++k) {
        marks.QuantisedCells.at(k) = WholeNumber(answers.Quantised.at(k)) == chain.Quantised.at(k);
    }
    const auto set = [&marks](AnswerField field, bool right) {
        marks.Right.at(static_cast<std::size_t>(field)) = right;
    };
    set(AnswerField::Quantised, marks.RightCells() == kBlockCells);
    set(AnswerField::ZigZag, ZigZagRight(answers.ZigZag, chain.ZigZag));
    set(AnswerField::DcDifference, WholeNumber(answers.DcDifference) == chain.DcDifference);
    marks.FirstWrongSymbol = FirstWrongSymbol(answers.Symbols, chain.Symbols);
    set(AnswerField::Symbols, marks.FirstWrongSymbol < 0);
    set(AnswerField::BitTotal, WholeNumber(answers.BitTotal) == chain.Bits.Total);
    return marks;
}

} // namespace quadrel::jpeg
