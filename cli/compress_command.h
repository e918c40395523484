#pragma once
// quadrel-cli compress: a whole picture through the JPEG chain or Quadrel's own
// quantiser, as the "Compress Picture" window does it, with the pictures written
// on request.

#include "base/result.h"
#include "compression/colour_compression.h"
#include "compression/picture_compression.h"
#include "jpeg/jfif_writer.h"
#include "report/report.h"

#include <QString>

#include <string>

namespace quadrel::cli {

using report::Node;

struct CompressRequest {
    QString Picture;
    CompressionSettings Settings;
    bool Colour = false; ///< code Y, Cb and Cr with ColourSettings instead
    ColourCompressionSettings ColourSettings;
    QString TableFile;      ///< shown in the report when the table came from a file
    QString Reconstruction; ///< PNG to write, or empty
    QString Difference;     ///< PNG to write, or empty
    QString Jpeg;           ///< baseline JFIF file to write, or empty (not with --step)
    jpeg::JfifOptions Jfif;
    int Amplification = 8;
};

/// The mean SSIM as "ssim", its four decimals or, when NaN, why it is not defined.
void AddSsim(Node& doc, const std::string& title, double ssim);

/// The report; it fails when a file cannot be read or written.
Result<Node> CompressReport(const CompressRequest& request);

} // namespace quadrel::cli
