#include "jpeg_worksheet/number_grid.h"

#include "jpeg/jpeg_block.h"
#include "report/report.h"
#include "views/view_zoom.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace quadrel::worksheet {

namespace {

std::size_t At(int k) {
    return static_cast<std::size_t>(k);
}

} // namespace

NumberGrid::NumberGrid(Look look, const QString& widestText, QWidget* parent)
    : QWidget(parent), look_(look), widestText_(widestText) {
    setFont(ZoomedFixedFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Paints every pixel itself, so a change repaints nothing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (look_ == Look::OneDecimal) {
        // The exact values must be reachable without a mouse: the arrow keys
        // walk the cells and show each one's value.
        setFocusPolicy(Qt::StrongFocus);
    }
    UpdateMetrics();
}

void NumberGrid::PrepareGlyphs() {
    numbers_.Prepare(font());
}

void NumberGrid::UpdateMetrics() {
    PrepareGlyphs();
    // Padding from the font, a small share of it: at 150 % three rows of grids
    // must fit a projector's height.
    const int pad = std::max(2, numbers_.Height() / 10);
    if (look_ == Look::Grey) {
        cellHeight_ = cellWidth_ = numbers_.Height() + pad;
    } else {
        cellWidth_ = numbers_.Width(widestText_) + 2 * pad;
        cellHeight_ = numbers_.Height() + pad;
    }
    axis_ = numbers_.Advance() + 2 * pad;
    updateGeometry();
    update();
}

void NumberGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        pathImage_ = QImage();
        UpdateMetrics();
    }
    QWidget::changeEvent(event);
}

QSize NumberGrid::sizeHint() const {
    return {axis_ + 8 * cellWidth_ + 1, axis_ + 8 * cellHeight_ + 1};
}

QRect NumberGrid::CellRect(int k) const {
    return {axis_ + (k % 8) * cellWidth_, axis_ + (k / 8) * cellHeight_, cellWidth_, cellHeight_};
}

int NumberGrid::CellAt(QPoint at) const {
    const int column = (at.x() - axis_) / std::max(1, cellWidth_);
    const int row = (at.y() - axis_) / std::max(1, cellHeight_);
    if (at.x() < axis_ || at.y() < axis_ || column > 7 || row > 7) {
        return -1;
    }
    return 8 * row + column;
}

void NumberGrid::SetValues(const Values& values) {
    // Compared bit for bit as doubles compare; a NaN never reaches a grid.
    if (values != values_) {
        values_ = values;
        update();
    }
}

void NumberGrid::SetMarkNonZero(bool on) {
    if (markNonZero_ != on) {
        markNonZero_ = on;
        update();
    }
}

void NumberGrid::SetZigZagPath(bool on, int kept) {
    if (path_ != on || kept_ != kept) {
        path_ = on;
        kept_ = kept;
        pathImage_ = QImage();
        update();
    }
}

QString NumberGrid::CellText(int k) const {
    const double value = values_.at(At(k));
    if (look_ == Look::OneDecimal) {
        // Without the sign of a value that rounds to zero ("-0.0" reads as a fault).
        const double shown = std::round(value * 10.0) / 10.0;
        return QString::number(shown == 0.0 ? 0.0 : shown, 'f', 1);
    }
    return QString::number(static_cast<long long>(std::llround(value)));
}

QString NumberGrid::ExactText(int k) const {
    return QString::fromStdString(report::ExactNumber(values_.at(At(k))));
}

