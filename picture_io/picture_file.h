#pragma once
// Reading a JPEG, GIF, Windows bitmap, PNG, TIFF, WebP or PBM/PGM/PPM file into
// a picture that can be shown and read point by point. Qt's decoders accept
// truncated or damaged files and fill the missing part, so the file's structure
// is checked before any of them sees it: a JPEG is decoded by libjpeg itself,
// which must report no damage (only rare kinds, such as CMYK, go on to Qt's
// reader once libjpeg has checked them), PNG chunks must be whole with right
// CRCs up to the end chunk, a TIFF's strips or tiles and a WebP's chunks must
// lie inside the file, and a PNM file must hold every sample its header calls
// for. A picture whose file says how it was turned (an Exif orientation) is
// decoded upright.

#include "base/result.h"

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QString>

#include <cstdint>

namespace quadrel {

/// What a caller keeps of a decoded picture.
enum class PictureForm : std::uint8_t {
    Rgb32,    ///< always QImage::Format_RGB32, for point reads
    GreyAsIs, ///< a grey picture stays QImage::Format_Grayscale8 (a quarter of the memory)
    Packed,   ///< Format_Grayscale8 or Format_RGB888: one byte a channel, as coders read it
};

/// Decodes the picture held in `bytes` into QImage::Format_RGB32 (or what the
/// PictureForm asks for); the failure says why
/// the file cannot be shown. A partly transparent picture is laid onto
/// `background`, so that what is shown and what is read are the same.
Result<QImage> DecodePicture(const QByteArray& bytes, const QColor& background,
                             PictureForm form = PictureForm::Rgb32);

/// Reads the file, then decodes it as DecodePicture does. The file is closed again
/// before this returns.
Result<QImage> LoadPictureFile(const QString& fileName, const QColor& background,
                               PictureForm form = PictureForm::Rgb32);

/// How the file stores its picture relative to upright (its Exif or TIFF
/// orientation; TransformationNone when it says nothing or is no picture), for a
/// file DecodePicture has accepted: DecodePicture has already turned it upright.
QImageIOHandler::Transformations StoredOrientation(const QByteArray& bytes);

/// `picture` turned upright from how its file stores it, as Qt's reader turns it.
QImage Upright(QImage picture, QImageIOHandler::Transformations orientation);

/// Turns off what Qt's picture decoders say on standard error (the categories
/// qt.gui.imageio and under it): a file they would complain about is refused
/// with a message of this program's own, and one they decode has nothing to
/// tell a user. For a program's start; QT_LOGGING_RULES still turns them on.
void QuietPictureDecoders();

/// What a picture may take in memory once decoded, at four bytes a pixel: 1 GiB,
/// about 268 megapixels, so any photo of today's cameras and phones opens and a
/// few bytes claiming a gigantic picture are refused from the header alone. The
/// file, and a JPEG decoder's working memory, are held to the same limit.
inline constexpr qint64 kPictureMegabytes = 1024;

/// kPictureMegabytes in bytes.
qint64 PictureByteLimit();

} // namespace quadrel
