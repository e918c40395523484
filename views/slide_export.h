#pragma once
// Pictures for slides: a window's part as it is shown, or a picture a window
// shows, written as PNG, SVG or PDF, or copied to the clipboard. A PNG holds
// exactly the pixels on screen; SVG and PDF draw the same at the same size, text
// and lines as shapes. Files go through the one file writer: a failed export
// leaves any file of that name as it was.

#include "base/result.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

class QWidget;

namespace quadrel {

class DesktopServices;

enum class SlideFormat { Png, Svg, Pdf };

/// For the save dialog: "PNG picture|*.png|SVG drawing|*.svg|PDF document|*.pdf".
QString SlideFilter();
/// The file a name typed writes: ".png" added unless it ends in .png, .svg or .pdf.
QString SlideFileName(const QString& typed);
/// The format a file name's suffix chooses; anything else is PNG.
SlideFormat SlideFormatOf(const QString& fileName);

/// `widget` as it is shown, all of it (also what a scroll area hides), in `format`.
Result<QByteArray> ShownWidgetBytes(QWidget& widget, SlideFormat format);
/// `picture` pixel for pixel in `format`.
Result<QByteArray> PictureBytes(const QImage& picture, SlideFormat format);

/// Asks for a file name (`preset` proposed) and writes `widget` as shown, or
/// `picture` when `widget` is null; a failure is reported in a warning box.
/// The file written, or nothing when cancelled or failed.
std::optional<QString> ExportSlide(DesktopServices& desktop, QWidget* parent, const QString& title,
                                   const QString& preset, QWidget* widget,
                                   const QImage& picture = {});

/// The clipboard's picture becomes `widget` as shown.
void CopyShownWidget(QWidget& widget);
void CopyPicture(const QImage& picture);

} // namespace quadrel
