#pragma once
// Fixed-pitch text gathered into one glyph run per colour and drawn in one
// call. The worksheet redraws several hundred short numbers on every pointer
// move; laying out each through the text engine costs milliseconds, one glyph
// run for a whole grid costs microseconds. Printable ASCII only; any other
// character is drawn as a space.

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QStringView>

#include <array>

class QColor;
class QPainter;

namespace quadrel::worksheet {

class FixedPitchGlyphs {
public:
    /// Looks the glyphs up again when the font differs from the last call.
    void Prepare(const QFont& font);
    /// The width of one character cell in `font`, as Prepare sets Advance():
    /// the widest printable character's advance, rounded up.
    static int CellWidth(const QFont& font);

    int Advance() const { return advance_; } ///< every character's width
    int Height() const { return height_; }   ///< a line's height
    int Width(QStringView text) const { return advance_ * static_cast<int>(text.size()); }

    /// Adds `text` with its top-left corner at (x, y) to the pending run.
    void Add(int x, int y, QStringView text);
    /// Draws the pending run in `colour` and empties it.
    void Flush(QPainter& painter, const QColor& colour);

private:
    static constexpr char16_t kFirst = 32;
    static constexpr char16_t kLast = 126;

    QFont font_;
    QRawFont raw_;
    bool prepared_ = false;
    std::array<quint32, kLast - kFirst + 1> indexes_{};
    std::array<double, kLast - kFirst + 1> offsets_{}; ///< centres each glyph in its cell
    int advance_ = 0;
    int height_ = 0;
    int ascent_ = 0;
    QList<quint32> pendingIndexes_;
    QList<QPointF> pendingPositions_;
};

} // namespace quadrel::worksheet
