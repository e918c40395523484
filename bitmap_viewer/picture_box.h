#pragma once
// The picture area of the bitmap viewer: shows a picture unscaled at its
// top-left corner, clips what does not fit, reports the pointer in pixels and
// answers point reads from the picture held in memory.

#include "engine/luma.h"

#include <QImage>
#include <QWidget>

namespace quadrel {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    /// Replaces the picture shown. Any format is accepted; it is kept as
    /// QImage::Format_RGB32 so that a point read is one memory access.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

    /// Colour value of the pixel that holds (x, y): red + 256*green + 65536*blue.
    /// Beyond the edge of a smaller picture it is the area's background colour,
    /// outside the area -1.
    ColourValue Point(double x, double y) const;

    QColor BackColor() const;

signals:
    /// Button and shift states use the values 1, 2, 4 for left, right, middle
    /// and for shift, control, alt.
    void MouseMove(int button, int shift, float x, float y);
    void MouseDown(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

} // namespace quadrel
