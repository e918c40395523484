#include "views/twips_layout.h"

#include "views/pixels.h"
#include "views/view_zoom.h"

namespace quadrel {

QRect TwipsLayout::Pixels(const QRect& twips, int percent) {
    const auto pixels = [percent](int t) { return PixelsFromTwips(t * percent / 100); };
    return {pixels(twips.x()), pixels(twips.y()), pixels(twips.width()), pixels(twips.height())};
}

void TwipsLayout::Place(QWidget* widget, int left, int top, int width, int height) {
    const QRect twips(left, top, width, height);
    placed_.push_back({widget, twips});
    widget->setGeometry(Pixels(twips, CurrentZoom()));
}

void TwipsLayout::SetFont(QWidget* widget, const QFont& font) {
    fonted_.push_back({widget, font});
    widget->setFont(Zoomed(font));
}

void TwipsLayout::Apply(int percent) {
    for (const Placed& p : placed_) {
        if (p.Widget) {
            p.Widget->setGeometry(Pixels(p.Twips, percent));
        }
    }
    for (const Fonted& f : fonted_) {
        if (f.Widget) {
            QFont font = f.Font;
            font.setPointSizeF(f.Font.pointSizeF() * percent / 100.0);
            f.Widget->setFont(font);
        }
    }
}

} // namespace quadrel
