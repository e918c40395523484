#include "jpeg_file/jpeg_contents.h"

#include "jpeg/encoder_dct.h"
#include "jpeg/jpeg_huffman.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quadrel::jpeg_file {

namespace {

/// The pieces one after another. Appending them one by one also keeps gcc 12
/// at -O3 from a false -Wrestrict report on "text" + std::string chains.
template <typename... Parts> std::string Joined(const Parts&... parts) {
    std::string text;
    (text.append(std::string_view(parts)), ...);
    return text;
}

int MaxSampling(const Frame& frame, bool horizontal) {
    int most = 1;
    for (const FrameComponent& c : frame.Components) {
        most = std::max(most, horizontal ? c.H : c.V);
    }
    return most;
}

std::string Fixed(double value, int decimals) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    return text.data();
}

std::string Hex(std::size_t value, int digits) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%0*zX", digits, value);
    return text.data();
}

} // namespace

Result<JpegContents> JpegContents::Open(std::vector<std::uint8_t> bytes) {
    Result<JpegFile> file = ReadJpegFile(bytes);
    if (!file) {
        return Fail(file.Message());
    }
    JpegContents inspection;
    inspection.bytes_ = std::move(bytes);
    inspection.file_ = std::move(file).Value();
    if (inspection.file_.FrameHeader) {
        Result<jpeg::CodedPicture> coefficients =
            ReadStoredCoefficients(inspection.bytes_, inspection.libjpegWarnings_);
        if (coefficients) {
            inspection.coefficients_ = std::move(coefficients).Value();
        } else {
            inspection.coefficientFailure_ = coefficients.Message();
        }
    } else {
        inspection.coefficientFailure_ = "The file has no frame header.";
    }
    return inspection;
}

std::vector<std::string> JpegContents::Warnings() const {
    std::vector<std::string> all = file_.Warnings;
    for (const std::string& w : libjpegWarnings_) {
        if (std::find(all.begin(), all.end(), w) == all.end()) {
            all.push_back(w);
        }
    }
    return all;
}

bool JpegContents::Sequential() const {
    return file_.FrameHeader &&
           (file_.FrameHeader->Kind == Process::Baseline ||
            file_.FrameHeader->Kind == Process::Extended) &&
           file_.FrameHeader->Precision == 8;
}

Result<BlockContents> JpegContents::Block(BlockAddress address) const {
    if (!coefficients_) {
        return Fail("The blocks cannot be read: " + coefficientFailure_);
    }
    const auto& components = coefficients_->Components;
    if (address.Component < 0 || address.Component >= static_cast<int>(components.size())) {
        return Fail("The file has no component " + std::to_string(address.Component) + " (it has " +
                    std::to_string(components.size()) + ", counted from 0).");
    }
    const jpeg::CodedComponent& component = components[static_cast<std::size_t>(address.Component)];
    if (address.X < 0 || address.Y < 0 || address.X >= component.BlocksAcross ||
        address.Y >= component.BlocksDown) {
        return Fail("Block " + std::to_string(address.X) + ", " + std::to_string(address.Y) +
                    " lies outside component " + std::to_string(address.Component) +
                    ", which has " + std::to_string(component.BlocksAcross) + " x " +
                    std::to_string(component.BlocksDown) + " blocks (counted from 0).");
    }
    const auto tableIndex = static_cast<std::size_t>(component.QuantTable);
    if (tableIndex >= coefficients_->QuantTables.size()) {
        return Fail("The block's quantisation table is missing.");
    }
    BlockContents block;
    block.Address = address;
    block.ComponentId = component.Id;
    block.QuantTableId = component.QuantTable;
    block.Table = coefficients_->QuantTables[tableIndex];
    const std::size_t index =
        static_cast<std::size_t>(address.Y) * static_cast<std::size_t>(component.BlocksAcross) +
        static_cast<std::size_t>(address.X);
    const jpeg::CoefficientBlock& stored = component.Blocks[index];
    for (std::size_t i = 0; i < stored.size(); ++i) {
        block.Coefficients[i] = stored[i];
        block.Dequantised[i] = stored[i] * block.Table[i];
    }
    jpeg::EncoderBlockCodec(block.Table, jpeg::DctMethod::Float)
        .Inverse(block.Coefficients, block.Samples);

    if (!Sequential()) {
        block.NoBits = "Where a block's bits lie is shown for sequential Huffman-coded files only.";
        return block;
    }
    Result<ScanDecoding> decoded = DecodeSequentialScans(bytes_, file_, address);
    if (!decoded) {
        block.NoBits = decoded.Message();
        return block;
    }
    const auto componentIndex = static_cast<std::size_t>(address.Component);
    const bool held =
        componentIndex < decoded->Bits.size() && index < decoded->Bits[componentIndex].size();
    if (!held) {
        block.NoBits = "The scans decoded do not hold this block.";
    } else if (decoded->Bits[componentIndex][index].BitLength == 0) {
        // Padding beyond the picture's edge in a scan of one component, or a
        // block after data the decoder could not read.
        block.NoBits = "No bits of the file code this block.";
    } else {
        block.Bits = decoded->Bits[componentIndex][index];
        block.Symbols = std::move(decoded->DetailSymbols);
    }
    return block;
}

