#include "jpeg/jpeg_huffman.h"

#include <bit>
#include <cstdlib>

#include <immintrin.h>

namespace quadrel::jpeg {

namespace {

// The tables as the standard lists them: how many codes of each length 1..16,
// then the symbols in code order. An AC symbol byte is run * 16 + size.
constexpr std::array<int, 16> kDcCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<int, 12> kDcSymbols = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

constexpr std::array<int, 16> kAcCounts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr std::array<int, 162> kAcSymbols = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

constexpr std::array<int, 16> kChromaDcCounts = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr std::array<int, 16> kChromaAcCounts = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr std::array<int, 162> kChromaAcSymbols = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

/// Canonical codes: consecutive within a length, doubled when the length grows.
template <std::size_t N>
constexpr std::array<HuffmanCode, 256> BuildCodes(const std::array<int, 16>& counts,
                                                  const std::array<int, N>& symbols) {
    std::array<HuffmanCode, 256> codes{};
    int code = 0;
    std::size_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < counts[static_cast<std::size_t>(length - 1)]; ++i) {
            codes[static_cast<std::size_t>(symbols[next++])] = {static_cast<std::uint16_t>(code),
                                                                length};
            ++code;
        }
        code <<= 1;
    }
    return codes;
}

constexpr std::array<HuffmanCode, 256> kDcCodes = BuildCodes(kDcCounts, kDcSymbols);
constexpr std::array<HuffmanCode, 256> kAcCodes = BuildCodes(kAcCounts, kAcSymbols);
constexpr std::array<HuffmanCode, 256> kChromaDcCodes = BuildCodes(kChromaDcCounts, kDcSymbols);
constexpr std::array<HuffmanCode, 256> kChromaAcCodes =
    BuildCodes(kChromaAcCounts, kChromaAcSymbols);

const std::array<HuffmanCode, 256>& DcTable(HuffmanClass tables) {
    return tables == HuffmanClass::Luminance ? kDcCodes : kChromaDcCodes;
}
const std::array<HuffmanCode, 256>& AcTable(HuffmanClass tables) {
    return tables == HuffmanClass::Luminance ? kAcCodes : kChromaAcCodes;
}

constexpr int kEobSymbol = 0x00;
constexpr int kZrlSymbol = 0xf0;

} // namespace

namespace {

template <std::size_t N>
HuffmanTableSpec MakeSpec(const std::array<int, 16>& counts, const std::array<int, N>& symbols) {
    HuffmanTableSpec spec;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        spec.Counts[i] = static_cast<std::uint8_t>(counts[i]);
    }
    for (const int s : symbols) {
        spec.Symbols.push_back(static_cast<std::uint8_t>(s));
    }
    return spec;
}

} // namespace

HuffmanTableSpec DcTableSpec(HuffmanClass tables) {
    return MakeSpec(tables == HuffmanClass::Luminance ? kDcCounts : kChromaDcCounts, kDcSymbols);
}

HuffmanTableSpec AcTableSpec(HuffmanClass tables) {
    return tables == HuffmanClass::Luminance ? MakeSpec(kAcCounts, kAcSymbols)
                                             : MakeSpec(kChromaAcCounts, kChromaAcSymbols);
}

int SizeCategory(int value) {
    return std::bit_width(static_cast<unsigned>(std::abs(value)));
}

std::uint32_t AmplitudeBits(int value, int size) {
    const std::uint32_t mask = (size >= 32) ? ~0U : ((1U << size) - 1U);
    return static_cast<std::uint32_t>(value < 0 ? value - 1 : value) & mask;
}

HuffmanCode DcCode(int size, HuffmanClass tables) {
    return (size >= 0 && size <= 11) ? DcTable(tables)[static_cast<std::size_t>(size)]
                                     : HuffmanCode{};
}

HuffmanCode AcCode(int run, int size, HuffmanClass tables) {
    if (run < 0 || run > 15 || size < 0 || size > 10) {
        return {};
    }
    return AcTable(tables)[static_cast<std::size_t>(run) * 16U + static_cast<std::size_t>(size)];
}

HuffmanCode DcCode(int size) {
    return DcCode(size, HuffmanClass::Luminance);
}

