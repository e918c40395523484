#include "bitmap_viewer/picture_file.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <limits>

namespace quadrel {

namespace {

PictureLoad Fail(const QString& problem) {
    return PictureLoad{QImage(), problem};
}

const QString kTruncated =
    QStringLiteral("the file ends before the picture is complete (it is truncated).");
const QString kCorrupt = QStringLiteral("the picture data is corrupt.");

// A picture size from a header that cannot be shown: nothing to show, or more
// than may be allocated (a few bytes claiming a huge picture).
QString SizeProblem(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0) {
        return QStringLiteral("its header gives a picture of %1 x %2 pixels.")
            .arg(width)
            .arg(height);
    }
    // Four bytes a pixel: the picture as it is kept for reading. Compared by
    // division, so no product can overflow.
    if (width > PictureByteLimit() / 4 / height) {
        return QStringLiteral("its header claims %1 x %2 pixels, more than the %3 MB "
                              "that a picture may take in memory.")
            .arg(width)
            .arg(height)
            .arg(PictureByteLimit() / (qint64{1024} * 1024));
    }
    return {};
}

// Bounds-checked reads of a file's bytes; every check below goes through these.
class Bytes {
public:
    explicit Bytes(const QByteArray& bytes) : bytes_(bytes) {}
    qsizetype Size() const { return bytes_.size(); }
    bool Has(qsizetype pos, qsizetype count) const {
        return pos >= 0 && count >= 0 && pos <= Size() - count;
    }
    quint32 U8(qsizetype pos) const { return static_cast<quint8>(bytes_[pos]); }
    quint32 U16LE(qsizetype pos) const { return U8(pos) | U8(pos + 1) << 8; }
    quint32 U16BE(qsizetype pos) const { return U8(pos) << 8 | U8(pos + 1); }
    quint32 U32LE(qsizetype pos) const { return U16LE(pos) | U16LE(pos + 2) << 16; }
    qint64 I32LE(qsizetype pos) const { return static_cast<qint32>(U32LE(pos)); }
    qsizetype LastIndexOf(const char* needle) const { return bytes_.lastIndexOf(needle); }

private:
    const QByteArray& bytes_;
};

// Each check returns the problem it finds, or an empty text when the structure
// holds together. Faults it cannot see are left to the decoder.

QString CheckBmp(const Bytes& b) {
    if (!b.Has(0, 18)) {
        return kTruncated;
    }
    const qint64 offBits = b.U32LE(10);
    const quint32 headerSize = b.U32LE(14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bitCount = 0;
    quint32 compression = 0;
    qint64 compressedSize = 0;
    if (headerSize == 12) { // OS/2 core header
        if (!b.Has(14, 12)) {
            return kTruncated;
        }
        width = b.U16LE(18);
        height = b.U16LE(20);
        bitCount = b.U16LE(24);
    } else if (headerSize >= 40) {
        if (!b.Has(14, 40)) {
            return kTruncated;
        }
        width = b.I32LE(18);
        height = b.I32LE(22);
        bitCount = b.U16LE(28);
        compression = b.U32LE(30);
        compressedSize = b.U32LE(34);
    } else {
        return {};
    }
    if (offBits > b.Size()) {
        return kTruncated;
    }
    const qint64 available = b.Size() - offBits;
    constexpr quint32 kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
    if (compression == kRle8 || compression == kRle4) {
        return compressedSize > available ? kTruncated : QString();
    }
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) {
        return {};
    }
    const qint64 rows = height < 0 ? -height : height; // negative: stored top row first
    QString size = SizeProblem(width, rows);
    if (!size.isEmpty() || bitCount == 0 || bitCount > 32) {
        return size;
    }
    // Rows are padded to whole 32-bit words.
    const qint64 stride = (width * bitCount + 31) / 32 * 4;
    if (stride <= 0) {
        return kTruncated;
    }
    return rows > available / stride ? kTruncated : QString();
}

QString CheckJpeg(const Bytes& b) {
    if (!b.Has(0, 2) || b.U8(0) != 0xFF || b.U8(1) != 0xD8) {
        return {};
    }
    // Walk the marker segments up to the first scan; an embedded thumbnail lies
    // inside a segment and is skipped with it.
    qsizetype pos = 2;
    for (;;) {
        if (!b.Has(pos, 1)) {
            return kTruncated;
        }
        while (b.Has(pos, 1) && b.U8(pos) != 0xFF) {
            ++pos; // stray bytes before a marker, which decoders skip too
        }
        while (b.Has(pos, 1) && b.U8(pos) == 0xFF) {
            ++pos; // fill bytes
        }
        if (!b.Has(pos, 1)) {
            return kTruncated;
        }
        const quint32 marker = b.U8(pos++);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue; // stand-alone markers carry no length
        }
        if (marker == 0xD9) {
            return kCorrupt; // end of image before any picture data
        }
        if (!b.Has(pos, 2)) {
            return kTruncated;
        }
        const qsizetype length = b.U16BE(pos);
        if (length < 2) {
            return kCorrupt;
        }
        pos += length;
        if (marker == 0xDA) {
            break;
        }
    }
    // Stuffing keeps FF D9 out of the scan data, so a file that has it after the
    // first scan header has its end.
    return b.LastIndexOf("\xFF\xD9") >= pos ? QString() : kTruncated;
}