BlockAddress BlockAtPixel(const Frame& frame, int component, int x, int y) {
    BlockAddress address;
    address.Component = component;
    if (component < 0 || component >= static_cast<int>(frame.Components.size())) {
        return address;
    }
    const FrameComponent& c = frame.Components[static_cast<std::size_t>(component)];
    address.X = x * c.H / MaxSampling(frame, true) / 8;
    address.Y = y * c.V / MaxSampling(frame, false) / 8;
    return address;
}

PixelRect PixelsOfBlock(const Frame& frame, BlockAddress address) {
    PixelRect rect;
    if (address.Component < 0 || address.Component >= static_cast<int>(frame.Components.size())) {
        return rect;
    }
    const FrameComponent& c = frame.Components[static_cast<std::size_t>(address.Component)];
    rect.Width = 8 * MaxSampling(frame, true) / c.H;
    rect.Height = 8 * MaxSampling(frame, false) / c.V;
    rect.X = address.X * rect.Width;
    rect.Y = address.Y * rect.Height;
    return rect;
}

std::string QualityLabel(const QuantisationTable& table) {
    if (table.Exact) {
        return "quality \u2248 " + std::to_string(table.QualityEstimate) + " (exact)";
    }
    return "nearest quality " + std::to_string(table.QualityEstimate) + ", off by " +
           Fixed(table.Deviation, 2) + " on average: not a scaled standard table";
}

std::string HuffmanTableName(const HuffmanTable& table) {
    return (table.Kind == HuffmanKind::Dc ? "DC " : "AC ") + std::to_string(table.Id);
}

std::vector<HuffmanCodeEntry> HuffmanCodes(const HuffmanTable& table) {
    std::vector<HuffmanCodeEntry> codes;
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int k = 0; k < table.Counts[static_cast<std::size_t>(length - 1)]; ++k) {
            if (next >= table.Values.size()) {
                return codes;
            }
            codes.push_back({table.Values[next++], jpeg::BitText(code, length)});
            ++code;
        }
        code <<= 1U;
    }
    return codes;
}

std::string SymbolText(int symbol, HuffmanKind kind) {
    if (kind == HuffmanKind::Dc) {
        return "size " + std::to_string(symbol);
    }
    if (symbol == 0x00) {
        return "EOB";
    }
    if (symbol == 0xF0) {
        return "ZRL";
    }
    return std::to_string(symbol >> 4) + "/" + std::to_string(symbol & 15);
}

std::string FrameLine(const Frame& frame) {
    std::string line =
        Joined("SOF", std::to_string(frame.Marker - 0xC0), " ", ProcessName(frame.Kind), ", ",
               std::to_string(frame.Precision), "-bit, ", std::to_string(frame.Width), " x ",
               std::to_string(frame.Height), ", ", std::to_string(frame.Components.size()),
               frame.Components.size() == 1 ? " component" : " components");
    if (!frame.SubsamplingName.empty()) {
        line.append(", ").append(frame.SubsamplingName);
    }
    return Joined(line, ", MCU ", std::to_string(frame.McuWidth), " x ",
                  std::to_string(frame.McuHeight), " (", std::to_string(frame.McusAcross), " x ",
                  std::to_string(frame.McusDown), ")");
}

