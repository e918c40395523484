#include "jpeg/jfif_writer.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace quadrel::jpeg {

namespace {

constexpr int kMaxSide = 65535;
constexpr int kMaxDcSize = 11; // 8-bit samples: DC differences need at most 11 bits
constexpr int kMaxAcSize = 10;
constexpr int kZrl = 0xf0;
constexpr int kEob = 0x00;

void Put8(std::string& out, int value) {
    out.push_back(static_cast<char>(static_cast<std::uint8_t>(value)));
}
void Put16(std::string& out, int value) {
    Put8(out, value >> 8);
    Put8(out, value & 0xff);
}
void Marker(std::string& out, int code) {
    Put8(out, 0xff);
    Put8(out, code);
}

/// Where a component's tables sit: slots 0 and 1 the DC and AC tables of the
/// luminance pair, 2 and 3 of the chrominance pair.
int DcSlot(const CodedComponent& c) {
    return c.HuffmanTable * 2;
}
int AcSlot(const CodedComponent& c) {
    return c.HuffmanTable * 2 + 1;
}

/// Visits every symbol of the scan in coding order: visit.Symbol(slot,
/// symbol, bits, size) and, before each restart, visit.Restart(number).
class ScanWalk {
public:
    ScanWalk(const CodedPicture& picture, int restartInterval)
        : picture_(picture), restart_(restartInterval) {
        for (const CodedComponent& c : picture.Components) {
            maxH_ = std::max(maxH_, c.H);
            maxV_ = std::max(maxV_, c.V);
        }
        if (picture.Components.size() == 1) {
            mcusAcross_ = picture.Components[0].BlocksAcross;
            mcusDown_ = picture.Components[0].BlocksDown;
        } else {
            mcusAcross_ = (picture.Width + maxH_ * 8 - 1) / (maxH_ * 8);
            mcusDown_ = (picture.Height + maxV_ * 8 - 1) / (maxV_ * 8);
        }
    }

    /// Whether the stored blocks cover every MCU.
    bool Covered() const {
        const bool single = picture_.Components.size() == 1;
        return std::all_of(
            picture_.Components.begin(), picture_.Components.end(), [&](const CodedComponent& c) {
                const int h = single ? 1 : c.H;
                const int v = single ? 1 : c.V;
                return c.BlocksAcross >= mcusAcross_ * h && c.BlocksDown >= mcusDown_ * v &&
                       c.Blocks.size() == static_cast<std::size_t>(c.BlocksAcross) *
                                              static_cast<std::size_t>(c.BlocksDown);
            });
    }

    template <typename Visit> Status Run(Visit& visit) const {
        const bool single = picture_.Components.size() == 1;
        std::vector<int> previous(picture_.Components.size(), 0);
        std::int64_t mcu = 0;
        for (int my = 0; my < mcusDown_; ++my) {
            for (int mx = 0; mx < mcusAcross_; ++mx, ++mcu) {
                if (restart_ > 0 && mcu > 0 && mcu % restart_ == 0) {
                    visit.Restart(static_cast<int>((mcu / restart_ - 1) % 8));
                    std::fill(previous.begin(), previous.end(), 0);
                }
                for (std::size_t c = 0; c < picture_.Components.size(); ++c) {
                    const CodedComponent& k = picture_.Components[c];
                    const int h = single ? 1 : k.H;
                    const int v = single ? 1 : k.V;
                    for (int yi = 0; yi < v; ++yi) {
                        for (int xi = 0; xi < h; ++xi) {
                            const std::size_t at = static_cast<std::size_t>(my * v + yi) *
                                                       static_cast<std::size_t>(k.BlocksAcross) +
                                                   static_cast<std::size_t>(mx * h + xi);
                            if (Status s = Block(k, k.Blocks[at], previous[c], visit); !s) {
                                return s;
                            }
                        }
                    }
                }
            }
        }
        return Done{};
    }

private:
    template <typename Visit>
    static Status Block(const CodedComponent& k, const CoefficientBlock& block, int& previous,
                        Visit& visit) {
        const int diff = block[0] - previous;
        previous = block[0];
        const int dcSize = SizeCategory(diff);
        if (dcSize > kMaxDcSize) {
            return Fail("a DC difference needs more than 11 bits.");
        }
        visit.Symbol(DcSlot(k), dcSize, AmplitudeBits(diff, dcSize), dcSize);
        int run = 0;
        for (std::size_t z = 1; z < kBlockCells; ++z) {
            const int value = block[static_cast<std::size_t>(kZigZag[z])];
            if (value == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16) {
                visit.Symbol(AcSlot(k), kZrl, 0, 0);
            }
            const int size = SizeCategory(value);
            if (size > kMaxAcSize) {
                return Fail("an AC coefficient needs more than 10 bits.");
            }
            visit.Symbol(AcSlot(k), run * 16 + size, AmplitudeBits(value, size), size);
            run = 0;
        }
        if (run > 0) {
            visit.Symbol(AcSlot(k), kEob, 0, 0);
        }
        return Done{};
    }

