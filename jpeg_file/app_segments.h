#pragma once
// The application segments (APPn) the reader understands: JFIF, Exif (through
// libexif), XMP, ICC profiles and Adobe's; the others by their identifier.

#include "jpeg_file/jpeg_file.h"
#include "jpeg_file/segment_text.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quadrel::jpeg_file::detail {

/// Adds to `file` what the APPn segment (`marker` 0xE0..0xEF) at byte `at`
/// says, `payload` being what follows its length; returns its summary.
std::string ReadAppSegment(int marker, std::size_t at, std::span<const std::uint8_t> payload,
                           JpegFile& file, WarningList& warnings);

} // namespace quadrel::jpeg_file::detail
