// libFuzzer target for the JPEG file reader. Besides "no crash, no sanitizer
// report" it checks what the reader promises: it fails only on a file that
// does not start with SOI, every offset and extent lies inside the file, the
// segments come in file order, a file that ends early says so, and every
// table it keeps is one that can exist.
#include "jpeg_file/jpeg_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <span>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "JPEG file reader: %s\n", what);
        std::abort();
    }
}

void CheckInvariants(const quadrel::jpeg_file::JpegFile& file, std::size_t size) {
    using namespace quadrel::jpeg_file;
    Check(file.FileSize == size, "wrong file size");
    Check(!file.Segments.empty() && file.Segments.front().Name == "SOI", "no SOI segment");
    for (std::size_t i = 1; i < file.Segments.size(); ++i) {
        Check(file.Segments[i].Offset > file.Segments[i - 1].Offset, "segments out of order");
    }
    Check(file.Segments.back().Offset + 2 <= size, "a segment starts past the end");
    const bool endsWithEoi = file.Segments.back().Name == "EOI";
    if (endsWithEoi) {
        Check(!file.Truncated, "truncated although EOI was read");
        Check(file.Segments.back().Offset + 2 + file.BytesAfterEoi == size,
              "bytes after EOI miscounted");
    } else {
        Check(file.BytesAfterEoi == 0, "bytes after an EOI that was not read");
    }
    Check(!file.Truncated || !file.Warnings.empty(), "truncated without a warning");
    Check(file.Warnings.size() <= 101, "warnings without bound");
    for (const Scan& scan : file.Scans) {
        Check(scan.SegmentIndex < file.Segments.size() &&
                  file.Segments[scan.SegmentIndex].Name == "SOS",
              "a scan without its SOS");
        Check(scan.DataOffset <= size && scan.DataLength <= size - scan.DataOffset,
              "scan data past the end");
    }
    for (const QuantisationTable& table : file.QuantisationTables) {
        Check(table.Id >= 0 && table.Id <= 3, "quantisation table id out of range");
        Check(table.QualityEstimate >= 1 && table.QualityEstimate <= 100, "quality out of range");
        Check(table.Exact == (table.Deviation == 0), "exact disagrees with the deviation");
    }
    for (const HuffmanTable& table : file.HuffmanTables) {
        Check(table.Id >= 0 && table.Id <= 3, "Huffman table id out of range");
        const int total = std::accumulate(table.Counts.begin(), table.Counts.end(), 0);
        Check(total <= 256 && static_cast<std::size_t>(total) == table.Values.size(),
              "Huffman counts disagree with the symbols");
        long space = 0;
        for (std::size_t l = 0; l < 16; ++l) {
            space += static_cast<long>(table.Counts[l]) << (15 - l);
        }
        Check(space < (1L << 16), "an over-full Huffman table was kept");
    }
    if (file.FrameHeader) {
        const Frame& frame = *file.FrameHeader;
        Check(frame.McusAcross >= 0 && frame.McusDown >= 0 && frame.McuWidth >= 8 &&
                  frame.McuHeight >= 8,
              "impossible MCU layout");
    } else {
        Check(!file.CannotShow.empty(), "no frame but nothing said against showing it");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto result = quadrel::jpeg_file::ReadJpegFile(bytes);
    const bool startsWithSoi = size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
    Check(result.Ok() == startsWithSoi, "failed on a file that starts with SOI, or the reverse");
    if (result.Ok()) {
        CheckInvariants(*result, size);
    }
    return 0;
}
