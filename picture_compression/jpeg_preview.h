#pragma once
// A quick first look at a JPEG file while the whole picture is still being read
// and checked: libjpeg decodes it at a fraction of its size through its reduced
// IDCT, which skips most of the arithmetic but still reads every coefficient.
// Nothing here is checked: a damaged file may give a preview and still be
// refused by LoadPictureFile, which stays the one judge of a file.

#include "base/result.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace quadrel {

struct JpegPreview {
    QImage Picture; ///< the reduced picture
    QSize Size;     ///< the full picture's, upright
};

/// The picture `bytes` hold, at 1/`denominator` of its width and height
/// (`denominator` 1 to 8; libjpeg rounds the scale up to
/// a whole number of eighths and the sizes up), turned upright as its Exif
/// orientation says: Format_Grayscale8 for a grey JPEG, Format_RGB888 otherwise.
/// Fails for anything but a JPEG that libjpeg can start on, and for one whose
/// full picture LoadPictureFile would refuse for its size.
Result<JpegPreview> DecodeJpegPreview(const QByteArray& bytes, int denominator);

/// The same for a file, which is closed again before this returns.
Result<JpegPreview> LoadJpegPreview(const QString& fileName, int denominator);

} // namespace quadrel
