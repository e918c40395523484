#include "report/jpeg_report.h"

#include "jpeg/jpeg_chain.h"
#include "jpeg/jpeg_exercise.h"

#include <array>

namespace quadrel::report {

namespace {

template <typename Values> Grid64 AsDoubles(const Values& values) {
    Grid64 g{};
    for (std::size_t i = 0; i < g.size(); ++i) {
        g[i] = static_cast<double>(values[i]);
    }
    return g;
}

/// The published way: the indices up to the last non-zero one, then EOB.
std::string ZigZagText(const jpeg::Indices& zigzag) {
    int last = jpeg::kBlockCells - 1;
    while (last > 0 && zigzag[static_cast<std::size_t>(last)] == 0) {
        --last;
    }
    std::string text;
    for (int i = 0; i <= last; ++i) {
        text += (i ? ", " : "") + std::to_string(zigzag[static_cast<std::size_t>(i)]);
    }
    return last < jpeg::kBlockCells - 1 ? text + ", EOB" : text;
}

/// The block's quality or table file, and its component when that is not luminance.
void AddOrigin(Node& out, const JpegSettings& settings) {
    if (settings.Quality > 0) {
        out.Add(Node::MakeInteger("quality", "Quality", settings.Quality));
    } else {
        out.Add(Node::MakeText("table_file", "Table file", settings.TableFile));
    }
    // Only a chrominance block says so: a luminance report stays as it always was.
    if (settings.Component == jpeg::HuffmanClass::Chrominance) {
        Node& component = out.Add(Node::MakeText("component", "Component", "chrominance"));
        component.Display = settings.Quality > 0
                                ? "chrominance (Cb, Cr): its standard table and Huffman codes"
                                : "chrominance (Cb, Cr): its Huffman codes, the file's table";
    }
    out.Add(WholeGrid("table", "Quantisation table", AsDoubles(settings.Table), Axes::Frequencies));
    out.Add(Node::MakeInteger("previous_dc", "Previous DC", settings.PreviousDc));
    out.Add(Node::MakeInteger("keep", "Coefficients kept (zig-zag)", settings.Keep));
}

/// Every step's result: the answer key.
void AddChain(Node& out, const jpeg::BlockAnalysis& a) {
    out.Add(WholeGrid("shifted", "Level-shifted block (minus 128)", a.Shifted, Axes::Pixels));
    out.Add(Node::MakeGrid("coefficients", "DCT coefficients", a.Coefficients, Axes::Frequencies,
                           Shown::Fixed));
    out.Add(WholeGrid("quantised", "Quantised", AsDoubles(a.Quantised), Axes::Frequencies));
    out.Add(WholeGrid("dequantised", "Dequantised", a.Dequantised, Axes::Frequencies));
    Node& zigzag =
        out.Add(Node::MakeList("zigzag", "Zig-zag sequence", {a.ZigZag.begin(), a.ZigZag.end()}));
    zigzag.Display = ZigZagText(a.ZigZag);
    out.Add(Node::MakeInteger("dc_difference", "DC difference", a.DcDifference));

    Node& symbols = out.Add(Node::MakeRecords("symbols", "Symbols"));
    for (const jpeg::Symbol& s : a.Symbols) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeText("kind", "Kind", jpeg::SymbolKindName(s.Kind)));
        row.Add(Node::MakeInteger("run", "Run", s.Run));
        row.Add(Node::MakeInteger("size", "Size", s.Size));
        row.Add(Node::MakeInteger("amplitude", "Amplitude", s.Amplitude));
        row.Add(Node::MakeText("code", "Code", jpeg::BitText(s.Code.Code, s.Code.Length)));
        row.Add(Node::MakeText("amplitude_bits", "Amplitude bits", jpeg::BitText(s.Bits, s.Size)));
        row.Add(Node::MakeInteger("length", "Bits", s.Length()));
        symbols.Add(std::move(row));
    }

    Node& bits = out.Add(Node::MakeObject("bits", "Bits"));
    bits.Add(Node::MakeInteger("dc", "DC", a.Bits.Dc));
    bits.Add(Node::MakeInteger("ac", "AC", a.Bits.Ac));
    bits.Add(Node::MakeInteger("total", "Total", a.Bits.Total));
    bits.Add(Node::MakeNumber("bits_per_pixel", "Bits per pixel", a.Bits.BitsPerPixel, 4));
    bits.Add(Node::MakeNumber("compression_ratio", "Compression ratio (against 8 bpp)",
                              a.Bits.CompressionRatio, 2));

    out.Add(WholeGrid("reconstruction", "Reconstruction (IDCT + 128, rounded, 0..255)",
                      AsDoubles(a.Reconstruction), Axes::Pixels));
    out.Add(WholeGrid("error", "Error (block minus reconstruction)", AsDoubles(a.Error.Error),
                      Axes::Pixels));
    out.Add(Node::MakeNumber("mse", "MSE", a.Error.Mse, 4));
    Node& psnr = out.Add(Node::MakeNumber("psnr", "PSNR (dB)", a.Error.Psnr, 2));
    if (a.Error.Lossless) {
        psnr.Display = "infinite: the reconstruction equals the block";
    }
    out.Add(Node::MakeBoolean("lossless", "Lossless", a.Error.Lossless));
}

