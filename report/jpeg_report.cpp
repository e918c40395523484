#include "report/jpeg_report.h"

#include "jpeg/jpeg_chain.h"
#include "jpeg/jpeg_exercise.h"

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

/// The chain's steps added to `out`, after the block and the table's origin.
void AddChain(Node& out, const jpeg::BlockAnalysis& a, const JpegSettings& settings) {
    out.Add(WholeGrid("table", "Quantisation table", AsDoubles(settings.Table), Axes::Frequencies));
    out.Add(Node::MakeInteger("previous_dc", "Previous DC", settings.PreviousDc));
    out.Add(Node::MakeInteger("keep", "Coefficients kept (zig-zag)", settings.Keep));
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

void AddJpeg(Node& out, const jpeg::Samples& block, const JpegSettings& settings) {
    const jpeg::BlockAnalysis a =
        jpeg::AnalyseBlock(block, {settings.Table, settings.PreviousDc, settings.Keep,
                                   jpeg::TieRule::AwayFromZero, settings.Component});
    out.Add(WholeGrid("block", "Block", AsDoubles(block), Axes::Pixels));
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
    AddChain(out, a, settings);
}

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

Node ExerciseReport(std::uint64_t seed, int count, int quality) {
    Node doc = Document();
    doc.Add(Node::MakeInteger("seed", "Seed", static_cast<std::int64_t>(seed)));
    doc.Add(Node::MakeInteger("quality", "Quality", quality));
    doc.Add(Node::MakeInteger("count", "Exercises", count));
    Node& list = doc.Add(Node::MakeArray("exercises", "Exercises"));
    JpegSettings settings;
    settings.Table = jpeg::LuminanceTable(quality);
    settings.Quality = quality;
    for (int i = 0; i < count; ++i) {
        Node exercise = Node::MakeObject("", "Exercise " + std::to_string(i + 1) + " of " +
                                                 std::to_string(count));
        exercise.Add(Node::MakeInteger("number", "Exercise", i + 1));
        AddJpeg(exercise, jpeg::ExerciseBlock(seed, i), settings);
        list.Add(std::move(exercise));
    }
    return doc;
}

} // namespace quadrel::report
