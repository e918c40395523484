// libFuzzer target for the scan decoder, on what the file reader makes of the
// bytes. Besides "no crash, no hang, no sanitizer report" it checks what the
// decoder promises: the picture has the frame's components with whole MCUs
// of blocks, every block's bits lie inside the file, the detail block's
// symbols follow one another, warnings are bounded; and where neither our
// decoder nor libjpeg says a word against the file, our coefficients are
// libjpeg's.
#include "jpeg_file/jpeg_file.h"
#include "jpeg_file/scan_decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

using namespace quadrel::jpeg_file;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "Scan decoder: %s\n", what);
        std::abort();
    }
}

void CheckInvariants(const ScanDecoding& decoding, const JpegFile& file, std::size_t size) {
    const quadrel::jpeg::CodedPicture& picture = decoding.Picture;
    Check(file.FrameHeader && picture.Components.size() == file.FrameHeader->Components.size(),
          "components other than the frame's");
    Check(decoding.Bits.size() == picture.Components.size(), "bit ranges for other components");
    for (std::size_t c = 0; c < picture.Components.size(); ++c) {
        const quadrel::jpeg::CodedComponent& component = picture.Components[c];
        Check(component.BlocksAcross % component.H == 0 && component.BlocksDown % component.V == 0,
              "blocks not in whole MCUs");
        Check(component.Blocks.size() ==
                  std::size_t(component.BlocksAcross) * std::size_t(component.BlocksDown),
              "block count disagrees with the block grid");
        Check(decoding.Bits[c].empty() || decoding.Bits[c].size() == component.Blocks.size(),
              "bit ranges disagree with the blocks");
        for (const BlockBitRange& range : decoding.Bits[c]) {
            Check(range.BitOffset + range.BitLength <= std::uint64_t(size) * 8,
                  "a block's bits past the end");
        }
    }
    std::uint64_t next = 0;
    for (const DecodedSymbol& symbol : decoding.DetailSymbols) {
        Check(symbol.BitOffset >= next, "detail symbols out of order");
        Check(symbol.CodeLength >= 1 && symbol.CodeLength <= 16 && symbol.Size <= 15,
              "impossible symbol");
        next = symbol.BitOffset + std::uint64_t(symbol.CodeLength);
    }
    Check(decoding.DetailSymbols.size() <= 64, "more symbols than a block has");
    Check(decoding.Warnings.size() <= 20, "warnings without bound");
}

bool SameCoefficients(const quadrel::jpeg::CodedPicture& a, const quadrel::jpeg::CodedPicture& b) {
    if (a.Components.size() != b.Components.size()) {
        return false;
    }
    for (std::size_t c = 0; c < a.Components.size(); ++c) {
        if (a.Components[c].BlocksAcross != b.Components[c].BlocksAcross ||
            a.Components[c].Blocks != b.Components[c].Blocks) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto file = ReadJpegFile(bytes);
    if (!file) {
        return 0;
    }
    const auto decoding = DecodeSequentialScans(bytes, *file, BlockAddress{0, 0, 0});
    if (!decoding) {
        Check(!decoding.Message().empty(), "a failure without a reason");
        return 0;
    }
    CheckInvariants(*decoding, *file, size);
    if (decoding->Warnings.empty()) {
        std::vector<std::string> warnings;
        const auto theirs = ReadStoredCoefficients(bytes, warnings);
        if (theirs && warnings.empty()) {
            Check(SameCoefficients(decoding->Picture, *theirs),
                  "coefficients differ from libjpeg's");
        }
    }
    return 0;
}
