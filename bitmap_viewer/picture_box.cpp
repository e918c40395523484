#include "bitmap_viewer/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

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

void PictureBox::SetOrigin(QPoint origin) {
    if (origin != origin_) {
        origin_ = origin;
        update();
        // A pan under a still pointer puts other pixels under it: that is a move.
        if (pointer_) {
            emit MouseMove(0, 0, static_cast<float>(pointer_->x()),
                           static_cast<float>(pointer_->y()));
        }
    }
}

ColourValue PictureBox::Point(double x, double y) const {
    // Compared as reals first, so that no position, however far off, is
    // converted to an integer that does not fit.
    if (!(x >= 0.0 && x < width() && y >= 0.0 && y < height())) {
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
    // Only the part in view is drawn, however large the picture.
    const QRect part = event->rect().translated(origin_) & picture_.rect();
    if (!part.isEmpty()) {
        QPainter painter(this);
        painter.drawImage(part.topLeft() - origin_, picture_, part);
    }
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    pointer_ = at;
    emit MouseMove(ButtonState(event->buttons()), ShiftState(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void PictureBox::leaveEvent(QEvent* event) {
    pointer_.reset();
    QWidget::leaveEvent(event);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    emit MouseDown(ButtonState(event->button()), ShiftState(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void PictureBox::wheelEvent(QWheelEvent* event) {
    emit Wheel(event->angleDelta(), event->modifiers());
    event->accept();
}

} // namespace quadrel