HuffmanCode AcCode(int run, int size) {
    return AcCode(run, size, HuffmanClass::Luminance);
}

SymbolList EncodeBlock(const Indices& zigzag, int dcDifference) {
    SymbolList list;
    EncodeBlock(zigzag, dcDifference, list);
    return list;
}

namespace {

// The AC run-length walk both coders share: `visit(kind, run, value)` is called
// for each ZRL, each non-zero index and the closing EOB, in order. A template, so
// the bit counter of the picture coder keeps its loop free of calls.
template <typename Visit> void WalkAcRuns(const Indices& zigzag, Visit&& visit) {
    int run = 0;
    for (int z = 1; z < kBlockCells; ++z) {
        const int value = zigzag[static_cast<std::size_t>(z)];
        if (value == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) {
            visit(SymbolKind::Zrl, 15, 0);
        }
        visit(SymbolKind::Ac, run, value);
        run = 0;
    }
    if (run > 0) {
        visit(SymbolKind::Eob, 0, 0);
    }
}

HuffmanCode AcSymbolCode(SymbolKind kind, int run, int size,
                         HuffmanClass tables = HuffmanClass::Luminance) {
    switch (kind) {
    case SymbolKind::Zrl:
        return AcTable(tables)[kZrlSymbol];
    case SymbolKind::Eob:
        return AcTable(tables)[kEobSymbol];
    default:
        return AcCode(run, size, tables);
    }
}

} // namespace

void EncodeBlock(const Indices& zigzag, int dcDifference, SymbolList& list) {
    EncodeBlock(zigzag, dcDifference, list, HuffmanClass::Luminance);
}

void EncodeBlock(const Indices& zigzag, int dcDifference, SymbolList& list, HuffmanClass tables) {
    list.Count = 0;
    auto add = [&list](SymbolKind kind, int run, int amplitude, HuffmanCode code) {
        const int size = SizeCategory(amplitude);
        list.Items[static_cast<std::size_t>(list.Count++)] = {
            kind, run, size, amplitude, code, AmplitudeBits(amplitude, size)};
    };
    add(SymbolKind::Dc, 0, dcDifference, DcCode(SizeCategory(dcDifference), tables));
    WalkAcRuns(zigzag, [&add, tables](SymbolKind kind, int run, int value) {
        add(kind, run, value, AcSymbolCode(kind, run, SizeCategory(value), tables));
    });
}

namespace {

/// Row-major index -> zig-zag position.
constexpr std::array<int, kBlockCells> BuildZigZagPositions() {
    std::array<int, kBlockCells> positions{};
    for (int z = 0; z < kBlockCells; ++z) {
        positions[static_cast<std::size_t>(kZigZag[static_cast<std::size_t>(z)])] = z;
    }
    return positions;
}

/// [row][the row's non-zero columns as bits] -> those cells as bits of their
/// zig-zag positions: eight look-ups put a block's non-zero cells in zig-zag order.
using ZigZagMasks = std::array<std::array<std::uint64_t, 256>, 8>;
constexpr ZigZagMasks BuildZigZagMasks() {
    constexpr std::array<int, kBlockCells> positions = BuildZigZagPositions();
    ZigZagMasks masks{};
    for (std::size_t row = 0; row < 8; ++row) {
        for (std::size_t columns = 0; columns < 256; ++columns) {
            std::uint64_t mask = 0;
            for (std::size_t column = 0; column < 8; ++column) {
                if (((columns >> column) & 1U) != 0) {
                    mask |= std::uint64_t{1} << positions[row * 8 + column];
                }
            }
            masks[row][columns] = mask;
        }
    }
    return masks;
}
constexpr ZigZagMasks kZigZagMasks = BuildZigZagMasks();

/// Code lengths by AC symbol (run * 16 + size), as bytes: a cache line holds a quarter.
using CodeLengths = std::array<std::uint8_t, 256>;
constexpr CodeLengths LengthsOf(const std::array<HuffmanCode, 256>& codes) {
    CodeLengths lengths{};
    for (std::size_t i = 0; i < codes.size(); ++i) {
        lengths[i] = static_cast<std::uint8_t>(codes[i].Length);
    }
    return lengths;
}
constexpr CodeLengths kAcLengths = LengthsOf(kAcCodes);
constexpr CodeLengths kChromaAcLengths = LengthsOf(kChromaAcCodes);

/// Byte r holds row r's non-zero cells, column c as bit c.
std::uint64_t NonZeroRowsPortable(const Indices& rowMajor) {
    std::uint64_t rows = 0;
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        rows |= static_cast<std::uint64_t>(rowMajor[i] != 0) << i;
    }
    return rows;
}

