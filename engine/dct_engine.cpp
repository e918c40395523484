#include "engine/dct_engine.h"

#include "engine/cell_text.h"

#include <algorithm>
#include <cmath>

namespace quadrel {

void DctEngine::SetConsts() {
    BuildMode = false;
    MaxIndex = 7;
    BlockSize = MaxIndex + 1;
    PiValue = 3.1415927;
    StopFlag = false;
    QuantScale = 16;
}

void DctEngine::MakeCosTable() {
    for (int a = 0; a <= MaxIndex; ++a) {
        for (int b = 0; b <= MaxIndex; ++b) {
            // The whole-number product first, then times pi, then /2 and /8:
            // this order fixes the last bit of every table entry.
            const double product = static_cast<double>((2 * a + 1) * b);
            CosTable[a][b] = std::cos(product * PiValue / 2.0 / BlockSize);
        }
    }
}

void DctEngine::ResetFreqSpace() {
    for (int u = 0; u <= MaxIndex; ++u) {
        for (int v = 0; v <= MaxIndex; ++v) {
            FreqArray[u][v] = 0.0;
        }
    }
}

void DctEngine::SetFreqValue(int u, int v, double val) {
    if (InBlock(u) && InBlock(v)) {
        FreqArray[u][v] = val;
    }
}

void DctEngine::SetSpaceValue(int x, int y, double val) {
    if (InBlock(x) && InBlock(y)) {
        SpaceArray[x][y] = val;
    }
}

void DctEngine::PerformDCT() {
    for (int u = 0; u <= MaxIndex; ++u) {
        for (int v = 0; v <= MaxIndex; ++v) {
            double cell = 0.0;
            for (int x = 0; x <= MaxIndex; ++x) {
                for (int y = 0; y <= MaxIndex; ++y) {
                    cell = cell + SpaceArray[x][y] * CosTable[x][u] * CosTable[y][v];
                }
            }
            const double cu = (u == 0) ? 0.5 : 1.0;
            const double cv = (v == 0) ? 0.5 : 1.0;
            // A coefficient beyond what a cell's text can hold stops there, so the
            // cell shows the number it holds even where its text does not change.
            FreqArray[u][v] = std::clamp((2.0 * cu * cv * cell) / BlockSize, -kMaxTextMagnitude,
                                         kMaxTextMagnitude);
        }
    }
}

void DctEngine::PerformIDCT() {
    for (int x = 0; x <= MaxIndex; ++x) {
        for (int y = 0; y <= MaxIndex; ++y) {
            SpaceArray[x][y] = 0.0;
        }
    }
    for (int u = 0; u <= MaxIndex; ++u) {
        for (int v = 0; v <= MaxIndex; ++v) {
            for (int x = 0; x <= MaxIndex; ++x) {
                for (int y = 0; y <= MaxIndex; ++y) {
                    SpaceArray[x][y] =
                        SpaceArray[x][y] +
                        ((FreqArray[u][v] * CosTable[x][u] * CosTable[y][v]) * 2.0) / BlockSize;
                }
            }
            if (BuildMode && buildStep_) {
                buildStep_();
            }
        }
    }
}

void DctEngine::QuantiseBlock() {
    const double q = QuantScale;
    for (int u = 0; u <= MaxIndex; ++u) {
        for (int v = 0; v <= MaxIndex; ++v) {
            const double f = FreqArray[u][v];
            // DC rounds to nearest (halves up); AC truncates, giving a dead zone |F| < Q.
            const double quotient = (u == 0 && v == 0) ? (f + q / 2.0) / q : f / q;
            // + 0.0 turns a negative zero into a plain zero.
            FreqArray[u][v] = std::trunc(quotient) * q + 0.0;
        }
    }
}

void DctEngine::DoubleScale() {
    if (QuantScale < kMaxQuantScale) {
        QuantScale = QuantScale * 2;
    }
}

void DctEngine::HalveScale() {
    if (QuantScale >= 2) {
        QuantScale = QuantScale / 2;
    }
}

} // namespace quadrel
