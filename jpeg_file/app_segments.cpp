#include "jpeg_file/app_segments.h"

#include <libexif/exif-data.h>

#include <memory>

namespace quadrel::jpeg_file::detail {

namespace {

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

/// The profile's description: a version 2 'desc' (ASCII) or a version 4
/// 'mluc' (UTF-16, first record); empty when it lies outside `profile`.
std::string IccDescription(std::span<const std::uint8_t> profile) {
    constexpr std::size_t kHeader = 128;
    if (profile.size() < kHeader + 4) {
        return {};
    }
    const std::uint32_t tags = Be32(profile, kHeader);
    for (std::uint32_t t = 0; t < tags; ++t) {
        const std::size_t entry = kHeader + 4 + std::size_t{t} * 12;
        if (entry + 12 > profile.size()) {
            return {};
        }
        if (!StartsWith(profile.subspan(entry), "desc")) {
            continue;
        }
        const std::size_t offset = Be32(profile, entry + 4);
        const std::size_t size = Be32(profile, entry + 8);
        if (offset > profile.size() || size > profile.size() - offset || size < 12) {
            return {};
        }
        const std::span<const std::uint8_t> tag = profile.subspan(offset, size);
        if (StartsWith(tag, "desc")) {
            const std::size_t count = Be32(tag, 8);
            return Printable(tag.subspan(12, std::min(count, tag.size() - 12)));
        }
        if (StartsWith(tag, "mluc") && tag.size() >= 28 && Be32(tag, 8) > 0) {
            const std::size_t length = Be32(tag, 20);
            const std::size_t start = Be32(tag, 24);
            if (start > tag.size() || length > tag.size() - start) {
                return {};
            }
            std::string text;
            for (std::size_t i = 0; i + 1 < length; i += 2) {
                std::uint32_t c = static_cast<std::uint32_t>(Be16(tag, start + i));
                if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
                    const auto low = static_cast<std::uint32_t>(Be16(tag, start + i + 2));
                    if (low >= 0xDC00 && low < 0xE000) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        i += 2;
                    }
                }
                if (c == 0) {
                    break;
                }
                if (c < 0x20 || (c >= 0xD800 && c < 0xE000) || c == 0x7F) {
                    c = '.';
                }
                AppendUtf8(text, c);
            }
            return text;
        }
        return {};
    }
    return {};
}

struct ExifDeleter {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

std::string ExifText(ExifData* data, ExifTag tag) {
    ExifEntry* entry = exif_data_get_entry(data, tag);
    if (entry == nullptr) {
        return {};
    }
    char text[256] = {};
    exif_entry_get_value(entry, text, sizeof text);
    std::string value = Printable(std::span(reinterpret_cast<const std::uint8_t*>(text),
                                            std::char_traits<char>::length(text)));
    while (!value.empty() && value.back() == ' ') {
        value.pop_back();
    }
    return value;
}

std::string ReadExif(std::size_t at, std::span<const std::uint8_t> p, JpegFile& file,
                     WarningList& warnings) {
    const std::unique_ptr<ExifData, ExifDeleter> data(exif_data_new());
    if (!data) {
        return "Exif";
    }
    // Left to its defaults libexif adds the entries the standard requires,
    // which would report an orientation the file never stored.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), p.data(), static_cast<unsigned int>(p.size()));
    ExifFacts facts;
    if (ExifEntry* entry = exif_data_get_entry(data.get(), EXIF_TAG_ORIENTATION);
        entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
        entry->size >= 2 && entry->data != nullptr) {
        const int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
        if (value >= 1 && value <= 8) {
            facts.Orientation = value;
        } else {
            warnings.Add("The Exif orientation " + std::to_string(value) +
                         " in the segment at byte " + Num(at) +
                         " is not one of 1 to 8; it is ignored.");
        }
    }
    facts.Make = ExifText(data.get(), EXIF_TAG_MAKE);
    facts.Model = ExifText(data.get(), EXIF_TAG_MODEL);
    // When it was taken, else when it was last changed.
    facts.DateTime = ExifText(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL);
    if (facts.DateTime.empty()) {
        facts.DateTime = ExifText(data.get(), EXIF_TAG_DATE_TIME);
    }
    std::string s = "Exif";
    if (facts.Orientation != 0) {
        s += ", orientation " + std::to_string(facts.Orientation);
    }
    if (!facts.Make.empty() || !facts.Model.empty()) {
        s += ", " + Shortened(facts.Make + (facts.Make.empty() ? "" : " ") + facts.Model);
    }
    if (!facts.DateTime.empty()) {
        s += ", " + Shortened(facts.DateTime);
    }
    if (!file.Exif) {
        file.Exif = std::move(facts);
    }
    return s;
}

} // namespace

