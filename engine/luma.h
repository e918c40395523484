#pragma once
// Grey level of a picture point as the bitmap viewer picks it.

#include <cstdint>

namespace quadrel {

/// A point's colour as the picture area reports it: red + 256*green +
/// 65536*blue, or -1 for a point outside the area.
using ColourValue = std::int32_t;
inline constexpr ColourValue kOutsideArea = -1;

struct Rgb {
    int R;
    int G;
    int B;
};

/// Splits a colour value into its components; -1 gives 255, 255, 255.
Rgb Components(ColourValue c);

/// L = (0.59 G + 0.11 B) + 0.3 R in double precision, in exactly that order,
/// truncated. The order matters: 26 neutral greys come out one level darker.
int Luma(const Rgb& rgb);

inline ColourValue MakeColourValue(int r, int g, int b) {
    return r + 256 * g + 65536 * b;
}

} // namespace quadrel
