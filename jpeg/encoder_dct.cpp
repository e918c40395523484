#include "jpeg/encoder_dct.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace quadrel::jpeg {

namespace {

// Each 1-D pass works on eight lanes at once: lane l of every line holds one
// row (or column) of the block, so the loop over the lanes vectorises. The
// order of the operations inside is the encoder's own: in single precision
// every change of order changes the last bit.
template <typename T> using Lanes = std::array<std::array<T, 8>, 8>;

template <typename T> [[gnu::always_inline]] inline Lanes<T> Transposed(const Lanes<T>& in) {
    Lanes<T> out{};
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t j = 0; j < 8; ++j) {
            out[j][i] = in[i][j];
        }
    }
    return out;
}

// The constants as the vector code holds them (single precision).
constexpr float kF0382 = 0.382683432365089771728460F;
constexpr float kF0707 = 0.707106781186547524400844F;
constexpr float kF0541 = 0.541196100146196984399723F;
constexpr float kF1306 = 1.306562964876376527856643F;
constexpr float kF1414 = 1.414213562373095048801689F;
constexpr float kF1847 = 1.847759065022573512256366F;
constexpr float kF1082 = 1.082392200292393968799446F;
constexpr float kFM2613 = -2.613125929752753055713286F;

/// Forward factored transform along the lines, scaled by 8 a(k) overall.
[[gnu::always_inline]] inline void ForwardFloatPass(Lanes<float>& d) {
    for (std::size_t l = 0; l < 8; ++l) {
        const float tmp0 = d[0][l] + d[7][l];
        const float tmp7 = d[0][l] - d[7][l];
        const float tmp1 = d[1][l] + d[6][l];
        const float tmp6 = d[1][l] - d[6][l];
        const float tmp2 = d[2][l] + d[5][l];
        const float tmp5 = d[2][l] - d[5][l];
        const float tmp3 = d[3][l] + d[4][l];
        const float tmp4 = d[3][l] - d[4][l];

        const float tmp10 = tmp0 + tmp3;
        const float tmp13 = tmp0 - tmp3;
        const float tmp11 = tmp1 + tmp2;
        const float tmp12 = tmp1 - tmp2;
        d[0][l] = tmp10 + tmp11;
        d[4][l] = tmp10 - tmp11;
        const float z1 = (tmp12 + tmp13) * kF0707;
        d[2][l] = tmp13 + z1;
        d[6][l] = tmp13 - z1;

        const float odd10 = tmp4 + tmp5;
        const float odd11 = tmp5 + tmp6;
        const float odd12 = tmp6 + tmp7;
        const float z5 = (odd10 - odd12) * kF0382;
        const float z2 = odd10 * kF0541 + z5;
        const float z4 = odd12 * kF1306 + z5;
        const float z3 = odd11 * kF0707;
        const float z11 = tmp7 + z3;
        const float z13 = tmp7 - z3;
        d[5][l] = z13 + z2;
        d[3][l] = z13 - z2;
        d[1][l] = z11 + z4;
        d[7][l] = z11 - z4;
    }
}

/// Inverse factored transform along the lines (no final scaling).
[[gnu::always_inline]] inline void InverseFloatPass(Lanes<float>& d) {
    for (std::size_t l = 0; l < 8; ++l) {
        const float tmp10 = d[0][l] + d[4][l];
        const float tmp11 = d[0][l] - d[4][l];
        const float tmp13 = d[2][l] + d[6][l];
        const float tmp12 = (d[2][l] - d[6][l]) * kF1414 - tmp13;
        const float even0 = tmp10 + tmp13;
        const float even3 = tmp10 - tmp13;
        const float even1 = tmp11 + tmp12;
        const float even2 = tmp11 - tmp12;

        const float z13 = d[5][l] + d[3][l];
        const float z10 = d[5][l] - d[3][l];
        const float z11 = d[1][l] + d[7][l];
        const float z12 = d[1][l] - d[7][l];
        const float odd7 = z11 + z13;
        const float odd11 = (z11 - z13) * kF1414;
        const float z5 = (z10 + z12) * kF1847;
        const float odd10 = z12 * kF1082 - z5; // the negative of the textbook's tmp10
        const float odd12 = z10 * kFM2613 + z5;
        const float odd6 = odd12 - odd7;
        const float odd5 = odd11 - odd6;
        const float odd4 = odd10 + odd5; // the negative of the textbook's tmp4

        d[0][l] = even0 + odd7;
        d[7][l] = even0 - odd7;
        d[1][l] = even1 + odd6;
        d[6][l] = even1 - odd6;
        d[2][l] = even2 + odd5;
        d[5][l] = even2 - odd5;
        d[4][l] = even3 + odd4;
        d[3][l] = even3 - odd4;
    }
}