std::string ReadAppSegment(int marker, std::size_t at, std::span<const std::uint8_t> p,
                           JpegFile& file, WarningList& warnings) {
    const std::string where = " at byte " + Num(at);
    if (marker == 0xE0 && StartsWith(p, std::string_view("JFIF\0", 5))) {
        if (p.size() < 14) {
            warnings.Add("The JFIF header" + where + " is too short.");
            return "JFIF (too short)";
        }
        const int units = p[7];
        const std::string x = std::to_string(Be16(p, 8));
        const std::string y = std::to_string(Be16(p, 10));
        std::string s = "JFIF " + std::to_string(p[5]) + "." + (p[6] < 10 ? "0" : "") +
                        std::to_string(p[6]) + ", ";
        if (units == 0) {
            s += "pixel aspect ratio " + x + ":" + y;
        } else {
            s += "density " + x + "x" + y +
                 (units == 1   ? " dots per inch"
                  : units == 2 ? " dots per cm"
                               : " (unknown units " + std::to_string(units) + ")");
        }
        if (p[12] != 0 && p[13] != 0) {
            s += ", thumbnail " + std::to_string(p[12]) + "x" + std::to_string(p[13]);
        } else {
            s += ", no thumbnail";
        }
        return s;
    }
    if (marker == 0xE0 && StartsWith(p, std::string_view("JFXX\0", 5))) {
        return "JFIF extension (thumbnail)";
    }
    if (marker == 0xE1 && StartsWith(p, std::string_view("Exif\0", 5))) {
        return ReadExif(at, p, file, warnings);
    }
    if (marker == 0xE1 && StartsWith(p, std::string_view("http://ns.adobe.com/xap/1.0/\0", 29))) {
        return "XMP metadata, " + Num(p.size() - 29) + " bytes";
    }
    if (marker == 0xE1 &&
        StartsWith(p, std::string_view("http://ns.adobe.com/xmp/extension/\0", 35))) {
        return "extended XMP metadata";
    }
    if (marker == 0xE2 && StartsWith(p, std::string_view("ICC_PROFILE\0", 12))) {
        if (p.size() < 14) {
            warnings.Add("The ICC profile segment" + where + " is too short.");
            return "ICC profile (too short)";
        }
        const int chunk = p[12];
        std::string s =
            "ICC profile, chunk " + std::to_string(chunk) + " of " + std::to_string(p[13]);
        if (chunk == 1) {
            std::string description = IccDescription(p.subspan(14));
            if (!description.empty()) {
                s += ", " + Quoted(Shortened(description));
                if (file.IccProfileName.empty()) {
                    file.IccProfileName = std::move(description);
                }
            }
        }
        return s;
    }
    if (marker == 0xEE && StartsWith(p, "Adobe")) {
        if (p.size() < 12) {
            warnings.Add("The Adobe segment" + where + " is too short.");
            return "Adobe (too short)";
        }
        const int transform = p[11];
        if (!file.AdobeTransform) {
            file.AdobeTransform = transform;
        }
        static constexpr std::array<const char*, 3> kNames = {"none (RGB or CMYK)", "YCbCr",
                                                              "YCCK"};
        return "Adobe, transform " + std::to_string(transform) + " (" +
               (transform < 3 ? kNames[transform] : "unknown") + ")";
    }
    // Otherwise its identifier: the text up to the first zero byte.
    const auto end = std::find(p.begin(), p.end(), std::uint8_t{0});
    const auto length = static_cast<std::size_t>(end - p.begin());
    if (end == p.end() || length == 0) {
        return {};
    }
    return Quoted(Shortened(Printable(p.first(length))));
}

} // namespace quadrel::jpeg_file::detail
