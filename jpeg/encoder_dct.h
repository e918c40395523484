#pragma once
// The 8x8 transforms and quantisers of the libjpeg-turbo encoder and decoder
// that `cjpeg` and `djpeg` run on x86-64, reproduced to the last bit so that a
// whole picture's bits and reconstruction agree with theirs:
//   Float   - the factored (Arai-Agui-Nakajima) transform in single precision,
//             quotients and output samples rounded to nearest, ties to even, as
//             the vector code rounds them (`cjpeg -dct float`, `djpeg -dct float`);
//   Integer - the accurate whole-number transform with 13-bit constants and the
//             reciprocal quantiser (plain `cjpeg` and `djpeg`).
// Neither is the exact transform on paper: the worksheet's one-block chain
// (jpeg_block.h) stays exact; whole pictures use these to match real files.

#include "jpeg/jpeg_block.h"

#include <array>
#include <cstdint>

namespace quadrel::jpeg {

enum class DctMethod : std::uint8_t { Float, Integer };

/// A block after the forward transform and before quantisation, row-major
/// (vertical frequency as row): the single-precision values of Float, or the
/// whole numbers of Integer (below 2^17, so a float holds each exactly).
using TransformedBlock = std::array<float, kBlockCells>;

/// One quantisation table prepared for both directions of one method.
class EncoderBlockCodec {
public:
    EncoderBlockCodec(const QuantTable& table, DctMethod method);

    /// Samples (row-major) -> quantised indices (row-major, vertical frequency as
    /// row), as the encoder computes them.
    void Forward(const Samples& block, Indices& quantised) const;
    /// Forward in two halves, to quantise one transform with many tables: the
    /// transform, which does not depend on the table ...
    static TransformedBlock Transform(const Samples& block, DctMethod method);
    /// ... and the quantisation of a transform made by this codec's method.
    void Quantise(const TransformedBlock& transformed, Indices& quantised) const;
    /// Quantised indices -> samples, as the decoder rebuilds them.
    void Inverse(const Indices& quantised, Samples& block) const;

    /// Transform and Inverse run on AVX2 registers where the processor has them;
    /// these give the same bits without, for processors that lack them and to
    /// hold the wide versions against.
    static TransformedBlock TransformPortable(const Samples& block, DctMethod method);
    void InversePortable(const Indices& quantised, Samples& block) const;

    DctMethod Method() const { return method_; }

private:
    std::uint8_t FlatSample(int dc) const;

    QuantTable table_;
    DctMethod method_;
    std::array<float, kBlockCells> floatDivisors_{};    ///< 1 / (8 q a(row) a(col))
    std::array<float, kBlockCells> floatMultipliers_{}; ///< q a(row) a(col)
    std::array<std::uint32_t, kBlockCells> reciprocal_{};
    std::array<std::uint32_t, kBlockCells> correction_{};
    std::array<int, kBlockCells> shift_{};
};

} // namespace quadrel::jpeg
