#include "jpeg_file/jpeg_file.h"

#include "jpeg/jpeg_block.h"
#include "jpeg_file/app_segments.h"
#include "jpeg_file/segment_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace quadrel::jpeg_file {

namespace {

using namespace detail;

// Every scan keeps a copy of the Huffman tables in force; a file made of
// nothing but tiny scan headers must not multiply that copy without end.
// Real progressive files have a dozen scans.
constexpr std::size_t kMaxScans = 1000;

constexpr int kSoi = 0xD8;
constexpr int kEoi = 0xD9;
constexpr int kSos = 0xDA;
constexpr int kDqt = 0xDB;
constexpr int kDnl = 0xDC;
constexpr int kDri = 0xDD;
constexpr int kDht = 0xC4;
constexpr int kDac = 0xCC;
constexpr int kCom = 0xFE;
constexpr int kTem = 0x01;

bool IsRst(int marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

bool IsSof(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != kDht && marker != 0xC8 && marker != kDac;
}

std::string MarkerName(int marker) {
    if (IsSof(marker)) {
        return "SOF" + std::to_string(marker - 0xC0);
    }
    if (IsRst(marker)) {
        return "RST" + std::to_string(marker - 0xD0);
    }
    if (marker >= 0xE0 && marker <= 0xEF) {
        return "APP" + std::to_string(marker - 0xE0);
    }
    if (marker >= 0xF0 && marker <= 0xFD) {
        return "JPG" + std::to_string(marker - 0xF0);
    }
    switch (marker) {
    case kSoi:
        return "SOI";
    case kEoi:
        return "EOI";
    case kSos:
        return "SOS";
    case kDqt:
        return "DQT";
    case kDnl:
        return "DNL";
    case kDri:
        return "DRI";
    case 0xDE:
        return "DHP";
    case 0xDF:
        return "EXP";
    case kDht:
        return "DHT";
    case 0xC8:
        return "JPG";
    case kDac:
        return "DAC";
    case kCom:
        return "COM";
    case kTem:
        return "TEM";
    default:
        break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", marker);
    return std::string("marker ") + text;
}

/// Reads the file's bytes into a JpegFile, one segment after another.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
        file_.FileSize = bytes.size();
    }

    JpegFile Read() {
        file_.Segments.push_back(Segment{0, kSoi, "SOI", 0, "start of image"});
        std::size_t at = 2;
        while (ReadNext(at)) {
        }
        if (!sawFrame_) {
            Warn("The file has no frame header (SOF).");
        }
        AssignQualities();
        file_.CannotShow = WhyNotShown();
        return std::move(file_);
    }

private:
    void Warn(std::string text) { warnings_.Add(std::move(text)); }

    void EndsEarly(std::string text) {
        file_.Truncated = true;
        Warn(std::move(text));
    }

    /// Reads the marker at `at` (skipping what is no marker) and its segment;
    /// false when reading ends.
    bool ReadNext(std::size_t& at) {
        const std::size_t size = bytes_.size();
        if (at < size && bytes_[at] != 0xFF) {
            const std::size_t from = at;
            while (at < size && bytes_[at] != 0xFF) {
                ++at;
            }
            Warn(Bytes(at - from) + " at byte " + Num(from) +
                 (at - from == 1 ? " belongs" : " belong") + " to no segment; skipped.");
        }
        // A marker may be preceded by any number of 0xFF fill bytes.
        while (at + 1 < size && bytes_[at + 1] == 0xFF) {
            ++at;
        }
        if (at + 1 >= size) {
            EndsEarly("The file ends at byte " + Num(size) +
                      " before its end marker (EOI) (truncated).");
            return false;
        }
        const int marker = bytes_[at + 1];
        if (marker == 0x00) {
            Warn("A stray 0xFF byte at byte " + Num(at) + " is skipped.");
            at += 2;
            return true;
        }
        if (marker == kEoi) {
            file_.BytesAfterEoi = size - (at + 2);
            std::string summary = "end of image";
            if (file_.BytesAfterEoi > 0) {
                summary += "; " + Bytes(file_.BytesAfterEoi) + " follow it";
            }
            file_.Segments.push_back(Segment{at, marker, "EOI", 0, summary});
            return false;
        }
        if (marker == kSoi || IsRst(marker) || marker == kTem) {
            std::string summary;
            if (marker == kSoi) {
                Warn("A second start of image (SOI) at byte " + Num(at) + " is ignored.");
            } else if (IsRst(marker)) {
                Warn("A restart marker at byte " + Num(at) + " stands outside any scan.");
            }
            file_.Segments.push_back(Segment{at, marker, MarkerName(marker), 0, summary});
            at += 2;
            return true;
        }
        const std::string name = MarkerName(marker);
        if (at + 4 > size) {
            EndsEarly("The file ends inside the " + name + " marker at byte " + Num(at) +
                      " (truncated).");
            return false;
        }
        const auto length = static_cast<std::size_t>(Be16(bytes_, at + 2));
        if (length < 2) {
            Warn("The " + name + " segment at byte " + Num(at) + " gives its length as " +
                 Num(length) + ", less than its own two length bytes; reading stops there.");
            file_.Segments.push_back(Segment{at, marker, name, length, "impossible length"});
            return false;
        }
        if (length > size - at - 2) {
            EndsEarly("The " + name + " segment at byte " + Num(at) + " needs " + Num(length) +
                      " bytes but the file ends after " + Num(size - at - 2) + " (truncated).");
            file_.Segments.push_back(Segment{at, marker, name, length, "cut short"});
            return false;
        }
        const std::size_t index = file_.Segments.size();
        file_.Segments.push_back(Segment{at, marker, name, length, {}});
        const std::span<const std::uint8_t> payload = bytes_.subspan(at + 4, length - 2);
        std::string summary = Summarise(marker, index, at, payload);
        file_.Segments[index].Summary = std::move(summary);
        at += 2 + length;
        if (marker == kSos) {
            return ReadScanData(at, file_.Segments[index].Offset);
        }
        return true;
    }

    std::string Summarise(int marker, std::size_t index, std::size_t at,
                          std::span<const std::uint8_t> payload) {
        if (IsSof(marker)) {
            return ReadFrame(marker, at, payload);
        }
        if (marker >= 0xE0 && marker <= 0xEF) {
            return ReadAppSegment(marker, at, payload, file_, warnings_);
        }
        switch (marker) {
        case kDqt:
            return ReadDqt(index, at, payload);
        case kDht:
            return ReadDht(index, at, payload);
        case kSos:
            return ReadSos(index, at, payload);
        case kDri:
            return ReadDri(at, payload);
        case kCom: {
            std::string text = Printable(payload);
            std::string summary = Quoted(Shortened(text));
            file_.Comments.push_back(std::move(text));
            return summary;
        }
        case kDnl:
            return ReadDnl(at, payload);
        case kDac:
            return "arithmetic coding conditioning";
        default:
            return {};
        }
    }

    std::string ReadDqt(std::size_t index, std::size_t at, std::span<const std::uint8_t> p) {
        std::string s;
        std::size_t i = 0;
        while (i < p.size()) {
            const int precision = p[i] >> 4;
            const int id = p[i] & 0x0F;
            const std::size_t bytes = precision == 0 ? 64 : 128;
            if (precision > 1) {
                Warn("The DQT segment at byte " + Num(at) + " gives a table precision code of " +
                     std::to_string(precision) +
                     " (only 0 and 1 exist); the rest of it is skipped.");
                break;
            }
            if (p.size() - i - 1 < bytes) {
                Warn("The DQT segment at byte " + Num(at) + " ends inside its quantisation table " +
                     std::to_string(id) + ".");
                break;
            }
            const std::span<const std::uint8_t> v = p.subspan(i + 1, bytes);
            i += 1 + bytes;
            if (!s.empty()) {
                s += ", ";
            }
            s += "table " + std::to_string(id) + " (" + (precision == 0 ? "8" : "16") + "-bit)";
            if (id > 3) {
                Warn("The DQT segment at byte " + Num(at) + " defines table " + std::to_string(id) +
                     " (only 0 to 3 exist); it is skipped.");
                s += " ignored";
                continue;
            }
            QuantisationTable table;
            table.Id = id;
            table.Precision = precision == 0 ? 8 : 16;
            table.SegmentIndex = index;
            bool zero = false;
            for (std::size_t k = 0; k < 64; ++k) {
                const int value = precision == 0 ? v[k] : Be16(v, 2 * k);
                table.Values[static_cast<std::size_t>(jpeg::kZigZag[k])] = value;
                zero = zero || value == 0;
            }
            if (zero) {
                Warn("Quantisation table " + std::to_string(id) + " at byte " + Num(at) +
                     " holds a zero step.");
            }
            quantDefined_[static_cast<std::size_t>(id)] = true;
            file_.QuantisationTables.push_back(table);
        }
        return s;
    }

    std::string ReadDht(std::size_t index, std::size_t at, std::span<const std::uint8_t> p) {
        std::string s;
        std::size_t i = 0;
        while (i < p.size()) {
            const int tableClass = p[i] >> 4;
            const int id = p[i] & 0x0F;
            const std::string what = std::string(tableClass == 0 ? "DC" : "AC") + " table " +
                                     std::to_string(id) + " in the DHT segment at byte " + Num(at);
            if (p.size() - i < 17) {
                Warn("The Huffman " + what + " is cut short.");
                break;
            }
            HuffmanTable table;
            int total = 0;
            // Code space left at the current length, in units of 2^-16; the
            // all-ones code of every length is never used.
            std::uint32_t used = 0;
            for (std::size_t l = 0; l < 16; ++l) {
                table.Counts[l] = p[i + 1 + l];
                total += table.Counts[l];
                used += static_cast<std::uint32_t>(table.Counts[l]) << (15 - l);
            }
            if (tableClass > 1 || id > 3) {
                Warn("The DHT segment at byte " + Num(at) + " names table class " +
                     std::to_string(tableClass) + " and id " + std::to_string(id) +
                     " (class 0 or 1, id 0 to 3); the rest of it is skipped.");
                break;
            }
            if (total > 256) {
                Warn("The Huffman " + what + " counts " + std::to_string(total) +
                     " codes, more than the 256 symbols there are; the rest of the segment is "
                     "skipped.");
                break;
            }
            if (p.size() - i - 17 < static_cast<std::size_t>(total)) {
                Warn("The Huffman " + what + " is cut short.");
                break;
            }
            table.Values.assign(p.begin() + static_cast<std::ptrdiff_t>(i + 17),
                                p.begin() + static_cast<std::ptrdiff_t>(i + 17) + total);
            i += 17 + static_cast<std::size_t>(total);
            table.Kind = tableClass == 0 ? HuffmanKind::Dc : HuffmanKind::Ac;
            table.Id = id;
            table.SegmentIndex = index;
            if (!s.empty()) {
                s += ", ";
            }
            s += std::string(tableClass == 0 ? "DC " : "AC ") + std::to_string(id);
            if (used >= (1U << 16)) {
                Warn("The Huffman " + what +
                     " has more codes than its code lengths allow; it is "
                     "ignored.");
                s += " ignored";
                continue;
            }
            auto& slot = tableClass == 0 ? dcTables_ : acTables_;
            slot[static_cast<std::size_t>(id)] = table;
            file_.HuffmanTables.push_back(std::move(table));
        }
        return s;
    }

    /// A frame may leave its height (0) to the DNL after the first scan.
    std::string ReadDnl(std::size_t at, std::span<const std::uint8_t> p) {
        if (p.size() != 2) {
            Warn("The DNL segment at byte " + Num(at) + " has length " + Num(p.size() + 2) +
                 " instead of 4; it is ignored.");
            return {};
        }
        const int lines = Be16(p, 0);
        if (file_.FrameHeader && file_.FrameHeader->Height == 0 && lines > 0) {
            Frame& frame = *file_.FrameHeader;
            frame.Height = lines;
            frame.McusDown = (lines + frame.McuHeight - 1) / frame.McuHeight;
        }
        return "number of lines " + std::to_string(lines);
    }

    std::string ReadDri(std::size_t at, std::span<const std::uint8_t> p) {
        if (p.size() != 2) {
            Warn("The DRI segment at byte " + Num(at) + " has length " + Num(p.size() + 2) +
                 " instead of 4; it is ignored.");
            return {};
        }
        restartInterval_ = Be16(p, 0);
        if (!sawDri_) {
            file_.RestartInterval = restartInterval_;
            sawDri_ = true;
        }
        return restartInterval_ == 0
                   ? "no restarts"
                   : "restart every " + std::to_string(restartInterval_) + " MCUs";
    }

    std::string ReadFrame(int marker, std::size_t at, std::span<const std::uint8_t> p) {
        const std::string where =
            "The frame header (" + MarkerName(marker) + ") at byte " + Num(at);
        if (sawFrame_) {
            Warn("A second frame header (" + MarkerName(marker) + ") at byte " + Num(at) +
                 "; only the first one is used.");
            return "second frame header, ignored";
        }
        sawFrame_ = true;
        if (p.size() < 6) {
            Warn(where + " is too short.");
            return "too short";
        }
        Frame frame;
        frame.Marker = marker;
        frame.Precision = p[0];
        frame.Height = Be16(p, 1);
        frame.Width = Be16(p, 3);
        const std::size_t count = p[5];
        if (count == 0 || p.size() != 6 + 3 * count) {
            Warn(where + " gives " + Num(count) + " components in " + Num(p.size() + 2) +
                 " bytes, which do not match.");
            return "broken";
        }
        bool lossless = false;
        const int kind = marker & 0x03;
        frame.Arithmetic = marker >= 0xC8;
        frame.Progressive = kind == 2;
        lossless = kind == 3;
        if (frame.Arithmetic) {
            frame.Kind = Process::Arithmetic;
        } else if (marker == 0xC0) {
            frame.Kind = Process::Baseline;
        } else if (frame.Progressive) {
            frame.Kind = Process::Progressive;
        } else if (lossless) {
            frame.Kind = Process::Lossless;
        } else {
            frame.Kind = Process::Extended;
        }
        lossless_ = lossless;
        differential_ = (marker & 0x04) != 0;
        int hMax = 1;
        int vMax = 1;
        bool factorsOk = true;
        for (std::size_t c = 0; c < count; ++c) {
            FrameComponent component;
            component.Id = p[6 + 3 * c];
            component.H = p[7 + 3 * c] >> 4;
            component.V = p[7 + 3 * c] & 0x0F;
            component.QuantTable = p[8 + 3 * c];
            if (component.H < 1 || component.H > 4 || component.V < 1 || component.V > 4) {
                factorsOk = false;
            }
            if (component.QuantTable > 3) {
                Warn(where + " gives component " + std::to_string(component.Id) +
                     " the quantisation table " + std::to_string(component.QuantTable) +
                     " (only 0 to 3 exist).");
            }
            hMax = std::max(hMax, component.H);
            vMax = std::max(vMax, component.V);
            frame.Components.push_back(component);
        }
        if (!factorsOk) {
            Warn(where + " gives sampling factors outside 1 to 4.");
        }
        if (frame.Width == 0) {
            Warn(where + " gives the picture a width of 0.");
        }
        const bool eightOrTwelve =
            frame.Precision == 8 || (frame.Precision == 12 && marker != 0xC0);
        if ((!lossless && !eightOrTwelve) ||
            (lossless && (frame.Precision < 2 || frame.Precision > 16))) {
            Warn(where + " gives a sample precision of " + std::to_string(frame.Precision) +
                 " bits, which this process does not have.");
        }
        frame.SubsamplingName = SubsamplingName(frame.Components);
        if (count == 1 || !factorsOk) {
            // A single component is never interleaved: its MCU is one block.
            frame.McuWidth = 8;
            frame.McuHeight = 8;
        } else {
            frame.McuWidth = 8 * hMax;
            frame.McuHeight = 8 * vMax;
        }
        frame.McusAcross = (frame.Width + frame.McuWidth - 1) / frame.McuWidth;
        frame.McusDown = (frame.Height + frame.McuHeight - 1) / frame.McuHeight;
        std::string process(ProcessName(frame.Kind));
        if (frame.Arithmetic) {
            process += frame.Progressive ? " progressive" : lossless ? " lossless" : " sequential";
        }
        if (differential_) {
            process = "differential " + process;
        }
        std::string s = process + ", " + std::to_string(frame.Precision) + "-bit, " +
                        std::to_string(frame.Width) + "x" + std::to_string(frame.Height) + ", " +
                        Num(count) + (count == 1 ? " component" : " components");
        for (const FrameComponent& c : frame.Components) {
            s += (&c == &frame.Components.front() ? ": " : ", ") + std::to_string(c.Id) + " " +
                 std::to_string(c.H) + "x" + std::to_string(c.V) + " table " +
                 std::to_string(c.QuantTable);
        }
        if (!frame.SubsamplingName.empty()) {
            s += " (" + frame.SubsamplingName + ")";
        }
        file_.FrameHeader = std::move(frame);
        return s;
    }

    static std::string SubsamplingName(const std::vector<FrameComponent>& components) {
        if (components.size() < 2) {
            return {};
        }
        const FrameComponent& first = components[0];
        const bool othersEqual =
            std::all_of(components.begin() + 1, components.end(), [&](const FrameComponent& c) {
                return c.H == components[1].H && c.V == components[1].V;
            });
        const int h = components[1].H;
        const int v = components[1].V;
        if (othersEqual && h > 0 && v > 0 && first.H % h == 0 && first.V % v == 0) {
            const int across = first.H / h;
            const int down = first.V / v;
            if (across == 1 && down == 1) {
                return "4:4:4";
            }
            if (components.size() == 3) {
                if (across == 2 && down == 1) {
                    return "4:2:2";
                }
                if (across == 2 && down == 2) {
                    return "4:2:0";
                }
                if (across == 1 && down == 2) {
                    return "4:4:0";
                }
                if (across == 4 && down == 1) {
                    return "4:1:1";
                }
            }
        }
        std::string name;
        for (const FrameComponent& c : components) {
            if (!name.empty()) {
                name += ",";
            }
            name += std::to_string(c.H) + "x" + std::to_string(c.V);
        }
        return name;
    }

    std::string ReadSos(std::size_t index, std::size_t at, std::span<const std::uint8_t> p) {
        const std::string where = "The scan header (SOS) at byte " + Num(at);
        if (!sawFrame_) {
            Warn(where + " comes before any frame header (SOF).");
            scanBeforeFrame_ = true;
        }
        Scan scan;
        scan.SegmentIndex = index;
        scan.RestartInterval = restartInterval_;
        scan.DcTables = dcTables_;
        scan.AcTables = acTables_;
        const std::size_t count = p.empty() ? 0 : p[0];
        if (count < 1 || count > 4 || p.size() != 4 + 2 * count) {
            Warn(where + " gives " + Num(count) + " components in " + Num(p.size() + 2) +
                 " bytes, which do not match.");
            PushScan(std::move(scan));
            return "broken";
        }
        std::string s = "components";
        for (std::size_t c = 0; c < count; ++c) {
            ScanComponent component;
            component.Id = p[1 + 2 * c];
            component.DcTable = p[2 + 2 * c] >> 4;
            component.AcTable = p[2 + 2 * c] & 0x0F;
            scan.Components.push_back(component);
            s += std::string(c == 0 ? " " : ", ") + std::to_string(component.Id) + " (DC " +
                 std::to_string(component.DcTable) + ", AC " + std::to_string(component.AcTable) +
                 ")";
        }
        const std::size_t tail = 1 + 2 * count;
        scan.Ss = p[tail];
        scan.Se = p[tail + 1];
        scan.Ah = p[tail + 2] >> 4;
        scan.Al = p[tail + 2] & 0x0F;
        s += "; Ss " + std::to_string(scan.Ss) + ", Se " + std::to_string(scan.Se) + ", Ah " +
             std::to_string(scan.Ah) + ", Al " + std::to_string(scan.Al);
        CheckScan(scan, where);
        PushScan(std::move(scan));
        return s;
    }

    void CheckScan(const Scan& scan, const std::string& where) {
        if (!file_.FrameHeader) {
            return;
        }
        const Frame& frame = *file_.FrameHeader;
        if (!checkedQuantTables_ && !lossless_) {
            // Tables may come after the frame header, but before the first scan.
            checkedQuantTables_ = true;
            for (const FrameComponent& c : frame.Components) {
                if (c.QuantTable <= 3 && !quantDefined_[static_cast<std::size_t>(c.QuantTable)]) {
                    Warn("Component " + std::to_string(c.Id) + " uses quantisation table " +
                         std::to_string(c.QuantTable) + ", which no DQT segment defines.");
                }
            }
        }
        for (const ScanComponent& c : scan.Components) {
            const bool known = std::any_of(frame.Components.begin(), frame.Components.end(),
                                           [&](const FrameComponent& f) { return f.Id == c.Id; });
            if (!known) {
                Warn(where + " names component " + std::to_string(c.Id) +
                     ", which the frame does not have.");
            }
        }
        // A progressive scan codes DC alone (0 to 0) or one component's AC
        // band; a sequential one always codes the whole block.
        const bool band = frame.Progressive
                              ? (scan.Ss == 0 ? scan.Se == 0 : scan.Ss <= scan.Se && scan.Se <= 63)
                              : scan.Ss == 0 && scan.Se == 63;
        if (!lossless_ && !band) {
            Warn(where + " gives the spectral band " + std::to_string(scan.Ss) + " to " +
                 std::to_string(scan.Se) + ", which a " +
                 (frame.Progressive ? "progressive" : "sequential") + " scan cannot have.");
        }
        if (!lossless_ && frame.Progressive && scan.Ss > 0 && scan.Components.size() > 1) {
            Warn(where + " codes AC coefficients of " + Num(scan.Components.size()) +
                 " components at once; a progressive AC scan holds one.");
        }
        if (frame.Arithmetic) {
            return;
        }
        const bool needsDc = (lossless_ || scan.Ss == 0) && scan.Ah == 0;
        const bool needsAc = !lossless_ && scan.Se > 0;
        for (const ScanComponent& c : scan.Components) {
            if (needsDc && (c.DcTable > 3 || !scan.DcTables[static_cast<std::size_t>(c.DcTable)])) {
                Warn(where + " uses the DC Huffman table " + std::to_string(c.DcTable) +
                     ", which is not defined.");
            }
            if (needsAc && (c.AcTable > 3 || !scan.AcTables[static_cast<std::size_t>(c.AcTable)])) {
                Warn(where + " uses the AC Huffman table " + std::to_string(c.AcTable) +
                     ", which is not defined.");
            }
        }
    }

    void PushScan(Scan scan) {
        if (file_.Scans.size() < kMaxScans) {
            file_.Scans.push_back(std::move(scan));
        } else if (file_.Scans.size() == kMaxScans && !scansCapped_) {
            scansCapped_ = true;
            Warn("The file has more than " + Num(kMaxScans) +
                 " scans; only the first ones are listed.");
        }
    }

    /// Finds where the entropy-coded data starting at `at` ends: at the
    /// first marker that is not RSTn. False when the file ends first.
    bool ReadScanData(std::size_t& at, std::size_t sosOffset) {
        const std::size_t size = bytes_.size();
        const std::size_t start = at;
        int restarts = 0;
        bool outOfOrder = false;
        std::size_t i = at;
        bool ended = false;
        while (i < size) {
            if (bytes_[i] != 0xFF) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j + 1 < size && bytes_[j + 1] == 0xFF) {
                ++j;
            }
            if (j + 1 >= size) {
                break;
            }
            const int next = bytes_[j + 1];
            if (next == 0x00) {
                i = j + 2;
            } else if (IsRst(next)) {
                outOfOrder = outOfOrder || (next - 0xD0) != restarts % 8;
                ++restarts;
                i = j + 2;
            } else {
                ended = true;
                break;
            }
        }
        const bool kept = !scansCapped_ && !file_.Scans.empty() &&
                          file_.Scans.back().SegmentIndex + 1 == file_.Segments.size();
        if (kept) {
            Scan& scan = file_.Scans.back();
            scan.DataOffset = start;
            scan.DataLength = (ended ? i : size) - start;
            scan.RestartMarkers = restarts;
        }
        Segment& sos = file_.Segments.back();
        sos.Summary += "; " + Bytes((ended ? i : size) - start) + " of data";
        if (restarts > 0) {
            sos.Summary += ", " + std::to_string(restarts) +
                           (restarts == 1 ? " restart marker" : " restart markers");
        }
        if (outOfOrder) {
            Warn("The restart markers of the scan that starts at byte " + Num(sosOffset) +
                 " are out of order.");
        }
        if (restarts > 0 && restartInterval_ == 0) {
            Warn("The scan that starts at byte " + Num(sosOffset) +
                 " holds restart markers although no restart interval is set.");
        }
        if (!ended) {
            EndsEarly("The file ends inside the scan that starts at byte " + Num(sosOffset) +
                      " (truncated).");
            return false;
        }
        at = i;
        return true;
    }

