#include "jpeg/jpeg_block.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quadrel::jpeg {

namespace {

/// Basis[8k + n] = 1/2 C(k) cos((2n+1) k pi / 16): the 1-D orthonormal DCT
/// matrix, row-major like every block here.
const Reals& Basis() {
    static const Reals basis = [] {
        Reals m{};
        for (int k = 0; k < 8; ++k) {
            const double c = (k == 0) ? 1.0 / std::numbers::sqrt2 : 1.0;
            for (int n = 0; n < 8; ++n) {
                m[IndexAt(k, n)] = 0.5 * c * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
            }
        }
        return m;
    }();
    return basis;
}

/// Signs of the basis rows 0 and 4, whose entries are all +-1/(2 sqrt 2): their
/// products are +-1/8 exactly, so the four coefficients they make need no cosine.
constexpr std::array<double, 8> kSign4 = {1, -1, -1, 1, 1, -1, -1, 1};

/// Out = In^T.
Reals Transpose(const Reals& in) {
    Reals out{};
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            out[IndexAt(c, r)] = in[IndexAt(r, c)];
        }
    }
    return out;
}

/// B * X: the 1-D DCT of every column of X at once. Rows of B are even or odd
/// about their middle, so each needs only the sums or the differences of the
/// mirrored rows of X: half the multiplications of a plain product. The inner
/// loops run along rows, so they vectorise.
Reals ColumnDct(const Reals& b, const Reals& x) {
    std::array<std::array<double, 8>, 4> sums{};
    std::array<std::array<double, 8>, 4> differences{};
    for (int n = 0; n < 4; ++n) {
        for (int c = 0; c < 8; ++c) {
            const double top = x[IndexAt(n, c)];
            const double bottom = x[IndexAt(7 - n, c)];
            sums[static_cast<std::size_t>(n)][static_cast<std::size_t>(c)] = top + bottom;
            differences[static_cast<std::size_t>(n)][static_cast<std::size_t>(c)] = top - bottom;
        }
    }
    Reals out{};
    for (int k = 0; k < 8; ++k) {
        const auto& halves = (k % 2 == 0) ? sums : differences;
        std::array<double, 8> acc{};
        for (int n = 0; n < 4; ++n) {
            const double w = b[IndexAt(k, n)];
            for (int c = 0; c < 8; ++c) {
                acc[static_cast<std::size_t>(c)] =
                    acc[static_cast<std::size_t>(c)] +
                    w * halves[static_cast<std::size_t>(n)][static_cast<std::size_t>(c)];
            }
        }
        for (int c = 0; c < 8; ++c) {
            out[IndexAt(k, c)] = acc[static_cast<std::size_t>(c)];
        }
    }
    return out;
}

/// B^T * X: the 1-D inverse DCT of every column of X. Output rows n and 7 - n
/// share their terms: the even frequencies add, the odd ones change sign.
Reals ColumnInverseDct(const Reals& b, const Reals& x) {
    Reals out{};
    for (int n = 0; n < 4; ++n) {
        std::array<double, 8> even{};
        std::array<double, 8> odd{};
        for (int k = 0; k < 8; k += 2) {
            const double we = b[IndexAt(k, n)];
            const double wo = b[IndexAt(k + 1, n)];
            for (int c = 0; c < 8; ++c) {
                even[static_cast<std::size_t>(c)] =
                    even[static_cast<std::size_t>(c)] + we * x[IndexAt(k, c)];
                odd[static_cast<std::size_t>(c)] =
                    odd[static_cast<std::size_t>(c)] + wo * x[IndexAt(k + 1, c)];
            }
        }
        for (int c = 0; c < 8; ++c) {
            out[IndexAt(n, c)] =
                even[static_cast<std::size_t>(c)] + odd[static_cast<std::size_t>(c)];
            out[IndexAt(7 - n, c)] =
                even[static_cast<std::size_t>(c)] - odd[static_cast<std::size_t>(c)];
        }
    }
    return out;
}

} // namespace