/// Nearest whole number, ties to even, for |x| < 2^22: the addition rounds in
/// the default mode, as the vector conversion does.
inline float RoundEven(float x) {
    constexpr float kShift = 12582912.0F; // 1.5 * 2^23
    return (x + kShift) - kShift;
}

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
constexpr std::int32_t kFix0298 = 2446;
constexpr std::int32_t kFix0390 = 3196;
constexpr std::int32_t kFix0541 = 4433;
constexpr std::int32_t kFix0765 = 6270;
constexpr std::int32_t kFix0899 = 7373;
constexpr std::int32_t kFix1175 = 9633;
constexpr std::int32_t kFix1501 = 12299;
constexpr std::int32_t kFix1847 = 15137;
constexpr std::int32_t kFix1961 = 16069;
constexpr std::int32_t kFix2053 = 16819;
constexpr std::int32_t kFix2562 = 20995;
constexpr std::int32_t kFix3072 = 25172;

constexpr std::int32_t Descale(std::int32_t x, int n) {
    return (x + (std::int32_t{1} << (n - 1))) >> n;
}

/// Forward integer transform along the lines. The first pass keeps kPass1Bits
/// more bits (`first`), the second takes them away again.
[[gnu::always_inline]] inline void ForwardIntegerPass(Lanes<std::int32_t>& d, bool first) {
    const int oddShift = first ? kConstBits - kPass1Bits : kConstBits + kPass1Bits;
    for (std::size_t l = 0; l < 8; ++l) {
        const std::int32_t tmp0 = d[0][l] + d[7][l];
        const std::int32_t tmp7 = d[0][l] - d[7][l];
        const std::int32_t tmp1 = d[1][l] + d[6][l];
        const std::int32_t tmp6 = d[1][l] - d[6][l];
        const std::int32_t tmp2 = d[2][l] + d[5][l];
        const std::int32_t tmp5 = d[2][l] - d[5][l];
        const std::int32_t tmp3 = d[3][l] + d[4][l];
        const std::int32_t tmp4 = d[3][l] - d[4][l];

        const std::int32_t tmp10 = tmp0 + tmp3;
        const std::int32_t tmp13 = tmp0 - tmp3;
        const std::int32_t tmp11 = tmp1 + tmp2;
        const std::int32_t tmp12 = tmp1 - tmp2;
        if (first) {
            d[0][l] = (tmp10 + tmp11) * (1 << kPass1Bits);
            d[4][l] = (tmp10 - tmp11) * (1 << kPass1Bits);
        } else {
            d[0][l] = Descale(tmp10 + tmp11, kPass1Bits);
            d[4][l] = Descale(tmp10 - tmp11, kPass1Bits);
        }
        const std::int32_t z1 = (tmp12 + tmp13) * kFix0541;
        d[2][l] = Descale(z1 + tmp13 * kFix0765, oddShift);
        d[6][l] = Descale(z1 + tmp12 * -kFix1847, oddShift);

        const std::int32_t z5 = (tmp4 + tmp6 + tmp5 + tmp7) * kFix1175;
        const std::int32_t o1 = (tmp4 + tmp7) * -kFix0899;
        const std::int32_t o2 = (tmp5 + tmp6) * -kFix2562;
        const std::int32_t o3 = (tmp4 + tmp6) * -kFix1961 + z5;
        const std::int32_t o4 = (tmp5 + tmp7) * -kFix0390 + z5;
        d[7][l] = Descale(tmp4 * kFix0298 + o1 + o3, oddShift);
        d[5][l] = Descale(tmp5 * kFix2053 + o2 + o4, oddShift);
        d[3][l] = Descale(tmp6 * kFix3072 + o2 + o3, oddShift);
        d[1][l] = Descale(tmp7 * kFix1501 + o1 + o4, oddShift);
    }
}