    /// The luminance table is the one the first component uses, the others
    /// chrominance (as cjpeg writes them); a table no component uses is
    /// taken by its id: 0 luminance, others chrominance.
    void AssignQualities() {
        for (QuantisationTable& table : file_.QuantisationTables) {
            bool chrominance = table.Id != 0;
            if (file_.FrameHeader && !file_.FrameHeader->Components.empty()) {
                const auto& components = file_.FrameHeader->Components;
                const bool used =
                    std::any_of(components.begin(), components.end(),
                                [&](const FrameComponent& c) { return c.QuantTable == table.Id; });
                if (used) {
                    chrominance = components.front().QuantTable != table.Id;
                }
            }
            const QualityEstimate estimate =
                EstimateQuality(table.Values, chrominance, table.Precision);
            table.QualityEstimate = estimate.Quality;
            table.Exact = estimate.Exact;
            table.Deviation = estimate.Deviation;
            table.Chrominance = chrominance;
        }
    }

    std::string WhyNotShown() const {
        if (!file_.FrameHeader) {
            return "The file has no usable frame header (SOF).";
        }
        const Frame& frame = *file_.FrameHeader;
        if (differential_) {
            return "The picture is coded hierarchically (differential frames), which cannot be "
                   "shown.";
        }
        if (frame.Arithmetic) {
            return "The picture is arithmetic coded, which cannot be shown.";
        }
        if (lossless_) {
            return "The picture is coded lossless, which cannot be shown.";
        }
        if (frame.Precision != 8) {
            return "The picture has " + std::to_string(frame.Precision) +
                   "-bit samples; only 8-bit pictures can be shown.";
        }
        if (scanBeforeFrame_) {
            return "A scan comes before the frame header (SOF).";
        }
        if (file_.Scans.empty()) {
            return "The file has no scan.";
        }
        return {};
    }

