#include "jpeg_worksheet/number_grid.h"

#include "cli/report.h"
#include "jpeg/jpeg_block.h"

#include <QFontDatabase>
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
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (look_ == Look::OneDecimal) {
        // The exact values must be reachable without a mouse: the arrow keys
        // walk the cells and show each one's value.
        setFocusPolicy(Qt::StrongFocus);
    }
    UpdateMetrics();
}

void NumberGrid::UpdateMetrics() {
    const QFontMetrics metrics(font());
    const int pad = std::max(2, metrics.height() / 4);
    if (look_ == Look::Grey) {
        cellHeight_ = cellWidth_ = metrics.height() + 2 * pad;
    } else {
        cellWidth_ = metrics.horizontalAdvance(widestText_) + 2 * pad;
        cellHeight_ = metrics.height() + pad;
    }
    axis_ = metrics.horizontalAdvance(QStringLiteral("0")) + 2 * pad;
    updateGeometry();
    update();
}

void NumberGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
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
    return QString::fromStdString(cli::ExactNumber(values_.at(At(k))));
}

void NumberGrid::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(QRect(axis_, axis_, 8 * cellWidth_, 8 * cellHeight_), colours.base());

    // Column and row numbers: x and y for pixels, u and v for frequencies.
    painter.setPen(colours.color(QPalette::PlaceholderText));
    for (int i = 0; i < 8; ++i) {
        const QString digit = QString::number(i);
        painter.drawText(QRect(axis_ + i * cellWidth_, 0, cellWidth_, axis_), Qt::AlignCenter,
                         digit);
        painter.drawText(QRect(0, axis_ + i * cellHeight_, axis_, cellHeight_), Qt::AlignCenter,
                         digit);
    }

    // Under the numbers, so that they stay legible.
    if (path_) {
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

    const int pad = std::max(2, fontMetrics().height() / 4);
    QColor mark = colours.color(QPalette::Highlight);
    mark.setAlpha(70);
    for (int k = 0; k < 64; ++k) {
        const QRect cell = CellRect(k);
        const double value = values_[At(k)];
        if (look_ == Look::Grey) {
            const int g = static_cast<int>(std::clamp(value, 0.0, 255.0));
            painter.fillRect(cell, QColor(g, g, g));
            continue;
        }
        if (markNonZero_ && value != 0.0) {
            painter.fillRect(cell, mark);
        }
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(cell.adjusted(pad, 0, -pad, 0), Qt::AlignRight | Qt::AlignVCenter,
                         CellText(k));
    }

    painter.setPen(colours.color(QPalette::Mid));
    for (int i = 0; i <= 8; ++i) {
        painter.drawLine(axis_ + i * cellWidth_, axis_, axis_ + i * cellWidth_,
                         axis_ + 8 * cellHeight_);
        painter.drawLine(axis_, axis_ + i * cellHeight_, axis_ + 8 * cellWidth_,
                         axis_ + i * cellHeight_);
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
