#pragma once
// A command's result as an ordered tree of named values, and its five written
// forms. Text, Markdown and LaTeX are for people and show each number the way
// its node says (a window's truncated cell text, three decimals, ...); CSV and
// JSON are for programs and give every double so that it reads back to the
// same bits.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel::report {

enum class Format { Text, Csv, Markdown, Latex, Json };

/// How people-facing formats show a number.
enum class Shown { Exact, Truncated, Floored, Fixed };

/// Row and column labels of an 8x8 grid.
enum class Axes { Pixels, Frequencies };

struct Node {
    enum class Kind { Integer, Number, Text, Boolean, Grid, IntegerList, Records, Object, Array };

    Kind NodeKind = Kind::Object;
    std::string Key;   ///< JSON key and CSV name
    std::string Title; ///< heading for people
    std::int64_t Integer = 0;
    double Number = 0.0;
    std::string Text;
    bool Boolean = false;
    Shown Show = Shown::Exact;
    int Decimals = 3; ///< for Shown::Fixed
    Axes GridAxes = Axes::Pixels;
    std::array<double, 64> Grid{}; ///< row-major
    std::vector<std::int64_t> List;
    /// Object: fields. Array: elements (objects). Records: rows (objects of scalars).
    std::vector<Node> Children;
    /// When set, Text, Markdown and LaTeX show this instead of the value (a list
    /// cut at its end-of-block, an infinite PSNR said in words).
    std::string Display;

    static Node MakeInteger(std::string key, std::string title, std::int64_t value);
    static Node MakeNumber(std::string key, std::string title, double value, int decimals);
    static Node MakeText(std::string key, std::string title, std::string value);
    static Node MakeBoolean(std::string key, std::string title, bool value);
    static Node MakeGrid(std::string key, std::string title, const std::array<double, 64>& values,
                         Axes axes, Shown show);
    static Node MakeList(std::string key, std::string title, std::vector<std::int64_t> values);
    static Node MakeObject(std::string key, std::string title);
    static Node MakeArray(std::string key, std::string title);
    static Node MakeRecords(std::string key, std::string title);

    Node& Add(Node child);
};

/// Shortest decimal text that reads back to the same double ("0.1", "-415.375").
std::string ExactNumber(double value);

/// The whole document in the given form, ending with a newline.
std::string Render(const Node& document, Format format);
/// As Render, but LaTeX as a whole document to print, each element of an array
/// (an exercise) on a new page; a LaTeX report stays a fragment to paste.
std::string RenderPrintable(const Node& document, Format format);

} // namespace quadrel::report