    std::span<const std::uint8_t> bytes_;
    JpegFile file_;
    WarningList warnings_{file_.Warnings};
    std::array<std::optional<HuffmanTable>, 4> dcTables_;
    std::array<std::optional<HuffmanTable>, 4> acTables_;
    int restartInterval_ = 0;
    bool sawDri_ = false;
    bool sawFrame_ = false;
    bool lossless_ = false;
    bool differential_ = false;
    bool scansCapped_ = false;
    bool scanBeforeFrame_ = false;
    bool checkedQuantTables_ = false;
    std::array<bool, 4> quantDefined_{};
};

} // namespace

Result<JpegFile> ReadJpegFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != kSoi) {
        return Fail("This is not a JPEG file.");
    }
    return Reader(bytes).Read();
}

namespace {

/// The standard table scaled to `quality` without the 8-bit limit: libjpeg's
/// scaling when baseline is not forced, which keeps entries up to 32767.
jpeg::QuantTable SixteenBitTable(bool chrominance, int quality) {
    const jpeg::QuantTable& base = chrominance ? jpeg::kChrominanceTable : jpeg::kLuminanceTable;
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    jpeg::QuantTable table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = std::clamp((base[i] * scale + 50) / 100, 1, 32767);
    }
    return table;
}

} // namespace