    const CodedPicture& picture_;
    int restart_;
    int maxH_ = 1;
    int maxV_ = 1;
    int mcusAcross_ = 0;
    int mcusDown_ = 0;
};

using SymbolCounts = std::array<std::int64_t, 256>;

struct Counter {
    std::array<SymbolCounts, 4> Counts{};
    void Symbol(int slot, int symbol, std::uint32_t /*bits*/, int /*size*/) {
        ++Counts[static_cast<std::size_t>(slot)][static_cast<std::size_t>(symbol)];
    }
    void Restart(int /*number*/) {}
};

using CodeTable = std::array<HuffmanCode, 256>;

/// Canonical codes: consecutive within a length, doubled when the length grows.
CodeTable Codes(const HuffmanTableSpec& spec) {
    CodeTable codes{};
    int code = 0;
    std::size_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < spec.Counts[static_cast<std::size_t>(length - 1)]; ++i) {
            codes[spec.Symbols[next++]] = {static_cast<std::uint16_t>(code), length};
            ++code;
        }
        code <<= 1;
    }
    return codes;
}

/// The entropy-coded data: bytes of 0xff followed by a stuffed 0x00, the
/// last byte before a marker filled up with 1 bits.
class BitWriter {
public:
    BitWriter(std::string& out, const std::array<CodeTable, 4>& tables)
        : out_(out), tables_(tables) {}

    void Symbol(int slot, int symbol, std::uint32_t bits, int size) {
        const HuffmanCode& code =
            tables_[static_cast<std::size_t>(slot)][static_cast<std::size_t>(symbol)];
        Put(code.Code, code.Length);
        Put(bits, size);
    }
    void Restart(int number) {
        Flush();
        Marker(out_, 0xd0 + number);
    }
    void Flush() {
        if (count_ > 0) {
            Put((1U << (8 - count_)) - 1U, 8 - count_);
        }
    }

private:
    void Put(std::uint32_t bits, int length) {
        buffer_ = (buffer_ << length) | bits;
        count_ += length;
        while (count_ >= 8) {
            count_ -= 8;
            const auto byte = static_cast<std::uint8_t>(buffer_ >> count_);
            Put8(out_, byte);
            if (byte == 0xff) {
                Put8(out_, 0);
            }
        }
        buffer_ &= (std::uint64_t{1} << count_) - 1U;
    }

