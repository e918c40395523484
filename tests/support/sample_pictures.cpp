#include "tests/support/sample_pictures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>

namespace quadrel::test {

QByteArray Encoded(const QImage& image, const char* format, int quality, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray WithDamagedScan(QByteArray jpeg, int count, quint32 seed) {
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    const qsizetype start = sos + 2 + (quint8(jpeg[sos + 2]) << 8 | quint8(jpeg[sos + 3]));
    qsizetype end = start; // the next marker: 0xFF not followed by a stuffed zero
    while (jpeg[end] != '\xFF' || jpeg[end + 1] == '\0') {
        ++end;
    }
    QRandomGenerator random(seed);
    const QByteArray original = jpeg;
    for (int changed = 0; changed < count;) {
        const qsizetype at = start + 1 + random.bounded(end - start - 1);
        if (original[at] == '\xFF' || original[at - 1] == '\xFF' || jpeg[at] != original[at]) {
            continue;
        }
        // Any other value but 0xFF.
        jpeg[at] = char((quint8(original[at]) + 1 + random.bounded(254)) % 255);
        ++changed;
    }
    return jpeg;
}

QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation) {
    // APP1 "Exif", a big-endian TIFF header and one directory entry: tag 274,
    // one SHORT, the orientation.
    QByteArray exif("\xFF\xE1\x00\x22"
                    "Exif\0\0MM\0*\0\0\0\x08"
                    "\0\x01\x01\x12\0\x03\0\0\0\x01\0?\0\0\0\0\0\0",
                    36);
    exif[29] = char(orientation);
    return jpeg.left(2) + exif + jpeg.mid(2);
}

QByteArray WithStrayHeaderBytes(QByteArray jpeg, int count) {
    const qsizetype second = 4 + (quint8(jpeg[4]) << 8 | quint8(jpeg[5]));
    return jpeg.insert(second, QByteArray(count, '\0'));
}

} // namespace quadrel::test
