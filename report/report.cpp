#include "report/report.h"

#include "engine/cell_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quadrel::report {

namespace {

bool IsScalar(const Node& n) {
    switch (n.NodeKind) {
    case Node::Kind::Integer:
    case Node::Kind::Number:
    case Node::Kind::Text:
    case Node::Kind::Boolean:
        return true;
    default:
        return false;
    }
}

std::string FixedText(double value, int decimals) {
    if (!std::isfinite(value)) {
        return ExactNumber(value);
    }
    std::array<char, 512> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, value);
    std::string text(buffer.data());
    // "-0.000" says nothing "0.000" does not.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

/// A number as people read it, by the node's rule.
std::string ShownNumber(double value, Shown show, int decimals) {
    switch (show) {
    case Shown::Truncated:
        return TruncatedText(value);
    case Shown::Floored:
        return FlooredText(value);
    case Shown::Fixed:
        return FixedText(value, decimals);
    case Shown::Exact:
        break;
    }
    return ExactNumber(value);
}

std::string PeopleScalar(const Node& n) {
    if (!n.Display.empty()) {
        return n.Display;
    }
    switch (n.NodeKind) {
    case Node::Kind::Integer:
        return std::to_string(n.Integer);
    case Node::Kind::Number:
        return ShownNumber(n.Number, n.Show, n.Decimals);
    case Node::Kind::Boolean:
        return n.Boolean ? "yes" : "no";
    default:
        return n.Text;
    }
}

std::string ProgramScalar(const Node& n) {
    switch (n.NodeKind) {
    case Node::Kind::Integer:
        return std::to_string(n.Integer);
    case Node::Kind::Number:
        return ExactNumber(n.Number);
    case Node::Kind::Boolean:
        return n.Boolean ? "true" : "false";
    default:
        return n.Text;
    }
}

std::string GridCell(const Node& grid, int index, bool forPeople) {
    const double v = grid.Grid[static_cast<std::size_t>(index)];
    return forPeople ? ShownNumber(v, grid.Show, grid.Decimals) : ExactNumber(v);
}

std::string Corner(const Node& grid) {
    return grid.GridAxes == Axes::Pixels ? "y \\ x" : "v \\ u";
}

std::string Pad(const std::string& s, std::size_t width, bool right) {
    if (s.size() >= width) {
        return s;
    }
    const std::string fill(width - s.size(), ' ');
    return right ? fill + s : s + fill;
}

// ---------------------------------------------------------------- text

class TextWriter {
public:
    std::string Write(const Node& document) {
        Children(document, 0);
        return out_;
    }

private:
    void Children(const Node& object, int indent, bool gapFirst = true) {
        const auto& c = object.Children;
        for (std::size_t i = 0; i < c.size();) {
            if (IsScalar(c[i])) {
                std::size_t end = i;
                std::size_t width = 0;
                while (end < c.size() && IsScalar(c[end])) {
                    width = std::max(width, c[end].Title.size() + 1);
                    ++end;
                }
                if (gapFirst || i > 0) {
                    Gap();
                }
                for (; i < end; ++i) {
                    Line(indent, Pad(c[i].Title + ":", width, false) + " " + PeopleScalar(c[i]));
                }
                continue;
            }
            Section(c[i], indent);
            ++i;
        }
    }

    void Section(const Node& n, int indent) {
        Gap();
        switch (n.NodeKind) {
        case Node::Kind::Grid:
            Grid(n, indent);
            break;
        case Node::Kind::IntegerList: {
            std::string values;
            for (std::int64_t v : n.List) {
                values += (values.empty() ? "" : " ") + std::to_string(v);
            }
            Line(indent, n.Title + ": " + (n.Display.empty() ? values : n.Display));
            break;
        }
        case Node::Kind::Records:
            Records(n, indent);
            break;
        case Node::Kind::Object:
            Line(indent, n.Title);
            Children(n, indent + 2, false);
            break;
        case Node::Kind::Array:
            for (const Node& element : n.Children) {
                Gap();
                Line(indent, element.Title);
                Line(indent, std::string(element.Title.size(), '='));
                Children(element, indent, false);
            }
            break;
        default:
            break;
        }
    }

