#pragma once
// The application's style for the 64 number cells, with their sunken panel
// drawn once per size, state and colours and then copied. Fusion strokes each
// panel's rounded, antialiased outline anew on every paint; a pointer move over
// a picture repaints all 64 cells, and that outline was most of the cost.

#include <QPixmap>
#include <QProxyStyle>

#include <array>
#include <vector>

namespace quadrel {

class CellPanelStyle : public QProxyStyle {
    Q_OBJECT
public:
    /// Over the application's style (its own copy, made on first use).
    explicit CellPanelStyle(QObject* parent = nullptr);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    /// Everything a panel's pixels depend on: its size and pixel ratio, the
    /// state flags, the direction, the frame's widths and the colours the
    /// style takes from the palette's current group.
    struct Key {
        QSize Size;
        qreal Ratio = 1.0;
        uint State = 0;
        int Direction = 0;
        std::array<int, 4> Frame{}; ///< line width, mid-line width, features, colour group
        std::array<QRgb, 8> Colours{};
        bool operator==(const Key& other) const = default;
    };

private:
    /// At most this many panels are kept; beyond it the cache starts again.
    static constexpr std::size_t kMaxPanels = 16;
    mutable std::vector<std::pair<Key, QPixmap>> panels_;
};

} // namespace quadrel
