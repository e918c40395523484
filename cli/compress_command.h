#pragma once
// quadrel-cli compress: a whole picture through the JPEG chain or Quadrel's own
// quantiser, as the "Compress Picture" window does it, with the pictures written
// on request.

#include "compression/picture_compression.h"
#include "report/report.h"

#include <QString>

#include <optional>

namespace quadrel::cli {

using report::Node;

struct CompressRequest {
    QString Picture;
    CompressionSettings Settings;
    QString TableFile;      ///< shown in the report when the table came from a file
    QString Reconstruction; ///< PNG to write, or empty
    QString Difference;     ///< PNG to write, or empty
    int Amplification = 8;
};

/// The report, or nothing with `problem` set (a file that cannot be read or written).
std::optional<Node> CompressReport(const CompressRequest& request, QString& problem);

} // namespace quadrel::cli
