#pragma once
// One 8x8 grid of the worksheet, painted by one widget: 64 numbers in a
// fixed-pitch font, or 64 grey squares. It keeps the values it shows and
// schedules a repaint only when they change, so that following the pointer
// over a picture costs a comparison, not 64 label updates.

#include "jpeg_worksheet/fixed_pitch_glyphs.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

namespace quadrel::worksheet {

class NumberGrid : public QWidget {
    Q_OBJECT
public:
    using Values = std::array<double, 64>; ///< row-major: index 8 * row + column

    enum class Look {
        Whole,      ///< numbers as whole numbers
        OneDecimal, ///< one decimal shown, the exact value as the cell's tooltip
        Grey,       ///< grey squares, value 0 black to 255 white
    };

    /// `widestText` is the longest text a cell may show ("-1024.0"); it sets
    /// the cell width in the current font.
    NumberGrid(Look look, const QString& widestText, QWidget* parent = nullptr);

    /// Repaints only when a value differs from what is shown.
    void SetValues(const Values& values);
    const Values& ShownValues() const { return values_; }
    /// What cell k shows (for a grey square: its grey level).
    QString CellText(int k) const;
    /// The cell's exact value, as its tooltip gives it.
    QString ExactText(int k) const;

    /// Non-zero cells get a tinted background.
    void SetMarkNonZero(bool on);
    /// Draws the zig-zag path over the cells; the first `kept` positions strongly.
    void SetZigZagPath(bool on, int kept);

    /// Cell k's area in this widget's coordinates.
    QRect CellRect(int k) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateMetrics();
    void PrepareGlyphs();
    void DrawPathImage();
    QColor MarkColour() const;
    void ShowCellTip(int k);
    int CellAt(QPoint at) const;

    Look look_;
    QString widestText_;
    Values values_{};
    bool markNonZero_ = false;
    bool path_ = false;
    int kept_ = 64;
    int current_ = 0; ///< the cell whose exact value the keyboard shows
    // From the font: the width and height of a cell, and the axis margin.
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int axis_ = 0;
    FixedPitchGlyphs numbers_;
    QImage pathImage_; ///< the zig-zag path, drawn again only when it changes
};

} // namespace quadrel::worksheet