    void Grid(const Node& n, int indent) {
        std::size_t width = 3;
        for (int i = 0; i < 64; ++i) {
            width = std::max(width, GridCell(n, i, true).size());
        }
        Line(indent, n.Title);
        std::string header = Pad(Corner(n), 5, false);
        for (int c = 0; c < 8; ++c) {
            header += "  " + Pad(std::to_string(c), width, true);
        }
        Line(indent, header);
        for (int r = 0; r < 8; ++r) {
            std::string row = Pad(std::to_string(r), 5, true);
            for (int c = 0; c < 8; ++c) {
                row += "  " + Pad(GridCell(n, 8 * r + c, true), width, true);
            }
            Line(indent, row);
        }
    }

    void Records(const Node& n, int indent) {
        Line(indent, n.Title);
        if (n.Children.empty()) {
            return;
        }
        const std::size_t columns = n.Children.front().Children.size();
        std::vector<std::size_t> widths(columns);
        std::vector<bool> numeric(columns, true);
        for (std::size_t k = 0; k < columns; ++k) {
            widths[k] = n.Children.front().Children[k].Title.size();
            for (const Node& row : n.Children) {
                widths[k] = std::max(widths[k], PeopleScalar(row.Children[k]).size());
                numeric[k] = numeric[k] && row.Children[k].NodeKind != Node::Kind::Text;
            }
        }
        std::string header;
        for (std::size_t k = 0; k < columns; ++k) {
            header +=
                (k ? "  " : "") + Pad(n.Children.front().Children[k].Title, widths[k], numeric[k]);
        }
        Line(indent, header);
        for (const Node& row : n.Children) {
            std::string line;
            for (std::size_t k = 0; k < columns; ++k) {
                line += (k ? "  " : "") + Pad(PeopleScalar(row.Children[k]), widths[k], numeric[k]);
            }
            Line(indent, line);
        }
    }

    void Line(int indent, const std::string& text) {
        std::string line = std::string(static_cast<std::size_t>(indent), ' ') + text;
        line.erase(line.find_last_not_of(' ') + 1);
        out_ += line + "\n";
    }

    void Gap() {
        if (!out_.empty() && !out_.ends_with("\n\n")) {
            out_ += "\n";
        }
    }

    std::string out_;
};

// ---------------------------------------------------------------- CSV

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        return s;
    }
    std::string q = "\"";
    for (char c : s) {
        q += (c == '"') ? "\"\"" : std::string(1, c);
    }
    return q + "\"";
}

class CsvWriter {
public:
    std::string Write(const Node& document) {
        // A lone block is written as eight rows of eight values and nothing
        // else, so that it reads back as a block file.
        if (document.Children.size() == 1 && document.Children[0].NodeKind == Node::Kind::Grid) {
            Rows(document.Children[0]);
            return out_;
        }
        Children(document, "");
        return out_;
    }

private:
    void Children(const Node& object, const std::string& prefix) {
        for (const Node& n : object.Children) {
            const std::string name = prefix + n.Key;
            switch (n.NodeKind) {
            case Node::Kind::Grid:
                Gap();
                out_ += name + "\n";
                Rows(n);
                break;
            case Node::Kind::IntegerList: {
                std::string line = name;
                for (std::int64_t v : n.List) {
                    line += ',';
                    line += std::to_string(v);
                }
                out_ += line + "\n";
                break;
            }
            case Node::Kind::Records:
                Gap();
                out_ += name + "\n";
                if (!n.Children.empty()) {
                    std::string header;
                    for (const Node& column : n.Children.front().Children) {
                        header += (header.empty() ? "" : ",") + column.Key;
                    }
                    out_ += header + "\n";
                }
                for (const Node& row : n.Children) {
                    std::string line;
                    for (std::size_t k = 0; k < row.Children.size(); ++k) {
                        // Appended piece by piece: GCC 12 at -O3 warns falsely
                        // (-Wrestrict) on a prefixing "," + field.
                        if (k) {
                            line += ',';
                        }
                        line += CsvField(ProgramScalar(row.Children[k]));
                    }
                    out_ += line + "\n";
                }
                break;
            case Node::Kind::Object:
                Children(n, name + ".");
                break;
            case Node::Kind::Array:
                for (std::size_t i = 0; i < n.Children.size(); ++i) {
                    Gap();
                    out_ += name + "," + std::to_string(i + 1) + "\n";
                    Children(n.Children[i], "");
                }
                break;
            default:
                out_ += name + "," + CsvField(ProgramScalar(n)) + "\n";
                break;
            }
        }
    }

    void Rows(const Node& grid) {
        for (int r = 0; r < 8; ++r) {
            std::string line;
            for (int c = 0; c < 8; ++c) {
                if (c) {
                    line += ',';
                }
                line += GridCell(grid, 8 * r + c, false);
            }
            out_ += line + "\n";
        }
    }

