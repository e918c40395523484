#pragma once
// Every window of Quadrel paints with a palette of its own: dark text on light
// backgrounds, each colour chosen here. A desktop theme's palette is never
// mixed in, since its light text on the grey and cyan faces of the main window
// would be unreadable.

#include <QColor>
#include <QPalette>

class QWidget;

namespace quadrel {

/// Light palette with every role of every colour group set; `window` is the
/// background of windows, button faces stay light.
QPalette LightPalette(const QColor& window = QColor(0xEF, 0xEF, 0xEF));

/// Gives `window` LightPalette(background); its controls take it from the window.
void ApplyWindowPalette(QWidget* window, const QColor& background = QColor(0xEF, 0xEF, 0xEF));

} // namespace quadrel
