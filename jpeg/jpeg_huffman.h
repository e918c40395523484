#pragma once
// Entropy coding of one block with the default Huffman tables of the JPEG
// standard's Annex K (luminance, and chrominance for Cb and Cr): the DC
// difference and the run-length symbols of the 63 AC indices, each with its
// code and amplitude bits.

#include "jpeg/jpeg_block.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quadrel::jpeg {

struct HuffmanCode {
    std::uint16_t Code = 0; ///< the code's bits, most significant first
    int Length = 0;
};

/// Bits needed for a value's magnitude: 0 for 0, 1 for +-1, 2 for +-2..3, ...
int SizeCategory(int value);
/// The `size` low bits sent after a code: the value itself when positive, the
/// value - 1 in two's complement (ones' complement of |value|) when negative.
std::uint32_t AmplitudeBits(int value, int size);

/// Which pair of default tables codes a component: Y, or Cb and Cr.
enum class HuffmanClass : std::uint8_t { Luminance, Chrominance };

/// A table as a file's DHT segment lists it: how many codes of each length
/// 1..16, then the symbols in code order (an AC symbol is run * 16 + size).
struct HuffmanTableSpec {
    std::array<std::uint8_t, 16> Counts{};
    std::vector<std::uint8_t> Symbols;
};
/// The default tables the codes below come from.
HuffmanTableSpec DcTableSpec(HuffmanClass tables);
HuffmanTableSpec AcTableSpec(HuffmanClass tables);

/// Default DC code of a size category 0..11.
HuffmanCode DcCode(int size, HuffmanClass tables);
/// Default AC code of (run 0..15, size 0..10); length 0 for a pair without a code.
HuffmanCode AcCode(int run, int size, HuffmanClass tables);

/// Default luminance DC code of a size category 0..11.
HuffmanCode DcCode(int size);
/// Default luminance AC code of (run 0..15, size 0..10); (0, 0) is EOB, (15, 0) ZRL.
/// Length 0 for a pair that has no code.
HuffmanCode AcCode(int run, int size);

enum class SymbolKind : std::uint8_t { Dc, Ac, Zrl, Eob };

/// "DC", "AC", "ZRL" or "EOB", as tables and reports name them.
std::string SymbolKindName(SymbolKind kind);

struct Symbol {
    SymbolKind Kind = SymbolKind::Eob;
    int Run = 0;       ///< zeros skipped before an AC value; 15 for ZRL; 0 otherwise
    int Size = 0;      ///< size category of the amplitude
    int Amplitude = 0; ///< the DC difference or the AC index; 0 for ZRL and EOB
    HuffmanCode Code;
    std::uint32_t Bits = 0; ///< the amplitude bits, Size of them
    int Length() const { return Code.Length + Size; }
};

/// DC + at most 63 AC symbols (each ZRL stands for 16 zeros and an EOB for at
/// least one), so 64 always suffice.
struct SymbolList {
    std::array<Symbol, kBlockCells> Items{};
    int Count = 0;
    const Symbol* begin() const { return Items.data(); }
    const Symbol* end() const { return Items.data() + Count; }
};

/// The symbols of a block given in zig-zag order; the DC symbol codes dcDifference.
SymbolList EncodeBlock(const Indices& zigzag, int dcDifference);
/// The same into a list the caller keeps (no copy of the list).
void EncodeBlock(const Indices& zigzag, int dcDifference, SymbolList& list);
/// The same with the given class's DC and AC tables.
void EncodeBlock(const Indices& zigzag, int dcDifference, SymbolList& list, HuffmanClass tables);

struct BlockBits {
    int Dc = 0;
    int Ac = 0;
    int Total() const { return Dc + Ac; }
};
/// The same count as summing EncodeBlock's symbols, without building them.
BlockBits CountBits(const Indices& zigzag, int dcDifference);
/// The same with the given class's DC and AC tables.
BlockBits CountBits(const Indices& zigzag, int dcDifference, HuffmanClass tables);
/// Bits of the 63 AC indices alone (zig-zag positions 1..63).
int CountAcBits(const Indices& zigzag);
/// The same with the given class's AC table.
int CountAcBits(const Indices& zigzag, HuffmanClass tables);
/// CountAcBits(ToZigZag(rowMajor), tables) for a block in row-major order (as
/// the encoder's Quantise gives it), visiting only the non-zero indices.
int CountAcBitsRowMajor(const Indices& rowMajor, HuffmanClass tables);

/// "0110": the low `length` bits of `bits`, most significant first.
std::string BitText(std::uint32_t bits, int length);

} // namespace quadrel::jpeg