namespace {

QuantTable ScaledTable(const QuantTable& base, int quality) {
    const int q = std::clamp(quality, kMinQuality, kMaxQuality);
    const int scale = (q < 50) ? 5000 / q : 200 - 2 * q;
    QuantTable table{};
    for (int i = 0; i < kBlockCells; ++i) {
        table[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
    }
    return table;
}

} // namespace

QuantTable LuminanceTable(int quality) {
    return ScaledTable(kLuminanceTable, quality);
}

QuantTable ChrominanceTable(int quality) {
    return ScaledTable(kChrominanceTable, quality);
}

Result<QuantTable> TableFromValues(std::span<const double> values) {
    if (values.size() != kBlockCells) {
        return Fail("a quantisation table needs 64 values, found " + std::to_string(values.size()) +
                    ".");
    }
    QuantTable table{};
    for (int i = 0; i < kBlockCells; ++i) {
        const double v = values[i];
        if (!(v >= 1.0 && v <= 255.0) || v != std::floor(v)) {
            return Fail("value " + std::to_string(i + 1) +
                        " of the quantisation table is not a whole number from 1 to 255.");
        }
        table[i] = static_cast<int>(v);
    }
    return table;
}

Reals LevelShift(const Samples& samples) {
    Reals shifted{};
    for (int i = 0; i < kBlockCells; ++i) {
        shifted[i] = static_cast<double>(samples[i]) - 128.0;
    }
    return shifted;
}

Reals ForwardDct(const Reals& block) {
    const Reals& b = Basis();
    // F = B f B^T = B (B f^T)^T: columns, then the former rows.
    Reals f = ColumnDct(b, Transpose(ColumnDct(b, Transpose(block))));
    // The four coefficients with u, v in {0, 4} from plain sums and differences,
    // first down the columns (vectorised), then across.
    std::array<double, 8> plain{};
    std::array<double, 8> signed4{};
    for (int y = 0; y < 8; ++y) {
        const double sy = kSign4[static_cast<std::size_t>(y)];
        for (int x = 0; x < 8; ++x) {
            const double v = block[IndexAt(y, x)];
            plain[static_cast<std::size_t>(x)] = plain[static_cast<std::size_t>(x)] + v;
            signed4[static_cast<std::size_t>(x)] = signed4[static_cast<std::size_t>(x)] + sy * v;
        }
    }
    double f00 = 0.0;
    double f04 = 0.0;
    double f40 = 0.0;
    double f44 = 0.0;
    for (int x = 0; x < 8; ++x) {
        const double sx = kSign4[static_cast<std::size_t>(x)];
        f00 = f00 + plain[static_cast<std::size_t>(x)];
        f04 = f04 + sx * plain[static_cast<std::size_t>(x)];
        f40 = f40 + signed4[static_cast<std::size_t>(x)];
        f44 = f44 + sx * signed4[static_cast<std::size_t>(x)];
    }
    f[0] = f00 / 8.0;
    f[4] = f04 / 8.0;
    f[32] = f40 / 8.0;
    f[36] = f44 / 8.0;
    return f;
}

Reals InverseDct(const Reals& coefficients) {
    const Reals& b = Basis();
    Reals rest = coefficients;
    rest[0] = rest[4] = rest[32] = rest[36] = 0.0;
    // s = B^T F B = B^T (B^T F^T)^T, without the four exact coefficients.
    Reals s = ColumnInverseDct(b, Transpose(ColumnInverseDct(b, Transpose(rest))));
    // Their share of pixel (x, y) is (F00 + sx F04 + sy F40 + sx sy F44) / 8.
    const double f00 = coefficients[0];
    const double f04 = coefficients[4];
    const double f40 = coefficients[32];
    const double f44 = coefficients[36];
    const std::array<double, 2> even = {(f00 + f04) / 8.0, (f40 + f44) / 8.0};
    const std::array<double, 2> odd = {(f00 - f04) / 8.0, (f40 - f44) / 8.0};
    for (int y = 0; y < 8; ++y) {
        const bool yPlus = kSign4[static_cast<std::size_t>(y)] > 0;
        const double plusX = yPlus ? even[0] + even[1] : even[0] - even[1];
        const double minusX = yPlus ? odd[0] + odd[1] : odd[0] - odd[1];
        for (int x = 0; x < 8; ++x) {
            const auto k = IndexAt(y, x);
            s[k] = (kSign4[static_cast<std::size_t>(x)] > 0 ? plusX : minusX) + s[k];
        }
    }
    return s;
}

namespace {

constexpr double kRoundLimit = 1 << 30;

/// RoundHalfAway for a whole block. std::round is a library call on baseline
/// x86-64; truncation is one instruction and x - trunc(x) is exact, so with
/// every value in range the loop has no branch and vectorises.
Indices RoundBlock(const Reals& values) {
    Indices out{};
    bool small = true;
    for (double v : values) {
        small = small && std::abs(v) < kRoundLimit; // false for NaN too
    }
    if (!small) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            out[i] = RoundHalfAway(values[i]);
        }
        return out;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int whole = static_cast<int>(values[i]);
        const double rest = values[i] - whole;
        out[i] = whole + static_cast<int>(rest >= 0.5) - static_cast<int>(rest <= -0.5);
    }
    return out;
}

} // namespace