void NumberGrid::DrawPathImage() {
    // Stroking 63 smooth lines costs more than the rest of a repaint, and the
    // path changes only with k: drawn once, copied on every repaint.
    const qreal ratio = devicePixelRatioF();
    pathImage_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    pathImage_.setDevicePixelRatio(ratio);
    pathImage_.fill(Qt::transparent);
    QPainter painter(&pathImage_);
    const QPalette& colours = palette();
    // The whole path thin, the kept part strong: what "keep first k" keeps.
    painter.setRenderHint(QPainter::Antialiasing);
    QColor faint = colours.color(QPalette::Link);
    faint.setAlpha(60);
    QColor strong = colours.color(QPalette::Link);
    strong.setAlpha(120);
    const qreal width = std::max(1.0, fontMetrics().height() / 8.0);
    for (int p = 1; p < jpeg::kBlockCells; ++p) {
        const QPointF from = QRectF(CellRect(jpeg::kZigZag[At(p - 1)])).center();
        const QPointF to = QRectF(CellRect(jpeg::kZigZag[At(p)])).center();
        painter.setPen(QPen(p < kept_ ? strong : faint, p < kept_ ? 1.5 * width : width));
        painter.drawLine(from, to);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

QColor NumberGrid::MarkColour() const {
    // The highlight blended into the cell colour: opaque, so that marking a
    // cell costs a plain fill.
    const QColor base = palette().color(QPalette::Base);
    const QColor high = palette().color(QPalette::Highlight);
    constexpr double kShare = 0.28;
    const auto mix = [](int a, int b) {
        return static_cast<int>(std::lround(a * (1.0 - kShare) + b * kShare));
    };
    return {mix(base.red(), high.red()), mix(base.green(), high.green()),
            mix(base.blue(), high.blue())};
}

void NumberGrid::paintEvent(QPaintEvent* /*event*/) {
    // Every pixel is painted once, with opaque fills where possible: this runs
    // for nine grids on every pointer move.
    QPainter painter(this);
    const QPalette& colours = palette();
    const QColor window = colours.color(QPalette::Window);
    const int right = axis_ + 8 * cellWidth_ + 1;
    const int bottom = axis_ + 8 * cellHeight_ + 1;
    painter.fillRect(QRect(0, 0, width(), axis_), window);
    painter.fillRect(QRect(0, axis_, axis_, height() - axis_), window);
    painter.fillRect(QRect(right, axis_, width() - right, height() - axis_), window);
    painter.fillRect(QRect(axis_, bottom, right - axis_, height() - bottom), window);

    if (look_ == Look::Grey) {
        for (int k = 0; k < 64; ++k) {
            const int g = static_cast<int>(std::clamp(values_[At(k)], 0.0, 255.0));
            painter.fillRect(CellRect(k), QColor(g, g, g));
        }
    } else {
        painter.fillRect(QRect(axis_, axis_, right - axis_, bottom - axis_),
                         colours.color(QPalette::Base));
        if (markNonZero_) {
            const QColor mark = MarkColour();
            for (int k = 0; k < 64; ++k) {
                if (values_[At(k)] != 0.0) {
                    painter.fillRect(CellRect(k), mark);
                }
            }
        }
    }

    // Under the numbers, so that they stay legible.
    if (path_) {
        const qreal ratio = devicePixelRatioF();
        if (pathImage_.isNull() || pathImage_.devicePixelRatio() != ratio ||
            pathImage_.size() != size() * ratio) {
            DrawPathImage();
        }
        painter.drawImage(QPointF(0, 0), pathImage_);
    }

    // Column and row numbers: x and y for pixels, u and v for frequencies.
    PrepareGlyphs();
    const int lift = (cellHeight_ - numbers_.Height()) / 2;
    for (int i = 0; i < 8; ++i) {
        const QString digit = QString::number(i);
        numbers_.Add(axis_ + i * cellWidth_ + (cellWidth_ - numbers_.Advance()) / 2,
                     (axis_ - numbers_.Height()) / 2, digit);
        numbers_.Add((axis_ - numbers_.Advance()) / 2, axis_ + i * cellHeight_ + lift, digit);
    }
    numbers_.Flush(painter, colours.color(QPalette::PlaceholderText));

    if (look_ != Look::Grey) {
        // Padding from the font, a small share of it: at 150 % three rows of grids
        // must fit a projector's height.
        const int pad = std::max(2, numbers_.Height() / 7);
        for (int k = 0; k < 64; ++k) {
            const QRect cell = CellRect(k);
            const QString text = CellText(k);
            numbers_.Add(cell.right() + 1 - pad - numbers_.Width(text), cell.top() + lift, text);
        }
        numbers_.Flush(painter, colours.color(QPalette::Text));
    }

    // The grid lines as one-pixel fills: the same pixels as a one-pixel pen's
    // lines, without the stroker, which is slow under a clip of several rectangles.
    const QColor line = colours.color(QPalette::Mid);
    for (int i = 0; i <= 8; ++i) {
        painter.fillRect(QRect(axis_ + i * cellWidth_, axis_, 1, bottom - axis_), line);
        painter.fillRect(QRect(axis_, axis_ + i * cellHeight_, right - axis_, 1), line);
    }

    if (hasFocus()) {
        painter.setPen(QPen(colours.color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(CellRect(current_).adjusted(1, 1, -1, -1));
    }
}

void NumberGrid::ShowCellTip(int k) {
    QToolTip::showText(mapToGlobal(CellRect(k).bottomLeft()), ExactText(k), this, CellRect(k));
}

bool NumberGrid::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && look_ == Look::OneDecimal) {
        const int k = CellAt(static_cast<QHelpEvent*>(event)->pos());
        if (k < 0) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ExactText(k), this,
                               CellRect(k));
        }
        return true;
    }
    return QWidget::event(event);
}

void NumberGrid::keyPressEvent(QKeyEvent* event) {
    int column = current_ % 8;
    int row = current_ / 8;
    switch (event->key()) {
    case Qt::Key_Left:
        column = std::max(0, column - 1);
        break;
    case Qt::Key_Right:
        column = std::min(7, column + 1);
        break;
    case Qt::Key_Up:
        row = std::max(0, row - 1);
        break;
    case Qt::Key_Down:
        row = std::min(7, row + 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    current_ = 8 * row + column;
    update();
    ShowCellTip(current_);
}

void NumberGrid::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void NumberGrid::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace quadrel::worksheet