/// Inverse integer transform along the lines, descaled by `shift` bits.
[[gnu::always_inline]] inline void InverseIntegerPass(Lanes<std::int32_t>& d, int shift) {
    for (std::size_t l = 0; l < 8; ++l) {
        const std::int32_t e2 = d[2][l];
        const std::int32_t e6 = d[6][l];
        const std::int32_t z1 = (e2 + e6) * kFix0541;
        const std::int32_t t2 = z1 + e6 * -kFix1847;
        const std::int32_t t3 = z1 + e2 * kFix0765;
        const std::int32_t t0 = (d[0][l] + d[4][l]) * (1 << kConstBits);
        const std::int32_t t1 = (d[0][l] - d[4][l]) * (1 << kConstBits);
        const std::int32_t tmp10 = t0 + t3;
        const std::int32_t tmp13 = t0 - t3;
        const std::int32_t tmp11 = t1 + t2;
        const std::int32_t tmp12 = t1 - t2;

        const std::int32_t i7 = d[7][l];
        const std::int32_t i5 = d[5][l];
        const std::int32_t i3 = d[3][l];
        const std::int32_t i1 = d[1][l];
        const std::int32_t z5 = (i7 + i3 + i5 + i1) * kFix1175;
        const std::int32_t o1 = (i7 + i1) * -kFix0899;
        const std::int32_t o2 = (i5 + i3) * -kFix2562;
        const std::int32_t o3 = (i7 + i3) * -kFix1961 + z5;
        const std::int32_t o4 = (i5 + i1) * -kFix0390 + z5;
        const std::int32_t p0 = i7 * kFix0298 + (o1 + o3);
        const std::int32_t p1 = i5 * kFix2053 + (o2 + o4);
        const std::int32_t p2 = i3 * kFix3072 + (o2 + o3);
        const std::int32_t p3 = i1 * kFix1501 + (o1 + o4);

        d[0][l] = Descale(tmp10 + p3, shift);
        d[7][l] = Descale(tmp10 - p3, shift);
        d[1][l] = Descale(tmp11 + p2, shift);
        d[6][l] = Descale(tmp11 - p2, shift);
        d[2][l] = Descale(tmp12 + p1, shift);
        d[5][l] = Descale(tmp12 - p1, shift);
        d[3][l] = Descale(tmp13 + p0, shift);
        d[4][l] = Descale(tmp13 - p0, shift);
    }
}

inline std::uint8_t Sample(int centred) {
    return static_cast<std::uint8_t>(std::clamp(centred, -128, 127) + 128);
}

constexpr std::array<double, 8> kAanScale = {1.0, 1.387039845, 1.306562965, 1.175875602,
                                             1.0, 0.785694958, 0.541196100, 0.275899379};

struct Reciprocal {
    std::uint32_t Factor = 1;
    std::uint32_t Correction = 0;
    int Shift = 0;
};

Reciprocal ReciprocalOf(int divisor) {
    const auto d = static_cast<std::uint32_t>(divisor);
    int r = 16 + std::bit_width(d) - 1;
    std::uint32_t fq = (std::uint32_t{1} << r) / d;
    const std::uint32_t fr = (std::uint32_t{1} << r) % d;
    std::uint32_t c = d / 2;
    if (fr == 0) { // a power of two: one bit less
        fq >>= 1;
        --r;
    } else if (fr <= d / 2) {
        ++c;
    } else {
        ++fq;
    }
    return {fq, c, r};
}

inline int ApplyReciprocal(int value, std::uint32_t factor, std::uint32_t correction, int shift) {
    const auto magnitude = static_cast<std::uint32_t>(std::abs(value));
    const auto q = static_cast<int>(((magnitude + correction) * factor) >> shift);
    return value < 0 ? -q : q;
}

} // namespace

EncoderBlockCodec::EncoderBlockCodec(const QuantTable& table, DctMethod method)
    : table_(table), method_(method) {
    for (std::size_t row = 0; row < 8; ++row) {
        for (std::size_t col = 0; col < 8; ++col) {
            const std::size_t i = row * 8 + col;
            const double scaled = static_cast<double>(table[i]) * kAanScale[row] * kAanScale[col];
            floatDivisors_[i] = static_cast<float>(1.0 / (scaled * 8.0));
            floatMultipliers_[i] = static_cast<float>(scaled);
            const Reciprocal r = ReciprocalOf(table[i] * 8);
            reciprocal_[i] = r.Factor;
            correction_[i] = r.Correction;
            shift_[i] = r.Shift;
        }
    }
}

