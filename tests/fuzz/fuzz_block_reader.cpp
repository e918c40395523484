// libFuzzer target for the block file reader. Besides "no crash, no sanitizer
// report" it checks what the reader promises: never a half-read block, only
// finite values within the limit, nothing read after the 64th value, and a
// written file always reads back as its truncated space block.
#include "block_file/block_file_format.h"
#include "engine/cell_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "block file reader: %s\n", what);
        std::abort();
    }
}

void CheckInvariants(const quadrel::BlockFileValues& result, std::size_t size) {
    Check(result.Values.size() <= quadrel::kBlockFileValues, "more than 64 values");
    Check(result.Consumed <= size, "looked past the end of the text");
    if (result.Error) {
        const quadrel::BlockFileError& error = *result.Error;
        Check(result.Values.empty(), "values kept despite an error");
        Check(error.Line >= 1 && error.Value >= 1 && error.Value <= 64, "error outside the stream");
        for (const char c : quadrel::DescribeError(error)) {
            Check(c >= 0x20 && c < 0x7F, "unprintable byte in a message");
        }
        return;
    }
    for (const double v : result.Values) {
        Check(std::isfinite(v) && std::abs(v) <= quadrel::kMaxTextMagnitude, "value out of range");
        Check(!(v == 0.0 && std::signbit(v)), "negative zero stored");
    }
}

// 64 cells from the input's bytes, read as doubles and cycled; kept finite and
// within the reader's limit so that the file must read back.
quadrel::Block BlockFrom(const std::uint8_t* data, std::size_t size) {
    quadrel::Block block{};
    for (std::size_t k = 0; k < 64 && size > 0; ++k) {
        unsigned char bytes[sizeof(double)];
        for (std::size_t i = 0; i < sizeof(double); ++i) {
            bytes[i] = data[(k * sizeof(double) + i) % size];
        }
        double v = 0.0;
        std::memcpy(&v, bytes, sizeof v);
        if (!std::isfinite(v)) {
            v = 0.0;
        } else if (std::abs(v) > quadrel::kMaxTextMagnitude) {
            v /= 1e10;
        }
        block[k % 8][k / 8] = v;
    }
    return block;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quadrel::BlockFileValues result = quadrel::ParseBlockValues(text);
    CheckInvariants(result, size);

    // Whatever follows the point where 64 values were read changes nothing.
    if (!result.Error && result.Values.size() == 64 && result.Consumed < size) {
        std::string changed(text.substr(0, result.Consumed));
        changed.append("\0x,inf\r\n", 8);
        changed.append(text.rbegin(), text.rend());
        const quadrel::BlockFileValues again = quadrel::ParseBlockValues(changed);
        Check(!again.Error && again.Values == result.Values, "read past the 64th value");
    }

    // The eight space lines of a written file, then the input as junk.
    const quadrel::Block space = BlockFrom(data, size);
    std::string file = quadrel::FormatBlockFile(space, space);
    file.resize(file.find(quadrel::kBlockFileMarker));
    file.append(text);
    const quadrel::BlockFileValues back = quadrel::ParseBlockValues(file);
    Check(!back.Error && back.Values.size() == 64, "a written file does not read back");
    for (std::size_t k = 0; k < 64; ++k) {
        Check(back.Values[k] == std::trunc(space[k % 8][k / 8]), "a value changed on the way");
    }
    return 0;
}
