#include "jpeg_worksheet/live_text.h"

#include "views/view_zoom.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace quadrel::worksheet {

LiveText::LiveText(const QString& sample, int lines, QWidget* parent)
    : QWidget(parent), sample_(sample), lines_(std::max(1, lines)) {
    setFont(ZoomedFixedFont());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Paints every pixel itself, so a change repaints nothing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LiveText::SetText(const QString& text) {
    if (text != text_) {
        text_ = text;
        // Screen readers read the description; setting it costs nothing when none listens.
        setAccessibleDescription(text);
        update();
    }
}

int LiveText::LineHeight() const {
    return fontMetrics().lineSpacing();
}

// A descent's room below the last line: an underscore reaches lower than the
// line spacing says.
QSize LiveText::sizeHint() const {
    return {fontMetrics().horizontalAdvance(sample_),
            lines_ * LineHeight() + fontMetrics().descent()};
}

QSize LiveText::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(sample_) / 2,
            lines_ * LineHeight() + fontMetrics().descent()};
}

void LiveText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

QStringList LiveText::FixedLines(int width) const {
    const int fit = std::max(1, width / std::max(1, glyphs_.Advance()));
    QStringList lines;
    for (const QString& paragraph : text_.split(QLatin1Char('\n'))) {
        QString rest = paragraph;
        while (rest.size() > fit) {
            // Break after the last space that keeps the line within the width.
            qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), fit);
            if (cut <= 0) {
                cut = fit;
            }
            lines << rest.left(cut);
            rest = rest.mid(cut).trimmed();
        }
        lines << rest;
    }
    return lines;
}

void LiveText::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    glyphs_.Prepare(font());
    const QStringList lines = FixedLines(width());
    int y = 0;
    for (const QString& line : lines) {
        glyphs_.Add(0, y, line);
        y += LineHeight();
    }
    glyphs_.Flush(painter, palette().color(QPalette::WindowText));
    const auto needed = static_cast<int>(lines.size());
    if (needed > lines_) {
        // Rare: a text longer than any before. The room only grows, so a
        // sweep over a picture settles after a few moves.
        lines_ = needed;
        updateGeometry();
    }
}

} // namespace quadrel::worksheet