jpeg::BlockAnalysis Analyse(const jpeg::Samples& block, const JpegSettings& settings) {
    return jpeg::AnalyseBlock(block, {settings.Table, settings.PreviousDc, settings.Keep,
                                      jpeg::TieRule::AwayFromZero, settings.Component});
}

void AddJpeg(Node& out, const jpeg::Samples& block, const JpegSettings& settings) {
    out.Add(WholeGrid("block", "Block", AsDoubles(block), Axes::Pixels));
    AddOrigin(out, settings);
    AddChain(out, Analyse(block, settings));
}

/// What a student works out, in the order of the chain; short enough for one
/// printed line each.
constexpr std::array<const char*, 7> kTasks = {
    "Subtract 128 from every pixel, then take the 2-D DCT.",
    "Divide each coefficient by its table entry and round: the quantised indices.",
    "Read the indices in zig-zag order up to the last non-zero one, then EOB.",
    "The DC difference: the quantised DC minus the previous DC.",
    "The symbols: size and amplitude of the DC, run/size and amplitude of each AC.",
    "The Huffman code and the amplitude bits of every symbol (standard tables).",
    "The bits in all: DC, AC and the total.",
};

void AddTasks(Node& out) {
    Node& tasks = out.Add(Node::MakeRecords("tasks", "Tasks"));
    for (std::size_t i = 0; i < kTasks.size(); ++i) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeInteger("step", "Step", static_cast<std::int64_t>(i + 1)));
        row.Add(Node::MakeText("task", "Task", kTasks.at(i)));
        tasks.Add(std::move(row));
    }
}

constexpr std::array<std::string_view, 3> kSheetPartNames = {"both", "questions", "answers"};

} // namespace

Grid64 RowMajor(const Block& block) {
    Grid64 g{};
    for (int k = 0; k < kBlockCells; ++k) {
        g[static_cast<std::size_t>(k)] = block.Cell(k);
    }
    return g;
}

Node Document() {
    return Node::MakeObject("", "");
}

Node WholeGrid(std::string key, std::string title, const Grid64& values, Axes axes) {
    return Node::MakeGrid(std::move(key), std::move(title), values, axes, Shown::Exact);
}

Node JpegReport(const jpeg::Samples& block, const JpegSettings& settings) {
    Node doc = Document();
    AddJpeg(doc, block, settings);
    return doc;
}

std::optional<SheetPart> SheetPartFromName(std::string_view name) {
    for (std::size_t i = 0; i < kSheetPartNames.size(); ++i) {
        if (name == kSheetPartNames.at(i)) {
            return static_cast<SheetPart>(i);
        }
    }
    return std::nullopt;
}

Result<Node> ExerciseReport(const ExerciseSheet& sheet) {
    Node doc = Document();
    doc.Add(Node::MakeInteger("seed", "Seed", static_cast<std::int64_t>(sheet.Seed)));
    doc.Add(Node::MakeInteger("quality", "Quality", sheet.Quality));
    doc.Add(Node::MakeInteger("count", "Exercises", sheet.Count));
    // Said only when chosen, so that the default sheet stays as it always was.
    if (sheet.Level != jpeg::Difficulty::Any) {
        doc.Add(
            Node::MakeText("difficulty", "Difficulty", std::string(DifficultyName(sheet.Level))));
    }
    if (sheet.Part != SheetPart::Both) {
        doc.Add(
            Node::MakeText("sheet", "Sheet",
                           std::string(kSheetPartNames.at(static_cast<std::size_t>(sheet.Part)))));
    }
    Node& list = doc.Add(Node::MakeArray("exercises", "Exercises"));
    JpegSettings settings;
    settings.Table = jpeg::LuminanceTable(sheet.Quality);
    settings.Quality = sheet.Quality;
    for (int i = 0; i < sheet.Count; ++i) {
        const std::optional<jpeg::Samples> block =
            jpeg::ExerciseBlock(sheet.Seed, i, settings.Table, sheet.Level);
        if (!block) {
            return Fail("no " + std::string(DifficultyName(sheet.Level)) + " block for exercise " +
                        std::to_string(i + 1) + " among " + std::to_string(jpeg::kExerciseTries) +
                        " candidates at quality " + std::to_string(sheet.Quality) +
                        "; choose another difficulty or quality.");
        }
        Node exercise = Node::MakeObject("", "Exercise " + std::to_string(i + 1) + " of " +
                                                 std::to_string(sheet.Count));
        exercise.Add(Node::MakeInteger("number", "Exercise", i + 1));
        if (sheet.Part != SheetPart::Answers) {
            exercise.Add(WholeGrid("block", "Block", AsDoubles(*block), Axes::Pixels));
            AddOrigin(exercise, settings);
        }
        if (sheet.Part == SheetPart::Questions) {
            AddTasks(exercise);
        } else {
            AddChain(exercise, Analyse(*block, settings));
        }
        list.Add(std::move(exercise));
    }
    return doc;
}

} // namespace quadrel::report
