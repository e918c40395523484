#pragma once
// A JPEG file opened for looking inside, block by block: its segments and
// tables (jpeg_file.h), the coefficients libjpeg stores for it, and for one
// block its quantised and dequantised coefficients, the samples they decode
// to and, in a sequential file, where its bits lie and which symbols they
// code. Also the words and numbers the window and quadrel-cli show for
// tables, frames, scans and bits, so that both say the same.

#include "base/result.h"
#include "jpeg/coded_picture.h"
#include "jpeg/jpeg_block.h"
#include "jpeg_file/jpeg_file.h"
#include "jpeg_file/scan_decoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quadrel::jpeg_file {

/// The inverse DCT the samples come from, as the reports name it.
inline constexpr const char* kSampleTransform = "djpeg -dct float (libjpeg-turbo's float IDCT)";

struct BlockContents {
    BlockAddress Address;
    int ComponentId = 0;
    int QuantTableId = 0;
    jpeg::QuantTable Table{};          ///< the table the block was quantised with
    jpeg::Indices Coefficients{};      ///< stored quantised values, row-major
    jpeg::Indices Dequantised{};       ///< Coefficients times Table
    jpeg::Samples Samples{};           ///< after the inverse DCT, +128, clamped to 0..255
    std::optional<BlockBitRange> Bits; ///< sequential files only
    std::vector<DecodedSymbol> Symbols;
    /// Why Bits is missing (progressive, arithmetic, ...), empty when it is there.
    std::string NoBits;
};

class JpegContents {
public:
    /// Fails only for bytes that do not start as a JPEG.
    static Result<JpegContents> Open(std::vector<std::uint8_t> bytes);

    const JpegFile& File() const { return file_; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    /// The stored coefficients, or null when libjpeg could not read them
    /// (CoefficientFailure says why).
    const jpeg::CodedPicture* Coefficients() const {
        return coefficients_ ? &*coefficients_ : nullptr;
    }
    const std::string& CoefficientFailure() const { return coefficientFailure_; }
    /// The file's warnings, then libjpeg's.
    std::vector<std::string> Warnings() const;
    /// Baseline or extended Huffman coding of 8-bit samples: our own decoder
    /// can say where each block's bits lie.
    bool Sequential() const;

    /// One block of component `address.Component`; fails for a block or
    /// component the file does not store.
    Result<BlockContents> Block(BlockAddress address) const;

private:
    JpegContents() = default;

    std::vector<std::uint8_t> bytes_;
    JpegFile file_;
    std::optional<jpeg::CodedPicture> coefficients_;
    std::string coefficientFailure_;
    std::vector<std::string> libjpegWarnings_;
};

/// The block of component `component` that holds picture pixel (x, y).
BlockAddress BlockAtPixel(const Frame& frame, int component, int x, int y);
/// The picture pixels a block covers: x, y, width, height (a subsampled
/// component's block covers more than 8x8).
struct PixelRect {
    int X = 0;
    int Y = 0;
    int Width = 8;
    int Height = 8;
};
PixelRect PixelsOfBlock(const Frame& frame, BlockAddress address);

/// "quality ≈ 75 (exact)" or "nearest quality 75, off by 1.30 on average: not
/// a scaled standard table".
std::string QualityLabel(const QuantisationTable& table);
/// "DC 0", "AC 1".
std::string HuffmanTableName(const HuffmanTable& table);

struct HuffmanCodeEntry {
    int Symbol = 0;
    std::string Code; ///< "0110"
};
/// Every symbol with the code the table gives it (codes counted up length by
/// length, as the decoder builds them).
std::vector<HuffmanCodeEntry> HuffmanCodes(const HuffmanTable& table);
/// "EOB", "ZRL", "0/1" for an AC symbol run/size, "size 3" for DC.
std::string SymbolText(int symbol, HuffmanKind kind);

/// "SOF0 baseline, 8-bit, 64 x 48, 3 components, 4:2:0, MCU 16 x 16 (4 x 3)".
std::string FrameLine(const Frame& frame);
/// "1 (2x2, table 0)".
std::string ComponentLine(const FrameComponent& component);
/// "components 1 2 3, Ss 0 Se 63 Ah 0 Al 0, 1234 bytes at 623, 2 restarts".
std::string ScanLine(const Scan& scan);

/// Bytes around a block's bits, one line per byte: offset, hex, the eight
/// bits; the block's bits are the marked character ranges of Text.
struct MarkedBytes {
    std::string Text;
    std::vector<std::pair<std::size_t, std::size_t>> Marked; ///< [first, end) in Text
};
MarkedBytes BitsAround(std::span<const std::uint8_t> bytes, BlockBitRange range,
                       int contextBytes = 4, int mostBytes = 256);

} // namespace quadrel::jpeg_file