    void Gap() {
        if (!out_.empty() && !out_.ends_with("\n\n")) {
            out_ += "\n";
        }
    }

    std::string out_;
};

// ---------------------------------------------------------------- Markdown and LaTeX

/// The two document formats differ only in their table syntax and escaping.
class DocumentWriter {
public:
    explicit DocumentWriter(bool latex, bool pages = false) : latex_(latex), pages_(pages) {}

    std::string Write(const Node& document) {
        Children(document);
        return out_;
    }

private:
    void Children(const Node& object) {
        const auto& c = object.Children;
        for (std::size_t i = 0; i < c.size();) {
            if (IsScalar(c[i])) {
                std::vector<std::vector<std::string>> rows;
                for (; i < c.size() && IsScalar(c[i]); ++i) {
                    rows.push_back({Escape(c[i].Title), Value(PeopleScalar(c[i]), c[i])});
                }
                // Markdown tables need a header row; LaTeX ones do without.
                Table(latex_ ? std::vector<std::string>{"", ""}
                             : std::vector<std::string>{"Quantity", "Value"},
                      rows, "", {false, true});
                continue;
            }
            Section(c[i]);
            ++i;
        }
    }

    void Section(const Node& n) {
        switch (n.NodeKind) {
        case Node::Kind::Grid: {
            const bool pixels = n.GridAxes == Axes::Pixels;
            std::vector<std::string> header{
                latex_ ? (pixels ? "$y \\backslash x$" : "$v \\backslash u$") : Escape(Corner(n))};
            for (int col = 0; col < 8; ++col) {
                header.push_back(std::to_string(col));
            }
            std::vector<std::vector<std::string>> rows;
            for (int r = 0; r < 8; ++r) {
                std::vector<std::string> row{std::to_string(r)};
                for (int col = 0; col < 8; ++col) {
                    row.push_back(Math(GridCell(n, 8 * r + col, true)));
                }
                rows.push_back(row);
            }
            Table(header, rows, n.Title, std::vector<bool>(9, true));
            break;
        }
        case Node::Kind::IntegerList: {
            std::string values;
            for (std::int64_t v : n.List) {
                values += (values.empty() ? "" : " ") + std::to_string(v);
            }
            Paragraph(Bold(Escape(n.Title) + ":") + " " +
                      Code(n.Display.empty() ? values : n.Display));
            break;
        }
        case Node::Kind::Records: {
            if (n.Children.empty()) {
                Paragraph(Bold(Escape(n.Title)));
                break;
            }
            std::vector<std::string> header;
            std::vector<bool> right;
            for (const Node& column : n.Children.front().Children) {
                header.push_back(Escape(column.Title));
                right.push_back(column.NodeKind != Node::Kind::Text);
            }
            std::vector<std::vector<std::string>> rows;
            for (const Node& row : n.Children) {
                std::vector<std::string> cells;
                for (const Node& cell : row.Children) {
                    cells.push_back(Value(PeopleScalar(cell), cell));
                }
                rows.push_back(cells);
            }
            // A printed list of symbols may run past its page; a grid never does.
            Table(header, rows, n.Title, right, pages_);
            break;
        }
        case Node::Kind::Object:
            Paragraph(Bold(Escape(n.Title)));
            Children(n);
            break;
        case Node::Kind::Array:
            for (const Node& element : n.Children) {
                if (pages_ && &element != &n.Children.front()) {
                    Paragraph("\\newpage");
                }
                Paragraph(latex_ ? "\\subsection*{" + Escape(element.Title) + "}"
                                 : "## " + Escape(element.Title));
                Children(element);
            }
            break;
        default:
            break;
        }
    }

    void Table(const std::vector<std::string>& header,
               const std::vector<std::vector<std::string>>& rows, const std::string& title,
               const std::vector<bool>& right, bool breakable = false) {
        std::string t;
        if (!title.empty()) {
            Paragraph(Bold(Escape(title)));
        }
        const bool hasHeader = std::any_of(header.begin(), header.end(),
                                           [](const std::string& h) { return !h.empty(); });
        if (latex_) {
            std::string spec;
            for (bool r : right) {
                spec += r ? "r" : "l";
            }
            const std::string environment = breakable ? "longtable" : "tabular";
            t += "\\begin{" + environment + "}{" + spec + "}\n";
            if (hasHeader) {
                // A broken table repeats its heading on every page.
                t += Join(header, " & ") + " \\\\\n\\hline\n" + (breakable ? "\\endhead\n" : "");
            }
            for (const auto& row : rows) {
                t += Join(row, " & ") + " \\\\\n";
            }
            t += "\\end{" + environment + "}";
        } else {
            t += "| " + Join(header, " | ") + " |\n|";
            for (bool r : right) {
                t += r ? " ---: |" : " :--- |";
            }
            t += "\n";
            for (const auto& row : rows) {
                t += "| " + Join(row, " | ") + " |\n";
            }
            t.pop_back();
        }
        Paragraph(t);
    }

