#include "views/slide_export.h"

#include "file_io/file_writer.h"
#include "views/desktop_services.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QWidget>

#include <functional>

namespace quadrel {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("quadrel::SlideExport", text);
}

Result<QByteArray> PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        return Fail(writer.errorString().toStdString());
    }
    return bytes;
}

/// A drawing of `size` pixels as SVG or PDF, one pixel a point in the PDF.
Result<QByteArray> VectorBytes(QSize size, SlideFormat format,
                               const std::function<void(QPainter&)>& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == SlideFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(96);
        QPainter painter;
        if (!painter.begin(&svg)) {
            return Fail(Tr("The SVG drawing could not be made.").toStdString());
        }
        draw(painter);
        painter.end();
        return bytes;
    }
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        return Fail(Tr("The PDF document could not be made.").toStdString());
    }
    draw(painter);
    painter.end();
    return bytes;
}

} // namespace

QString SlideFilter() {
    return Tr("PNG picture|*.png|SVG drawing|*.svg|PDF document|*.pdf");
}

QString SlideFileName(const QString& typed) {
    const QString suffix = QFileInfo(typed).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("svg") ||
        suffix == QLatin1String("pdf")) {
        return typed;
    }
    return typed + QStringLiteral(".png");
}

SlideFormat SlideFormatOf(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return suffix == QLatin1String("svg")   ? SlideFormat::Svg
           : suffix == QLatin1String("pdf") ? SlideFormat::Pdf
                                            : SlideFormat::Png;
}

Result<QByteArray> ShownWidgetBytes(QWidget& widget, SlideFormat format) {
    if (format == SlideFormat::Png) {
        return PngBytes(widget.grab().toImage());
    }
    return VectorBytes(widget.size(), format, [&widget](QPainter& painter) {
        widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    });
}

Result<QByteArray> PictureBytes(const QImage& picture, SlideFormat format) {
    if (picture.isNull()) {
        return Fail(Tr("There is no picture to export.").toStdString());
    }
    if (format == SlideFormat::Png) {
        return PngBytes(picture);
    }
    return VectorBytes(picture.size(), format,
                       [&picture](QPainter& painter) { painter.drawImage(QPoint(0, 0), picture); });
}

std::optional<QString> ExportSlide(DesktopServices& desktop, QWidget* parent, const QString& title,
                                   const QString& preset, QWidget* widget, const QImage& picture) {
    std::optional<QString> chosen =
        ChooseSaveFileName(desktop, parent, title, SlideFilter(), preset, &SlideFileName);
    if (!chosen) {
        return std::nullopt;
    }
    const SlideFormat format = SlideFormatOf(*chosen);
    const Result<QByteArray> bytes =
        widget != nullptr ? ShownWidgetBytes(*widget, format) : PictureBytes(picture, format);
    const Status written =
        bytes ? WriteFile(*chosen, *bytes, Streams::Refuse) : Status(Fail(bytes.Message()));
    if (!written) {
        desktop.ShowWarning(
            parent, title,
            Tr("The picture could not be written to\n%1\n\n%2\n\n"
               "Any file of that name is unchanged.")
                .arg(QDir::toNativeSeparators(*chosen), QString::fromStdString(written.Message())));
        return std::nullopt;
    }
    return chosen;
}

void CopyShownWidget(QWidget& widget) {
    CopyPicture(widget.grab().toImage());
}

void CopyPicture(const QImage& picture) {
    QGuiApplication::clipboard()->setImage(picture);
}

} // namespace quadrel
