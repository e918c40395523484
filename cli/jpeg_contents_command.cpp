#include "cli/jpeg_contents_command.h"

#include "file_io/native_path.h"

#include <QCoreApplication>
#include <QFile>

#include <string>
#include <utility>
#include <vector>

namespace quadrel::cli {

namespace {

using jpeg_file::BlockAddress;
using jpeg_file::BlockContents;
using jpeg_file::JpegContents;
using jpeg_file::JpegFile;
using report::Axes;
using report::Node;
using report::Shown;

std::int64_t Whole(std::size_t value) {
    return static_cast<std::int64_t>(value);
}

template <typename Values> std::vector<std::int64_t> List(const Values& values) {
    return {values.begin(), values.end()};
}

template <typename Values> std::array<double, 64> Grid(const Values& values) {
    std::array<double, 64> grid{};
    for (std::size_t i = 0; i < grid.size(); ++i) {
        grid[i] = static_cast<double>(values[i]);
    }
    return grid;
}

/// Lines of text as rows of one column, so that every form can write them.
Node TextRows(std::string key, std::string title, const std::vector<std::string>& lines,
              const char* column, const char* heading) {
    Node rows = Node::MakeRecords(std::move(key), std::move(title));
    for (const std::string& line : lines) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeText(column, heading, line));
        rows.Add(std::move(row));
    }
    return rows;
}

Node Segments(const JpegFile& file) {
    Node segments = Node::MakeRecords("segments", "Segments");
    for (const jpeg_file::Segment& s : file.Segments) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeInteger("offset", "Offset", Whole(s.Offset)));
        row.Add(Node::MakeText("marker", "Marker", s.Name));
        row.Add(Node::MakeInteger("length", "Length", Whole(s.Length)));
        row.Add(Node::MakeText("summary", "Summary", s.Summary));
        segments.Add(std::move(row));
    }
    return segments;
}

Node FrameNode(const jpeg_file::Frame& frame) {
    Node out = Node::MakeObject("frame", "Frame");
    out.Add(Node::MakeText("process", "Process", std::string(ProcessName(frame.Kind))));
    out.Add(Node::MakeText("marker", "Marker", "SOF" + std::to_string(frame.Marker - 0xC0)));
    out.Add(Node::MakeInteger("precision", "Precision (bits)", frame.Precision));
    out.Add(Node::MakeInteger("width", "Width", frame.Width));
    out.Add(Node::MakeInteger("height", "Height", frame.Height));
    out.Add(Node::MakeText("sampling", "Sampling", frame.SubsamplingName));
    Node& components = out.Add(Node::MakeRecords("components", "Components"));
    for (const jpeg_file::FrameComponent& c : frame.Components) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeInteger("id", "Id", c.Id));
        row.Add(Node::MakeInteger("h", "H", c.H));
        row.Add(Node::MakeInteger("v", "V", c.V));
        row.Add(Node::MakeInteger("table", "Quantisation table", c.QuantTable));
        components.Add(std::move(row));
    }
    Node& mcu = out.Add(Node::MakeObject("mcu", "MCU"));
    mcu.Add(Node::MakeInteger("width", "Width (pixels)", frame.McuWidth));
    mcu.Add(Node::MakeInteger("height", "Height (pixels)", frame.McuHeight));
    mcu.Add(Node::MakeInteger("across", "Across", frame.McusAcross));
    mcu.Add(Node::MakeInteger("down", "Down", frame.McusDown));
    return out;
}

/// The 64 values as eight rows for people.
std::string RowsText(const std::array<int, 64>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i == 0 ? "" : i % 8 == 0 ? " | " : " ") + std::to_string(values[i]);
    }
    return text;
}

