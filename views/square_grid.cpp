#include "views/square_grid.h"

#include <QPainter>

namespace quadrel {

SquareGrid::SquareGrid(int pitch, int side, QWidget* parent)
    : QWidget(parent), pitch_(pitch), side_(side) {
    colours_.fill(QColor(0xC0, 0xC0, 0xC0)); // the window colour until first drawn
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(7 * pitch_ + side_, 7 * pitch_ + side_);
}

void SquareGrid::SetPitch(int pitch, int side) {
    pitch_ = pitch;
    side_ = side;
    resize(7 * pitch_ + side_, 7 * pitch_ + side_);
    update();
}

void SquareGrid::SetColour(int k, QColor colour) {
    auto& slot = colours_.at(static_cast<std::size_t>(k));
    if (slot != colour) {
        slot = colour;
        update(SquareRect(k));
    }
}

QRect SquareGrid::SquareRect(int k) const {
    return QRect((k % 8) * pitch_, (k / 8) * pitch_, side_, side_);
}

void SquareGrid::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    for (int k = 0; k < 64; ++k) {
        const QRect r = SquareRect(k);
        painter.fillRect(r, colours_[static_cast<std::size_t>(k)]);
        // A thin outline keeps neighbouring squares of equal grey apart.
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

} // namespace quadrel
