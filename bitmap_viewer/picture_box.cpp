#include "bitmap_viewer/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quadrel {

namespace {

const QColor kAreaBackground(0xC0, 0xC0, 0xC0);

int ButtonState(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

ColourValue ColourValueOf(QRgb rgb) {
    return MakeColourValue(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kAreaBackground);
    setPalette(palette);
    setAutoFillBackground(true);
    // Picking follows the pointer whether a button is held or not.
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
}

QColor PictureBox::BackColor() const {
    return palette().color(QPalette::Window);
}

void PictureBox::SetPicture(const QImage& picture) {
    picture_ = picture.format() == QImage::Format_RGB32
                   ? picture
                   : picture.convertToFormat(QImage::Format_RGB32);
    origin_ = QPoint();
    update();
    emit PictureChanged();
}

void PictureBox::SetScale(int scale) {
    scale = std::max(1, scale);
    if (scale != scale_) {
        scale_ = scale;
        update();
    }
}

void PictureBox::SetOrigin(QPoint origin) {
    if (origin != origin_) {
        origin_ = origin;
        update();
        // A pan under a still pointer puts other pixels under it: that is a move.
        if (pointer_) {
            const QPointF at = InPicture(*pointer_);
            emit MouseMove(0, 0, static_cast<float>(at.x()), static_cast<float>(at.y()));
        }
    }
}

ColourValue PictureBox::Point(double x, double y) const {
    // Compared as reals first, so that no position, however far off, is
    // converted to an integer that does not fit.
    if (!(x >= 0.0 && x * scale_ < width() && y >= 0.0 && y * scale_ < height())) {
        return kOutsideArea;
    }
    const int px = static_cast<int>(std::floor(x)) + origin_.x();
    const int py = static_cast<int>(std::floor(y)) + origin_.y();
    if (px >= picture_.width() || py >= picture_.height()) {
        return ColourValueOf(BackColor().rgb());
    }
    const auto* line = reinterpret_cast<const QRgb*>(picture_.constScanLine(py));
    return ColourValueOf(line[px]);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (picture_.isNull()) {
        return;
    }
    // Only the part in view is drawn, however large the picture; scaled, the
    // picture pixels the area's changed pixels fall in.
    const QRect area = event->rect();
    const QRect wanted(QPoint(area.left() / scale_, area.top() / scale_),
                       QPoint(area.right() / scale_, area.bottom() / scale_));
    const QRect part = wanted.translated(origin_) & picture_.rect();
    if (part.isEmpty()) {
        return;
    }
    QPainter painter(this);
    const QPoint at = (part.topLeft() - origin_) * scale_;
    if (scale_ == 1) {
        painter.drawImage(at, picture_, part);
    } else {
        // Each pixel repeated, none blended with its neighbours.
        painter.drawImage(at,
                          picture_.copy(part).scaled(part.size() * scale_, Qt::IgnoreAspectRatio,
                                                     Qt::FastTransformation));
    }
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position();
    const QPointF at = InPicture(event->position());
    emit MouseMove(ButtonState(event->buttons()), ShiftState(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void PictureBox::leaveEvent(QEvent* event) {
    pointer_.reset();
    QWidget::leaveEvent(event);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    const QPointF at = InPicture(event->position());
    emit MouseDown(ButtonState(event->button()), ShiftState(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void PictureBox::wheelEvent(QWheelEvent* event) {
    emit Wheel(event->angleDelta(), event->modifiers());
    event->accept();
}

} // namespace quadrel
