#include "jpeg/jpeg_block.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quadrel::jpeg {

namespace {

using Matrix = std::array<std::array<double, 8>, 8>;

/// Basis[k][n] = 1/2 C(k) cos((2n+1) k pi / 16): the 1-D orthonormal DCT matrix.
const Matrix& Basis() {
    static const Matrix basis = [] {
        Matrix m{};
        for (int k = 0; k < 8; ++k) {
            const double c = (k == 0) ? 1.0 / std::numbers::sqrt2 : 1.0;
            for (int n = 0; n < 8; ++n) {
                m[k][n] = 0.5 * c * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
            }
        }
        return m;
    }();
    return basis;
}

/// Signs of the basis rows 0 and 4, whose entries are all +-1/(2 sqrt 2): their
/// products are +-1/8 exactly, so the four coefficients they make need no cosine.
constexpr std::array<std::array<int, 8>, 2> kEvenSigns = {
    {{1, 1, 1, 1, 1, 1, 1, 1}, {1, -1, -1, 1, 1, -1, -1, 1}}};
constexpr std::array<int, 2> kEvenFrequencies = {0, 4};

/// Out[r][c] = sum_k A[k][r] * In[k][c], for both passes of the separable transform.
void TransposedProduct(const Matrix& a, const double* in, double* out) {
    for (int r = 0; r < 8; ++r) {
        std::array<double, 8> acc{};
        for (int k = 0; k < 8; ++k) {
            const double w = a[k][r];
            for (int c = 0; c < 8; ++c) {
                acc[c] = acc[c] + w * in[8 * k + c];
            }
        }
        std::copy(acc.begin(), acc.end(), out + 8 * r);
    }
}

/// Out[r][c] = sum_k A[r][k] * In[k][c].
void Product(const Matrix& a, const double* in, double* out) {
    for (int r = 0; r < 8; ++r) {
        std::array<double, 8> acc{};
        for (int k = 0; k < 8; ++k) {
            const double w = a[r][k];
            for (int c = 0; c < 8; ++c) {
                acc[c] = acc[c] + w * in[8 * k + c];
            }
        }
        std::copy(acc.begin(), acc.end(), out + 8 * r);
    }
}

/// Out = In^T.
void Transpose(const double* in, double* out) {
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            out[8 * c + r] = in[8 * r + c];
        }
    }
}

} // namespace

QuantTable LuminanceTable(int quality) {
    const int q = std::clamp(quality, kMinQuality, kMaxQuality);
    const int scale = (q < 50) ? 5000 / q : 200 - 2 * q;
    QuantTable table{};
    for (int i = 0; i < kBlockCells; ++i) {
        table[i] = std::clamp((kLuminanceTable[i] * scale + 50) / 100, 1, 255);
    }
    return table;
}

std::optional<QuantTable> TableFromValues(std::span<const double> values, std::string& problem) {
    if (values.size() != kBlockCells) {
        problem =
            "a quantisation table needs 64 values, found " + std::to_string(values.size()) + ".";
        return std::nullopt;
    }
    QuantTable table{};
    for (int i = 0; i < kBlockCells; ++i) {
        const double v = values[i];
        if (!(v >= 1.0 && v <= 255.0) || v != std::floor(v)) {
            problem = "value " + std::to_string(i + 1) +
                      " of the quantisation table is not a whole number from 1 to 255.";
            return std::nullopt;
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
    const Matrix& b = Basis();
    Reals columns{};
    Reals rowsT{};
    Reals out{};
    // Columns first: T[v][x] = sum_y B[v][y] f[y][x]; then rows: F[v][u] = sum_x T[v][x] B[u][x].
    Product(b, block.data(), columns.data());
    Transpose(columns.data(), rowsT.data()); // rowsT[x][v]
    Product(b, rowsT.data(), out.data());    // out[u][v]
    Reals f{};
    Transpose(out.data(), f.data());
    for (int iv = 0; iv < 2; ++iv) {
        for (int iu = 0; iu < 2; ++iu) {
            double sum = 0.0;
            for (int y = 0; y < 8; ++y) {
                double row = 0.0;
                for (int x = 0; x < 8; ++x) {
                    row = row + kEvenSigns[iu][x] * block[8 * y + x];
                }
                sum = sum + kEvenSigns[iv][y] * row;
            }
            f[8 * kEvenFrequencies[iv] + kEvenFrequencies[iu]] = sum / 8.0;
        }
    }
    return f;
}

Reals InverseDct(const Reals& coefficients) {
    const Matrix& b = Basis();
    Reals rest = coefficients;
    for (int v : kEvenFrequencies) {
        for (int u : kEvenFrequencies) {
            rest[8 * v + u] = 0.0;
        }
    }
    // s[y][x] = sum_v sum_u B[v][y] B[u][x] F[v][u], again one axis at a time.
    Reals columns{};
    Reals columnsT{};
    Reals outT{};
    TransposedProduct(b, rest.data(), columns.data());  // columns[y][u]
    Transpose(columns.data(), columnsT.data());         // columnsT[u][y]
    TransposedProduct(b, columnsT.data(), outT.data()); // outT[x][y]
    Reals s{};
    Transpose(outT.data(), s.data());
    const double f00 = coefficients[0];
    const double f04 = coefficients[4];
    const double f40 = coefficients[32];
    const double f44 = coefficients[36];
    for (int y = 0; y < 8; ++y) {
        const int sy = kEvenSigns[1][y];
        for (int x = 0; x < 8; ++x) {
            const int sx = kEvenSigns[1][x];
            const double exact = (f00 + sx * f04 + sy * f40 + sx * sy * f44) / 8.0;
            s[8 * y + x] = exact + s[8 * y + x];
        }
    }
    return s;
}

int RoundHalfAway(double value) {
    return static_cast<int>(std::round(value));
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
    for (int i = 0; i < kBlockCells; ++i) {
        q[i] = RoundHalfAway(coefficients[i] / table[i]);
    }
    return q;
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
    const Reals s = InverseDct(dequantised);
    Samples out{};
    for (int i = 0; i < kBlockCells; ++i) {
        const double level = std::round(s[i] + 128.0);
        out[i] = static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0));
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
