#include "views/window_palette.h"

#include <QWidget>

namespace quadrel {

QPalette LightPalette(const QColor& window) {
    const QColor face(0xEF, 0xEF, 0xEF);
    const QColor text(Qt::black);
    const QColor disabledText(0x78, 0x78, 0x78);
    QColor placeholder(text);
    placeholder.setAlpha(128);
    struct Role {
        QPalette::ColorRole role;
        QColor enabled;
        QColor disabled;
    };
    // Highlight is dark enough for white text (7:1); links keep 4.5:1 on white.
    const Role roles[] = {
        {QPalette::Window, window, window},
        {QPalette::WindowText, text, disabledText},
        {QPalette::Base, Qt::white, face},
        {QPalette::AlternateBase, QColor(0xF5, 0xF5, 0xF5), face},
        {QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xDC), QColor(0xFF, 0xFF, 0xDC)},
        {QPalette::ToolTipText, text, text},
        {QPalette::PlaceholderText, placeholder, placeholder},
        {QPalette::Text, text, disabledText},
        {QPalette::Button, face, face},
        {QPalette::ButtonText, text, disabledText},
        {QPalette::BrightText, Qt::white, Qt::white},
        {QPalette::Light, Qt::white, Qt::white},
        {QPalette::Midlight, face.darker(118), face.darker(118)},
        {QPalette::Mid, face.darker(130), face.darker(130)},
        {QPalette::Dark, face.darker(150), face.darker(150)},
        {QPalette::Shadow, face.darker(200), face.darker(200)},
        {QPalette::Highlight, QColor(0x00, 0x5A, 0xA0), QColor(0x91, 0x91, 0x91)},
        {QPalette::HighlightedText, Qt::white, Qt::white},
        {QPalette::Link, QColor(0x00, 0x00, 0xEE), disabledText},
        {QPalette::LinkVisited, QColor(0x55, 0x1A, 0x8B), disabledText},
    };
    QPalette palette;
    for (const Role& r : roles) {
        palette.setColor(QPalette::Active, r.role, r.enabled);
        palette.setColor(QPalette::Inactive, r.role, r.enabled);
        palette.setColor(QPalette::Disabled, r.role, r.disabled);
    }
    return palette;
}

void ApplyWindowPalette(QWidget* window, const QColor& background) {
    window->setPalette(LightPalette(background));
    window->setAutoFillBackground(true);
}

} // namespace quadrel
