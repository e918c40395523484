#pragma once
// A line or a few of fixed-pitch text that changes on every pointer move. A
// QLabel asks the whole page to lay itself out again whenever its text
// changes, and lays out its text on every repaint; this widget keeps the room
// it was given, draws from a glyph run, and grows (asking for a new layout)
// only when a text needs more lines than it has. Printable ASCII only.

#include "jpeg_worksheet/fixed_pitch_glyphs.h"

#include <QString>
#include <QWidget>

namespace quadrel::worksheet {

class LiveText : public QWidget {
    Q_OBJECT
public:
    /// `sample` sets the preferred width; `lines` the room reserved at first.
    /// Lines are broken at spaces.
    LiveText(const QString& sample, int lines, QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int LineHeight() const;
    /// The text broken into lines that fit `width`.
    QStringList FixedLines(int width) const;

    QString text_;
    QString sample_;
    int lines_;
    FixedPitchGlyphs glyphs_;
};

} // namespace quadrel::worksheet
