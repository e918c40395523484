// Build tool: turns the read-me document (RTF, which WordPad opens on Windows)
// into the HTML page of the help window, so that both come from one source.
//
//   rtf_to_html readme.rtf readme.html
//
// It knows the RTF the read-me is written in: paragraphs with heading styles
// (\s1, \s2) or a large title, centring and indents, bold, italic, the serif and
// fixed-width faces, superscripts and subscripts, bullets, tables, line
// breaks, \u and \'hh characters. Headings get anchors, and a paragraph
// "N.<tab>Title" that names a heading "N. Title" links to it, so the contents
// list can be followed. Other control words only format and are ignored.

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool super = false;
    bool sub = false;
    int font = 0; // 1 serif (formulas), 2 fixed width
    bool operator==(const CharFormat&) const = default;
};

struct Group {
    CharFormat format;
    bool skip = false;    // a destination that shows nothing (font table, footer, ...)
    bool capture = false; // the document title
};

struct Paragraph {
    int style = 0; // 1, 2: heading levels
    bool centred = false;
    int indentTwips = 0;
    int firstSize = 0; // half-points of the first character
    bool bulleted = false;
    std::string html;
    std::string plain;
};

struct Block {
    bool table = false;
    Paragraph paragraph;
    std::vector<std::vector<std::string>> rows; // table cells' HTML
};

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Windows-1252 differs from Latin-1 in 0x80..0x9F.
std::uint32_t FromCp1252(unsigned byte) {
    static constexpr std::uint16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

std::string OpenTags(const CharFormat& f) {
    std::string tags;
    tags += f.bold ? "<b>" : "";
    tags += f.italic ? "<i>" : "";
    tags += f.font == 2 ? "<code>" : f.font == 1 ? "<span style=\"font-family:serif\">" : "";
    tags += f.super ? "<sup>" : f.sub ? "<sub>" : "";
    return tags;
}

std::string CloseTags(const CharFormat& f) {
    std::string tags;
    tags += f.super ? "</sup>" : f.sub ? "</sub>" : "";
    tags += f.font == 2 ? "</code>" : f.font == 1 ? "</span>" : "";
    tags += f.italic ? "</i>" : "";
    tags += f.bold ? "</b>" : "";
    return tags;
}

class Converter {
public:
    explicit Converter(std::string rtf) : rtf_(std::move(rtf)) {}

    // False, with a reason on stderr, for input that is not a whole RTF document.
    bool Run() {
        if (rtf_.rfind("{\\rtf", 0) != 0) {
            std::cerr << "rtf_to_html: not an RTF document\n";
            return false;
        }
        std::vector<Group> stack;
        Group group;
        for (pos_ = 0; pos_ < rtf_.size();) {
            const char c = rtf_[pos_];
            if (c == '{') {
                stack.push_back(group);
                ++pos_;
            } else if (c == '}') {
                if (stack.empty()) {
                    std::cerr << "rtf_to_html: unbalanced '}'\n";
                    return false;
                }
                group = stack.back();
                stack.pop_back();
                ++pos_;
            } else if (c == '\\') {
                ControlWord(group);
            } else {
                if (c != '\r' && c != '\n') {
                    Text(group, static_cast<unsigned char>(c));
                }
                ++pos_;
            }
        }
        if (!stack.empty()) {
            std::cerr << "rtf_to_html: unclosed group\n";
            return false;
        }
        return true;
    }

    std::string Html() const {
        std::map<std::string, std::string> anchors; // "N" -> heading text after "N. "
        for (const Block& block : blocks_) {
            const Paragraph& p = block.paragraph;
            std::string number;
            if (!block.table && p.style > 0 && SectionNumber(p.plain, " ", number)) {
                anchors[number] = p.plain.substr(number.size() + 2);
            }
        }
        std::ostringstream out;
        out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" << title_
            << "</title></head><body>\n";
        bool inList = false;
        for (const Block& block : blocks_) {
            const Paragraph& p = block.paragraph;
            const bool listItem = !block.table && p.bulleted;
            if (inList && !listItem) {
                out << "</ul>\n";
            }
            if (!inList && listItem) {
                out << "<ul>\n";
            }
            inList = listItem;
            if (block.table) {
                out << "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
                       "align=\"center\">\n";
                for (const auto& row : block.rows) {
                    out << "<tr>";
                    for (const std::string& cell : row) {
                        out << "<td align=\"center\">" << cell << "</td>";
                    }
                    out << "</tr>\n";
                }
                out << "</table>\n";
                continue;
            }
            if (listItem) {
                out << "<li>" << p.html << "</li>\n";
                continue;
            }
            std::string number;
            if (p.style > 0 || p.firstSize >= 40) {
                const std::string tag = p.firstSize >= 40 ? "h1" : p.style == 1 ? "h2" : "h3";
                out << '<' << tag << '>';
                if (p.style > 0 && SectionNumber(p.plain, " ", number)) {
                    out << "<a name=\"section-" << number << "\">" << p.html << "</a>";
                } else {
                    out << p.html;
                }
                out << "</" << tag << ">\n";
                continue;
            }
            out << "<p" << (p.centred ? " align=\"center\"" : "");
            if (p.indentTwips > 0) {
                out << " style=\"margin-left:" << p.indentTwips / 15 << "px\"";
            }
            out << '>';
            const auto anchor =
                SectionNumber(p.plain, "\t", number) ? anchors.find(number) : anchors.end();
            if (anchor != anchors.end() && p.plain.substr(number.size() + 2) == anchor->second) {
                out << "<a href=\"#section-" << number << "\">" << p.html << "</a>";
            } else {
                out << p.html;
            }
            out << "</p>\n";
        }
        if (inList) {
            out << "</ul>\n";
        }
        out << "</body></html>\n";
        return out.str();
    }

private:
    // "12." followed by `after` (a blank, a tab): true, with "12" in `number`.
    static bool SectionNumber(const std::string& text, const std::string& after,
                              std::string& number) {
        std::size_t i = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i == 0 || text.compare(i, 1, ".") != 0 ||
            text.compare(i + 1, after.size(), after) != 0) {
            return false;
        }
        number = text.substr(0, i);
        return true;
    }

    void ControlWord(Group& group) {
        ++pos_; // the backslash
        if (pos_ >= rtf_.size()) {
            return;
        }
        const char c = rtf_[pos_];
        if (c == '\\' || c == '{' || c == '}') {
            Text(group, static_cast<unsigned char>(c));
            ++pos_;
            return;
        }
        if (c == '\'') {
            const unsigned byte = std::stoul(rtf_.substr(pos_ + 1, 2), nullptr, 16);
            pos_ += 3;
            Text(group, FromCp1252(byte));
            return;
        }
        if (c == '*') {
            group.skip = true;
            ++pos_;
            return;
        }
        if (c == '~') {
            Text(group, 0xA0);
            ++pos_;
            return;
        }
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++pos_; // another control symbol: formatting only
            return;
        }
        std::string word;
        while (pos_ < rtf_.size() && std::isalpha(static_cast<unsigned char>(rtf_[pos_]))) {
            word += rtf_[pos_++];
        }
        std::string digits;
        while (pos_ < rtf_.size() && (std::isdigit(static_cast<unsigned char>(rtf_[pos_])) ||
                                      (digits.empty() && rtf_[pos_] == '-'))) {
            digits += rtf_[pos_++];
        }
        if (pos_ < rtf_.size() && rtf_[pos_] == ' ') {
            ++pos_; // the delimiter belongs to the word
        }
        const bool hasValue = !digits.empty() && digits != "-";
        const int value = hasValue ? std::stoi(digits) : 1;
        Word(group, word, value, hasValue);
    }

    void Word(Group& group, const std::string& word, int value, bool hasValue) {
        static const char* const kHidden[] = {"fonttbl", "colortbl", "stylesheet", "info",
                                              "footer",  "header",   "pict",       "fldinst"};
        for (const char* hidden : kHidden) {
            if (word == hidden) {
                group.skip = true;
                return;
            }
        }
        CharFormat& f = group.format;
        if (word == "title") {
            group.capture = true;
        } else if (word == "par") {
            EndParagraph(group);
        } else if (word == "pard") {
            paragraph_.style = 0;
            paragraph_.centred = false;
            paragraph_.indentTwips = 0;
            inTable_ = false;
        } else if (word == "plain") {
            f = CharFormat{};
            size_ = 24;
        } else if (word == "s") {
            paragraph_.style = value;
        } else if (word == "qc") {
            paragraph_.centred = true;
        } else if (word == "li") {
            paragraph_.indentTwips = value;
        } else if (word == "intbl") {
            inTable_ = true;
        } else if (word == "fs") {
            size_ = value;
        } else if (word == "b") {
            f.bold = !hasValue || value != 0;
        } else if (word == "i") {
            f.italic = !hasValue || value != 0;
        } else if (word == "super") {
            f.super = true;
            f.sub = false;
        } else if (word == "sub") {
            f.sub = true;
            f.super = false;
        } else if (word == "nosupersub") {
            f.super = f.sub = false;
        } else if (word == "f") {
            f.font = value;
        } else if (word == "uc") {
            unicodeSkip_ = value;
        } else if (word == "u") {
            Text(group, static_cast<std::uint32_t>(value < 0 ? value + 65536 : value));
            skipPending_ = unicodeSkip_;
        } else if (word == "tab") {
            // After a bullet the tab only aligns the text; elsewhere it parts words.
            if (!(paragraph_.bulleted && paragraph_.plain.empty())) {
                Text(group, '\t');
            }
        } else if (word == "line") {
            Markup(group, "<br>", "\n");
        } else if (word == "bullet") {
            if (paragraph_.plain.empty() && !inTable_) {
                paragraph_.bulleted = true;
            } else {
                Text(group, 0x2022);
            }
        } else if (word == "endash") {
            Text(group, 0x2013);
        } else if (word == "emdash") {
            Text(group, 0x2014);
        } else if (word == "lquote" || word == "rquote") {
            Text(group, word == "lquote" ? 0x2018 : 0x2019);
        } else if (word == "ldblquote" || word == "rdblquote") {
            Text(group, word == "ldblquote" ? 0x201C : 0x201D);
        } else if (word == "trowd") {
            if (blocks_.empty() || !blocks_.back().table || !tableOpen_) {
                blocks_.push_back(Block{true, {}, {}});
                tableOpen_ = true;
            }
            blocks_.back().rows.emplace_back();
        } else if (word == "cell") {
            CloseRun();
            if (tableOpen_ && !blocks_.back().rows.empty()) {
                blocks_.back().rows.back().push_back(paragraph_.html);
            }
            ResetText();
        }
    }

    void Text(const Group& group, std::uint32_t c) {
        if (skipPending_ > 0) {
            --skipPending_;
            return;
        }
        if (group.capture) {
            AppendUtf8(title_, c);
            return;
        }
        if (group.skip) {
            return;
        }
        if (paragraph_.plain.empty() && paragraph_.html.empty()) {
            paragraph_.firstSize = size_;
        }
        switch (c) {
        case '&':
            Markup(group, "&amp;", "&");
            return;
        case '<':
            Markup(group, "&lt;", "<");
            return;
        case '>':
            Markup(group, "&gt;", ">");
            return;
        case '\t':
            Markup(group, " ", "\t");
            return;
        default:
            break;
        }
        std::string utf8;
        AppendUtf8(utf8, c);
        Markup(group, utf8, utf8);
    }

    void Markup(const Group& group, const std::string& html, const std::string& plain) {
        if (group.skip || group.capture) {
            return;
        }
        if (!runOpen_ || !(open_ == group.format)) {
            CloseRun();
            open_ = group.format;
            paragraph_.html += OpenTags(open_);
            runOpen_ = true;
        }
        paragraph_.html += html;
        paragraph_.plain += plain;
    }

    void CloseRun() {
        if (runOpen_) {
            paragraph_.html += CloseTags(open_);
            runOpen_ = false;
        }
    }

    void ResetText() {
        paragraph_.html.clear();
        paragraph_.plain.clear();
        paragraph_.bulleted = false;
        paragraph_.firstSize = 0;
    }

    void EndParagraph(const Group& group) {
        if (group.skip) {
            return;
        }
        if (inTable_) {
            Markup(group, "<br>", "\n"); // a cell of several paragraphs
            return;
        }
        CloseRun();
        tableOpen_ = false;
        if (!paragraph_.html.empty()) {
            blocks_.push_back(Block{false, paragraph_, {}});
        }
        ResetText();
    }

    std::string rtf_;
    std::size_t pos_ = 0;
    std::string title_;
    std::vector<Block> blocks_;
    Paragraph paragraph_;
    int size_ = 24;
    bool inTable_ = false;
    bool tableOpen_ = false;
    CharFormat open_;
    bool runOpen_ = false;
    int unicodeSkip_ = 1;
    int skipPending_ = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: rtf_to_html input.rtf output.html\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "rtf_to_html: cannot read " << argv[1] << '\n';
        return 1;
    }
    Converter converter{std::string(std::istreambuf_iterator<char>(in), {})};
    if (!converter.Run()) {
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << converter.Html();
    out.close();
    if (!out) {
        std::cerr << "rtf_to_html: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