    static std::string Join(const std::vector<std::string>& parts, const std::string& glue) {
        std::string s;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            s += (i ? glue : "") + parts[i];
        }
        return s;
    }

    void Paragraph(const std::string& text) {
        if (!out_.empty()) {
            out_ += "\n";
        }
        out_ += text + "\n";
    }

    std::string Bold(const std::string& s) const {
        return latex_ ? "\\textbf{" + s + "}" : "**" + s + "**";
    }
    std::string Code(const std::string& s) const {
        return latex_ ? "\\texttt{" + Escape(s) + "}" : "`" + s + "`";
    }
    /// Numbers in LaTeX go into math mode for a true minus sign.
    std::string Math(const std::string& s) const { return latex_ ? "$" + s + "$" : s; }
    std::string Value(const std::string& shown, const Node& n) const {
        const bool number =
            (n.NodeKind == Node::Kind::Integer || n.NodeKind == Node::Kind::Number) &&
            n.Display.empty();
        return number ? Math(shown) : Escape(shown);
    }
    std::string Escape(const std::string& s) const {
        std::string e;
        for (char c : s) {
            if (latex_) {
                switch (c) {
                case '\\':
                    e += "\\textbackslash{}";
                    continue;
                case '&':
                case '%':
                case '$':
                case '#':
                case '_':
                case '{':
                case '}':
                    e += '\\';
                    break;
                case '~':
                    e += "\\textasciitilde{}";
                    continue;
                case '^':
                    e += "\\textasciicircum{}";
                    continue;
                default:
                    break;
                }
            } else if (c == '|' || c == '*' || c == '_' || c == '`' || c == '\\') {
                e += '\\';
            }
            e += c;
        }
        return e;
    }

    bool latex_;
    bool pages_;
    std::string out_;
};

// A4 with narrow margins and ragged lines: the widest grid (-1024.000 eight
// times) and a zig-zag sequence of 64 indices then fit without an overfull line.
constexpr const char* kLatexPreamble = "\\documentclass[a4paper,10pt]{article}\n"
                                       "\\usepackage[margin=2cm]{geometry}\n"
                                       "\\usepackage{longtable}\n"
                                       "\\setlength{\\LTleft}{0pt}\n"
                                       "\\setlength{\\parindent}{0pt}\n"
                                       "\\setlength{\\tabcolsep}{4pt}\n"
                                       "\\begin{document}\n"
                                       "\\raggedright\n";

// ---------------------------------------------------------------- JSON