QualityEstimate EstimateQuality(const std::array<int, 64>& naturalOrder, bool chrominance,
                                int precision) {
    QualityEstimate best;
    best.Deviation = -1;
    for (int q = jpeg::kMinQuality; q <= jpeg::kMaxQuality; ++q) {
        const jpeg::QuantTable standard = precision == 16 ? SixteenBitTable(chrominance, q)
                                          : chrominance   ? jpeg::ChrominanceTable(q)
                                                          : jpeg::LuminanceTable(q);
        long sum = 0;
        for (std::size_t i = 0; i < 64; ++i) {
            sum += std::abs(naturalOrder[i] - standard[i]);
        }
        const double deviation = static_cast<double>(sum) / 64.0;
        // Ties go to the lowest quality: below about 3 the clamped tables repeat.
        if (best.Deviation < 0 || deviation < best.Deviation) {
            best.Quality = q;
            best.Deviation = deviation;
            best.Exact = sum == 0;
        }
    }
    return best;
}

std::string_view ProcessName(Process process) {
    switch (process) {
    case Process::Baseline:
        return "baseline";
    case Process::Extended:
        return "extended";
    case Process::Progressive:
        return "progressive";
    case Process::Lossless:
        return "lossless";
    case Process::Arithmetic:
        return "arithmetic";
    }
    return "unknown";
}

} // namespace quadrel::jpeg_file
