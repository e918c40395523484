#include "views/block_export.h"

#include "engine/cell_text.h"
#include "engine/dct_engine.h"
#include "file_io/file_writer.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <functional>

namespace quadrel {

namespace {

const QColor kBackground(0xC0, 0xC0, 0xC0); // the main window's grey
const QColor kOutline(0x40, 0x40, 0x40);    // as the squares are outlined on screen

// The pattern chart: 8x8 tiles of 8x8 squares, each tile under its label.
constexpr int kChartSquare = 6;
constexpr int kChartTile = 8 * kChartSquare;
constexpr int kChartLabel = 16;
constexpr int kChartGap = 12;
constexpr int kChartMargin = 12;
constexpr int kChartPitch = kChartTile + kChartLabel + kChartGap;

using Painting = std::function<void(QPainter&)>;

// A window exports: a pipe without a reader must not make it wait.
QString WriteAtomically(const QString& fileName, const QByteArray& bytes) {
    const Status written = WriteFile(fileName, bytes, Streams::Refuse);
    return written ? QString() : QString::fromStdString(written.Message());
}

QString WritePicture(const QString& fileName, QSize size, const QString& title,
                     const Painting& paint) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (PictureFormatOf(fileName) == PictureFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(title);
        svg.setResolution(96);
        QPainter painter(&svg);
        paint(painter);
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780); // 96 dots an inch
        image.setDotsPerMeterY(3780);
        {
            QPainter painter(&image);
            paint(painter);
        }
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            return QObject::tr("The picture could not be encoded.");
        }
    }
    return WriteAtomically(fileName, bytes);
}

void PaintGrids(QPainter& painter, const GridsPicture& grids, QSize size) {
    painter.fillRect(QRect(QPoint(0, 0), size), kBackground);
    painter.setFont(grids.CellFont);
    for (int k = 0; k < kBlockCells; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const QRect cell = grids.Cells[i];
        painter.setPen(kOutline);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::black);
        painter.drawText(cell, Qt::AlignCenter, ShownText(grids.View.CellTexts[i]));
    }
    for (int k = 0; k < kBlockCells; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const QRect square = grids.Squares[i];
        const int g = grids.View.Grey[i];
        painter.fillRect(square, QColor(g, g, g));
        painter.setPen(kOutline);
        painter.drawRect(square.adjusted(0, 0, -1, -1));
    }
    painter.setFont(grids.CaptionFont);
    painter.setPen(Qt::black);
    painter.drawText(grids.CellsCaption, Qt::AlignLeft | Qt::AlignVCenter,
                     ShownText(grids.View.CellsCaption));
    painter.drawText(grids.SquaresCaption, Qt::AlignLeft | Qt::AlignVCenter,
                     ShownText(grids.View.SquaresCaption));
}

void PaintPatternChart(QPainter& painter, QSize size) {
    painter.fillRect(QRect(QPoint(0, 0), size), kBackground);
    DctEngine engine;
    engine.SetConsts();
    engine.MakeCosTable();
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    painter.setFont(font);
    for (int v = 0; v < kBlockSide; ++v) {
        for (int u = 0; u < kBlockSide; ++u) {
            // The pattern as the cycle shows it: DC 512 plus F(u, v) = 512.
            engine.ResetFreqSpace();
            engine.FreqArray[0][0] = 512;
            engine.FreqArray[static_cast<std::size_t>(u)][static_cast<std::size_t>(v)] = 512;
            engine.PerformIDCT();
            const QRect tile = PatternChartSquare(u, v, 0, 0);
            painter.setPen(Qt::black);
            painter.drawText(QRect(tile.left(), tile.top() - kChartLabel, kChartTile, kChartLabel),
                             Qt::AlignCenter, QStringLiteral("(%1, %2)").arg(u).arg(v));
            for (int y = 0; y < kBlockSide; ++y) {
                for (int x = 0; x < kBlockSide; ++x) {
                    const int g = GreyLevel(engine.SpaceArray[static_cast<std::size_t>(x)]
                                                             [static_cast<std::size_t>(y)]);
                    painter.fillRect(PatternChartSquare(u, v, x, y), QColor(g, g, g));
                }
            }
        }
    }
}

} // namespace

PictureFormat PictureFormatOf(const QString& fileName) {
    return QFileInfo(fileName).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0
               ? PictureFormat::Svg
               : PictureFormat::Png;
}

QString ExportFilter() {
    return QObject::tr("PNG picture|*.png|SVG drawing|*.svg");
}

QString ExportFileName(const QString& typed) {
    const QString suffix = QFileInfo(typed).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("svg")) {
        return typed;
    }
    return typed + QStringLiteral(".png");
}

QRect PatternChartSquare(int u, int v, int x, int y) {
    return QRect(kChartMargin + u * kChartPitch + x * kChartSquare,
                 kChartMargin + kChartLabel + v * kChartPitch + y * kChartSquare, kChartSquare,
                 kChartSquare);
}

QString ExportGrids(const GridsPicture& grids, const QString& fileName) {
    QRect used = grids.CellsCaption | grids.SquaresCaption;
    for (int k = 0; k < kBlockCells; ++k) {
        used |=
            grids.Cells[static_cast<std::size_t>(k)] | grids.Squares[static_cast<std::size_t>(k)];
    }
    // The same margin right and below as the grids have left and above.
    const QSize size(used.right() + 1 + used.left(), used.bottom() + 1 + used.top());
    return WritePicture(fileName, size, QObject::tr("DCT block"),
                        [&](QPainter& painter) { PaintGrids(painter, grids, size); });
}

QString ExportPatternChart(const QString& fileName) {
    const QRect last = PatternChartSquare(7, 7, 7, 7);
    const QSize size(last.right() + 1 + kChartMargin, last.bottom() + 1 + kChartMargin);
    return WritePicture(fileName, size, QObject::tr("The 64 DCT basis patterns"),
                        [&](QPainter& painter) { PaintPatternChart(painter, size); });
}

} // namespace quadrel
