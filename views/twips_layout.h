#pragma once
// A window laid out in twips, as designed, at any zoom: each control keeps its
// rectangle in twips and, where it has one of its own, its font at 100 %;
// Apply() turns them into pixels and points for the zoom asked.

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

namespace quadrel {

class TwipsLayout {
public:
    /// Places `widget` at the rectangle given in twips, at the current zoom.
    void Place(QWidget* widget, int left, int top, int width, int height);
    /// Gives `widget` `font` (its size at 100 %), at the current zoom.
    void SetFont(QWidget* widget, const QFont& font);
    /// Places every control again and sizes its own font for `percent`.
    void Apply(int percent);

    /// A rectangle in twips, in pixels at `percent`.
    static QRect Pixels(const QRect& twips, int percent);

private:
    struct Placed {
        QPointer<QWidget> Widget;
        QRect Twips;
    };
    struct Fonted {
        QPointer<QWidget> Widget;
        QFont Font;
    };
    std::vector<Placed> placed_;
    std::vector<Fonted> fonted_;
};

} // namespace quadrel
