#include "tests/support/reference_pictures.h"

#include "jpeg/jpeg_exercise.h"

#include <QProcess>

#include <cstdint>
#include <vector>

namespace quadrel::testing {

QByteArray RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qFatal("%s failed", qPrintable(program));
    }
    return process.readAllStandardOutput();
}

QImage PhotoLikeColourPicture(int width, int height, int seed, QImage::Format format) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int c = 0; c < 3; ++c) {
        const std::vector<std::uint8_t> plane = jpeg::PhotoLikePicture(width, height, seed + c);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                picture.scanLine(y)[3 * x + c] =
                    plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                          static_cast<std::size_t>(x)];
            }
        }
    }
    return picture.convertToFormat(format);
}

QByteArray PackedRows(const QImage& image) {
    const int bytesPerPixel = image.format() == QImage::Format_Grayscale8 ? 1 : 3;
    QByteArray rows;
    for (int y = 0; y < image.height(); ++y) {
        rows.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                    qsizetype(image.width()) * bytesPerPixel);
    }
    return rows;
}

} // namespace quadrel::testing
