#pragma once
// quadrel-cli inspect: what a JPEG file holds, segment by segment, and on
// request one block's stored coefficients, samples and bits, as the "JPEG
// File" window shows them.

#include "base/result.h"
#include "jpeg_file/jpeg_contents.h"
#include "report/report.h"

#include <QString>

#include <optional>

namespace quadrel::cli {

struct ContentsRequest {
    QString File;
    std::optional<jpeg_file::BlockAddress> Block;
};

/// The report tree of an opened file and, when asked, one of its blocks;
/// fails for a block the file does not store.
Result<report::Node> ContentsReport(const jpeg_file::JpegContents& inspection,
                                    std::optional<jpeg_file::BlockAddress> block);

/// Reads the file and reports on it; fails when it cannot be read or is no JPEG.
Result<report::Node> ContentsReport(const ContentsRequest& request);

} // namespace quadrel::cli
