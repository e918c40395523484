#pragma once
// A scrolling list of fixed-pitch lines (the worksheet's symbols), painted
// from pre-rendered glyphs: replacing all of its lines on every pointer move
// costs a comparison and a repaint of the lines in view, not a text layout.

#include "jpeg_worksheet/fixed_pitch_glyphs.h"

#include <QAbstractScrollArea>
#include <QStringList>

namespace quadrel::worksheet {

class TextLines : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// `widest` sets the width wanted; `visibleLines` the height wanted. Any
    /// height the layout gives beyond that shows more lines.
    TextLines(const QString& widest, int visibleLines, QWidget* parent = nullptr);

    void SetLines(const QStringList& lines);
    const QStringList& Lines() const { return lines_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateScrollBars();
    int LineHeight() const;

    QString widest_;
    int visibleLines_;
    QStringList lines_;
    int mostLines_ = 0; ///< the most lines ever shown, which the scroll range covers
    FixedPitchGlyphs glyphs_;
};

} // namespace quadrel::worksheet
