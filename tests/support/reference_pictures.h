#pragma once
// What tests that hold pictures against cjpeg and djpeg share: running the
// tools, photo-like colour pictures with partial MCUs, and a picture's bytes
// row by row as the tools write them.

#include <QByteArray>
#include <QImage>
#include <QStringList>

namespace quadrel::testing {

/// The program's standard output; the test run ends when it fails or hangs.
QByteArray RunTool(const QString& program, const QStringList& arguments);

/// Three unrelated photo-like planes as R, G and B (planes seed, seed + 1 and
/// seed + 2), in `format`: strong colour edges everywhere.
QImage PhotoLikeColourPicture(int width, int height, int seed, QImage::Format format);

/// The pixels without row padding: 1 byte a pixel for a grey picture, else 3.
QByteArray PackedRows(const QImage& image);

} // namespace quadrel::testing