Node Tables(const JpegFile& file) {
    Node tables = Node::MakeObject("tables", "Tables");
    Node& quantisation = tables.Add(Node::MakeArray("quantisation", "Quantisation tables"));
    for (const jpeg_file::QuantisationTable& t : file.QuantisationTables) {
        Node table = Node::MakeObject("", "Quantisation table " + std::to_string(t.Id));
        table.Add(Node::MakeInteger("id", "Id", t.Id));
        table.Add(Node::MakeInteger("precision", "Precision (bits)", t.Precision));
        Node& values = table.Add(
            Node::MakeList("values", "Values (row by row, natural order)", List(t.Values)));
        values.Display = RowsText(t.Values);
        table.Add(Node::MakeInteger("quality_estimate", "Quality estimate", t.QualityEstimate));
        table.Add(Node::MakeBoolean("exact", "Exact", t.Exact));
        table.Add(Node::MakeNumber("deviation", "Mean difference", t.Deviation, 2));
        table.Add(Node::MakeText("label", "Quality", jpeg_file::QualityLabel(t)));
        quantisation.Add(std::move(table));
    }
    Node& huffman = tables.Add(Node::MakeArray("huffman", "Huffman tables"));
    for (const jpeg_file::HuffmanTable& t : file.HuffmanTables) {
        Node table = Node::MakeObject("", "Huffman table " + HuffmanTableName(t));
        table.Add(
            Node::MakeText("class", "Class", t.Kind == jpeg_file::HuffmanKind::Dc ? "DC" : "AC"));
        table.Add(Node::MakeInteger("id", "Id", t.Id));
        table.Add(Node::MakeList("counts", "Codes of length 1..16", List(t.Counts)));
        table.Add(Node::MakeList("values", "Symbols", List(t.Values)));
        huffman.Add(std::move(table));
    }
    return tables;
}

Node Scans(const JpegFile& file) {
    Node scans = Node::MakeArray("scans", "Scans");
    int number = 0;
    for (const jpeg_file::Scan& s : file.Scans) {
        Node scan = Node::MakeObject("", "Scan " + std::to_string(++number));
        Node& components = scan.Add(Node::MakeRecords("components", "Components"));
        for (const jpeg_file::ScanComponent& c : s.Components) {
            Node row = Node::MakeObject("", "");
            row.Add(Node::MakeInteger("id", "Id", c.Id));
            row.Add(Node::MakeInteger("dc_table", "DC table", c.DcTable));
            row.Add(Node::MakeInteger("ac_table", "AC table", c.AcTable));
            components.Add(std::move(row));
        }
        scan.Add(Node::MakeInteger("ss", "Ss", s.Ss));
        scan.Add(Node::MakeInteger("se", "Se", s.Se));
        scan.Add(Node::MakeInteger("ah", "Ah", s.Ah));
        scan.Add(Node::MakeInteger("al", "Al", s.Al));
        scan.Add(Node::MakeInteger("data_offset", "Data offset", Whole(s.DataOffset)));
        scan.Add(Node::MakeInteger("data_length", "Data length", Whole(s.DataLength)));
        scan.Add(Node::MakeInteger("restarts", "Restart markers", s.RestartMarkers));
        scan.Add(Node::MakeInteger("restart_interval", "Restart interval", s.RestartInterval));
        scans.Add(std::move(scan));
    }
    return scans;
}

Node Symbols(const std::vector<jpeg_file::DecodedSymbol>& symbols) {
    Node out = Node::MakeRecords("symbols", "Symbols");
    for (const jpeg_file::DecodedSymbol& s : symbols) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeText("kind", "Kind", jpeg::SymbolKindName(s.Kind)));
        row.Add(Node::MakeInteger("run", "Run", s.Run));
        row.Add(Node::MakeInteger("size", "Size", s.Size));
        row.Add(Node::MakeInteger("amplitude", "Amplitude", s.Amplitude));
        row.Add(Node::MakeText("code", "Code", jpeg::BitText(s.Code, s.CodeLength)));
        row.Add(Node::MakeText("amplitude_bits", "Amplitude bits", jpeg::BitText(s.Bits, s.Size)));
        row.Add(
            Node::MakeInteger("bit_offset", "Bit offset", static_cast<std::int64_t>(s.BitOffset)));
        out.Add(std::move(row));
    }
    return out;
}