// Eight lanes fill one AVX2 register where the processor has it: the same
// operations in the same order, so the same bits. The passes are inlined into
// each version, so no call leaves the wide registers for the narrow ones.
[[gnu::target_clones("avx2", "default")]] TransformedBlock
EncoderBlockCodec::Transform(const Samples& block, DctMethod method) {
    TransformedBlock out{};
    if (method == DctMethod::Float) {
        Lanes<float> d{}; // line = column, lane = row: the rows go first
        for (std::size_t y = 0; y < 8; ++y) {
            for (std::size_t x = 0; x < 8; ++x) {
                d[x][y] = static_cast<float>(block[y * 8 + x]) - 128.0F;
            }
        }
        ForwardFloatPass(d);
        d = Transposed(d);
        ForwardFloatPass(d); // now d[v][u]
        for (std::size_t v = 0; v < 8; ++v) {
            std::copy(d[v].begin(), d[v].end(), out.begin() + static_cast<std::ptrdiff_t>(v) * 8);
        }
        return out;
    }
    Lanes<std::int32_t> d{};
    for (std::size_t y = 0; y < 8; ++y) {
        for (std::size_t x = 0; x < 8; ++x) {
            d[x][y] = static_cast<std::int32_t>(block[y * 8 + x]) - 128;
        }
    }
    ForwardIntegerPass(d, true);
    d = Transposed(d);
    ForwardIntegerPass(d, false);
    for (std::size_t v = 0; v < 8; ++v) {
        for (std::size_t u = 0; u < 8; ++u) {
            out[v * 8 + u] = static_cast<float>(d[v][u]);
        }
    }
    return out;
}

[[gnu::target_clones("avx2", "default")]] void
EncoderBlockCodec::Quantise(const TransformedBlock& transformed, Indices& quantised) const {
    if (method_ == DctMethod::Float) {
        for (std::size_t i = 0; i < kBlockCells; ++i) {
            quantised[i] = static_cast<int>(RoundEven(transformed[i] * floatDivisors_[i]));
        }
        return;
    }
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        quantised[i] = ApplyReciprocal(static_cast<std::int32_t>(transformed[i]), reciprocal_[i],
                                       correction_[i], shift_[i]);
    }
}

[[gnu::target_clones("avx2", "default")]] void EncoderBlockCodec::Inverse(const Indices& quantised,
                                                                          Samples& block) const {
    // With no AC both passes hand the DC through to every sample unchanged (each
    // sum adds only zeros), so the block is one value: most blocks of a smooth
    // picture at a low quality.
    if (std::all_of(quantised.begin() + 1, quantised.end(), [](int q) { return q == 0; })) {
        const int centred =
            method_ == DctMethod::Float
                ? static_cast<int>(
                      RoundEven((static_cast<float>(quantised[0]) * floatMultipliers_[0]) * 0.125F))
                : Descale(Descale(quantised[0] * table_[0] * (1 << kConstBits),
                                  kConstBits - kPass1Bits) *
                              (1 << kConstBits),
                          kConstBits + kPass1Bits + 3);
        block.fill(Sample(centred));
        return;
    }
    if (method_ == DctMethod::Float) {
        Lanes<float> d{}; // line = vertical frequency, lane = column: columns first
        for (std::size_t i = 0; i < kBlockCells; ++i) {
            d[i / 8][i % 8] = static_cast<float>(quantised[i]) * floatMultipliers_[i];
        }
        InverseFloatPass(d);
        d = Transposed(d);
        InverseFloatPass(d); // now d[x][y], eight times too large
        for (std::size_t y = 0; y < 8; ++y) {
            for (std::size_t x = 0; x < 8; ++x) {
                block[y * 8 + x] = Sample(static_cast<int>(RoundEven(d[x][y] * 0.125F)));
            }
        }
        return;
    }
    Lanes<std::int32_t> d{};
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        d[i / 8][i % 8] = quantised[i] * table_[i];
    }
    InverseIntegerPass(d, kConstBits - kPass1Bits);
    d = Transposed(d);
    InverseIntegerPass(d, kConstBits + kPass1Bits + 3);
    for (std::size_t y = 0; y < 8; ++y) {
        for (std::size_t x = 0; x < 8; ++x) {
            block[y * 8 + x] = Sample(d[x][y]);
        }
    }
}

// After the versions it calls: a function cannot take versions once it is used.
void EncoderBlockCodec::Forward(const Samples& block, Indices& quantised) const {
    Quantise(Transform(block, method_), quantised);
}

} // namespace quadrel::jpeg
