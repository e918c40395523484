#include "jpeg/jpeg_picture.h"

#include "base/large_pages.h"
#include "jpeg/jpeg_huffman.h"
#include "jpeg/ssim.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include <emmintrin.h>

namespace quadrel::jpeg {

namespace {

// A picture's blocks hold 8-bit samples, so every quotient and every rebuilt
// sample stays far below 2^30. There these branch-free forms give exactly what
// RoundHalfAway and nearbyint give, and the compiler vectorises them: rounding
// was a third of the time a picture took.
//
// Halves away from zero over a whole block, in three plain passes (toward zero,
// the exact rest, the step away) that vectorise where one mixed loop does not.
inline void RoundHalfAwayBlock(const Reals& x, Indices& out) {
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        out[i] = static_cast<int>(x[i]);
    }
    Reals rounded{};
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        const double t = static_cast<double>(out[i]);
        const double rest = x[i] - t;
        rounded[i] = t + (rest >= 0.5 ? 1.0 : 0.0) - (rest <= -0.5 ? 1.0 : 0.0);
    }
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        out[i] = static_cast<int>(rounded[i]);
    }
}

inline int RoundToEvenSmall(double x) {
    // In [2^52, 2^53) doubles are the whole numbers: the addition rounds x to
    // nearest, ties to even, and the subtraction is exact.
    constexpr double kShift = 6755399441055744.0; // 1.5 * 2^52
    return static_cast<int>((x + kShift) - kShift);
}

Indices QuantiseSamples(const Reals& coefficients, const std::array<double, kBlockCells>& steps,
                        TieRule ties) {
    Indices q{};
    if (ties == TieRule::ToEven) {
        for (std::size_t i = 0; i < kBlockCells; ++i) {
            q[i] = RoundToEvenSmall(coefficients[i] / steps[i]);
        }
    } else {
        Reals quotients{};
        for (std::size_t i = 0; i < kBlockCells; ++i) {
            quotients[i] = coefficients[i] / steps[i];
        }
        RoundHalfAwayBlock(quotients, q);
    }
    return q;
}

Samples ReconstructSamples(const Indices& quantised, const QuantTable& table) {
    Reals s = InverseDct(Dequantise(quantised, table));
    for (double& v : s) {
        v += 128.0;
    }
    Indices rounded{};
    RoundHalfAwayBlock(s, rounded);
    Samples out{};
    for (std::size_t i = 0; i < kBlockCells; ++i) {
        out[i] = static_cast<std::uint8_t>(std::clamp(rounded[i], 0, 255));
    }
    return out;
}

/// Block (bx, by) as the encoder cuts it: the last column and row repeated
/// beyond the picture's edges. Sets `inside` when no padding was needed.
Samples CutBlock(const GreyPicture& picture, int bx, int by, bool& inside) {
    const int w = picture.Width;
    const int h = picture.Height;
    Samples block{};
    inside = bx * 8 + 8 <= w && by * 8 + 8 <= h;
    for (int y = 0; y < 8; ++y) {
        const int py = std::min(by * 8 + y, h - 1);
        const std::uint8_t* row = picture.Pixels + py * picture.Stride;
        if (inside) { // the common case: eight whole bytes
            std::copy_n(row + static_cast<std::ptrdiff_t>(bx) * 8, 8,
                        block.begin() + static_cast<std::ptrdiff_t>(y) * 8);
            continue;
        }
        for (int x = 0; x < 8; ++x) {
            block[IndexAt(y, x)] = row[std::min(bx * 8 + x, w - 1)];
        }
    }
    return block;
}

/// The sum of the 64 squared differences, eight at a time in 16-bit lanes
/// (each difference fits, each pair of squares sums into 32 bits): the plain
/// loop did not vectorise and was the largest part of coding a block.
inline std::int64_t BlockSquaredError(const Samples& a, const Samples& b) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (std::size_t i = 0; i < kBlockCells; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + i));
        const __m128i low = _mm_sub_epi16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero));
        const __m128i high = _mm_sub_epi16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero));
        sums = _mm_add_epi32(sums,
                             _mm_add_epi32(_mm_madd_epi16(low, low), _mm_madd_epi16(high, high)));
    }
    // At most 64 * 255^2 in all, so the four lanes add up without overflow.
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, 0x4E));
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, 0xB1));
    return _mm_cvtsi128_si32(sums);
}

