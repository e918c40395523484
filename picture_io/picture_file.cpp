#include "picture_io/picture_file.h"

#include "base/large_pages.h"
#include "file_io/native_path.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <zlib.h>
// After jpeglib.h: its configuration decides which message codes exist.
#include <jerror.h>

namespace quadrel {

namespace {

Failure Refused(const QString& problem) {
    return Fail(problem.toStdString());
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

// Walks a run-length coded bitmap: it is complete when it reaches its end of
// bitmap, or has ended every row, before the file ends. The header's data size
// may be 0, so only the walk tells a truncated file.
bool RleComplete(const Bytes& b, qsizetype pos, qint64 rows, bool fourBit) {
    qint64 row = 0;
    while (row < rows) {
        if (!b.Has(pos, 2)) {
            return false;
        }
        const quint32 count = b.U8(pos);
        const quint32 code = b.U8(pos + 1);
        pos += 2;
        if (count > 0) {
            continue; // a run: count pixels of one value
        }
        if (code == 0) {
            ++row; // end of line
        } else if (code == 1) {
            return true; // end of bitmap
        } else if (code == 2) {
            if (!b.Has(pos, 2)) {
                return false;
            }
            row += b.U8(pos + 1); // delta: right and down
            pos += 2;
        } else {
            // Literal pixels, padded to a whole 16-bit word.
            const qsizetype bytes = fourBit ? (code + 1) / 2 : code;
            pos += (bytes + 1) / 2 * 2;
        }
    }
    return true;
}

// The picture size a BMP header gives; a negative height means the rows are
// stored top row first, which Qt's reader handles but does not report as a size.
QSize BmpHeaderSize(const Bytes& b) {
    if (!b.Has(14, 4)) {
        return {};
    }
    const quint32 headerSize = b.U32LE(14);
    if (headerSize == 12 && b.Has(18, 4)) {
        return QSize(static_cast<int>(b.U16LE(18)), static_cast<int>(b.U16LE(20)));
    }
    if (headerSize < 40 || !b.Has(18, 8)) {
        return {};
    }
    const qint64 width = b.I32LE(18);
    const qint64 height = b.I32LE(22);
    if (height == std::numeric_limits<qint32>::min()) {
        return {};
    }
    return QSize(static_cast<int>(width), static_cast<int>(height < 0 ? -height : height));
}

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
        if (compressedSize > available) {
            return kTruncated;
        }
        return RleComplete(b, offBits, height < 0 ? -height : height, compression == kRle4)
                   ? QString()
                   : kTruncated;
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

// libjpeg's error manager, extended with what the check needs. The manager
// comes first: libjpeg hands back a pointer to it.
struct JpegCheck {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool inScan;                 // a scan header has been read
    int missing;                 // the file ends before the picture does
    int stopped;                 // the scan data stops at a marker before the picture is complete
    int corrupt;                 // the scan data is damaged
    char first[JMSG_LENGTH_MAX]; // libjpeg's words for the first damage or the error
};

void KeepMessage(j_common_ptr info, JpegCheck& check) {
    if (check.first[0] == '\0') {
        check.manager.format_message(info, check.first);
    }
}

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* check = reinterpret_cast<JpegCheck*>(info->err);
    KeepMessage(info, *check);
    std::longjmp(check->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    auto* check = reinterpret_cast<JpegCheck*>(info->err);
    const int code = check->manager.msg_code;
    if (level >= 0) { // trace messages; one of them tells that a scan begins
        check->inScan = check->inScan || code == JTRC_SOS;
        return;
    }
    switch (code) {
    case JWRN_JPEG_EOF:
        ++check->missing;
        break;
    case JWRN_HIT_MARKER:
        ++check->stopped;
        break;
    case JWRN_EXTRANEOUS_DATA:
        // Stray bytes between header segments are common in cameras' files;
        // once a scan has begun they are scan data the decoder could not use.
        if (!check->inScan) {
            break;
        }
        [[fallthrough]];
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL:
        ++check->corrupt;
        KeepMessage(info, *check);
        break;
    default:
        break; // e.g. an unknown JFIF revision
    }
}

// Hands libjpeg the file in small pieces. While much input is buffered,
// libjpeg-turbo decodes through a fast path that turns a bad Huffman code into
// a zero without a word; with less than 512 bytes buffered every code goes
// through the path that reports it.
struct PieceSource {
    jpeg_source_mgr manager; // first: libjpeg hands back a pointer to it
    const JOCTET* data;
    std::size_t size;
    std::size_t served;
};

constexpr std::size_t kPieceBytes = 256;
constexpr std::array<JOCTET, 2> kEndOfImage = {0xFF, JPEG_EOI};

void StartPieces(j_decompress_ptr /*info*/) {}

boolean NextPiece(j_decompress_ptr info) {
    auto* source = reinterpret_cast<PieceSource*>(info->src);
    if (source->served >= source->size) {
        // The file ends inside the picture: count it, and end the data as
        // libjpeg's own sources do.
        ++reinterpret_cast<JpegCheck*>(info->err)->missing;
        source->manager.next_input_byte = kEndOfImage.data();
        source->manager.bytes_in_buffer = kEndOfImage.size();
        return TRUE;
    }
    const std::size_t count = std::min(kPieceBytes, source->size - source->served);
    source->manager.next_input_byte = source->data + source->served;
    source->manager.bytes_in_buffer = count;
    source->served += count;
    return TRUE;
}

void SkipPieces(j_decompress_ptr info, long count) {
    jpeg_source_mgr& source = *info->src;
    while (count > static_cast<long>(source.bytes_in_buffer)) {
        count -= static_cast<long>(source.bytes_in_buffer);
        NextPiece(info);
    }
    if (count > 0) {
        source.next_input_byte += count;
        source.bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

void EndPieces(j_decompress_ptr /*info*/) {}

QString JpegDamage(const JpegCheck& check) {
    if (check.corrupt > 0) {
        return QStringLiteral("the picture data is corrupt (%1).")
            .arg(QString::fromLocal8Bit(check.first));
    }
    if (check.missing > 0) {
        return kTruncated;
    }
    if (check.stopped > 0) {
        return QStringLiteral("the picture data stops before the picture is complete (the "
                              "file is truncated or corrupt).");
    }
    return {};
}

// One pass of libjpeg over a JPEG file, fed in pieces so that every damaged
// code is reported, with the damage counted as it goes. Each stage sets its own
// way back from an error, so that only libjpeg state and plain data live across
// a jump; pictures are made between the stages. Once a stage has failed, the
// others do nothing and Problem() says why.
class JpegPass {
public:
    explicit JpegPass(const QByteArray& bytes) {
        info_.err = jpeg_std_error(&check_.manager);
        check_.manager.error_exit = OnJpegError;
        check_.manager.emit_message = OnJpegMessage;
        source_.manager.init_source = StartPieces;
        source_.manager.fill_input_buffer = NextPiece;
        source_.manager.skip_input_data = SkipPieces;
        source_.manager.resync_to_restart = jpeg_resync_to_restart;
        source_.manager.term_source = EndPieces;
        source_.data = reinterpret_cast<const JOCTET*>(bytes.constData());
        source_.size = static_cast<std::size_t>(bytes.size());
    }
    ~JpegPass() {
        if (created_) {
            jpeg_destroy_decompress(&info_);
        }
    }
    JpegPass(const JpegPass&) = delete;
    JpegPass& operator=(const JpegPass&) = delete;

    /// Reads the header; libjpeg's own memory is held to the picture's limit.
    bool ReadHeader() {
        if (setjmp(check_.jump) != 0) {
            return Failed();
        }
        jpeg_create_decompress(&info_);
        created_ = true;
        info_.mem->max_memory_to_use = static_cast<long>(PictureByteLimit());
        info_.src = &source_.manager;
        jpeg_read_header(&info_, TRUE);
        return true;
    }

    const jpeg_decompress_struct& Info() const { return info_; }

    /// Starts decoding into `space`; `quick` decodes at an eighth of the size
    /// with the cheapest arithmetic, for a check that keeps no picture.
    bool Start(J_COLOR_SPACE space, bool quick) {
        if (failed_ || setjmp(check_.jump) != 0) {
            return Failed();
        }
        info_.out_color_space = space;
        if (quick) {
            info_.scale_num = 1;
            info_.scale_denom = 8;
            info_.dct_method = JDCT_IFAST;
            info_.do_fancy_upsampling = FALSE;
        }
        jpeg_start_decompress(&info_);
        return true;
    }

    /// Whether damage has been seen: the file is refused then, whatever follows.
    bool Damaged() const { return check_.missing + check_.stopped + check_.corrupt > 0; }

    /// Decodes every row into rows `stride` bytes apart from `bits`, or into
    /// one scratch row when `bits` is null, then reads up to the end of the file.
    /// Stops at the first damage: libjpeg would fill the rest of a cut or
    /// broken scan, so a few bytes claiming a huge picture would take all
    /// its memory and time.
    bool ReadRows(unsigned char* bits, qsizetype stride) {
        if (failed_ || setjmp(check_.jump) != 0) {
            return Failed();
        }
        const JDIMENSION height = info_.output_height;
        if (bits == nullptr) {
            JSAMPARRAY row =
                (*info_.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info_), JPOOL_IMAGE,
                                           info_.output_width * info_.output_components, 1);
            while (info_.output_scanline < height && !Damaged()) {
                jpeg_read_scanlines(&info_, row, 1);
            }
        } else {
            // Several rows a call: libjpeg then writes straight into the picture.
            std::array<JSAMPROW, 16> rows{};
            while (info_.output_scanline < height && !Damaged()) {
                const JDIMENSION first = info_.output_scanline;
                const JDIMENSION count =
                    std::min<JDIMENSION>(static_cast<JDIMENSION>(rows.size()), height - first);
                for (JDIMENSION i = 0; i < count; ++i) {
                    rows.at(i) = bits + stride * static_cast<qsizetype>(first + i);
                }
                jpeg_read_scanlines(&info_, rows.data(), count);
            }
        }
        if (!Damaged()) {
            jpeg_finish_decompress(&info_);
        }
        return true;
    }

    /// What the file lacks or what is wrong with it; empty when it is whole.
    QString Problem() const {
        QString damage = JpegDamage(check_);
        if (!failed_ || !damage.isEmpty()) {
            return damage;
        }
        // A file cut inside its headers ends in libjpeg's "no image" error,
        // after the data ran out; that is counted as damage above.
        return QStringLiteral("the picture data is corrupt (%1).")
            .arg(QString::fromLocal8Bit(check_.first));
    }

private:
    bool Failed() {
        failed_ = true;
        return false;
    }

    jpeg_decompress_struct info_{};
    JpegCheck check_{};
    PieceSource source_{};
    bool created_ = false;
    bool failed_ = false;
};

// An empty picture whose memory the system may back with large pages: a
// photo's pixels are then mapped in a few dozen steps instead of thousands,
// which took a tenth of its decoding time. Rows are 32-bit aligned, as in any
// QImage; a small picture is made as usual.
QImage LargePagePicture(int width, int height, QImage::Format format) {
    const int channels = format == QImage::Format_Grayscale8 ? 1
                         : format == QImage::Format_RGB888   ? 3
                                                             : 4;
    const qsizetype stride = (qsizetype{width} * channels + 3) / 4 * 4;
    const auto bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (bytes < kLargePage) {
        return {width, height, format};
    }
    const std::size_t whole = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* memory = std::aligned_alloc(kLargePage, whole);
    if (memory == nullptr) {
        return {};
    }
    AdviseLargePages(memory, whole);
    return {static_cast<uchar*>(memory),
            width,
            height,
            stride,
            format,
            [](void* pixels) { std::free(pixels); },
            memory};
}

// The colour spaces this program decodes itself, as Qt's reader gives them:
// one byte a grey pixel, or R, G, B (with a pad byte of 255 for RGB32). CMYK
// and the other rare kinds are checked here and decoded by Qt's reader.
std::optional<QImage::Format> DirectFormat(const jpeg_decompress_struct& info, PictureForm form) {
    if (info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) {
        return QImage::Format_Grayscale8;
    }
    if (info.num_components == 3 &&
        (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB)) {
        return form == PictureForm::Packed ? QImage::Format_RGB888 : QImage::Format_RGB32;
    }
    return std::nullopt;
}

/// A JPEG file read by one pass of libjpeg: refused with the damage found, or,
/// for what Qt's reader decodes just as well, a null picture once the scan
/// data has been checked whole. Qt's decoder fills whatever a damaged or cut
/// scan lacks and reports no error, which is why the data is judged here. The
/// size comes from the header before anything is allocated.
Result<QImage> ReadJpeg(const QByteArray& bytes, PictureForm form) {
    JpegPass pass(bytes);
    if (!pass.ReadHeader()) {
        return Refused(pass.Problem());
    }
    const jpeg_decompress_struct& info = pass.Info();
    if (QString size = SizeProblem(info.image_width, info.image_height); !size.isEmpty()) {
        return Refused(size);
    }
    const std::optional<QImage::Format> format = DirectFormat(info, form);
    if (!format) {
        if (!pass.Start(info.out_color_space, true) || !pass.ReadRows(nullptr, 0)) {
            return Refused(pass.Problem());
        }
        const QString problem = pass.Problem();
        return problem.isEmpty() ? Result<QImage>(QImage()) : Refused(problem);
    }
    const J_COLOR_SPACE space = *format == QImage::Format_Grayscale8 ? JCS_GRAYSCALE
                                : *format == QImage::Format_RGB888   ? JCS_RGB
                                                                     : JCS_EXT_BGRX;
    // A progressive file's scans are all read by the start: refuse damage
    // found there before the picture's memory is taken.
    if (!pass.Start(space, false) || pass.Damaged()) {
        return Refused(pass.Problem());
    }
    QImage picture = LargePagePicture(static_cast<int>(info.output_width),
                                      static_cast<int>(info.output_height), *format);
    if (picture.isNull()) {
        return Refused(QStringLiteral("there is not enough memory to hold the picture."));
    }
    // The rows are written straight into the picture's memory.
    if (!pass.ReadRows(picture.bits(), picture.bytesPerLine())) {
        return Refused(pass.Problem());
    }
    if (const QString problem = pass.Problem(); !problem.isEmpty()) {
        return Refused(problem);
    }
    return picture;
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

// CRC-32 as PNG chunks carry it (zlib's), over `count` bytes from `pos`.
quint32 Crc32(const QByteArray& bytes, qsizetype pos, qsizetype count) {
    const auto* data = reinterpret_cast<const Bytef*>(bytes.constData() + pos);
    return static_cast<quint32>(::crc32(::crc32(0L, Z_NULL, 0), data, static_cast<uInt>(count)));
}

// Every chunk must be whole and its CRC right, up to the end chunk; libpng
// leaves the rows a cut file lacks unwritten without failing the read.
QString CheckPng(const QByteArray& bytes, const Bytes& b) {
    qsizetype pos = 8; // the signature
    bool sawData = false;
    for (;;) {
        if (!b.Has(pos, 8)) {
            return kTruncated;
        }
        const qint64 length = qint64{b.U16BE(pos)} << 16 | b.U16BE(pos + 2);
        if (length > 0x7FFFFFFF) {
            return kCorrupt;
        }
        if (!b.Has(pos + 8, static_cast<qsizetype>(length) + 4)) {
            return kTruncated;
        }
        const qsizetype crcAt = pos + 8 + static_cast<qsizetype>(length);
        const quint32 stored = b.U16BE(crcAt) << 16 | b.U16BE(crcAt + 2);
        if (Crc32(bytes, pos + 4, length + 4) != stored) {
            return kCorrupt;
        }
        const QByteArray type = bytes.mid(pos + 4, 4);
        if (type == "IDAT") {
            sawData = true;
        } else if (type == "IEND") {
            return sawData ? QString() : kCorrupt;
        }
        pos = crcAt + 4;
    }
}

// TIFF: the first directory and every strip or tile it names lie inside the file.
QString CheckTiff(const Bytes& b) {
    if (!b.Has(0, 8)) {
        return kTruncated;
    }
    const bool little = b.U8(0) == 'I';
    const auto u16 = [&](qsizetype at) { return little ? b.U16LE(at) : b.U16BE(at); };
    const auto u32 = [&](qsizetype at) -> qint64 {
        return little ? qint64{b.U32LE(at)} : qint64{b.U16BE(at)} << 16 | b.U16BE(at + 2);
    };
    const qint64 ifd = u32(4);
    if (ifd < 8 || !b.Has(static_cast<qsizetype>(ifd), 2)) {
        return kTruncated;
    }
    const qint64 entries = u16(static_cast<qsizetype>(ifd));
    if (!b.Has(static_cast<qsizetype>(ifd) + 2, static_cast<qsizetype>(entries) * 12)) {
        return kTruncated;
    }
    // Values of one field, short or long, stored in the entry or where it points.
    const auto values = [&](qsizetype entry, QList<qint64>& out) {
        const quint32 type = u16(entry + 2);
        const qint64 count = u32(entry + 4);
        const qint64 size = type == 3 ? 2 : type == 4 ? 4 : 0;
        if (size == 0 || count <= 0 || count > b.Size()) {
            return false;
        }
        qint64 at = entry + 8;
        if (count * size > 4) {
            at = u32(entry + 8);
            if (!b.Has(static_cast<qsizetype>(at), static_cast<qsizetype>(count * size))) {
                return false;
            }
        }
        for (qint64 i = 0; i < count; ++i) {
            const auto p = static_cast<qsizetype>(at + i * size);
            out.append(size == 2 ? qint64{u16(p)} : u32(p));
        }
        return true;
    };
    QList<qint64> offsets;
    QList<qint64> counts;
    for (qint64 i = 0; i < entries; ++i) {
        const auto entry = static_cast<qsizetype>(ifd + 2 + i * 12);
        const quint32 tag = u16(entry);
        if ((tag == 273 || tag == 324) && !values(entry, offsets)) {
            return kTruncated;
        }
        if ((tag == 279 || tag == 325) && !values(entry, counts)) {
            return kTruncated;
        }
    }
    if (offsets.isEmpty() || offsets.size() != counts.size()) {
        return kCorrupt;
    }
    for (qsizetype i = 0; i < offsets.size(); ++i) {
        if (counts[i] > b.Size() ||
            !b.Has(static_cast<qsizetype>(offsets[i]), static_cast<qsizetype>(counts[i]))) {
            return kTruncated;
        }
    }
    return {};
}

/// Where a binary PGM or PPM of one byte a sample keeps its samples, found
/// while its structure is checked.
struct BytePnm {
    int Width = 0;
    int Height = 0;
    int Channels = 0; ///< 0: some other kind of PNM file
    qsizetype Data = 0;
};

// PBM, PGM, PPM: the header's size and greatest value, then as many samples
// as they call for, as bytes or as numbers in text.
QString CheckPnm(const QByteArray& bytes, const Bytes& b, BytePnm& layout) {
    const int kind = b.Has(0, 2) ? static_cast<int>(b.U8(1)) - '0' : 0;
    qsizetype pos = 2;
    const auto skipSpace = [&] {
        while (b.Has(pos, 1)) {
            const char c = bytes[pos];
            if (c == '#') {
                while (b.Has(pos, 1) && bytes[pos] != '\n' && bytes[pos] != '\r') {
                    ++pos;
                }
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                ++pos;
            } else {
                return;
            }
        }
    };
    const auto number = [&]() -> qint64 {
        skipSpace();
        qint64 value = -1;
        while (b.Has(pos, 1) && bytes[pos] >= '0' && bytes[pos] <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (bytes[pos++] - '0');
            if (value > 0xFFFFFFF) {
                return -2;
            }
        }
        return value;
    };
    const qint64 width = number();
    const qint64 height = number();
    const bool bitmap = kind == 1 || kind == 4;
    const qint64 maxValue = bitmap ? 1 : number();
    if (width == -1 || height == -1 || maxValue == -1) {
        return b.Has(pos, 1) ? kCorrupt : kTruncated;
    }
    if (width < 0 || height < 0) {
        return kCorrupt;
    }
    QString size = SizeProblem(width, height);
    if (!size.isEmpty()) {
        return size;
    }
    if (maxValue < 1 || maxValue > 65535) {
        return kCorrupt;
    }
    const qint64 channels = (kind == 3 || kind == 6) ? 3 : 1;
    const qint64 samples = width * height * channels;
    if (kind >= 4) {
        ++pos; // the one white-space character before the data
        const qint64 need =
            kind == 4 ? (width + 7) / 8 * height : samples * (maxValue > 255 ? 2 : 1);
        if (b.Size() - pos < need) {
            return kTruncated;
        }
        if (kind != 4 && maxValue == 255) {
            layout = {static_cast<int>(width), static_cast<int>(height), static_cast<int>(channels),
                      pos};
        }
        return {};
    }
    // Text samples; a plain bitmap may run its digits together.
    qint64 found = 0;
    while (found < samples) {
        skipSpace();
        if (!b.Has(pos, 1)) {
            return kTruncated;
        }
        if (bytes[pos] < '0' || bytes[pos] > '9') {
            return kCorrupt;
        }
        if (kind == 1) {
            ++pos;
        } else {
            while (b.Has(pos, 1) && bytes[pos] >= '0' && bytes[pos] <= '9') {
                ++pos;
            }
        }
        ++found;
    }
    return {};
}

// WebP: a RIFF container that the file holds whole, its chunks inside it, one
// of them the picture's data (a still picture, or an animation's frames).
QString CheckWebp(const QByteArray& bytes, const Bytes& b) {
    if (!b.Has(0, 12)) {
        return kTruncated;
    }
    const qint64 riffEnd = qint64{b.U32LE(4)} + 8;
    if (riffEnd > b.Size()) {
        return kTruncated;
    }
    bool sawData = false;
    qint64 pos = 12;
    while (riffEnd - pos >= 8) {
        const auto at = static_cast<qsizetype>(pos);
        const qint64 size = b.U32LE(at + 4);
        if (size > riffEnd - pos - 8) {
            return kCorrupt;
        }
        const QByteArray type = bytes.mid(at, 4);
        sawData = sawData || type == "VP8 " || type == "VP8L" || type == "ANMF";
        pos += 8 + size + (size & 1); // chunks are padded to an even size
    }
    return sawData ? QString() : kCorrupt;
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

// A decoded picture in the form the caller keeps; null when memory runs out.
// A picture already in that form is kept as it is, not copied.
QImage InForm(const QImage& image, const QColor& background, PictureForm form) {
    const QImage::Format format = image.format();
    if ((format == QImage::Format_Grayscale8 && form != PictureForm::Rgb32) ||
        (format == QImage::Format_RGB888 && form == PictureForm::Packed)) {
        return image;
    }
    QImage picture = ToFastFormat(image, background);
    if (form == PictureForm::Packed && !picture.isNull()) {
        picture = picture.convertToFormat(QImage::Format_RGB888);
    }
    return picture;
}

/// A whole binary PGM or PPM of bytes copied straight into its picture, as Qt's
/// reader would give it but without the reader's copies: a 12-megapixel file
/// took longer to decode than to code.
QImage ReadBytePnm(const QByteArray& bytes, const BytePnm& layout, const QColor& background,
                   PictureForm form) {
    const bool grey = layout.Channels == 1;
    QImage image = LargePagePicture(layout.Width, layout.Height,
                                    grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) {
        return image;
    }
    const auto rowBytes = static_cast<qsizetype>(layout.Width) * layout.Channels;
    for (int y = 0; y < layout.Height; ++y) {
        std::memcpy(image.scanLine(y), bytes.constData() + layout.Data + y * rowBytes,
                    static_cast<std::size_t>(rowBytes));
    }
    return InForm(image, background, form);
}

// The format the first bytes of `device` name, when it is one that is read;
// the device is left where it was.
Result<QByteArray> KnownFormat(QIODevice& device) {
    const QByteArray format = QImageReader::imageFormat(&device);
    for (const char* known : {"jpeg", "gif", "bmp", "png", "tiff", "webp", "pbm", "pgm", "ppm"}) {
        if (format == known) {
            return format;
        }
    }
    return Fail("it is not a JPEG, GIF, Windows bitmap, PNG, TIFF, WebP or PBM/PGM/PPM picture.");
}

} // namespace

qint64 PictureByteLimit() {
    return kPictureMegabytes * 1024 * 1024;
}

Result<QImage> DecodePicture(const QByteArray& bytes, const QColor& background, PictureForm form) {
    if (bytes.isEmpty()) {
        return Refused(QStringLiteral("the file is empty."));
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Result<QByteArray> known = KnownFormat(buffer);
    if (!known) {
        return Refused(QString::fromStdString(known.Message()));
    }
    const QByteArray& format = *known;
    const bool pnm = format == "pbm" || format == "pgm" || format == "ppm";
    const Bytes b(bytes);
    BytePnm bytePnm;
    // The structure is checked before any of Qt's decoders sees the file: they
    // fill what a damaged file lacks, and the libraries under them would say
    // what they find on standard error. Each check that allocates by the
    // header's size holds it to the limit first.
    if (format == "jpeg") {
        const Result<QImage> jpeg = ReadJpeg(bytes, form);
        if (!jpeg) {
            return Fail(jpeg.Message());
        }
        if (!jpeg->isNull()) {
            // Upright, as the camera held it, as every viewer shows it.
            const QImage picture =
                InForm(Upright(*jpeg, StoredOrientation(bytes)), background, form);
            if (picture.isNull()) {
                return Refused(QStringLiteral("there is not enough memory to hold the picture."));
            }
            return picture;
        }
        // Checked whole, and of a kind Qt's reader decodes as well as libjpeg.
    }
    QString structure = format == "bmp"    ? CheckBmp(b)
                        : format == "jpeg" ? QString()
                        : format == "png"  ? CheckPng(bytes, b)
                        : format == "tiff" ? CheckTiff(b)
                        : format == "webp" ? CheckWebp(bytes, b)
                        : pnm              ? CheckPnm(bytes, b, bytePnm)
                                           : CheckGif(b);
    if (!structure.isEmpty()) {
        return Refused(structure);
    }
    if (bytePnm.Channels > 0) {
        QImage image = ReadBytePnm(bytes, bytePnm, background, form);
        if (image.isNull()) {
            return Refused(QStringLiteral("there is not enough memory to hold the picture."));
        }
        return image;
    }
    QImageReader reader(&buffer, format);
    // Upright, as the camera held it, as every viewer shows it.
    reader.setAutoTransform(true);
    // The size comes from the header alone; a picture too large for memory is
    // refused before it is decoded.
    const QSize size = format == "bmp" ? BmpHeaderSize(b) : reader.size();
    if (!size.isValid()) {
        return Refused(QStringLiteral("its header cannot be read."));
    }
    if (const QString problem = SizeProblem(size.width(), size.height()); !problem.isEmpty()) {
        return Refused(problem);
    }
    // Qt's own limit (128 MB) would refuse a 48-megapixel photo; the size check
    // above has already held the picture to ours.
    const int qtLimit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(static_cast<int>(kPictureMegabytes));
    QImage image;
    const bool read = reader.read(&image);
    QImageReader::setAllocationLimit(qtLimit);
    if (!read || image.isNull()) {
        return Refused(
            QStringLiteral("the picture data cannot be decoded (%1).").arg(reader.errorString()));
    }
    const QImage picture = InForm(image, background, form);
    if (picture.isNull()) {
        return Refused(QStringLiteral("there is not enough memory to hold the picture."));
    }
    return picture;
}

void QuietPictureDecoders() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
}

QImage Upright(QImage picture, QImageIOHandler::Transformations orientation) {
    if (orientation == QImageIOHandler::TransformationNone) {
        return picture;
    }
    if (orientation == QImageIOHandler::TransformationRotate270) {
        return picture.transformed(QTransform().rotate(270));
    }
    picture = std::move(picture).mirrored(orientation & QImageIOHandler::TransformationMirror,
                                          orientation & QImageIOHandler::TransformationFlip);
    if (orientation & QImageIOHandler::TransformationRotate90) {
        picture = picture.transformed(QTransform().rotate(90));
    }
    return picture;
}

QImageIOHandler::Transformations StoredOrientation(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Result<QByteArray> known = KnownFormat(buffer);
    if (!known) {
        return QImageIOHandler::TransformationNone;
    }
    QImageReader reader(&buffer, *known);
    return reader.transformation();
}

Result<QImage> LoadPictureFile(const QString& fileName, const QColor& background,
                               PictureForm form) {
    // The name's bytes as the system has them: Qt's own decoding loses some.
    const QByteArray native = NativePath(fileName);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        return Refused(QStringLiteral("the file does not exist."));
    }
    if (!S_ISREG(info.st_mode)) {
        return Refused(QStringLiteral("it is not an ordinary file."));
    }
    QByteArray bytes;
    {
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        QFile file;
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            const QString reason =
                fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
            if (fd >= 0) {
                ::close(fd);
            }
            return Refused(QStringLiteral("the file cannot be opened (%1).").arg(reason));
        }
        // No picture file that fits the memory limit is larger than the limit itself.
        if (file.size() > PictureByteLimit()) {
            return Refused(
                QStringLiteral(
                    "the file is larger than the %1 MB that a picture may take in memory.")
                    .arg(PictureByteLimit() / (qint64{1024} * 1024)));
        }
        // A file that is no picture is refused from its first bytes, not read whole
        // (an empty one is said to be empty below).
        if (const Result<QByteArray> known = KnownFormat(file); file.size() > 0 && !known) {
            return Refused(QString::fromStdString(known.Message()));
        }
        bytes = QByteArray(file.size(), Qt::Uninitialized);
        AdviseLargePages(bytes.data(), static_cast<std::size_t>(bytes.size()));
        if (file.read(bytes.data(), bytes.size()) != bytes.size()) {
            return Refused(QStringLiteral("the file cannot be read (%1).").arg(file.errorString()));
        }
    }
    return DecodePicture(bytes, background, form);
}

} // namespace quadrel
