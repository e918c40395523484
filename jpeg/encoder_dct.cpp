#include "jpeg/encoder_dct.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include <immintrin.h>

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

// The same passes on AVX2 registers, one register a line, with the transposes
// done in registers: the passes are as above operation for operation (no fused
// multiply-add), so the bits are the same; only the moves between them differ.
// Called only where the processor has AVX2 (HasAvx2).
bool HasAvx2() {
    return __builtin_cpu_supports("avx2") != 0;
}

/// Eight registers, one a line (plain arrays: templates drop the vector types'
/// alignment attributes).
struct Rows {
    __m256 Line[8]; // NOLINT: see above
    __m256& operator[](std::size_t i) { return Line[i]; }
    const __m256& operator[](std::size_t i) const { return Line[i]; }
};
struct IntRows {
    __m256i Line[8]; // NOLINT: see above
    __m256i& operator[](std::size_t i) { return Line[i]; }
    const __m256i& operator[](std::size_t i) const { return Line[i]; }
};

[[gnu::target("avx2"), gnu::always_inline]] inline void Transpose(Rows& r) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]);
    const __m256 t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]);
    const __m256 t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]);
    const __m256 t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]);
    const __m256 t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44);
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44);
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

[[gnu::target("avx2"), gnu::always_inline]] inline void Transpose(IntRows& r) {
    Rows f{};
    for (std::size_t i = 0; i < 8; ++i) {
        f[i] = _mm256_castsi256_ps(r[i]);
    }
    Transpose(f);
    for (std::size_t i = 0; i < 8; ++i) {
        r[i] = _mm256_castps_si256(f[i]);
    }
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256 Add(__m256 a, __m256 b) {
    return _mm256_add_ps(a, b);
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256 Sub(__m256 a, __m256 b) {
    return _mm256_sub_ps(a, b);
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256 Mul(__m256 a, float b) {
    return _mm256_mul_ps(a, _mm256_set1_ps(b));
}

[[gnu::target("avx2"), gnu::always_inline]] inline void ForwardFloatPass(Rows& d) {
    const __m256 tmp0 = Add(d[0], d[7]);
    const __m256 tmp7 = Sub(d[0], d[7]);
    const __m256 tmp1 = Add(d[1], d[6]);
    const __m256 tmp6 = Sub(d[1], d[6]);
    const __m256 tmp2 = Add(d[2], d[5]);
    const __m256 tmp5 = Sub(d[2], d[5]);
    const __m256 tmp3 = Add(d[3], d[4]);
    const __m256 tmp4 = Sub(d[3], d[4]);

    const __m256 tmp10 = Add(tmp0, tmp3);
    const __m256 tmp13 = Sub(tmp0, tmp3);
    const __m256 tmp11 = Add(tmp1, tmp2);
    const __m256 tmp12 = Sub(tmp1, tmp2);
    d[0] = Add(tmp10, tmp11);
    d[4] = Sub(tmp10, tmp11);
    const __m256 z1 = Mul(Add(tmp12, tmp13), kF0707);
    d[2] = Add(tmp13, z1);
    d[6] = Sub(tmp13, z1);

    const __m256 odd10 = Add(tmp4, tmp5);
    const __m256 odd11 = Add(tmp5, tmp6);
    const __m256 odd12 = Add(tmp6, tmp7);
    const __m256 z5 = Mul(Sub(odd10, odd12), kF0382);
    const __m256 z2 = Add(Mul(odd10, kF0541), z5);
    const __m256 z4 = Add(Mul(odd12, kF1306), z5);
    const __m256 z3 = Mul(odd11, kF0707);
    const __m256 z11 = Add(tmp7, z3);
    const __m256 z13 = Sub(tmp7, z3);
    d[5] = Add(z13, z2);
    d[3] = Sub(z13, z2);
    d[1] = Add(z11, z4);
    d[7] = Sub(z11, z4);
}

[[gnu::target("avx2"), gnu::always_inline]] inline void InverseFloatPass(Rows& d) {
    const __m256 tmp10 = Add(d[0], d[4]);
    const __m256 tmp11 = Sub(d[0], d[4]);
    const __m256 tmp13 = Add(d[2], d[6]);
    const __m256 tmp12 = Sub(Mul(Sub(d[2], d[6]), kF1414), tmp13);
    const __m256 even0 = Add(tmp10, tmp13);
    const __m256 even3 = Sub(tmp10, tmp13);
    const __m256 even1 = Add(tmp11, tmp12);
    const __m256 even2 = Sub(tmp11, tmp12);

    const __m256 z13 = Add(d[5], d[3]);
    const __m256 z10 = Sub(d[5], d[3]);
    const __m256 z11 = Add(d[1], d[7]);
    const __m256 z12 = Sub(d[1], d[7]);
    const __m256 odd7 = Add(z11, z13);
    const __m256 odd11 = Mul(Sub(z11, z13), kF1414);
    const __m256 z5 = Mul(Add(z10, z12), kF1847);
    const __m256 odd10 = Sub(Mul(z12, kF1082), z5);
    const __m256 odd12 = Add(Mul(z10, kFM2613), z5);
    const __m256 odd6 = Sub(odd12, odd7);
    const __m256 odd5 = Sub(odd11, odd6);
    const __m256 odd4 = Add(odd10, odd5);

    d[0] = Add(even0, odd7);
    d[7] = Sub(even0, odd7);
    d[1] = Add(even1, odd6);
    d[6] = Sub(even1, odd6);
    d[2] = Add(even2, odd5);
    d[5] = Sub(even2, odd5);
    d[4] = Add(even3, odd4);
    d[3] = Sub(even3, odd4);
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i AddI(__m256i a, __m256i b) {
    return _mm256_add_epi32(a, b);
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i SubI(__m256i a, __m256i b) {
    return _mm256_sub_epi32(a, b);
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i MulI(__m256i a, std::int32_t b) {
    return _mm256_mullo_epi32(a, _mm256_set1_epi32(b));
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i DescaleI(__m256i x, int n) {
    return _mm256_srai_epi32(AddI(x, _mm256_set1_epi32(std::int32_t{1} << (n - 1))), n);
}

[[gnu::target("avx2"), gnu::always_inline]] inline void ForwardIntegerPass(IntRows& d, bool first) {
    const int oddShift = first ? kConstBits - kPass1Bits : kConstBits + kPass1Bits;
    const __m256i tmp0 = AddI(d[0], d[7]);
    const __m256i tmp7 = SubI(d[0], d[7]);
    const __m256i tmp1 = AddI(d[1], d[6]);
    const __m256i tmp6 = SubI(d[1], d[6]);
    const __m256i tmp2 = AddI(d[2], d[5]);
    const __m256i tmp5 = SubI(d[2], d[5]);
    const __m256i tmp3 = AddI(d[3], d[4]);
    const __m256i tmp4 = SubI(d[3], d[4]);

    const __m256i tmp10 = AddI(tmp0, tmp3);
    const __m256i tmp13 = SubI(tmp0, tmp3);
    const __m256i tmp11 = AddI(tmp1, tmp2);
    const __m256i tmp12 = SubI(tmp1, tmp2);
    if (first) {
        d[0] = _mm256_slli_epi32(AddI(tmp10, tmp11), kPass1Bits);
        d[4] = _mm256_slli_epi32(SubI(tmp10, tmp11), kPass1Bits);
    } else {
        d[0] = DescaleI(AddI(tmp10, tmp11), kPass1Bits);
        d[4] = DescaleI(SubI(tmp10, tmp11), kPass1Bits);
    }
    const __m256i z1 = MulI(AddI(tmp12, tmp13), kFix0541);
    d[2] = DescaleI(AddI(z1, MulI(tmp13, kFix0765)), oddShift);
    d[6] = DescaleI(AddI(z1, MulI(tmp12, -kFix1847)), oddShift);

    const __m256i z5 = MulI(AddI(AddI(AddI(tmp4, tmp6), tmp5), tmp7), kFix1175);
    const __m256i o1 = MulI(AddI(tmp4, tmp7), -kFix0899);
    const __m256i o2 = MulI(AddI(tmp5, tmp6), -kFix2562);
    const __m256i o3 = AddI(MulI(AddI(tmp4, tmp6), -kFix1961), z5);
    const __m256i o4 = AddI(MulI(AddI(tmp5, tmp7), -kFix0390), z5);
    d[7] = DescaleI(AddI(AddI(MulI(tmp4, kFix0298), o1), o3), oddShift);
    d[5] = DescaleI(AddI(AddI(MulI(tmp5, kFix2053), o2), o4), oddShift);
    d[3] = DescaleI(AddI(AddI(MulI(tmp6, kFix3072), o2), o3), oddShift);
    d[1] = DescaleI(AddI(AddI(MulI(tmp7, kFix1501), o1), o4), oddShift);
}

[[gnu::target("avx2"), gnu::always_inline]] inline void InverseIntegerPass(IntRows& d, int shift) {
    const __m256i z1 = MulI(AddI(d[2], d[6]), kFix0541);
    const __m256i t2 = AddI(z1, MulI(d[6], -kFix1847));
    const __m256i t3 = AddI(z1, MulI(d[2], kFix0765));
    const __m256i t0 = _mm256_slli_epi32(AddI(d[0], d[4]), kConstBits);
    const __m256i t1 = _mm256_slli_epi32(SubI(d[0], d[4]), kConstBits);
    const __m256i tmp10 = AddI(t0, t3);
    const __m256i tmp13 = SubI(t0, t3);
    const __m256i tmp11 = AddI(t1, t2);
    const __m256i tmp12 = SubI(t1, t2);

    const __m256i i7 = d[7];
    const __m256i i5 = d[5];
    const __m256i i3 = d[3];
    const __m256i i1 = d[1];
    const __m256i z5 = MulI(AddI(AddI(AddI(i7, i3), i5), i1), kFix1175);
    const __m256i o1 = MulI(AddI(i7, i1), -kFix0899);
    const __m256i o2 = MulI(AddI(i5, i3), -kFix2562);
    const __m256i o3 = AddI(MulI(AddI(i7, i3), -kFix1961), z5);
    const __m256i o4 = AddI(MulI(AddI(i5, i1), -kFix0390), z5);
    const __m256i p0 = AddI(MulI(i7, kFix0298), AddI(o1, o3));
    const __m256i p1 = AddI(MulI(i5, kFix2053), AddI(o2, o4));
    const __m256i p2 = AddI(MulI(i3, kFix3072), AddI(o2, o3));
    const __m256i p3 = AddI(MulI(i1, kFix1501), AddI(o1, o4));

    d[0] = DescaleI(AddI(tmp10, p3), shift);
    d[7] = DescaleI(SubI(tmp10, p3), shift);
    d[1] = DescaleI(AddI(tmp11, p2), shift);
    d[6] = DescaleI(SubI(tmp11, p2), shift);
    d[2] = DescaleI(AddI(tmp12, p1), shift);
    d[5] = DescaleI(SubI(tmp12, p1), shift);
    d[3] = DescaleI(AddI(tmp13, p0), shift);
    d[4] = DescaleI(SubI(tmp13, p0), shift);
}

/// Eight rows of centred samples -> the block's bytes, limited to 0..255 by the
/// saturating packs.
[[gnu::target("avx2"), gnu::always_inline]] inline void StoreSamples(const IntRows& centred,
                                                                     Samples& block) {
    const __m256i bias = _mm256_set1_epi32(128);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (std::size_t half = 0; half < 2; ++half) {
        const std::size_t r = half * 4;
        const __m256i p01 = _mm256_packs_epi32(AddI(centred[r], bias), AddI(centred[r + 1], bias));
        const __m256i p23 =
            _mm256_packs_epi32(AddI(centred[r + 2], bias), AddI(centred[r + 3], bias));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(p01, p23), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block.data() + r * 8), bytes);
    }
}

/// Eight bytes from p, as eight whole numbers less 128.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i LoadCentred(const std::uint8_t* p) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return SubI(_mm256_cvtepu8_epi32(bytes), _mm256_set1_epi32(128));
}

[[gnu::target("avx2")]] void TransformFloatWide(const Samples& block, TransformedBlock& out) {
    Rows d{}; // row y, lane x; transposed, line = column: the rows go first
    for (std::size_t y = 0; y < 8; ++y) {
        d[y] = _mm256_cvtepi32_ps(LoadCentred(block.data() + y * 8));
    }
    Transpose(d);
    ForwardFloatPass(d);
    Transpose(d);
    ForwardFloatPass(d); // now d[v], lane u
    for (std::size_t v = 0; v < 8; ++v) {
        _mm256_storeu_ps(out.data() + v * 8, d[v]);
    }
}

[[gnu::target("avx2")]] void TransformIntegerWide(const Samples& block, TransformedBlock& out) {
    IntRows d{};
    for (std::size_t y = 0; y < 8; ++y) {
        d[y] = LoadCentred(block.data() + y * 8);
    }
    Transpose(d);
    ForwardIntegerPass(d, true);
    Transpose(d);
    ForwardIntegerPass(d, false);
    for (std::size_t v = 0; v < 8; ++v) {
        _mm256_storeu_ps(out.data() + v * 8, _mm256_cvtepi32_ps(d[v]));
    }
}

[[gnu::target("avx2")]] void InverseFloatWide(const Indices& quantised, const float* multipliers,
                                              Samples& block) {
    Rows d{}; // line = vertical frequency, lane = column: columns first
    for (std::size_t v = 0; v < 8; ++v) {
        const __m256i q =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantised.data() + v * 8));
        d[v] = _mm256_mul_ps(_mm256_cvtepi32_ps(q), _mm256_loadu_ps(multipliers + v * 8));
    }
    InverseFloatPass(d);
    Transpose(d);
    InverseFloatPass(d); // now d[x], lane y, eight times too large
    // Limited first so that no value is out of the conversion's range; both
    // ends lie far beyond the samples' -128..127. The conversion rounds to
    // nearest, ties to even, as RoundEven does.
    const __m256 high = _mm256_set1_ps(1024.0F);
    const __m256 low = _mm256_set1_ps(-1024.0F);
    IntRows centred{};
    for (std::size_t x = 0; x < 8; ++x) {
        const __m256 scaled = _mm256_mul_ps(d[x], _mm256_set1_ps(0.125F));
        centred[x] = _mm256_cvtps_epi32(_mm256_max_ps(_mm256_min_ps(scaled, high), low));
    }
    Transpose(centred);
    StoreSamples(centred, block);
}

[[gnu::target("avx2")]] void InverseIntegerWide(const Indices& quantised, const QuantTable& table,
                                                Samples& block) {
    IntRows d{};
    for (std::size_t v = 0; v < 8; ++v) {
        d[v] = _mm256_mullo_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantised.data() + v * 8)),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table.data() + v * 8)));
    }
    InverseIntegerPass(d, kConstBits - kPass1Bits);
    Transpose(d);
    InverseIntegerPass(d, kConstBits + kPass1Bits + 3);
    Transpose(d);
    StoreSamples(d, block);
}