/// Runs work(row, worker) for rows 0..rows-1 on up to `threads` threads (0: one
/// per core), each taking the next row until none is left: on a machine busy
/// with other work, a thread that gets less time does fewer rows instead of
/// holding up the rest at the end.
template <typename Work> void ShareRows(int rows, unsigned threads, const Work& work) {
    const unsigned wanted =
        threads > 0 ? threads : std::max(1U, std::thread::hardware_concurrency());
    const int workers = std::clamp(static_cast<int>(wanted), 1, std::max(1, rows));
    std::atomic<int> next{0};
    const auto run = [&next, rows, &work](int worker) {
        for (int row = next++; row < rows; row = next++) {
            work(row, worker);
        }
    };
    std::vector<std::jthread> helpers;
    for (int b = 1; b < workers; ++b) {
        helpers.emplace_back(run, b);
    }
    run(0);
}

/// What one band of block rows adds up; DC bits wait until every DC is known.
struct BandTotals {
    std::int64_t AcBits = 0;
    std::int64_t Zeros = 0;
    std::int64_t SquaredError = 0;
};

class PictureCoder {
public:
    PictureCoder(const GreyPicture& picture, const PictureSettings& settings,
                 const PictureControl& control, const TransformedPicture* transformed,
                 PictureAnalysis& out)
        : picture_(picture), table_(settings.Table), ties_(settings.Ties), control_(control),
          transformed_(transformed), out_(out),
          dcs_(static_cast<std::size_t>(out.BlocksAcross * out.BlocksDown)) {
        std::copy(table_.begin(), table_.end(), steps_.begin());
        if (transformed_ != nullptr) {
            encoder_.emplace(table_, transformed_->Method());
        } else if (settings.Encoder) {
            encoder_.emplace(table_, *settings.Encoder);
        }
    }

    void CodeBand(int firstRow, int endRow, BandTotals& totals) {
        for (int by = firstRow; by < endRow; ++by) {
            if (Cancelled()) {
                return;
            }
            for (int bx = 0; bx < out_.BlocksAcross; ++bx) {
                CodeBlock(bx, by, totals);
            }
            if (control_.RowsDone != nullptr) {
                control_.RowsDone->fetch_add(1, std::memory_order_relaxed);
            }
        }
    }

    bool Cancelled() const {
        return control_.Cancel != nullptr && control_.Cancel->load(std::memory_order_relaxed);
    }

    /// Chains the DC differences in raster order, as the decoder will.
    std::int64_t ChainDc() {
        std::int64_t bits = 0;
        int previous = 0;
        for (std::size_t i = 0; i < dcs_.size(); ++i) {
            const int diff = dcs_[i] - previous;
            const int size = SizeCategory(diff);
            const int blockDc = DcCode(size).Length + size;
            out_.BlockBits[i] += static_cast<std::uint32_t>(blockDc);
            bits += blockDc;
            previous = dcs_[i];
        }
        return bits;
    }

private:
    void CodeBlock(int bx, int by, BandTotals& totals) {
        const int w = picture_.Width;
        const int h = picture_.Height;
        bool inside = false;
        const Samples block = CutBlock(picture_, bx, by, inside);
        const std::size_t index =
            static_cast<std::size_t>(by) * static_cast<std::size_t>(out_.BlocksAcross) +
            static_cast<std::size_t>(bx);
        Indices quantised{};
        Samples back{};
        if (transformed_ != nullptr) {
            encoder_->Quantise(transformed_->Block(index), quantised);
            encoder_->Inverse(quantised, back);
        } else if (control_.Coder) {
            control_.Coder(block, quantised, back);
        } else if (encoder_) {
            encoder_->Forward(block, quantised);
            encoder_->Inverse(quantised, back);
        } else {
            quantised = QuantiseSamples(ForwardDct(LevelShift(block)), steps_, ties_);
            back = ReconstructSamples(quantised, table_);
        }
        dcs_[index] = quantised[0];
        if (!out_.Quantised.empty()) {
            std::copy(quantised.begin(), quantised.end(), out_.Quantised[index].begin());
        }
        const int acBits = CountAcBitsRowMajor(quantised, HuffmanClass::Luminance);
        out_.BlockBits[index] = static_cast<std::uint32_t>(acBits);
        totals.AcBits += acBits;
        totals.Zeros += std::count(quantised.begin(), quantised.end(), 0);

        if (inside) {
            std::uint8_t* target = out_.Reconstruction.data() +
                                   static_cast<std::ptrdiff_t>(by) * 8 * w +
                                   static_cast<std::ptrdiff_t>(bx) * 8;
            for (int y = 0; y < 8; ++y) {
                std::copy_n(back.begin() + static_cast<std::ptrdiff_t>(y) * 8, 8,
                            target + static_cast<std::ptrdiff_t>(y) * w);
            }
            totals.SquaredError += BlockSquaredError(block, back);
            return;
        }
        const int visibleRows = std::min(8, h - by * 8);
        const int visibleColumns = std::min(8, w - bx * 8);
        for (int y = 0; y < visibleRows; ++y) {
            const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(by) * 8 + y;
            std::uint8_t* target =
                out_.Reconstruction.data() + row * w + static_cast<std::ptrdiff_t>(bx) * 8;
            for (int x = 0; x < visibleColumns; ++x) {
                const auto k = IndexAt(y, x);
                const int e = static_cast<int>(block[k]) - static_cast<int>(back[k]);
                totals.SquaredError += static_cast<std::int64_t>(e) * e;
                target[x] = back[k];
            }
        }
    }

