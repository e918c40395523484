#include "jpeg_file/scan_decoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

namespace quadrel::jpeg_file {

namespace {

// Memory is bounded by what the file could hold. A sequential Huffman scan
// spends at least two bits on every block it codes (a DC code and an AC code
// of a bit each), so a file of n bytes codes at most 4n blocks; a progressive
// one spends at least a bit per block in its DC scan, 8n. The blocks a
// component stores beyond those it codes (the rest of its last MCU row and
// column, at most 3 blocks each way) are covered because the count is taken
// per component from the blocks it needs to code. The slack lets a tiny file
// of a small uniform picture through.
constexpr std::uint64_t kSlackBlocks = 16384;
constexpr std::uint64_t kSequentialBlocksPerByte = 4;
constexpr std::uint64_t kProgressiveBlocksPerByte = 8;
constexpr std::size_t kMaxWarnings = 20;

std::string Text(const char* format, auto... values) {
    std::array<char, 256> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, values...);
    return buffer.data();
}

std::uint64_t DivideUp(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

/// A component's blocks as libjpeg counts them: those its pixels need, and
/// those it stores (rounded up to whole MCUs).
struct ComponentBlocks {
    int Across = 0; ///< blocks its pixels need
    int Down = 0;
    int StoredAcross = 0;
    int StoredDown = 0;
};

ComponentBlocks BlocksOf(int width, int height, int h, int v, int maxH, int maxV) {
    ComponentBlocks blocks;
    blocks.Across = static_cast<int>(DivideUp(std::uint64_t(width) * h, std::uint64_t(maxH) * 8));
    blocks.Down = static_cast<int>(DivideUp(std::uint64_t(height) * v, std::uint64_t(maxV) * 8));
    blocks.StoredAcross = static_cast<int>(DivideUp(blocks.Across, h)) * h;
    blocks.StoredDown = static_cast<int>(DivideUp(blocks.Down, v)) * v;
    return blocks;
}

/// The refusal when the frame needs more blocks than the file can code, or "".
std::string TooManyBlocks(std::uint64_t codedBlocks, std::size_t fileBytes,
                          std::uint64_t blocksPerByte) {
    if (codedBlocks <= blocksPerByte * fileBytes + kSlackBlocks) {
        return {};
    }
    return Text("The frame has %llu blocks, more than a file of %zu bytes can code.",
                static_cast<unsigned long long>(codedBlocks), fileBytes);
}

// --- Reading the entropy-coded bits ------------------------------------------

/// The bits of a scan's data, most significant first, with their place in the
/// file: a 0x00 stuffed after 0xFF is stepped over, any other byte after 0xFF
/// is a marker and ends the data (until a restart steps past an RSTn).
class ScanBits {
public:
    ScanBits(std::span<const std::uint8_t> bytes, std::size_t start)
        : bytes_(bytes), pos_(std::min(start, bytes.size())) {}

    /// Where the next bit is: byte offset * 8 + bit in the byte.
    std::uint64_t Position() const { return std::uint64_t(pos_) * 8 + bit_; }
    /// Bits read so far.
    std::uint64_t Consumed() const { return consumed_; }

    /// The next data bits, up to 16, left-aligned in 16 bits (those past the
    /// data's end 0); gives how many there are. Reads nothing.
    int Peek(std::uint32_t& value) const {
        value = 0;
        int count = 0;
        std::size_t at = pos_;
        int bit = bit_;
        while (count < 16 && (bit != 0 || DataByteAt(at))) {
            const std::uint8_t byte = bytes_[at];
            const int take = std::min(8 - bit, 16 - count);
            value = (value << take) | ((byte >> (8 - bit - take)) & ((1U << take) - 1));
            count += take;
            bit += take;
            if (bit == 8) {
                bit = 0;
                at += byte == 0xFF ? 2 : 1;
            }
        }
        value <<= 16 - count;
        return count;
    }

    /// Steps over `count` bits that Peek showed.
    void Skip(int count) {
        consumed_ += std::uint64_t(count);
        bit_ += count;
        while (bit_ >= 8) {
            bit_ -= 8;
            pos_ += bytes_[pos_] == 0xFF ? 2 : 1;
        }
    }

    /// `count` (at most 16) bits as a number; false when the data ends first.
    bool Read(int count, std::uint32_t& value) {
        value = 0;
        if (count == 0) {
            return true;
        }
        std::uint32_t next = 0;
        if (Peek(next) < count) {
            return false;
        }
        value = next >> (16 - count);
        Skip(count);
        return true;
    }

    /// Drops the rest of the current byte (the encoder's padding).
    void AlignToByte() {
        if (bit_ != 0) {
            pos_ += bytes_[pos_] == 0xFF ? 2 : 1;
            bit_ = 0;
        }
    }

    /// After AlignToByte: steps past an RSTn marker (and the 0xFF fill bytes
    /// an encoder may put before it) and gives its number 0..7, or -1 and
    /// stays when none is there.
    int TakeRestartMarker() {
        std::size_t at = pos_;
        while (at + 1 < bytes_.size() && bytes_[at] == 0xFF && bytes_[at + 1] == 0xFF) {
            ++at;
        }
        if (at + 1 < bytes_.size() && bytes_[at] == 0xFF && (bytes_[at + 1] & 0xF8) == 0xD0) {
            pos_ = at + 2;
            return bytes_[at + 1] - 0xD0;
        }
        return -1;
    }

    /// After AlignToByte: data bytes before the next marker or the file's end.
    std::size_t DataBytesLeft() const {
        std::size_t count = 0;
        for (std::size_t at = pos_; at < bytes_.size(); ++count) {
            if (bytes_[at] != 0xFF) {
                ++at;
            } else if (at + 1 < bytes_.size() && bytes_[at + 1] == 0x00) {
                at += 2;
            } else {
                break;
            }
        }
        return count;
    }

private:
    /// A data byte starts at `at`: not the end, not a marker.
    bool DataByteAt(std::size_t at) const {
        if (at >= bytes_.size()) {
            return false;
        }
        return bytes_[at] != 0xFF || (at + 1 < bytes_.size() && bytes_[at + 1] == 0x00);
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    int bit_ = 0;
    std::uint64_t consumed_ = 0;
};

// --- Huffman tables ------------------------------------------------------------

enum class Outcome : std::uint8_t { Ok, DataEnds, BadCode };

struct HuffmanSymbol {
    int Value = 0;
    std::uint32_t Code = 0;
    int Length = 0;
    std::uint64_t BitOffset = 0;
};

/// A DHT table made ready for decoding bit by bit: the largest code of each
/// length and where that length's symbols start, as libjpeg derives them.
class HuffmanDecoder {
public:
    static Result<HuffmanDecoder> Make(const HuffmanTable& table) {
        const bool dc = table.Kind == HuffmanKind::Dc;
        const std::string name = Text("%s Huffman table %d", dc ? "DC" : "AC", table.Id);
        // Code lengths in symbol order, then the canonical codes; a set of
        // counts that runs out of codes of some length (or would need the
        // all-ones code) is no Huffman code.
        std::array<int, 256> lengths{};
        int symbols = 0;
        for (int length = 1; length <= 16; ++length) {
            const int count = table.Counts[static_cast<std::size_t>(length - 1)];
            if (count < 0 || symbols + count > 256) {
                return Fail(name + " lists more than 256 codes.");
            }
            for (int i = 0; i < count; ++i) {
                lengths[static_cast<std::size_t>(symbols++)] = length;
            }
        }
        if (table.Values.size() < static_cast<std::size_t>(symbols)) {
            return Fail(name + " has fewer symbols than codes.");
        }
        HuffmanDecoder decoder;
        decoder.values_.assign(table.Values.begin(), table.Values.begin() + symbols);
        std::array<std::uint32_t, 256> codes{};
        std::uint32_t code = 0;
        int size = symbols > 0 ? lengths[0] : 0;
        for (int p = 0; p < symbols;) {
            while (p < symbols && lengths[static_cast<std::size_t>(p)] == size) {
                codes[static_cast<std::size_t>(p++)] = code++;
            }
            if (code >= (1U << size)) {
                return Fail(name + " has code lengths no Huffman code can have.");
            }
            code <<= 1;
            ++size;
        }
        int p = 0;
        for (int length = 1; length <= 16; ++length) {
            const int count = table.Counts[static_cast<std::size_t>(length - 1)];
            if (count > 0) {
                decoder.offsets_[length] =
                    p - static_cast<std::int32_t>(codes[static_cast<std::size_t>(p)]);
                p += count;
                decoder.maxCodes_[length] =
                    static_cast<std::int32_t>(codes[static_cast<std::size_t>(p - 1)]);
            }
        }
        for (int q = 0; q < symbols; ++q) {
            const int length = lengths[static_cast<std::size_t>(q)];
            if (length <= kShortBits) {
                const std::uint32_t first = codes[static_cast<std::size_t>(q)]
                                            << (kShortBits - length);
                for (std::uint32_t i = 0; i < (1U << (kShortBits - length)); ++i) {
                    decoder.short_[first + i].Length = static_cast<std::uint8_t>(length);
                }
            }
        }
        if (dc && std::any_of(decoder.values_.begin(), decoder.values_.end(),
                              [](std::uint8_t value) { return value > 15; })) {
            return Fail(name + " has a size category above 15.");
        }
        return decoder;
    }

    Outcome Decode(ScanBits& bits, HuffmanSymbol& symbol) const {
        symbol.BitOffset = bits.Position();
        std::uint32_t next = 0;
        const int available = bits.Peek(next);
        // Most codes are short: one look in the table; the others by length.
        if (const Short entry = short_[next >> (16 - kShortBits)];
            entry.Length > 0 && entry.Length <= available) {
            return Take(bits, symbol, next >> (16 - entry.Length), entry.Length);
        }
        for (int length = 1; length <= 16; ++length) {
            if (length > available) {
                return Outcome::DataEnds;
            }
            const std::uint32_t code = next >> (16 - length);
            if (static_cast<std::int32_t>(code) <= maxCodes_[length]) {
                return Take(bits, symbol, code, length);
            }
        }
        return Outcome::BadCode;
    }

private:
    static constexpr int kShortBits = 9;
    struct Short {
        std::uint8_t Length = 0; ///< 0: the code is longer
    };

    HuffmanDecoder() { maxCodes_.fill(-1); }

    Outcome Take(ScanBits& bits, HuffmanSymbol& symbol, std::uint32_t code, int length) const {
        const std::int32_t index = offsets_[length] + static_cast<std::int32_t>(code);
        if (index < 0 || index >= static_cast<std::int32_t>(values_.size())) {
            return Outcome::BadCode;
        }
        symbol.Value = values_[static_cast<std::size_t>(index)];
        symbol.Code = code;
        symbol.Length = length;
        bits.Skip(length);
        return Outcome::Ok;
    }

    std::array<std::int32_t, 17> maxCodes_{};     ///< by length; -1 when none that long
    std::array<std::int32_t, 17> offsets_{};      ///< symbol index minus code, by length
    std::array<Short, 1U << kShortBits> short_{}; ///< by the next 9 bits
    std::vector<std::uint8_t> values_;
};

/// The value `size` amplitude bits stand for (negative when the first is 0).
int Extend(std::uint32_t bits, int size) {
    if (size == 0) {
        return 0;
    }
    const int value = static_cast<int>(bits);
    return value < (1 << (size - 1)) ? value - (1 << size) + 1 : value;
}

// --- Quantisation tables ---------------------------------------------------------

/// Fills the picture's tables from each component's table (as it stood when
/// its scan began) and the last one defined under each id: one entry per id
/// 0..3 the components use, and another whenever a file redefines a table
/// between two components' scans.
void SetQuantTables(jpeg::CodedPicture& picture,
                    const std::vector<std::optional<jpeg::QuantTable>>& perComponent,
                    const std::array<std::optional<jpeg::QuantTable>, 4>& lastById,
                    const std::vector<int>& ids) {
    const std::size_t count =
        ids.empty() ? 0 : static_cast<std::size_t>(*std::max_element(ids.begin(), ids.end())) + 1;
    picture.QuantTables.assign(count, jpeg::QuantTable{});
    std::vector<bool> taken(picture.QuantTables.size(), false);
    for (std::size_t id = 0; id < picture.QuantTables.size() && id < lastById.size(); ++id) {
        if (lastById[id]) {
            picture.QuantTables[id] = *lastById[id];
        }
    }
    for (std::size_t c = 0; c < picture.Components.size(); ++c) {
        const auto id = static_cast<std::size_t>(ids[c]);
        picture.Components[c].QuantTable = ids[c];
        if (!perComponent[c]) {
            continue;
        }
        if (!taken[id]) {
            picture.QuantTables[id] = *perComponent[c];
            taken[id] = true;
        } else if (picture.QuantTables[id] != *perComponent[c]) {
            picture.Components[c].QuantTable = static_cast<int>(picture.QuantTables.size());
            picture.QuantTables.push_back(*perComponent[c]);
        }
    }
}

/// The table `id` as the file defines it before segment `before`.
std::optional<jpeg::QuantTable> QuantTableBefore(const JpegFile& file, int id, std::size_t before) {
    std::optional<jpeg::QuantTable> found;
    for (const QuantisationTable& table : file.QuantisationTables) {
        if (table.Id == id && table.SegmentIndex < before) {
            found = table.Values;
        }
    }
    return found;
}

// --- The sequential decoder ------------------------------------------------------

/// One scan's components with their tables and blocks, ready to decode.
struct ScanPart {
    std::size_t Component = 0; ///< index in the frame
    const HuffmanDecoder* Dc = nullptr;
    const HuffmanDecoder* Ac = nullptr;
};

/// Decodes sequential scans into a picture whose blocks it already holds.
class SequentialDecoder {
public:
    SequentialDecoder(std::span<const std::uint8_t> bytes, ScanDecoding& out,
                      std::optional<BlockAddress> detail)
        : bytes_(bytes), out_(out), detail_(detail) {}

    /// Decodes one scan; bad data stops it with a warning.
    void Decode(const Scan& scan, int scanNumber, const std::vector<ScanPart>& parts, int maxH,
                int maxV, int width, int height) {
        scanNumber_ = scanNumber;
        undefinedEobWarned_ = false;
        ScanBits bits(bytes_, scan.DataOffset);
        std::array<std::uint32_t, 4> predictions{};
        const bool single = parts.size() == 1;
        const jpeg::CodedComponent& first = out_.Picture.Components[parts[0].Component];
        const ComponentBlocks firstBlocks = BlocksOf(width, height, first.H, first.V, maxH, maxV);
        const std::uint64_t across =
            single ? std::uint64_t(firstBlocks.Across) : DivideUp(width, std::uint64_t(maxH) * 8);
        const std::uint64_t down =
            single ? std::uint64_t(firstBlocks.Down) : DivideUp(height, std::uint64_t(maxV) * 8);
        const std::uint64_t mcus = across * down;
        const std::uint64_t interval =
            scan.RestartInterval > 0 ? std::uint64_t(scan.RestartInterval) : 0;
        int restarts = 0;
        for (std::uint64_t mcu = 0; mcu < mcus; ++mcu) {
            if (interval > 0 && mcu > 0 && mcu % interval == 0) {
                Restart(bits, restarts++, mcu);
                predictions.fill(0);
            }
            const int mx = static_cast<int>(mcu % across);
            const int my = static_cast<int>(mcu / across);
            for (std::size_t p = 0; p < parts.size(); ++p) {
                const jpeg::CodedComponent& component = out_.Picture.Components[parts[p].Component];
                const int h = single ? 1 : component.H;
                const int v = single ? 1 : component.V;
                for (int by = 0; by < v; ++by) {
                    for (int bx = 0; bx < h; ++bx) {
                        const BlockAddress address{static_cast<int>(parts[p].Component),
                                                   mx * h + bx, my * v + by};
                        if (!DecodeBlock(bits, parts[p], address, predictions[p])) {
                            return;
                        }
                    }
                }
            }
        }
        bits.AlignToByte();
        if (const std::size_t left = bits.DataBytesLeft(); left > 0) {
            Warn(Text("Scan %d: %zu bytes of data follow its last block.", scanNumber_, left));
        }
    }

    void Warn(std::string text) {
        if (out_.Warnings.size() < kMaxWarnings) {
            out_.Warnings.push_back(std::move(text));
        }
    }

private:
    void Restart(ScanBits& bits, int index, std::uint64_t mcu) {
        bits.AlignToByte();
        const int expected = index % 8;
        const int found = bits.TakeRestartMarker();
        if (found < 0) {
            Warn(Text("Scan %d: no restart marker before MCU %llu (RST%d expected).", scanNumber_,
                      static_cast<unsigned long long>(mcu), expected));
        } else if (found != expected) {
            Warn(Text("Scan %d: RST%d before MCU %llu, where RST%d was expected.", scanNumber_,
                      found, static_cast<unsigned long long>(mcu), expected));
        }
    }

    bool Stop(const BlockAddress& address, const char* why) {
        const jpeg::CodedComponent& component =
            out_.Picture.Components[static_cast<std::size_t>(address.Component)];
        Warn(Text("Scan %d: %s in block (%d, %d) of component %d; the blocks from there on are "
                  "left zero.",
                  scanNumber_, why, address.X, address.Y, component.Id));
        return false;
    }

    bool StopAt(Outcome outcome, const BlockAddress& address) {
        return Stop(address,
                    outcome == Outcome::DataEnds ? "the data ends" : "a code no table has");
    }

    bool DecodeBlock(ScanBits& bits, const ScanPart& part, const BlockAddress& address,
                     std::uint32_t& prediction) {
        jpeg::CodedComponent& component = out_.Picture.Components[part.Component];
        const std::size_t index =
            std::size_t(address.Y) * std::size_t(component.BlocksAcross) + std::size_t(address.X);
        jpeg::CoefficientBlock& block = component.Blocks[index];
        const bool detailed = detail_ && detail_->Component == address.Component &&
                              detail_->X == address.X && detail_->Y == address.Y;
        std::vector<DecodedSymbol>* symbols = detailed ? &out_.DetailSymbols : nullptr;
        const std::uint64_t start = bits.Position();
        const std::uint64_t consumed = bits.Consumed();

        HuffmanSymbol code;
        std::uint32_t amplitude = 0;
        Outcome outcome = part.Dc->Decode(bits, code);
        if (outcome != Outcome::Ok) {
            return StopAt(outcome, address);
        }
        if (!bits.Read(code.Value, amplitude)) {
            return StopAt(Outcome::DataEnds, address);
        }
        const int difference = Extend(amplitude, code.Value);
        // libjpeg keeps the prediction in an int and wraps; so does this.
        prediction += static_cast<std::uint32_t>(difference);
        block[0] = static_cast<std::int16_t>(static_cast<std::int32_t>(prediction));
        Record(symbols, jpeg::SymbolKind::Dc, 0, code, difference, amplitude);

        for (int k = 1; k < jpeg::kBlockCells; ++k) {
            outcome = part.Ac->Decode(bits, code);
            if (outcome != Outcome::Ok) {
                block = {};
                return StopAt(outcome, address);
            }
            const int run = code.Value >> 4;
            const int size = code.Value & 15;
            if (size == 0 && run != 15) {
                // Only run 0 is an end of block; libjpeg reads the others so too.
                if (run != 0 && !undefinedEobWarned_) {
                    undefinedEobWarned_ = true;
                    Warn(Text("Scan %d: AC symbol 0x%02X (run %d, size 0) has no meaning; it "
                              "is read as the end of the block, as libjpeg reads it.",
                              scanNumber_, code.Value, run));
                }
                Record(symbols, jpeg::SymbolKind::Eob, run, code, 0, 0);
                break;
            }
            if (size == 0) {
                if (k + 16 > jpeg::kBlockCells) {
                    block = {};
                    return Stop(address, "a run of zeros beyond coefficient 63");
                }
                Record(symbols, jpeg::SymbolKind::Zrl, run, code, 0, 0);
                k += 15;
                continue;
            }
            k += run;
            if (k >= jpeg::kBlockCells) {
                block = {};
                return Stop(address, "a coefficient beyond index 63");
            }
            if (!bits.Read(size, amplitude)) {
                block = {};
                return StopAt(Outcome::DataEnds, address);
            }
            const int value = Extend(amplitude, size);
            block[static_cast<std::size_t>(jpeg::kZigZag[static_cast<std::size_t>(k)])] =
                static_cast<std::int16_t>(value);
            Record(symbols, jpeg::SymbolKind::Ac, run, code, value, amplitude);
        }
        BlockBitRange& range = out_.Bits[part.Component][index];
        range.BitOffset = start;
        range.BitLength = static_cast<std::uint32_t>(bits.Consumed() - consumed);
        return true;
    }

    static void Record(std::vector<DecodedSymbol>* symbols, jpeg::SymbolKind kind, int run,
                       const HuffmanSymbol& code, int amplitude, std::uint32_t bits) {
        if (symbols == nullptr) {
            return;
        }
        DecodedSymbol symbol;
        symbol.Kind = kind;
        symbol.Run = run;
        symbol.Size = kind == jpeg::SymbolKind::Dc ? code.Value : code.Value & 15;
        symbol.Amplitude = amplitude;
        symbol.Code = code.Code;
        symbol.CodeLength = code.Length;
        symbol.Bits = bits;
        symbol.BitOffset = code.BitOffset;
        symbols->push_back(symbol);
    }

    std::span<const std::uint8_t> bytes_;
    ScanDecoding& out_;
    std::optional<BlockAddress> detail_;
    int scanNumber_ = 0;
    bool undefinedEobWarned_ = false;
};

Status CheckFrame(const JpegFile& file) {
    if (!file.FrameHeader) {
        return Fail("The file has no frame header.");
    }
    const Frame& frame = *file.FrameHeader;
    if (frame.Kind != Process::Baseline && frame.Kind != Process::Extended) {
        return Fail("Only sequential Huffman-coded files are decoded here; this one is " +
                    std::string(ProcessName(frame.Kind)) + ".");
    }
    if (frame.Precision != 8) {
        return Fail(Text("Only 8-bit files are decoded here; this one has %d-bit samples.",
                         frame.Precision));
    }
    if (frame.Width <= 0 || frame.Height <= 0) {
        return Fail("The frame has no width or no height (a height set by a DNL marker is not "
                    "read).");
    }
    if (frame.Components.empty()) {
        return Fail("The frame has no components.");
    }
    for (const FrameComponent& component : frame.Components) {
        if (component.H < 1 || component.H > 4 || component.V < 1 || component.V > 4) {
            return Fail(Text("Component %d has sampling factors %dx%d; 1 to 4 are allowed.",
                             component.Id, component.H, component.V));
        }
    }
    if (file.Scans.empty()) {
        return Fail("The file has no scan.");
    }
    return Done{};
}

/// The tables a scan's components use, checked and made ready.
struct ScanTables {
    std::array<std::optional<HuffmanDecoder>, 4> Dc;
    std::array<std::optional<HuffmanDecoder>, 4> Ac;
};

Status PrepareScan(const Scan& scan, int number, const Frame& frame, ScanTables& tables,
                   std::vector<ScanPart>& parts) {
    const std::string name = Text("Scan %d", number);
    if (scan.Components.empty() || scan.Components.size() > 4) {
        return Fail(name +
                    Text(" has %zu components; 1 to 4 are allowed.", scan.Components.size()));
    }
    int blocksPerMcu = 0;
    for (const ScanComponent& member : scan.Components) {
        const auto found = std::find_if(frame.Components.begin(), frame.Components.end(),
                                        [&](const FrameComponent& c) { return c.Id == member.Id; });
        if (found == frame.Components.end()) {
            return Fail(name +
                        Text(" codes component %d, which the frame does not have.", member.Id));
        }
        const auto index = static_cast<std::size_t>(found - frame.Components.begin());
        if (std::any_of(parts.begin(), parts.end(),
                        [&](const ScanPart& part) { return part.Component == index; })) {
            return Fail(name + Text(" codes component %d twice.", member.Id));
        }
        if (member.DcTable < 0 || member.DcTable > 3 || member.AcTable < 0 || member.AcTable > 3) {
            return Fail(name + " names a Huffman table outside 0 to 3.");
        }
        const auto dc = static_cast<std::size_t>(member.DcTable);
        const auto ac = static_cast<std::size_t>(member.AcTable);
        if (!scan.DcTables[dc] || !scan.AcTables[ac]) {
            return Fail(name + Text(" uses Huffman table %s%d, which is not defined before it.",
                                    scan.DcTables[dc] ? "AC " : "DC ",
                                    scan.DcTables[dc] ? member.AcTable : member.DcTable));
        }
        for (auto [table, slot] : {std::pair{&*scan.DcTables[dc], &tables.Dc[dc]},
                                   std::pair{&*scan.AcTables[ac], &tables.Ac[ac]}}) {
            if (!*slot) {
                Result<HuffmanDecoder> made = HuffmanDecoder::Make(*table);
                if (!made) {
                    return Fail(name + ": " + made.Message());
                }
                *slot = std::move(made).Value();
            }
        }
        parts.push_back({index, &*tables.Dc[dc], &*tables.Ac[ac]});
        blocksPerMcu += found->H * found->V;
    }
    if (scan.Components.size() > 1 && blocksPerMcu > 10) {
        return Fail(name + Text(" has %d blocks in an MCU; at most 10 are allowed.", blocksPerMcu));
    }
    return Done{};
}

// --- libjpeg -------------------------------------------------------------------------

// libjpeg's error manager with a way back from errors and a list for its
// warnings; the manager comes first, as libjpeg hands back a pointer to it.
struct CollectingErrors {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    std::vector<std::string>* Warnings;
    long Dropped;
    std::array<char, JMSG_LENGTH_MAX> Error;
};

[[noreturn]] void OnLibjpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<CollectingErrors*>(info->err);
    errors->Manager.format_message(info, errors->Error.data());
    std::longjmp(errors->Jump, 1);
}

void OnLibjpegMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<CollectingErrors*>(info->err);
    if (level >= 0) {
        return; // trace messages
    }
    if (errors->Warnings->size() >= kMaxWarnings) {
        ++errors->Dropped;
        return;
    }
    std::array<char, JMSG_LENGTH_MAX> text{};
    errors->Manager.format_message(info, text.data());
    errors->Warnings->emplace_back(text.data());
}

/// The quantisation tables libjpeg holds: each component's as it took it
/// when the component's first scan began, and the last under each id.
struct LibjpegTables {
    std::vector<std::optional<jpeg::QuantTable>> PerComponent;
    std::vector<int> Ids;
    std::array<std::optional<jpeg::QuantTable>, 4> LastById;
};

jpeg::QuantTable Natural(const JQUANT_TBL& table) {
    jpeg::QuantTable values{};
    std::copy(std::begin(table.quantval), std::end(table.quantval), values.begin());
    return values;
}

/// Reads the file's coefficients into `picture` and `tables`; false after a
/// libjpeg error (its words in errors.Error) or a refusal (in `refusal`).
/// Only objects of the caller change here: no local with a destructor may be
/// alive when libjpeg jumps back to the setjmp.
bool ReadWithLibjpeg(std::span<const std::uint8_t> bytes, CollectingErrors& errors,
                     jpeg::CodedPicture& picture, LibjpegTables& tables, std::string& refusal) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.Manager);
    errors.Manager.error_exit = OnLibjpegError;
    errors.Manager.emit_message = OnLibjpegMessage;
    if (setjmp(errors.Jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        refusal = "The file holds no picture.";
        jpeg_destroy_decompress(&info);
        return false;
    }
    std::uint64_t needed = 0;
    std::uint64_t stored = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const ComponentBlocks blocks =
            BlocksOf(static_cast<int>(info.image_width), static_cast<int>(info.image_height),
                     component.h_samp_factor, component.v_samp_factor, info.max_h_samp_factor,
                     info.max_v_samp_factor);
        needed += std::uint64_t(blocks.Across) * std::uint64_t(blocks.Down);
        stored += std::uint64_t(blocks.StoredAcross) * std::uint64_t(blocks.StoredDown);
    }
    refusal = TooManyBlocks(needed, bytes.size(), kProgressiveBlocksPerByte);
    if (!refusal.empty()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Held to the blocks it stores and a little more, so libjpeg cannot ask
    // for more than the check above allowed.
    info.mem->max_memory_to_use =
        static_cast<long>(stored * sizeof(JBLOCK) * 2 + (std::uint64_t(16) << 20));
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    picture.Width = static_cast<int>(info.image_width);
    picture.Height = static_cast<int>(info.image_height);
    picture.Components.resize(static_cast<std::size_t>(info.num_components));
    tables.PerComponent.resize(picture.Components.size());
    tables.Ids.resize(picture.Components.size());
    for (std::size_t id = 0; id < tables.LastById.size(); ++id) {
        if (const JQUANT_TBL* table = info.quant_tbl_ptrs[id]; table != nullptr) {
            tables.LastById[id] = Natural(*table);
        }
    }
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& source = info.comp_info[c];
        const auto index = static_cast<std::size_t>(c);
        jpeg::CodedComponent& component = picture.Components[index];
        component.Id = source.component_id;
        component.H = source.h_samp_factor;
        component.V = source.v_samp_factor;
        component.HuffmanTable = source.dc_tbl_no;
        tables.Ids[index] = source.quant_tbl_no;
        if (source.quant_table != nullptr) {
            tables.PerComponent[index] = Natural(*source.quant_table);
        }
        const auto across = static_cast<JDIMENSION>(
            DivideUp(source.width_in_blocks, source.h_samp_factor) * source.h_samp_factor);
        const auto down = static_cast<JDIMENSION>(
            DivideUp(source.height_in_blocks, source.v_samp_factor) * source.v_samp_factor);
        component.BlocksAcross = static_cast<int>(across);
        component.BlocksDown = static_cast<int>(down);
        component.Blocks.resize(std::size_t(across) * down);
        for (JDIMENSION row = 0; row < down; ++row) {
            JBLOCKARRAY rows = (*info.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&info), arrays[c], row, 1, FALSE);
            for (JDIMENSION column = 0; column < across; ++column) {
                std::copy(std::begin(rows[0][column]), std::end(rows[0][column]),
                          component.Blocks[std::size_t(row) * across + column].begin());
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

Result<ScanDecoding> DecodeSequentialScans(std::span<const std::uint8_t> bytes,
                                           const JpegFile& file,
                                           std::optional<BlockAddress> detail) {
    if (Status frameOk = CheckFrame(file); !frameOk) {
        return Fail(frameOk.Message());
    }
    const Frame& frame = *file.FrameHeader;
    int maxH = 1;
    int maxV = 1;
    for (const FrameComponent& component : frame.Components) {
        maxH = std::max(maxH, component.H);
        maxV = std::max(maxV, component.V);
    }
    std::uint64_t needed = 0;
    for (const FrameComponent& component : frame.Components) {
        const ComponentBlocks blocks =
            BlocksOf(frame.Width, frame.Height, component.H, component.V, maxH, maxV);
        needed += std::uint64_t(blocks.Across) * std::uint64_t(blocks.Down);
    }
    if (std::string refusal = TooManyBlocks(needed, bytes.size(), kSequentialBlocksPerByte);
        !refusal.empty()) {
        return Fail(refusal);
    }

    // Every table is checked before any block is made.
    std::vector<ScanTables> tables(file.Scans.size());
    std::vector<std::vector<ScanPart>> parts(file.Scans.size());
    for (std::size_t s = 0; s < file.Scans.size(); ++s) {
        if (Status ready =
                PrepareScan(file.Scans[s], static_cast<int>(s + 1), frame, tables[s], parts[s]);
            !ready) {
            return Fail(ready.Message());
        }
    }

    ScanDecoding out;
    jpeg::CodedPicture& picture = out.Picture;
    picture.Width = frame.Width;
    picture.Height = frame.Height;
    out.Bits.resize(frame.Components.size());
    for (const FrameComponent& source : frame.Components) {
        const ComponentBlocks blocks =
            BlocksOf(frame.Width, frame.Height, source.H, source.V, maxH, maxV);
        jpeg::CodedComponent& component = picture.Components.emplace_back();
        component.Id = source.Id;
        component.H = source.H;
        component.V = source.V;
        component.BlocksAcross = blocks.StoredAcross;
        component.BlocksDown = blocks.StoredDown;
        component.Blocks.resize(std::size_t(blocks.StoredAcross) * std::size_t(blocks.StoredDown));
    }

    SequentialDecoder decoder(bytes, out, detail);
    std::vector<std::optional<std::size_t>> scanOf(frame.Components.size());
    for (std::size_t s = 0; s < file.Scans.size(); ++s) {
        const Scan& scan = file.Scans[s];
        const int number = static_cast<int>(s + 1);
        const bool repeats = std::any_of(parts[s].begin(), parts[s].end(), [&](const ScanPart& p) {
            return scanOf[p.Component].has_value();
        });
        if (repeats) {
            decoder.Warn(
                Text("Scan %d codes a component an earlier scan coded; it is skipped.", number));
            continue;
        }
        if (scan.Ss != 0 || scan.Se != 63 || scan.Ah != 0 || scan.Al != 0) {
            decoder.Warn(Text("Scan %d gives Ss=%d, Se=%d, Ah=%d, Al=%d in a sequential file; "
                              "it is read as a whole scan, as libjpeg reads it.",
                              number, scan.Ss, scan.Se, scan.Ah, scan.Al));
        }
        for (std::size_t p = 0; p < parts[s].size(); ++p) {
            const std::size_t c = parts[s][p].Component;
            scanOf[c] = s;
            picture.Components[c].HuffmanTable = scan.Components[p].DcTable;
            out.Bits[c].resize(picture.Components[c].Blocks.size());
        }
        decoder.Decode(scan, number, parts[s], maxH, maxV, frame.Width, frame.Height);
    }

    std::vector<std::optional<jpeg::QuantTable>> perComponent(frame.Components.size());
    std::vector<int> ids(frame.Components.size());
    std::array<std::optional<jpeg::QuantTable>, 4> lastById{};
    for (std::size_t id = 0; id < lastById.size(); ++id) {
        lastById[id] = QuantTableBefore(file, static_cast<int>(id), file.Segments.size() + 1);
    }
    for (std::size_t c = 0; c < frame.Components.size(); ++c) {
        const int id = frame.Components[c].QuantTable;
        if (id < 0 || id > 3) {
            return Fail(Text("Component %d uses quantisation table %d; 0 to 3 are allowed.",
                             frame.Components[c].Id, id));
        }
        ids[c] = id;
        if (!scanOf[c]) {
            decoder.Warn(Text("Component %d is in no scan; its blocks are left zero.",
                              frame.Components[c].Id));
            continue;
        }
        perComponent[c] = QuantTableBefore(file, id, file.Scans[*scanOf[c]].SegmentIndex);
        if (!perComponent[c]) {
            return Fail(Text("Component %d uses quantisation table %d, which is not defined "
                             "before its scan.",
                             frame.Components[c].Id, id));
        }
    }
    SetQuantTables(picture, perComponent, lastById, ids);
    return out;
}

Result<jpeg::CodedPicture> ReadStoredCoefficients(std::span<const std::uint8_t> bytes,
                                                  std::vector<std::string>& warnings) {
    if (bytes.empty()) {
        return Fail("The file is empty.");
    }
    CollectingErrors errors{};
    errors.Warnings = &warnings;
    jpeg::CodedPicture picture;
    LibjpegTables tables;
    std::string refusal;
    const bool read = ReadWithLibjpeg(bytes, errors, picture, tables, refusal);
    if (errors.Dropped > 0) {
        warnings.push_back(Text("... and %ld more warnings.", errors.Dropped));
    }
    if (!read) {
        return Fail(!refusal.empty()
                        ? refusal
                        : "libjpeg cannot read the file: " + std::string(errors.Error.data()));
    }
    SetQuantTables(picture, tables.PerComponent, tables.LastById, tables.Ids);
    return picture;
}

} // namespace quadrel::jpeg_file
