#pragma once
// The picture area of the bitmap viewer: shows a picture unscaled, clips what
// does not fit, reports the pointer in pixels and answers point reads from the
// picture held in memory. A picture larger than the area is panned: the origin
// is the picture pixel shown at the area's top-left corner, and every position
// the area reports or reads is in picture pixels from that corner. At a scale
// of 2 (View > Zoom at 200 %) each picture pixel is drawn as 2x2 area pixels,
// never smoothed, so that the pixel a pointer is over is the pixel it picks.

#include "engine/luma.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace quadrel {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    /// Replaces the picture shown. Any format is accepted; it is kept as
    /// QImage::Format_RGB32 so that a point read is one memory access.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

    /// The picture pixel shown at the area's top-left corner; (0, 0) after SetPicture.
    QPoint Origin() const { return origin_; }
    /// A new origin under a pointer still over the area is reported as a move
    /// to where the pointer stands.
    void SetOrigin(QPoint origin);

    /// Each picture pixel drawn as `scale` x `scale` area pixels (1 or more).
    void SetScale(int scale);
    int Scale() const { return scale_; }
    /// The area's size in picture pixels, a pixel cut by the edge not counted.
    QSize ShownSize() const { return size() / scale_; }

    /// Colour value of the pixel that holds (x, y): red + 256*green + 65536*blue.
    /// Beyond the edge of a smaller picture it is the area's background colour,
    /// outside the area -1.
    ColourValue Point(double x, double y) const;

    QColor BackColor() const;

signals:
    /// A new picture is shown, from its top-left corner.
    void PictureChanged();
    /// Button and shift states use the values 1, 2, 4 for left, right, middle
    /// and for shift, control, alt.
    void MouseMove(int button, int shift, float x, float y);
    void MouseDown(int button, int shift, float x, float y);
    /// Wheel turns in eighths of a degree, as QWheelEvent::angleDelta gives them.
    void Wheel(QPoint angleDelta, Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    /// An area position in picture pixels from the area's top-left corner.
    QPointF InPicture(QPointF at) const { return at / scale_; }

    QImage picture_;
    QPoint origin_;
    int scale_ = 1;
    std::optional<QPointF> pointer_; ///< where the pointer last moved, while over the area
};

} // namespace quadrel
