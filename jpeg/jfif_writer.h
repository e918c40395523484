#pragma once
// A coded picture as a baseline JFIF file, byte for byte as libjpeg-turbo's
// `cjpeg -baseline` lays it out: SOI, the JFIF APP0 segment, one DQT segment
// per table, SOF0, one DHT segment per table, DRI when restarts are asked for,
// SOS, the entropy-coded data, EOI. The Huffman tables are the standard's
// defaults, or (optimised) built from the picture's own symbol counts as
// `cjpeg -optimize` builds them.

#include "base/result.h"
#include "jpeg/coded_picture.h"
#include "jpeg/jpeg_huffman.h"
#include "jpeg/jpeg_picture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quadrel::jpeg {

struct JfifOptions {
    bool OptimiseHuffman = false; ///< tables from the picture's own statistics
    int RestartInterval = 0;      ///< MCUs between restart markers, 0..65535; 0: none
};

/// The whole file; fails for a picture a baseline file cannot hold (a side
/// over 65535, a table entry outside 1..255, a difference beyond 11 bits, ...).
Result<std::string> WriteJfif(const CodedPicture& picture, const JfifOptions& options = {});

/// A written file and where its entropy-coded data lies, so that a size can be
/// shown as headers and scan.
struct JfifFile {
    std::string Bytes;
    std::size_t ScanBytes = 0; ///< after the SOS segment up to EOI, restart markers included
    /// SOI up to the SOS segment's end, and EOI.
    std::size_t HeaderBytes() const { return Bytes.size() - ScanBytes; }
};

/// The same file as WriteJfif's, with its scan measured.
Result<JfifFile> WriteJfifFile(const CodedPicture& picture, const JfifOptions& options = {});

/// Optimal code lengths (at most 16) for the 256 symbols' counts, as T.81's
/// Annex K.2 and libjpeg's jpeg_gen_optimal_table give them: symbols never
/// seen get no code, and no code is all ones.
HuffmanTableSpec OptimalTable(const std::array<std::int64_t, 256>& counts);

/// A grey picture's analysis, run with KeepBlocks, as one component.
CodedPicture GreyCodedPicture(const PictureAnalysis& analysis, int width, int height,
                              const QuantTable& table);

} // namespace quadrel::jpeg
