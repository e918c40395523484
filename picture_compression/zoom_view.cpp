#include "picture_compression/zoom_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <vector>

namespace quadrel {

namespace {

constexpr int kBlock = 8;
const QColor kGridColour(255, 160, 0, 160);
const QColor kBeyond(0xC0, 0xC0, 0xC0);
const QColor kMcuColour(0, 120, 255, 200);
const QColor kMarkColour(255, 0, 0);

} // namespace

ZoomView::ZoomView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::CrossCursor);
}

void ZoomView::SetPicture(const QImage& picture) {
    const bool known =
        picture.format() == QImage::Format_Grayscale8 || picture.format() == QImage::Format_RGB888;
    picture_ = known || picture.isNull() ? picture : picture.convertToFormat(QImage::Format_RGB888);
    size_ = picture_.size();
    preview_ = false;
    FitScrollBars();
    viewport()->update();
}

void ZoomView::SetPreview(const QImage& preview, QSize size) {
    SetPicture(preview);
    size_ = picture_.isNull() ? QSize() : size;
    preview_ = !picture_.isNull();
    FitScrollBars();
}

void ZoomView::SetZoom(int zoom) {
    zoom = std::clamp(zoom, 1, kMaxZoom);
    if (zoom == zoom_) {
        return;
    }
    // Keep the picture point at the middle of the view where it was.
    const QPoint middle(viewport()->width() / 2, viewport()->height() / 2);
    const double cx = (horizontalScrollBar()->value() + middle.x()) / double(zoom_);
    const double cy = (verticalScrollBar()->value() + middle.y()) / double(zoom_);
    zoom_ = zoom;
    FitScrollBars();
    horizontalScrollBar()->setValue(static_cast<int>(cx * zoom_) - middle.x());
    verticalScrollBar()->setValue(static_cast<int>(cy * zoom_) - middle.y());
    viewport()->update();
}

void ZoomView::SetGrid(bool on) {
    grid_ = on;
    viewport()->update();
}

void ZoomView::SetMcuGrid(QSize mcu) {
    mcu_ = mcu;
    viewport()->update();
}

void ZoomView::SetMark(QRect pixels) {
    mark_ = pixels;
    viewport()->update();
}

void ZoomView::FitScrollBars() {
    const QSize view = viewport()->size();
    const auto fit = [this](QScrollBar* bar, int pictureLength, int viewLength) {
        bar->setRange(0, std::max(0, pictureLength * zoom_ - viewLength));
        bar->setPageStep(viewLength);
        bar->setSingleStep(kBlock * zoom_);
    };
    fit(horizontalScrollBar(), size_.width(), view.width());
    fit(verticalScrollBar(), size_.height(), view.height());
}

void ZoomView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    FitScrollBars();
}

QPoint ZoomView::PixelAt(QPoint viewportPoint) const {
    const int x = (viewportPoint.x() + horizontalScrollBar()->value()) / zoom_;
    const int y = (viewportPoint.y() + verticalScrollBar()->value()) / zoom_;
    if (viewportPoint.x() < 0 || viewportPoint.y() < 0 || x >= size_.width() ||
        y >= size_.height()) {
        return {-1, -1};
    }
    return {x, y};
}

void ZoomView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const QSize view = viewport()->size();
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    // The view is filled line by line from the picture: nearest neighbour
    // by construction, and no converted copy of the whole picture is ever made.
    QImage shown(view, QImage::Format_RGB32);
    if (shown.isNull()) {
        return;
    }
    shown.fill(kBeyond);
    // A preview's pixel stands for several: shown pixel p is preview pixel
    // p * preview size / size (exactly p for the picture itself).
    const auto source = [](qint64 shown, int previewLength, int length) {
        return static_cast<int>(shown * previewLength / std::max(1, length));
    };
    const int columns = std::min(view.width(), size_.width() * zoom_ - left);
    std::vector<int> sourceColumn(static_cast<std::size_t>(std::max(0, columns)));
    for (int x = 0; x < columns; ++x) {
        sourceColumn[static_cast<std::size_t>(x)] =
            source((left + x) / zoom_, picture_.width(), size_.width());
    }
    const int rows = std::min(view.height(), size_.height() * zoom_ - top);
    const bool colour = picture_.format() == QImage::Format_RGB888;
    for (int y = 0; y < rows; ++y) {
        const uchar* in =
            picture_.constScanLine(source((top + y) / zoom_, picture_.height(), size_.height()));
        auto* out = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < columns; ++x) {
            const int at = sourceColumn[static_cast<std::size_t>(x)];
            if (colour) {
                const uchar* rgb = in + static_cast<std::ptrdiff_t>(3) * at;
                out[x] = qRgb(rgb[0], rgb[1], rgb[2]);
            } else {
                out[x] = qRgb(in[at], in[at], in[at]);
            }
        }
    }
    painter.drawImage(0, 0, shown);
    if (picture_.isNull()) {
        return;
    }
    if (grid_) {
        DrawGrid(painter, kBlock, kBlock, kGridColour);
    }
    if (!mcu_.isEmpty()) {
        DrawGrid(painter, mcu_.width(), mcu_.height(), kMcuColour);
    }
    if (!mark_.isEmpty()) {
        painter.setPen(QPen(kMarkColour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(mark_.x() * zoom_ - left, mark_.y() * zoom_ - top, mark_.width() * zoom_,
                         mark_.height() * zoom_);
    }
}

void ZoomView::DrawGrid(QPainter& painter, int across, int down, const QColor& colour) const {
    const QSize view = viewport()->size();
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    painter.setPen(colour);
    const int right = std::min(view.width(), size_.width() * zoom_ - left);
    const int bottom = std::min(view.height(), size_.height() * zoom_ - top);
    const int stepX = across * zoom_;
    const int stepY = down * zoom_;
    for (int x = (stepX - left % stepX) % stepX; x <= right; x += stepX) {
        painter.drawLine(x, 0, x, bottom);
    }
    for (int y = (stepY - top % stepY) % stepY; y <= bottom; y += stepY) {
        painter.drawLine(0, y, right, y);
    }
}

void ZoomView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint pixel = PixelAt(event->position().toPoint());
    if (pixel.x() >= 0) {
        emit BlockClicked(pixel.x() / kBlock, pixel.y() / kBlock);
    }
}

void ZoomView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ShiftModifier) {
        QScrollBar* bar = horizontalScrollBar();
        const int delta =
            event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
        bar->setValue(bar->value() - delta * 3 * bar->singleStep() / 120);
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

} // namespace quadrel