/// True when no AC index of the block is non-zero.
[[gnu::target("avx2")]] bool NoAcWide(const Indices& quantised) {
    __m256i any = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantised.data()));
    any = _mm256_blend_epi32(any, _mm256_setzero_si256(), 1); // the DC
    for (std::size_t v = 1; v < 8; ++v) {
        any = _mm256_or_si256(
            any, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantised.data() + v * 8)));
    }
    return _mm256_testz_si256(any, any) != 0;
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

// Eight lanes fill one vector register where the processor has one: the same
// operations in the same order, so the same bits. The passes are inlined into
// each version, so no call leaves the wide registers for the narrow ones.
[[gnu::target_clones("avx2", "default")]] TransformedBlock
EncoderBlockCodec::TransformPortable(const Samples& block, DctMethod method) {
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

// With no AC both passes hand the DC through to every sample unchanged (each
// sum adds only zeros), so the block is one value: most blocks of a smooth
// picture at a low quality.
std::uint8_t EncoderBlockCodec::FlatSample(int dc) const {
    const int centred =
        method_ == DctMethod::Float
            ? static_cast<int>(RoundEven((static_cast<float>(dc) * floatMultipliers_[0]) * 0.125F))
            : Descale(Descale(dc * table_[0] * (1 << kConstBits), kConstBits - kPass1Bits) *
                          (1 << kConstBits),
                      kConstBits + kPass1Bits + 3);
    return Sample(centred);
}

[[gnu::target_clones("avx2", "default")]] void
EncoderBlockCodec::InversePortable(const Indices& quantised, Samples& block) const {
    if (std::all_of(quantised.begin() + 1, quantised.end(), [](int q) { return q == 0; })) {
        block.fill(FlatSample(quantised[0]));
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
TransformedBlock EncoderBlockCodec::Transform(const Samples& block, DctMethod method) {
    if (!HasAvx2()) {
        return TransformPortable(block, method);
    }
    TransformedBlock out;
    if (method == DctMethod::Float) {
        TransformFloatWide(block, out);
    } else {
        TransformIntegerWide(block, out);
    }
    return out;
}

void EncoderBlockCodec::Inverse(const Indices& quantised, Samples& block) const {
    if (!HasAvx2()) {
        InversePortable(quantised, block);
        return;
    }
    if (NoAcWide(quantised)) {
        block.fill(FlatSample(quantised[0]));
    } else if (method_ == DctMethod::Float) {
        InverseFloatWide(quantised, floatMultipliers_.data(), block);
    } else {
        InverseIntegerWide(quantised, table_, block);
    }
}

void EncoderBlockCodec::Forward(const Samples& block, Indices& quantised) const {
    Quantise(Transform(block, method_), quantised);
}

} // namespace quadrel::jpeg
