#pragma once
// Layouts are designed in twips; at the usual screen resolution 15 twips make
// one logical pixel.

#include <QRect>

namespace quadrel {

inline constexpr int kTwipsPerPixel = 15;

constexpr int Twips(int twips) {
    return twips / kTwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

} // namespace quadrel