std::string JsonString(const std::string& s) {
    std::string q = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            q += "\\\"";
            break;
        case '\\':
            q += "\\\\";
            break;
        case '\n':
            q += "\\n";
            break;
        case '\r':
            q += "\\r";
            break;
        case '\t':
            q += "\\t";
            break;
        default:
            if (c < 0x20) {
                std::array<char, 8> buffer{};
                std::snprintf(buffer.data(), buffer.size(), "\\u%04x", c);
                q += buffer.data();
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

std::string JsonNumber(double v) {
    return std::isfinite(v) ? ExactNumber(v) : "null";
}

class JsonWriter {
public:
    std::string Write(const Node& document) {
        Value(document, 0);
        return out_ + "\n";
    }

private:
    void Value(const Node& n, int indent) {
        const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
        const std::string outer(static_cast<std::size_t>(indent), ' ');
        switch (n.NodeKind) {
        case Node::Kind::Integer:
            out_ += std::to_string(n.Integer);
            break;
        case Node::Kind::Number:
            out_ += JsonNumber(n.Number);
            break;
        case Node::Kind::Text:
            out_ += JsonString(n.Text);
            break;
        case Node::Kind::Boolean:
            out_ += n.Boolean ? "true" : "false";
            break;
        case Node::Kind::Grid:
            out_ += "[\n";
            for (int r = 0; r < 8; ++r) {
                out_ += inner + "[";
                for (int c = 0; c < 8; ++c) {
                    out_ +=
                        (c ? ", " : "") +
                        JsonNumber(
                            n.Grid[static_cast<std::size_t>(r) * 8U + static_cast<std::size_t>(c)]);
                }
                out_ += r < 7 ? "],\n" : "]\n";
            }
            out_ += outer + "]";
            break;
        case Node::Kind::IntegerList:
            out_ += "[";
            for (std::size_t i = 0; i < n.List.size(); ++i) {
                out_ += (i ? ", " : "") + std::to_string(n.List[i]);
            }
            out_ += "]";
            break;
        case Node::Kind::Records:
        case Node::Kind::Array:
            out_ += "[";
            for (std::size_t i = 0; i < n.Children.size(); ++i) {
                out_ += (i ? ",\n" : "\n") + inner;
                if (n.NodeKind == Node::Kind::Records) {
                    Flat(n.Children[i]);
                } else {
                    Value(n.Children[i], indent + 2);
                }
            }
            out_ += n.Children.empty() ? "]" : "\n" + outer + "]";
            break;
        case Node::Kind::Object:
            out_ += "{";
            for (std::size_t i = 0; i < n.Children.size(); ++i) {
                out_ += (i ? ",\n" : "\n") + inner + JsonString(n.Children[i].Key) + ": ";
                Value(n.Children[i], indent + 2);
            }
            out_ += n.Children.empty() ? "}" : "\n" + outer + "}";
            break;
        }
    }

    /// A record on one line.
    void Flat(const Node& row) {
        out_ += "{";
        for (std::size_t k = 0; k < row.Children.size(); ++k) {
            out_ += (k ? ", " : "") + JsonString(row.Children[k].Key) + ": ";
            Value(row.Children[k], 0);
        }
        out_ += "}";
    }

    std::string out_;
};

} // namespace

namespace {

// Every node starts from its kind, its key and its title; the makers add the value.
Node Named(Node::Kind kind, std::string key, std::string title) {
    Node n;
    n.NodeKind = kind;
    n.Key = std::move(key);
    n.Title = std::move(title);
    return n;
}

} // namespace

Node Node::MakeInteger(std::string key, std::string title, std::int64_t value) {
    Node n = Named(Kind::Integer, std::move(key), std::move(title));
    n.Integer = value;
    return n;
}

Node Node::MakeNumber(std::string key, std::string title, double value, int decimals) {
    Node n = Named(Kind::Number, std::move(key), std::move(title));
    n.Number = value;
    n.Show = Shown::Fixed;
    n.Decimals = decimals;
    return n;
}

Node Node::MakeText(std::string key, std::string title, std::string value) {
    Node n = Named(Kind::Text, std::move(key), std::move(title));
    n.Text = std::move(value);
    return n;
}

Node Node::MakeBoolean(std::string key, std::string title, bool value) {
    Node n = Named(Kind::Boolean, std::move(key), std::move(title));
    n.Boolean = value;
    return n;
}

Node Node::MakeGrid(std::string key, std::string title, const std::array<double, 64>& values,
                    Axes axes, Shown show) {
    Node n = Named(Kind::Grid, std::move(key), std::move(title));
    n.Grid = values;
    n.GridAxes = axes;
    n.Show = show;
    return n;
}

Node Node::MakeList(std::string key, std::string title, std::vector<std::int64_t> values) {
    Node n = Named(Kind::IntegerList, std::move(key), std::move(title));
    n.List = std::move(values);
    return n;
}

Node Node::MakeObject(std::string key, std::string title) {
    return Named(Kind::Object, std::move(key), std::move(title));
}

Node Node::MakeArray(std::string key, std::string title) {
    return Named(Kind::Array, std::move(key), std::move(title));
}

Node Node::MakeRecords(std::string key, std::string title) {
    return Named(Kind::Records, std::move(key), std::move(title));
}

Node& Node::Add(Node child) {
    Children.push_back(std::move(child));
    return Children.back();
}

std::string ExactNumber(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

std::string Render(const Node& document, Format format) {
    switch (format) {
    case Format::Csv:
        return CsvWriter().Write(document);
    case Format::Markdown:
        return DocumentWriter(false).Write(document);
    case Format::Latex:
        return DocumentWriter(true).Write(document);
    case Format::Json:
        return JsonWriter().Write(document);
    case Format::Text:
        break;
    }
    return TextWriter().Write(document);
}

std::string RenderPrintable(const Node& document, Format format) {
    if (format != Format::Latex) {
        return Render(document, format);
    }
    return kLatexPreamble + DocumentWriter(true, true).Write(document) + "\\end{document}\n";
}

} // namespace quadrel::report