std::string ComponentLine(const FrameComponent& component) {
    return Joined(std::to_string(component.Id), " (", std::to_string(component.H), "x",
                  std::to_string(component.V), ", table ", std::to_string(component.QuantTable),
                  ")");
}

std::string ScanLine(const Scan& scan) {
    std::string line = "components";
    for (const ScanComponent& c : scan.Components) {
        line.append(" ").append(std::to_string(c.Id));
    }
    line = Joined(line, ", Ss ", std::to_string(scan.Ss), " Se ", std::to_string(scan.Se), " Ah ",
                  std::to_string(scan.Ah), " Al ", std::to_string(scan.Al), ", ",
                  std::to_string(scan.DataLength), " bytes at ", std::to_string(scan.DataOffset));
    if (scan.RestartMarkers > 0) {
        line = Joined(line, ", ", std::to_string(scan.RestartMarkers),
                      scan.RestartMarkers == 1 ? " restart" : " restarts");
    }
    return line;
}

MarkedBytes BitsAround(std::span<const std::uint8_t> bytes, BlockBitRange range, int contextBytes,
                       int mostBytes) {
    MarkedBytes out;
    const std::size_t size = bytes.size();
    const std::size_t startByte = static_cast<std::size_t>(range.BitOffset / 8U);
    if (startByte >= size) {
        return out;
    }
    // Which bits of which bytes hold the block: stuffed zeros after 0xFF do not count.
    std::vector<std::pair<std::size_t, std::array<bool, 8>>> marks;
    std::size_t at = startByte;
    auto bit = static_cast<int>(range.BitOffset % 8U);
    std::uint32_t left = range.BitLength;
    while (left > 0 && at < size) {
        std::array<bool, 8> mask{};
        for (; bit < 8 && left > 0; ++bit, --left) {
            mask[static_cast<std::size_t>(bit)] = true;
        }
        marks.emplace_back(at, mask);
        const bool stuffed = bytes[at] == 0xFF && at + 1 < size && bytes[at + 1] == 0x00;
        at += stuffed ? 2 : 1;
        bit = 0;
    }
    const std::size_t lastByte = marks.empty() ? startByte : marks.back().first;
    const auto context = static_cast<std::size_t>(std::max(0, contextBytes));
    const std::size_t first = startByte > context ? startByte - context : 0;
    const std::size_t end =
        std::min({size, lastByte + 1 + context, first + static_cast<std::size_t>(mostBytes)});
    const int digits = size > 0xFFFFFF ? 8 : 6;
    std::size_t mark = 0;
    for (std::size_t i = first; i < end; ++i) {
        std::string line = Hex(i, digits) + "  " + Hex(bytes[i], 2) + "  ";
        const std::size_t bitsAt = out.Text.size() + line.size();
        for (int b = 7; b >= 0; --b) {
            line += ((bytes[i] >> static_cast<unsigned>(b)) & 1U) != 0 ? '1' : '0';
        }
        while (mark < marks.size() && marks[mark].first < i) {
            ++mark;
        }
        if (mark < marks.size() && marks[mark].first == i) {
            const std::array<bool, 8>& mask = marks[mark].second;
            std::size_t b = 0;
            while (b < 8) {
                if (!mask[b]) {
                    ++b;
                    continue;
                }
                const std::size_t from = b;
                while (b < 8 && mask[b]) {
                    ++b;
                }
                out.Marked.emplace_back(bitsAt + from, bitsAt + b);
            }
        } else if (i > 0 && bytes[i - 1] == 0xFF && bytes[i] == 0x00 && i > startByte &&
                   i <= lastByte) {
            line += "  stuffed";
        }
        out.Text += line + "\n";
    }
    return out;
}

} // namespace quadrel::jpeg_file