[[gnu::target("avx2")]] std::uint64_t NonZeroRowsWide(const Indices& rowMajor) {
    std::uint64_t rows = 0;
    for (std::size_t r = 0; r < 8; ++r) {
        const __m256i row =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowMajor.data() + r * 8));
        const __m256i zero = _mm256_cmpeq_epi32(row, _mm256_setzero_si256());
        const auto zeros = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(zero)));
        rows |= static_cast<std::uint64_t>(~zeros & 0xFFU) << (r * 8);
    }
    return rows;
}

std::uint64_t NonZeroRows(const Indices& rowMajor) {
    return __builtin_cpu_supports("avx2") != 0 ? NonZeroRowsWide(rowMajor)
                                               : NonZeroRowsPortable(rowMajor);
}

} // namespace

int CountAcBitsRowMajor(const Indices& rowMajor, HuffmanClass tables) {
    const CodeLengths& lengths = tables == HuffmanClass::Luminance ? kAcLengths : kChromaAcLengths;
    const std::uint64_t rows = NonZeroRows(rowMajor);
    std::uint64_t nonZero = 0;
    for (std::size_t r = 0; r < 8; ++r) {
        nonZero |= kZigZagMasks[r][(rows >> (r * 8)) & 0xFFU];
    }
    nonZero &= ~std::uint64_t{1}; // the DC is coded apart
    // Only the non-zero indices are visited: at the usual qualities a handful.
    int bits = 0;
    int last = 0; // zig-zag position of the last index coded
    while (nonZero != 0) {
        const int z = std::countr_zero(nonZero);
        nonZero &= nonZero - 1;
        int run = z - last - 1;
        for (; run > 15; run -= 16) {
            bits += lengths[kZrlSymbol];
        }
        const int size =
            SizeCategory(rowMajor[static_cast<std::size_t>(kZigZag[static_cast<std::size_t>(z)])]);
        // Sizes beyond 10 have no code, as AcCode gives them.
        const std::size_t symbol =
            static_cast<std::size_t>(run) * 16U + static_cast<std::size_t>(size);
        bits += (size <= 10 ? lengths[symbol] : 0) + size;
        last = z;
    }
    if (last != kBlockCells - 1) {
        bits += lengths[kEobSymbol];
    }
    return bits;
}

int CountAcBits(const Indices& zigzag) {
    return CountAcBits(zigzag, HuffmanClass::Luminance);
}

int CountAcBits(const Indices& zigzag, HuffmanClass tables) {
    int bits = 0;
    WalkAcRuns(zigzag, [&bits, tables](SymbolKind kind, int run, int value) {
        const int size = SizeCategory(value);
        bits += AcSymbolCode(kind, run, size, tables).Length + size;
    });
    return bits;
}

BlockBits CountBits(const Indices& zigzag, int dcDifference) {
    return CountBits(zigzag, dcDifference, HuffmanClass::Luminance);
}

BlockBits CountBits(const Indices& zigzag, int dcDifference, HuffmanClass tables) {
    const int size = SizeCategory(dcDifference);
    return {DcCode(size, tables).Length + size, CountAcBits(zigzag, tables)};
}

std::string SymbolKindName(SymbolKind kind) {
    switch (kind) {
    case SymbolKind::Dc:
        return "DC";
    case SymbolKind::Ac:
        return "AC";
    case SymbolKind::Zrl:
        return "ZRL";
    case SymbolKind::Eob:
        break;
    }
    return "EOB";
}

std::string BitText(std::uint32_t bits, int length) {
    std::string text(static_cast<std::size_t>(length), '0');
    for (int i = 0; i < length; ++i) {
        if ((bits >> (length - 1 - i)) & 1U) {
            text[static_cast<std::size_t>(i)] = '1';
        }
    }
    return text;
}

} // namespace quadrel::jpeg
