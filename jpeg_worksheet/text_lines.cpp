#include "jpeg_worksheet/text_lines.h"

#include "views/view_zoom.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace quadrel::worksheet {

TextLines::TextLines(const QString& widest, int visibleLines, QWidget* parent)
    : QAbstractScrollArea(parent), widest_(widest), visibleLines_(visibleLines) {
    setFont(ZoomedFixedFont());
    setFocusPolicy(Qt::StrongFocus); // the arrow and page keys scroll
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Fixed scroll bars: one that came and went with the number of lines
    // would lay the page out again on every pointer move.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int TextLines::LineHeight() const {
    return fontMetrics().lineSpacing();
}

QSize TextLines::sizeHint() const {
    // The lines are painted in whole character cells, each as wide as the
    // widest character: the width follows those cells, not the font's text
    // advance, which is narrower wherever the font's pitch is fractional.
    const int frame = 2 * frameWidth();
    const int cells = static_cast<int>(widest_.size()) + 1;
    return {cells * FixedPitchGlyphs::CellWidth(font()) + verticalScrollBar()->sizeHint().width() +
                frame,
            visibleLines_ * LineHeight() + frame};
}

QSize TextLines::minimumSizeHint() const {
    // Whole lines across; in height, a few lines: the list grows with the window.
    const QSize whole = sizeHint();
    return {whole.width(), std::min(whole.height(), 4 * LineHeight() + 2 * frameWidth())};
}

void TextLines::SetLines(const QStringList& lines) {
    if (lines != lines_) {
        lines_ = lines;
        UpdateScrollBars();
        viewport()->update();
    }
}

void TextLines::UpdateScrollBars() {
    const int shown = std::max(1, viewport()->height() / std::max(1, LineHeight()));
    // The range only grows: a scroll bar that changed on every pointer move
    // would be repainted, and the page behind it, on every move.
    mostLines_ = std::max(mostLines_, static_cast<int>(lines_.size()));
    verticalScrollBar()->setRange(0, std::max(0, mostLines_ - shown));
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setSingleStep(1);
}

void TextLines::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TextLines::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}

void TextLines::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        UpdateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

void TextLines::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    glyphs_.Prepare(font());
    const int height = LineHeight();
    const int first = verticalScrollBar()->value();
    for (int i = first, y = 0; i < lines_.size() && y < viewport()->height(); ++i, y += height) {
        glyphs_.Add(0, y, lines_[i]);
    }
    glyphs_.Flush(painter, palette().color(QPalette::Text));
}

} // namespace quadrel::worksheet
