#pragma once
// What a JPEG file holds, read segment by segment without decoding the
// picture: every marker with its offset and length, the quantisation and
// Huffman tables (with the quality a quantisation table stands for), the
// frame, the scans, restart interval, Exif facts, ICC profile name, Adobe
// transform, comments and whatever follows EOI. Any byte string is accepted:
// what cannot be read is said in Warnings and reading stops there; only a
// file that does not start as a JPEG fails. Nothing is allocated beyond what
// the file's own size justifies.

#include "base/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quadrel::jpeg_file {

struct Segment {
    std::size_t Offset = 0; ///< of the marker's 0xFF
    int Marker = 0;         ///< the second marker byte, e.g. 0xD8 for SOI
    std::string Name; ///< "SOI", "APP0", "DQT", "SOF0", "SOF2", "DHT", "SOS", "RST0", "EOI", ...
    /// The segment's length field (it counts itself), 0 for markers without
    /// one (SOI, EOI, RSTn, TEM).
    std::size_t Length = 0;
    std::string Summary; ///< what it holds, in a line for the user
};

struct QuantisationTable {
    int Id = 0;                   ///< destination 0..3
    int Precision = 8;            ///< 8 or 16 bits per entry
    std::array<int, 64> Values{}; ///< natural order, row by row (row = vertical frequency)
    int QualityEstimate = 0;      ///< 1..100: the scaled standard table nearest to it
    bool Exact = false;           ///< it is the standard table scaled to QualityEstimate
    /// How far off the nearest scaled standard table is (mean absolute
    /// difference per entry); 0 when Exact.
    double Deviation = 0;
    /// Compared with the standard chrominance table (the frame's first
    /// component does not use it; by id when no component does: 0 luminance).
    bool Chrominance = false;
    std::size_t SegmentIndex = 0; ///< the DQT that defined it
};

enum class HuffmanKind : std::uint8_t { Dc, Ac };

struct HuffmanTable {
    HuffmanKind Kind = HuffmanKind::Dc;
    int Id = 0;                       ///< destination 0..3
    std::array<int, 16> Counts{};     ///< codes of length 1..16
    std::vector<std::uint8_t> Values; ///< symbols, in code order
    std::size_t SegmentIndex = 0;     ///< the DHT that defined it
};

enum class Process : std::uint8_t { Baseline, Extended, Progressive, Lossless, Arithmetic };

struct FrameComponent {
    int Id = 0;
    int H = 1;
    int V = 1;
    int QuantTable = 0;
};

struct Frame {
    int Marker = 0xC0; ///< SOF0..SOF15
    Process Kind = Process::Baseline;
    bool Arithmetic = false; ///< SOF9..SOF15 (Kind is Arithmetic then)
    bool Progressive = false;
    int Precision = 8;
    int Width = 0;
    int Height = 0;
    std::vector<FrameComponent> Components;
    std::string SubsamplingName; ///< "4:2:0", "4:4:4", ... or "" when it has none
    int McuWidth = 8;            ///< pixels
    int McuHeight = 8;
    int McusAcross = 0; ///< of an interleaved scan
    int McusDown = 0;
};

struct ScanComponent {
    int Id = 0;
    int DcTable = 0;
    int AcTable = 0;
};

struct Scan {
    std::size_t SegmentIndex = 0; ///< its SOS
    std::vector<ScanComponent> Components;
    int Ss = 0;
    int Se = 63;
    int Ah = 0;
    int Al = 0;
    std::size_t DataOffset = 0; ///< first entropy-coded byte
    std::size_t DataLength = 0; ///< up to the next marker that is not RSTn
    int RestartMarkers = 0;     ///< RSTn markers inside the data
    int RestartInterval = 0;    ///< the DRI in force for this scan
    /// The tables in force when the scan starts (a file may redefine them
    /// between scans): index = destination id, nullopt when none defined.
    std::array<std::optional<HuffmanTable>, 4> DcTables;
    std::array<std::optional<HuffmanTable>, 4> AcTables;
};

struct ExifFacts {
    int Orientation = 0; ///< 1..8, 0 when not stored
    std::string Make;
    std::string Model;
    std::string DateTime; ///< when taken (DateTimeOriginal), else DateTime: "2024:05:01 12:34:56"
};

struct JpegFile {
    std::size_t FileSize = 0;
    std::vector<Segment> Segments;
    std::vector<QuantisationTable>
        QuantisationTables;                  ///< in file order (a redefinition appears again)
    std::vector<HuffmanTable> HuffmanTables; ///< in file order
    std::optional<Frame> FrameHeader;
    int RestartInterval = 0; ///< the first DRI's, 0 when none
    /// In file order; at most 1000 (every scan keeps its own copy of the
    /// Huffman tables, and no real file has nearly as many).
    std::vector<Scan> Scans;
    std::optional<ExifFacts> Exif;
    std::string IccProfileName;        ///< from APP2 ICC_PROFILE, when it has a 'desc' tag
    std::optional<int> AdobeTransform; ///< APP14 Adobe: 0 none, 1 YCbCr, 2 YCCK
    std::vector<std::string> Comments;
    std::size_t BytesAfterEoi = 0;
    /// The bytes ran out before EOI (inside a segment or a scan, or after
    /// one). A broken segment that stops the reading is said in Warnings
    /// only.
    bool Truncated = false;
    std::vector<std::string> Warnings; ///< for the user, e.g. "The file ends inside the scan that
                                       ///< starts at byte 623 (truncated)."; at most 101
    /// Why the picture cannot be shown (arithmetic coding, lossless, 12-bit,
    /// no frame, ...), empty when it can.
    std::string CannotShow;
};

/// The file's segments and tables; fails only when the bytes do not start
/// with SOI ("This is not a JPEG file.").
Result<JpegFile> ReadJpegFile(std::span<const std::uint8_t> bytes);

struct QualityEstimate {
    int Quality = 0; ///< 1..100
    bool Exact = false;
    double Deviation = 0; ///< mean absolute difference per entry
};

/// The quality whose scaled standard table (luminance or chrominance, as
/// cjpeg scales it, with 8-bit clamping to 1..255) is nearest to the table.
/// A 16-bit table (precision 16) is held against the tables clamped to
/// 1..32767 instead, as cjpeg writes them below quality 24 unless told to
/// stay baseline.
QualityEstimate EstimateQuality(const std::array<int, 64>& naturalOrder, bool chrominance,
                                int precision = 8);

std::string_view ProcessName(Process process); ///< "baseline", "extended", ...

} // namespace quadrel::jpeg_file
