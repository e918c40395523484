#pragma once
// The 64 filled grey squares (Shape1). One widget paints them all: cheaper to
// redraw 64 times a second than 64 separate widgets.

#include <QColor>
#include <QWidget>

#include <array>

namespace quadrel {

class SquareGrid : public QWidget {
    Q_OBJECT
public:
    /// Square k sits at column k mod 8, row k div 8; `pitch` is the distance
    /// between neighbours and `side` a square's size, both in pixels.
    SquareGrid(int pitch, int side, QWidget* parent = nullptr);

    /// New spacing and size (a zoom); the widget takes the size they need.
    void SetPitch(int pitch, int side);
    void SetColour(int k, QColor colour);
    QColor Colour(int k) const { return colours_.at(static_cast<std::size_t>(k)); }
    /// Area of square k in this widget's coordinates.
    QRect SquareRect(int k) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int pitch_;
    int side_;
    std::array<QColor, 64> colours_;
};

} // namespace quadrel