// Skips a chain of data sub-blocks; false when the file ends inside it.
bool SkipSubBlocks(const Bytes& b, qsizetype& pos) {
    for (;;) {
        if (!b.Has(pos, 1)) {
            return false;
        }
        const qsizetype count = b.U8(pos++);
        if (count == 0) {
            return true;
        }
        pos += count;
    }
}

QString CheckGif(const Bytes& b) {
    if (!b.Has(0, 13)) {
        return kTruncated;
    }
    const auto colourTableSize = [&](quint32 flags) -> qsizetype {
        return (flags & 0x80) ? qsizetype{3} << ((flags & 7) + 1) : 0;
    };
    qsizetype pos = 13 + colourTableSize(b.U8(10));
    // Only the first picture is shown, so the file must hold it completely;
    // later frames of an animation do not matter.
    for (;;) {
        if (!b.Has(pos, 1)) {
            return kTruncated;
        }
        switch (b.U8(pos++)) {
        case 0x21: // extension: label, then sub-blocks
            ++pos;
            if (!SkipSubBlocks(b, pos)) {
                return kTruncated;
            }
            break;
        case 0x2C: // image descriptor, local colour table, code size, data
            if (!b.Has(pos, 9)) {
                return kTruncated;
            }
            pos += 9 + colourTableSize(b.U8(pos + 8)) + 1;
            return SkipSubBlocks(b, pos) ? QString() : kTruncated;
        case 0x3B:
            return QStringLiteral("the file holds no picture.");
        default:
            return kCorrupt;
        }
    }
}

QImage ToFastFormat(const QImage& image, const QColor& background) {
    if (!image.hasAlphaChannel()) {
        return image.convertToFormat(QImage::Format_RGB32);
    }
    QImage opaque(image.size(), QImage::Format_RGB32);
    if (opaque.isNull()) {
        return opaque;
    }
    opaque.fill(background);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    return opaque;
}

} // namespace

qint64 PictureByteLimit() {
    const qint64 megabytes = QImageReader::allocationLimit();
    return megabytes > 0 ? megabytes * 1024 * 1024 : std::numeric_limits<qint64>::max();
}

PictureLoad DecodePicture(const QByteArray& bytes, const QColor& background) {
    if (bytes.isEmpty()) {
        return Fail(QStringLiteral("the file is empty."));
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format != "jpeg" && format != "gif" && format != "bmp") {
        return Fail(QStringLiteral("it is not a JPEG, GIF or Windows bitmap picture."));
    }
    QImageReader reader(&buffer, format);
    const Bytes b(bytes);
    // The size comes from the header alone; a picture too large for memory is
    // refused before any of it is decoded.
    const QSize size = reader.size();
    if (size.isValid()) {
        const QString problem = SizeProblem(size.width(), size.height());
        if (!problem.isEmpty()) {
            return Fail(problem);
        }
    }
    const QString structure = format == "bmp"    ? CheckBmp(b)
                              : format == "jpeg" ? CheckJpeg(b)
                                                 : CheckGif(b);
    if (!structure.isEmpty()) {
        return Fail(structure);
    }
    if (!size.isValid()) {
        return Fail(QStringLiteral("its header cannot be read."));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        return Fail(
            QStringLiteral("the picture data cannot be decoded (%1).").arg(reader.errorString()));
    }
    QImage picture = ToFastFormat(image, background);
    if (picture.isNull()) {
        return Fail(QStringLiteral("there is not enough memory to hold the picture."));
    }
    return PictureLoad{picture, QString()};
}

PictureLoad LoadPictureFile(const QString& fileName, const QColor& background) {
    const QFileInfo info(fileName);
    if (!info.exists()) {
        return Fail(QStringLiteral("the file does not exist."));
    }
    if (!info.isFile()) {
        return Fail(QStringLiteral("it is not an ordinary file."));
    }
    QByteArray bytes;
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            return Fail(QStringLiteral("the file cannot be opened (%1).").arg(file.errorString()));
        }
        // No picture file that fits the memory limit is larger than the limit itself.
        if (file.size() > PictureByteLimit()) {
            return Fail(QStringLiteral(
                            "the file is larger than the %1 MB that a picture may take in memory.")
                            .arg(PictureByteLimit() / (qint64{1024} * 1024)));
        }
        bytes = file.readAll();
        if (bytes.size() != file.size()) {
            return Fail(QStringLiteral("the file cannot be read (%1).").arg(file.errorString()));
        }
    }
    return DecodePicture(bytes, background);
}

} // namespace quadrel
