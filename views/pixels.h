#pragma once
// Layouts are designed in twips; at the usual screen resolution 15 twips make
// one logical pixel.

#include <QRect>

namespace quadrel {

inline constexpr int kTwipsPerPixel = 15;

/// The whole pixels a length in twips covers.
constexpr int PixelsFromTwips(int twips) {
    return twips / kTwipsPerPixel;
}

/// A rectangle given in twips, in pixels.
inline QRect PixelRectFromTwips(int left, int top, int width, int height) {
    return QRect(PixelsFromTwips(left), PixelsFromTwips(top), PixelsFromTwips(width),
                 PixelsFromTwips(height));
}

} // namespace quadrel