int RoundHalfAway(double value) {
    if (!(std::abs(value) < kRoundLimit)) {
        return static_cast<int>(std::clamp(std::round(value), -kRoundLimit, kRoundLimit));
    }
    const int whole = static_cast<int>(value);
    const double rest = value - whole;
    return whole + static_cast<int>(rest >= 0.5) - static_cast<int>(rest <= -0.5);
}

Indices Quantise(const Reals& coefficients, const QuantTable& table, TieRule ties) {
    Indices q{};
    if (ties == TieRule::ToEven) {
        for (int i = 0; i < kBlockCells; ++i) {
            // The default floating-point rounding mode is to nearest, ties to even.
            q[i] = static_cast<int>(std::nearbyint(coefficients[i] / table[i]));
        }
        return q;
    }
    Reals quotients{};
    for (std::size_t i = 0; i < quotients.size(); ++i) {
        quotients[i] = coefficients[i] / table[i];
    }
    return RoundBlock(quotients);
}

Reals Dequantise(const Indices& quantised, const QuantTable& table) {
    Reals d{};
    for (int i = 0; i < kBlockCells; ++i) {
        d[i] = static_cast<double>(quantised[i] * table[i]);
    }
    return d;
}

void KeepFirst(Indices& quantised, int k) {
    for (int z = std::clamp(k, 0, kBlockCells); z < kBlockCells; ++z) {
        quantised[kZigZag[z]] = 0;
    }
}

Indices ToZigZag(const Indices& rowMajor) {
    Indices z{};
    for (int i = 0; i < kBlockCells; ++i) {
        z[i] = rowMajor[kZigZag[i]];
    }
    return z;
}

Samples Reconstruct(const Reals& dequantised) {
    Reals s = InverseDct(dequantised);
    for (double& v : s) {
        v = v + 128.0;
    }
    const Indices levels = RoundBlock(s);
    Samples out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(std::clamp(levels[i], 0, 255));
    }
    return out;
}

ErrorMeasures MeasureError(const Samples& original, const Samples& reconstruction) {
    ErrorMeasures m;
    int sumSquares = 0;
    for (int i = 0; i < kBlockCells; ++i) {
        m.Error[i] = static_cast<int>(original[i]) - static_cast<int>(reconstruction[i]);
        sumSquares += m.Error[i] * m.Error[i];
    }
    m.Mse = sumSquares / static_cast<double>(kBlockCells);
    m.Lossless = sumSquares == 0;
    m.Psnr = m.Lossless ? std::numeric_limits<double>::infinity()
                        : 10.0 * std::log10(255.0 * 255.0 / m.Mse);
    return m;
}

Reals QuadrelFromJpeg(const Reals& jpegCoefficients) {
    Reals q{};
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            const double cu = (u == 0) ? 1.0 / std::numbers::sqrt2 : 1.0;
            const double cv = (v == 0) ? 1.0 / std::numbers::sqrt2 : 1.0;
            q[8 * v + u] = cu * cv * jpegCoefficients[8 * v + u];
        }
    }
    q[0] = (jpegCoefficients[0] + 1024.0) / 2.0;
    return q;
}

} // namespace quadrel::jpeg