    const GreyPicture& picture_;
    const QuantTable& table_;
    std::array<double, kBlockCells> steps_{}; ///< the table as divisors
    TieRule ties_;
    std::optional<EncoderBlockCodec> encoder_;
    const PictureControl& control_;
    const TransformedPicture* transformed_; ///< the blocks' transforms, or null
    PictureAnalysis& out_;
    std::vector<int> dcs_;
};

PictureAnalysis Analyse(const GreyPicture& picture, const PictureSettings& settings,
                        const PictureControl& control, const TransformedPicture* transformed) {
    PictureAnalysis out;
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0) {
        return out;
    }
    out.BlocksAcross = (picture.Width + 7) / 8;
    out.BlocksDown = (picture.Height + 7) / 8;
    const auto pixels = static_cast<std::size_t>(picture.Width) * picture.Height;
    const auto blocks = static_cast<std::size_t>(out.BlocksAcross) * out.BlocksDown;
    AssignOnLargePages(out.Reconstruction, pixels);
    out.BlockBits.resize(blocks);
    if (settings.KeepBlocks) {
        AssignOnLargePages(out.Quantised, blocks);
    }

    PictureCoder coder(picture, settings, control, transformed, out);
    const unsigned threads =
        settings.Threads > 0 ? settings.Threads : std::max(1U, std::thread::hardware_concurrency());
    std::vector<BandTotals> totals(threads);
    ShareRows(out.BlocksDown, threads, [&coder, &totals](int row, int worker) {
        coder.CodeBand(row, row + 1, totals[static_cast<std::size_t>(worker)]);
    }); // the workers join here
    if (coder.Cancelled()) {
        PictureAnalysis cancelled;
        cancelled.Cancelled = true;
        return cancelled;
    }

    std::int64_t zeros = 0;
    std::int64_t squaredError = 0;
    for (const BandTotals& t : totals) {
        out.AcBits += t.AcBits;
        zeros += t.Zeros;
        squaredError += t.SquaredError;
    }
    out.DcBits = coder.ChainDc();
    out.TotalBits = out.DcBits + out.AcBits;
    out.BitsPerPixel = static_cast<double>(out.TotalBits) / static_cast<double>(pixels);
    out.CompressionRatio = 8.0 / out.BitsPerPixel;
    out.ZeroShare = static_cast<double>(zeros) / (static_cast<double>(blocks) * kBlockCells);
    out.Mse = static_cast<double>(squaredError) / static_cast<double>(pixels);
    out.Lossless = squaredError == 0;
    out.Psnr = out.Lossless ? std::numeric_limits<double>::infinity()
                            : 10.0 * std::log10(255.0 * 255.0 / out.Mse);
    const GreyPicture rebuilt{out.Reconstruction.data(), picture.Width, picture.Height,
                              picture.Width};
    out.Ssim = transformed != nullptr ? transformed->Reference().Mean(rebuilt, threads)
                                      : MeanSsim(picture, rebuilt, threads);
    return out;
}

} // namespace

PictureAnalysis AnalysePicture(const GreyPicture& picture, const PictureSettings& settings) {
    return AnalysePicture(picture, settings, PictureControl{});
}

PictureAnalysis AnalysePicture(const GreyPicture& picture, const PictureSettings& settings,
                               const PictureControl& control) {
    return Analyse(picture, settings, control, nullptr);
}

TransformedPicture::TransformedPicture(const GreyPicture& picture, DctMethod method,
                                       unsigned threads)
    : picture_(picture), method_(method),
      reference_(std::make_shared<const SsimReference>(picture, threads)) {
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0) {
        return;
    }
    const int across = (picture.Width + 7) / 8;
    const int down = (picture.Height + 7) / 8;
    AssignOnLargePages(blocks_, static_cast<std::size_t>(across) * static_cast<std::size_t>(down));
    ShareRows(down, threads, [this, across, method](int by, int /*worker*/) {
        for (int bx = 0; bx < across; ++bx) {
            bool inside = false;
            blocks_[static_cast<std::size_t>(by) * static_cast<std::size_t>(across) +
                    static_cast<std::size_t>(bx)] =
                EncoderBlockCodec::Transform(CutBlock(picture_, bx, by, inside), method);
        }
    });
}

PictureAnalysis AnalysePicture(const TransformedPicture& transformed,
                               const PictureSettings& settings, const PictureControl& control) {
    return Analyse(transformed.Picture(), settings, control, &transformed);
}

} // namespace quadrel::jpeg
