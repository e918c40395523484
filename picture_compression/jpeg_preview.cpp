#include "picture_compression/jpeg_preview.h"

#include "picture_io/picture_file.h"

#include <QFile>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <utility>

#include <jpeglib.h>

namespace quadrel {

namespace {

// libjpeg's error manager with the way back from an error; the manager comes
// first, as libjpeg hands back a pointer to it.
struct PreviewError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<PreviewError*>(info->err)->jump, 1);
}

// A preview has nothing to say about warnings: the full read judges the file.
void OnMessage(j_common_ptr /*info*/, int /*level*/) {}

// One decode, in stages that each set their own way back from an error, so
// that only libjpeg state and plain data live across a jump; the picture is
// made between the stages.
class PreviewDecoder {
public:
    PreviewDecoder() {
        info_.err = jpeg_std_error(&error_.manager);
        error_.manager.error_exit = OnError;
        error_.manager.emit_message = OnMessage;
    }
    ~PreviewDecoder() {
        if (created_) {
            jpeg_destroy_decompress(&info_);
        }
    }
    PreviewDecoder(const PreviewDecoder&) = delete;
    PreviewDecoder& operator=(const PreviewDecoder&) = delete;

    /// Reads the header; false for what is no JPEG libjpeg can start on, or too big.
    bool ReadHeader(const QByteArray& bytes) {
        if (setjmp(error_.jump) != 0) {
            return false;
        }
        jpeg_create_decompress(&info_);
        created_ = true;
        info_.mem->max_memory_to_use = static_cast<long>(PictureByteLimit());
        jpeg_mem_src(&info_, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&info_, TRUE);
        return qint64{4} * info_.image_width * info_.image_height <= PictureByteLimit();
    }

    /// Starts decoding at 1/denominator; false on an error.
    bool Start(int denominator) {
        if (setjmp(error_.jump) != 0) {
            return false;
        }
        info_.scale_num = 1;
        info_.scale_denom = static_cast<unsigned int>(denominator);
        info_.out_color_space = info_.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_start_decompress(&info_);
        return true;
    }

    QSize FullSize() const {
        return {static_cast<int>(info_.image_width), static_cast<int>(info_.image_height)};
    }
    int Width() const { return static_cast<int>(info_.output_width); }
    int Height() const { return static_cast<int>(info_.output_height); }
    bool Grey() const { return info_.out_color_space == JCS_GRAYSCALE; }

    /// Decodes every row into the picture's memory; false on an error.
    bool ReadRows(unsigned char* bits, qsizetype stride) {
        if (setjmp(error_.jump) != 0) {
            return false;
        }
        while (info_.output_scanline < info_.output_height) {
            JSAMPROW row = bits + stride * info_.output_scanline;
            jpeg_read_scanlines(&info_, &row, 1);
        }
        return true;
    }

private:
    jpeg_decompress_struct info_{};
    PreviewError error_{};
    bool created_ = false;
};

} // namespace

Result<JpegPreview> DecodeJpegPreview(const QByteArray& bytes, int denominator) {
    const Failure none{"the file gives no preview."};
    if (denominator < 1 || denominator > 8) {
        return none;
    }
    PreviewDecoder decoder;
    if (!decoder.ReadHeader(bytes) || !decoder.Start(denominator)) {
        return none;
    }
    QImage picture(decoder.Width(), decoder.Height(),
                   decoder.Grey() ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (picture.isNull() || !decoder.ReadRows(picture.bits(), picture.bytesPerLine())) {
        return none;
    }
    const QImageIOHandler::Transformations orientation = StoredOrientation(bytes);
    QSize size = decoder.FullSize();
    if (orientation & QImageIOHandler::TransformationRotate90) {
        size.transpose();
    }
    return JpegPreview{Upright(std::move(picture), orientation), size};
}

Result<JpegPreview> LoadJpegPreview(const QString& fileName, int denominator) {
    QFile file(fileName);
    // Only a JPEG is read whole: any other file is read once, by the full read.
    if (!file.open(QIODevice::ReadOnly) || file.size() > PictureByteLimit() ||
        file.peek(2) != QByteArray("\xFF\xD8", 2)) {
        return Failure{"the file gives no preview."};
    }
    return DecodeJpegPreview(file.readAll(), denominator);
}

} // namespace quadrel
