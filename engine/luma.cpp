#include "engine/luma.h"

#include <cmath>

namespace quadrel {

Rgb Components(ColourValue c) {
    return Rgb{c & 255, (c & 65280) / 256, (c & 16711680) / 65536};
}

int Luma(const Rgb& rgb) {
    const double l = (0.59 * rgb.G + 0.11 * rgb.B) + 0.3 * rgb.R;
    return static_cast<int>(std::trunc(l));
}

} // namespace quadrel
