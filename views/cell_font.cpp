#include "views/cell_font.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace quadrel {

namespace {

// QLineEdit keeps this many pixels free on either side of its text.
constexpr int kLineEditInnerMargin = 2;
constexpr double kSmallestPoints = 5.0;

} // namespace

int TextRoom(const QLineEdit& edit) {
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.hasFrame()
                           ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit)
                           : 0;
    const QRect contents =
        edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
    const QMargins margins = edit.textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditInnerMargin;
}

QFont FittingFont(const QLineEdit& edit, const QFont& base, const QString& text) {
    const int room = TextRoom(edit);
    if (QFontMetrics(base).horizontalAdvance(text) <= room) {
        return base;
    }
    QFont narrow = base;
    narrow.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"),
                        QStringLiteral("DejaVu Sans Condensed"), base.family()});
    narrow.setStretch(QFont::Condensed);
    double points = base.pointSizeF() > 0 ? base.pointSizeF() : 8.25;
    narrow.setPointSizeF(points);
    while (QFontMetrics(narrow).horizontalAdvance(text) > room && points > kSmallestPoints) {
        points -= 0.25;
        narrow.setPointSizeF(points);
    }
    return narrow;
}

} // namespace quadrel
