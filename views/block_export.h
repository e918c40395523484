#pragma once
// Pictures of the block for slides and handouts, as PNG or SVG: the two grids
// as the main window shows them, and a chart of the 64 basis patterns. Every
// square carries exactly the grey level shown on screen. Files are written
// atomically: a failed export leaves any existing file as it was.

#include "views/block_document.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <array>

namespace quadrel {

/// The grids as shown: what they show and where, in the window's coordinates.
struct GridsPicture {
    BlockShown View;
    std::array<QRect, kBlockCells> Cells{};
    std::array<QRect, kBlockCells> Squares{};
    QRect CellsCaption;
    QRect SquaresCaption;
    QFont CellFont;
    QFont CaptionFont;
};

/// The export formats a file name's suffix chooses; anything else is PNG.
enum class PictureFormat { Png, Svg };
PictureFormat PictureFormatOf(const QString& fileName);
/// For the save dialog: "PNG picture|*.png|SVG drawing|*.svg".
QString ExportFilter();
/// The file a name typed in the save dialog writes: ".png" added unless it ends
/// in .png or .svg.
QString ExportFileName(const QString& typed);

/// Each writes `fileName` and returns an empty string, or says why it could not.
QString ExportGrids(const GridsPicture& grids, const QString& fileName);
QString ExportPatternChart(const QString& fileName);

/// Geometry of the pattern chart, for tests: the square of pixel (x, y) in the
/// tile of pattern (u, v).
QRect PatternChartSquare(int u, int v, int x, int y);

} // namespace quadrel
