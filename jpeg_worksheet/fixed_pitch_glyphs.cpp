#include "jpeg_worksheet/fixed_pitch_glyphs.h"

#include <QColor>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>

#include <cmath>

namespace quadrel::worksheet {

int FixedPitchGlyphs::CellWidth(const QFont& font) {
    const QFontMetricsF metrics(font);
    double widest = 0.0;
    for (char16_t c = kFirst; c <= kLast; ++c) {
        widest = std::max(widest, metrics.horizontalAdvance(QChar(c)));
    }
    return static_cast<int>(std::ceil(widest));
}

void FixedPitchGlyphs::Prepare(const QFont& font) {
    if (prepared_ && font == font_) {
        return;
    }
    prepared_ = true;
    font_ = font;
    raw_ = QRawFont::fromFont(font);
    const QFontMetricsF metrics(font);
    QString all;
    for (char16_t c = kFirst; c <= kLast; ++c) {
        all += QChar(c);
    }
    advance_ = CellWidth(font);
    const QList<quint32> found = raw_.glyphIndexesForString(all);
    const QList<QPointF> advances = raw_.advancesForGlyphIndexes(found);
    for (qsizetype i = 0; i < found.size() && i < static_cast<qsizetype>(indexes_.size()); ++i) {
        indexes_[static_cast<std::size_t>(i)] = found[i];
        offsets_[static_cast<std::size_t>(i)] = (advance_ - advances.value(i).x()) / 2.0;
    }
    height_ = static_cast<int>(std::ceil(metrics.height()));
    ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
}

void FixedPitchGlyphs::Add(int x, int y, QStringView text) {
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code > kFirst && code <= kLast) {
            const auto i = static_cast<std::size_t>(code - kFirst);
            pendingIndexes_ << indexes_[i];
            pendingPositions_ << QPointF(x + offsets_[i], y + ascent_);
        }
        x += advance_;
    }
}

void FixedPitchGlyphs::Flush(QPainter& painter, const QColor& colour) {
    if (pendingIndexes_.isEmpty()) {
        return;
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(pendingIndexes_);
    run.setPositions(pendingPositions_);
    painter.setPen(colour);
    painter.drawGlyphRun(QPointF(0, 0), run);
    pendingIndexes_.clear();
    pendingPositions_.clear();
}

} // namespace quadrel::worksheet
