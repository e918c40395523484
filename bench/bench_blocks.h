#pragma once
// Inputs and probes shared by the transform and cycle benchmarks.

#include "bench/bench_app.h"
#include "engine/dct_engine.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/square_grid.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <memory>

namespace quadrel::bench {

/// A block that looks like a piece of a photograph: a soft gradient, an edge
/// across the diagonal and a little fixed noise. `variant` shifts it so that
/// consecutive blocks differ in every cell and every square.
inline Block NaturalBlock(int variant) {
    Block block{};
    std::uint32_t seed = 12345u + static_cast<std::uint32_t>(variant);
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<double>(seed >> 24) / 32.0 - 4.0;
            const double edge = (x + y > 7) ? 40.0 : -40.0;
            block[x][y] =
                120.0 + 7.5 * variant + 50.0 * std::sin(0.7 * x + 0.3 * y + variant) + edge + noise;
        }
    }
    return block;
}

/// The real main window, shown on the benchmark's platform, with the paints of
/// its squares counted.
class CountedWindow {
public:
    CountedWindow() {
        window.show();
        QCoreApplication::processEvents();
        paints = std::make_unique<test::PaintCounter>(test::Shape1(window));
    }

private:
    QApplication& app_ = App(); // first: widgets need the application

public:
    DCT window;
    std::unique_ptr<test::PaintCounter> paints;
};

} // namespace quadrel::bench