    std::string& out_;
    const std::array<CodeTable, 4>& tables_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

Status Check(const CodedPicture& picture, const JfifOptions& options) {
    if (picture.Width <= 0 || picture.Height <= 0 || picture.Width > kMaxSide ||
        picture.Height > kMaxSide) {
        return Fail("a baseline JPEG file holds pictures of 1 to 65535 pixels a side.");
    }
    if (picture.Components.empty() || picture.Components.size() > 4 ||
        picture.QuantTables.empty() || picture.QuantTables.size() > 4) {
        return Fail("a baseline JPEG file holds 1 to 4 components and 1 to 4 tables.");
    }
    if (options.RestartInterval < 0 || options.RestartInterval > kMaxSide) {
        return Fail("the restart interval must be 0 to 65535 MCUs.");
    }
    int blocksPerMcu = 0;
    for (const CodedComponent& c : picture.Components) {
        if (c.H < 1 || c.H > 4 || c.V < 1 || c.V > 4 || c.QuantTable < 0 ||
            c.QuantTable >= static_cast<int>(picture.QuantTables.size()) || c.HuffmanTable < 0 ||
            c.HuffmanTable > 1 || c.Id < 0 || c.Id > 255) {
            return Fail("a component's sampling, identifier or tables do not fit a baseline file.");
        }
        blocksPerMcu += c.H * c.V;
    }
    if (picture.Components.size() > 1 && blocksPerMcu > 10) {
        return Fail("an MCU of a baseline JPEG file holds at most 10 blocks.");
    }
    for (const QuantTable& t : picture.QuantTables) {
        if (std::any_of(t.begin(), t.end(), [](int q) { return q < 1 || q > 255; })) {
            return Fail("a baseline JPEG file's table entries are 1 to 255.");
        }
    }
    return Done{};
}

void WriteHeaders(const CodedPicture& picture, const JfifOptions& options,
                  const std::array<std::optional<HuffmanTableSpec>, 4>& specs, std::string& out) {
    Marker(out, 0xd8); // SOI
    Marker(out, 0xe0); // APP0: JFIF 1.01, no units, 1:1, no thumbnail
    Put16(out, 16);
    out.append("JFIF", 4);
    Put8(out, 0);
    Put8(out, 1);
    Put8(out, 1);
    Put8(out, 0);
    Put16(out, 1);
    Put16(out, 1);
    Put8(out, 0);
    Put8(out, 0);
    std::vector<bool> sentTable(picture.QuantTables.size(), false);
    for (const CodedComponent& c : picture.Components) {
        const auto t = static_cast<std::size_t>(c.QuantTable);
        if (sentTable[t]) {
            continue;
        }
        sentTable[t] = true;
        Marker(out, 0xdb); // DQT, 8-bit entries in zig-zag order
        Put16(out, 2 + 1 + kBlockCells);
        Put8(out, c.QuantTable);
        for (const int index : kZigZag) {
            Put8(out, picture.QuantTables[t][static_cast<std::size_t>(index)]);
        }
    }
    const auto components = static_cast<int>(picture.Components.size());
    Marker(out, 0xc0); // SOF0
    Put16(out, 8 + 3 * components);
    Put8(out, 8);
    Put16(out, picture.Height);
    Put16(out, picture.Width);
    Put8(out, components);
    for (const CodedComponent& c : picture.Components) {
        Put8(out, c.Id);
        Put8(out, c.H * 16 + c.V);
        Put8(out, c.QuantTable);
    }
    std::array<bool, 4> sentHuffman{};
    for (const CodedComponent& c : picture.Components) {
        for (const int slot : {DcSlot(c), AcSlot(c)}) {
            const auto s = static_cast<std::size_t>(slot);
            if (sentHuffman[s] || !specs[s]) {
                continue;
            }
            sentHuffman[s] = true;
            const HuffmanTableSpec& spec = *specs[s];
            Marker(out, 0xc4); // DHT
            Put16(out, 2 + 1 + 16 + static_cast<int>(spec.Symbols.size()));
            Put8(out, (slot % 2) * 16 + slot / 2);
            for (const std::uint8_t n : spec.Counts) {
                Put8(out, n);
            }
            out.append(spec.Symbols.begin(), spec.Symbols.end());
        }
    }
    if (options.RestartInterval > 0) {
        Marker(out, 0xdd); // DRI
        Put16(out, 4);
        Put16(out, options.RestartInterval);
    }
    Marker(out, 0xda); // SOS: the whole of every coefficient of every component
    Put16(out, 6 + 2 * components);
    Put8(out, components);
    for (const CodedComponent& c : picture.Components) {
        Put8(out, c.Id);
        Put8(out, c.HuffmanTable * 16 + c.HuffmanTable);
    }
    Put8(out, 0);
    Put8(out, 63);
    Put8(out, 0);
}

} // namespace

