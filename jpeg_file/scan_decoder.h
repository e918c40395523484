#pragma once
// A decoder of sequential Huffman-coded scans (baseline and extended, 8-bit)
// of our own, written to say where every block's bits lie in the file: the
// offset and length of each block's bits, and for one chosen block each
// symbol with its code, amplitude bits and bit position. The coefficients are
// what libjpeg's jpeg_read_coefficients gives for the same file. Also the
// coefficients through libjpeg itself, for any file libjpeg decodes
// (progressive too).

#include "base/result.h"
#include "jpeg/coded_picture.h"
#include "jpeg/jpeg_huffman.h"
#include "jpeg_file/jpeg_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quadrel::jpeg_file {

/// A block's place: component index in the frame, block column and row in
/// that component's own blocks (whole MCUs, as CodedComponent counts them).
struct BlockAddress {
    int Component = 0;
    int X = 0;
    int Y = 0;
};

struct DecodedSymbol {
    jpeg::SymbolKind Kind = jpeg::SymbolKind::Eob;
    int Run = 0;
    int Size = 0;
    int Amplitude = 0; ///< the DC difference or the AC value
    std::uint32_t Code = 0;
    int CodeLength = 0;
    std::uint32_t Bits = 0; ///< the amplitude bits, Size of them
    /// Bit position in the file of the code's first bit: byte offset * 8 +
    /// bit within the byte (0 = most significant); stuffed 0x00 bytes and
    /// RSTn markers are skipped over, so positions are those of the file.
    std::uint64_t BitOffset = 0;
};

struct BlockBitRange {
    std::uint64_t BitOffset = 0; ///< as DecodedSymbol::BitOffset
    std::uint32_t BitLength = 0; ///< bits of the data the block takes (stuffing not counted)
};

struct ScanDecoding {
    /// Quantised coefficients of every block of every component of the frame
    /// (blocks of components not in this scan are left zero), quant tables
    /// from the file. Natural order, row-major.
    jpeg::CodedPicture Picture;
    /// Per component, per block (raster order), where its bits lie; empty
    /// for components not in the scan. {0, 0} for a block no bits code: the
    /// padding blocks of a single-component scan, and blocks after bad data.
    std::vector<std::vector<BlockBitRange>> Bits;
    /// Of the block asked for, if any, in coding order; when bad data stops
    /// the scan inside that block, the symbols read up to there.
    std::vector<DecodedSymbol> DetailSymbols;
    std::vector<std::string> Warnings; ///< e.g. truncation: blocks after it left zero (at most 20)
};

/// Decodes the file's first scan, or all scans of a sequential file with
/// one scan per component. Fails for progressive, arithmetic, lossless or
/// 12-bit files, for a scan whose tables are missing or impossible, and for
/// a frame with more blocks than the file could code (each block of a
/// sequential scan takes at least 2 bits: at most 4 per byte of the file,
/// plus 16384). Bad data (a code no table has, a coefficient beyond index
/// 63, the data's end) stops the scan it is in with a warning; that scan's
/// remaining blocks stay zero, later scans are still decoded.
Result<ScanDecoding> DecodeSequentialScans(std::span<const std::uint8_t> bytes,
                                           const JpegFile& file,
                                           std::optional<BlockAddress> detail = std::nullopt);

/// The stored quantised coefficients as libjpeg reads them
/// (jpeg_read_coefficients), progressive files too; libjpeg's warnings
/// (e.g. "Premature end of JPEG file") come back in warnings, the first 20
/// and a count of the rest. Refused when the frame has more blocks than 8
/// per byte of the file, plus 16384 (a progressive DC scan takes a bit per
/// block; an arithmetic-coded, nearly uniform picture can take less and is
/// refused then). libjpeg-turbo decodes data it holds in plenty through a
/// fast path that turns a bad Huffman code into zero without a warning, so
/// damage inside the data may pass unsaid here.
Result<jpeg::CodedPicture> ReadStoredCoefficients(std::span<const std::uint8_t> bytes,
                                                  std::vector<std::string>& warnings);

} // namespace quadrel::jpeg_file
