#pragma once
// A grey or colour picture magnified 1x to 16x with square, unsmoothed pixels, an optional
// line around every 8x8 block, and panning by the scroll bars, the wheel
// (Shift for sideways) and the arrow and page keys. Only the part in view is
// ever drawn, so a 12-megapixel picture costs no more to paint than a small one.

#include <QAbstractScrollArea>
#include <QImage>
#include <QRect>

class QPainter;

namespace quadrel {

class ZoomView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kMaxZoom = 16;

    explicit ZoomView(QWidget* parent = nullptr);

    /// Shows `picture` (Format_Grayscale8 or Format_RGB888 as it is, any other
    /// format converted) keeping the pan; a null picture shows nothing.
    void SetPicture(const QImage& picture);
    /// Shows `preview`, a reduced picture, stretched over `size` picture pixels
    /// until SetPicture gives the picture itself; clicks and grids count in those pixels.
    void SetPreview(const QImage& preview, QSize size);
    bool ShowsPreview() const { return preview_; }
    const QImage& Picture() const { return picture_; }
    void SetZoom(int zoom); ///< 1..kMaxZoom
    int Zoom() const { return zoom_; }
    void SetGrid(bool on);
    /// A second, stronger grid at every MCU (e.g. 16x16 pixels); an empty size draws none.
    void SetMcuGrid(QSize mcu);
    /// An outline around these picture pixels (a chosen block); an empty rectangle draws none.
    void SetMark(QRect pixels);

    /// The picture pixel under a point of the viewport, or (-1, -1) beyond the picture.
    QPoint PixelAt(QPoint viewportPoint) const;

signals:
    /// A left click on the picture, with the 8x8 block (column, row) it fell in.
    void BlockClicked(int column, int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void FitScrollBars();
    /// Lines every `across` by `down` picture pixels over the part in view.
    void DrawGrid(QPainter& painter, int across, int down, const QColor& colour) const;

    QImage picture_;
    QSize size_; ///< the picture pixels shown: picture_'s, or those a preview stands for
    bool preview_ = false;
    int zoom_ = 1;
    bool grid_ = false;
    QSize mcu_;
    QRect mark_;
};

} // namespace quadrel