HuffmanTableSpec OptimalTable(const std::array<std::int64_t, 256>& counts) {
    constexpr int kMaxLength = 32; // no Huffman tree over 257 symbols grows deeper here
    std::array<std::int64_t, 257> freq{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    // A pseudo-symbol counted once takes the last code of the longest length,
    // so no real symbol gets a code of all ones.
    freq[256] = 1;
    std::array<int, 257> codeSize{};
    std::array<int, 257> others{};
    others.fill(-1);
    for (;;) {
        // The two smallest non-zero counts; ties go to the larger symbol.
        int c1 = -1;
        int c2 = -1;
        for (int i = 0; i <= 256; ++i) {
            const std::int64_t f = freq[static_cast<std::size_t>(i)];
            if (f != 0 && (c1 < 0 || f <= freq[static_cast<std::size_t>(c1)])) {
                c1 = i;
            }
        }
        for (int i = 0; i <= 256; ++i) {
            const std::int64_t f = freq[static_cast<std::size_t>(i)];
            if (f != 0 && i != c1 && (c2 < 0 || f <= freq[static_cast<std::size_t>(c2)])) {
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
        freq[static_cast<std::size_t>(c1)] += freq[static_cast<std::size_t>(c2)];
        freq[static_cast<std::size_t>(c2)] = 0;
        // Every symbol in either branch sinks one level; c2's branch joins c1's.
        ++codeSize[static_cast<std::size_t>(c1)];
        while (others[static_cast<std::size_t>(c1)] >= 0) {
            c1 = others[static_cast<std::size_t>(c1)];
            ++codeSize[static_cast<std::size_t>(c1)];
        }
        others[static_cast<std::size_t>(c1)] = c2;
        ++codeSize[static_cast<std::size_t>(c2)];
        while (others[static_cast<std::size_t>(c2)] >= 0) {
            c2 = others[static_cast<std::size_t>(c2)];
            ++codeSize[static_cast<std::size_t>(c2)];
        }
    }
    std::array<int, kMaxLength + 1> bits{};
    for (const int size : codeSize) {
        if (size > 0) {
            ++bits[static_cast<std::size_t>(std::min(size, kMaxLength))];
        }
    }
    // Lengths over 16: a pair at the longest length moves up, one of them to
    // its prefix's length and a shorter code splits into two for the other.
    int i = kMaxLength;
    for (; i > 16; --i) {
        while (bits[static_cast<std::size_t>(i)] > 0) {
            int j = i - 2;
            while (bits[static_cast<std::size_t>(j)] == 0) {
                --j;
            }
            bits[static_cast<std::size_t>(i)] -= 2;
            ++bits[static_cast<std::size_t>(i - 1)];
            bits[static_cast<std::size_t>(j) + 1] += 2;
            --bits[static_cast<std::size_t>(j)];
        }
    }
    while (bits[static_cast<std::size_t>(i)] == 0) {
        --i;
    }
    --bits[static_cast<std::size_t>(i)]; // the pseudo-symbol's code
    HuffmanTableSpec spec;
    for (std::size_t length = 1; length <= 16; ++length) {
        spec.Counts[length - 1] = static_cast<std::uint8_t>(bits[length]);
    }
    // Symbols in order of their first lengths, as the standard's procedure lists them.
    for (int length = 1; length <= kMaxLength; ++length) {
        for (int s = 0; s <= 255; ++s) {
            if (codeSize[static_cast<std::size_t>(s)] == length) {
                spec.Symbols.push_back(static_cast<std::uint8_t>(s));
            }
        }
    }
    return spec;
}

Result<std::string> WriteJfif(const CodedPicture& picture, const JfifOptions& options) {
    Result<JfifFile> file = WriteJfifFile(picture, options);
    if (!file) {
        return Fail(file.Message());
    }
    return std::move(file->Bytes);
}

Result<JfifFile> WriteJfifFile(const CodedPicture& picture, const JfifOptions& options) {
    if (const Status valid = Check(picture, options); !valid) {
        return Fail(valid.Message());
    }
    const ScanWalk walk(picture, options.RestartInterval);
    if (!walk.Covered()) {
        return Fail("the coded picture does not hold a block for every MCU.");
    }
    std::array<std::optional<HuffmanTableSpec>, 4> specs;
    if (options.OptimiseHuffman) {
        Counter counter;
        if (const Status counted = walk.Run(counter); !counted) {
            return Fail(counted.Message());
        }
        for (std::size_t s = 0; s < specs.size(); ++s) {
            if (std::any_of(counter.Counts[s].begin(), counter.Counts[s].end(),
                            [](std::int64_t n) { return n > 0; })) {
                specs[s] = OptimalTable(counter.Counts[s]);
            }
        }
    } else {
        for (const HuffmanClass c : {HuffmanClass::Luminance, HuffmanClass::Chrominance}) {
            const std::size_t base = c == HuffmanClass::Luminance ? 0 : 2;
            specs[base] = DcTableSpec(c);
            specs[base + 1] = AcTableSpec(c);
        }
    }
    std::array<CodeTable, 4> tables{};
    for (std::size_t s = 0; s < specs.size(); ++s) {
        if (specs[s]) {
            tables[s] = Codes(*specs[s]);
        }
    }
    JfifFile file;
    std::string& out = file.Bytes;
    WriteHeaders(picture, options, specs, out);
    const std::size_t scanStart = out.size();
    BitWriter writer(out, tables);
    if (const Status coded = walk.Run(writer); !coded) {
        return Fail(coded.Message());
    }
    writer.Flush();
    file.ScanBytes = out.size() - scanStart;
    Marker(out, 0xd9); // EOI
    return file;
}

CodedPicture GreyCodedPicture(const PictureAnalysis& analysis, int width, int height,
                              const QuantTable& table) {
    CodedPicture picture;
    picture.Width = width;
    picture.Height = height;
    picture.QuantTables.push_back(table);
    CodedComponent component;
    component.BlocksAcross = analysis.BlocksAcross;
    component.BlocksDown = analysis.BlocksDown;
    component.Blocks = analysis.Quantised;
    picture.Components.push_back(std::move(component));
    return picture;
}

} // namespace quadrel::jpeg