Node BlockNode(const BlockContents& b) {
    Node out = Node::MakeObject("block", "Block");
    out.Add(Node::MakeInteger("component", "Component (index)", b.Address.Component));
    out.Add(Node::MakeInteger("component_id", "Component id", b.ComponentId));
    out.Add(Node::MakeInteger("x", "Block column", b.Address.X));
    out.Add(Node::MakeInteger("y", "Block row", b.Address.Y));
    out.Add(Node::MakeInteger("quantisation_table", "Quantisation table", b.QuantTableId));
    out.Add(Node::MakeText("idct", "Inverse DCT", jpeg_file::kSampleTransform));
    if (b.Bits) {
        out.Add(Node::MakeInteger("bit_offset", "Bit offset (byte * 8 + bit)",
                                  static_cast<std::int64_t>(b.Bits->BitOffset)));
        out.Add(Node::MakeInteger("bits", "Bits", b.Bits->BitLength));
    } else {
        out.Add(Node::MakeText("bits_note", "Bits", b.NoBits));
    }
    out.Add(Node::MakeGrid("coefficients", "Stored coefficients (quantised)", Grid(b.Coefficients),
                           Axes::Frequencies, Shown::Exact));
    out.Add(Node::MakeGrid("dequantised", "Dequantised", Grid(b.Dequantised), Axes::Frequencies,
                           Shown::Exact));
    out.Add(Node::MakeGrid("samples", "Samples", Grid(b.Samples), Axes::Pixels, Shown::Exact));
    if (b.Bits) {
        out.Add(Symbols(b.Symbols));
    }
    return out;
}

} // namespace

Result<Node> ContentsReport(const JpegContents& inspection, std::optional<BlockAddress> block) {
    const JpegFile& file = inspection.File();
    Node doc = Node::MakeObject("", "");
    doc.Add(Node::MakeInteger("file_size", "File size (bytes)", Whole(file.FileSize)));
    doc.Add(Segments(file));
    if (file.FrameHeader) {
        doc.Add(FrameNode(*file.FrameHeader));
    }
    doc.Add(Tables(file));
    doc.Add(Node::MakeInteger("restart_interval", "Restart interval (MCUs)", file.RestartInterval));
    doc.Add(Scans(file));
    if (file.Exif) {
        Node& exif = doc.Add(Node::MakeObject("exif", "Exif"));
        exif.Add(Node::MakeInteger("orientation", "Orientation", file.Exif->Orientation));
        exif.Add(Node::MakeText("make", "Make", file.Exif->Make));
        exif.Add(Node::MakeText("model", "Model", file.Exif->Model));
        exif.Add(Node::MakeText("date", "Date", file.Exif->DateTime));
    }
    if (!file.IccProfileName.empty()) {
        doc.Add(Node::MakeText("icc", "ICC profile", file.IccProfileName));
    }
    if (file.AdobeTransform) {
        doc.Add(Node::MakeInteger("adobe_transform", "Adobe transform", *file.AdobeTransform));
    }
    doc.Add(TextRows("comments", "Comments", file.Comments, "text", "Comment"));
    doc.Add(Node::MakeInteger("bytes_after_eoi", "Bytes after EOI", Whole(file.BytesAfterEoi)));
    doc.Add(Node::MakeBoolean("truncated", "Truncated", file.Truncated));
    if (!file.CannotShow.empty()) {
        doc.Add(Node::MakeText("cannot_show", "Cannot show the picture", file.CannotShow));
    }
    doc.Add(TextRows("warnings", "Warnings", inspection.Warnings(), "message", "Message"));
    if (block) {
        const Result<BlockContents> b = inspection.Block(*block);
        if (!b) {
            return Fail(b.Message());
        }
        doc.Add(BlockNode(*b));
    }
    return doc;
}

Result<Node> ContentsReport(const ContentsRequest& request) {
    const QString shown = ShownPath(request.File);
    QFile file(request.File);
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(QStringLiteral("%1: %2").arg(shown, file.errorString()).toStdString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return Fail(QStringLiteral("%1: %2").arg(shown, file.errorString()).toStdString());
    }
    Result<JpegContents> inspection =
        JpegContents::Open(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (!inspection) {
        return Fail(QStringLiteral("%1: %2")
                        .arg(shown, QString::fromStdString(inspection.Message()))
                        .toStdString());
    }
    Result<Node> report = ContentsReport(*inspection, request.Block);
    if (!report) {
        return Fail(QStringLiteral("%1: %2")
                        .arg(shown, QString::fromStdString(report.Message()))
                        .toStdString());
    }
    return report;
}

} // namespace quadrel::cli
