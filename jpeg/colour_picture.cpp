#include "jpeg/colour_picture.h"

#include "base/large_pages.h"
#include "jpeg/jpeg_huffman.h"
#include "jpeg/ssim.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace quadrel::jpeg {

namespace {

// libjpeg's fixed point: 16 fraction bits, constants rounded to nearest.
constexpr int kScaleBits = 16;
constexpr std::int32_t kOneHalf = std::int32_t{1} << (kScaleBits - 1);
constexpr std::int32_t kCbCrOffset = std::int32_t{128} << kScaleBits;
/// Every constant passed is positive, so dropping the fraction after adding a
/// half rounds to nearest, as libjpeg rounds its own constants.
constexpr std::int32_t Fix(double x) {
    const double scaled = x * (1 << kScaleBits) + 0.5;
    return static_cast<std::int32_t>(scaled);
}

/// The decoder's tables, indexed by the Cb or Cr sample.
struct YccTables {
    std::array<int, 256> CrToR{};
    std::array<int, 256> CbToB{};
    std::array<std::int32_t, 256> CrToG{};
    std::array<std::int32_t, 256> CbToG{}; ///< carries the rounding half
};

constexpr YccTables BuildYccTables() {
    YccTables t;
    for (int i = 0; i < 256; ++i) {
        const std::int32_t x = i - 128;
        t.CrToR[static_cast<std::size_t>(i)] = (Fix(1.40200) * x + kOneHalf) >> kScaleBits;
        t.CbToB[static_cast<std::size_t>(i)] = (Fix(1.77200) * x + kOneHalf) >> kScaleBits;
        t.CrToG[static_cast<std::size_t>(i)] = -Fix(0.71414) * x;
        t.CbToG[static_cast<std::size_t>(i)] = -Fix(0.34414) * x + kOneHalf;
    }
    return t;
}

constexpr YccTables kYcc = BuildYccTables();

std::uint8_t Clamp255(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

/// YccToRgb for samples known to be 0..255, inlined into the decoder's row loop.
inline std::array<std::uint8_t, 3> ToRgb(int y, std::size_t cb, std::size_t cr) {
    return {Clamp255(y + kYcc.CrToR[cr]),
            Clamp255(y + ((kYcc.CbToG[cb] + kYcc.CrToG[cr]) >> kScaleBits)),
            Clamp255(y + kYcc.CbToB[cb])};
}

/// A row of ToRgb in the tables' own arithmetic rather than look-ups, so that
/// it runs on vectors: each table entry is that product, shifted.
[[gnu::target_clones("avx512f", "avx2", "default")]] void
RowToRgb(const std::uint8_t* __restrict y, const std::uint8_t* __restrict cb,
         const std::uint8_t* __restrict cr, int width, std::uint8_t* __restrict rgb) {
    for (std::ptrdiff_t x = 0; x < width; ++x) {
        const std::int32_t b = static_cast<std::int32_t>(cb[x]) - 128;
        const std::int32_t r = static_cast<std::int32_t>(cr[x]) - 128;
        const std::int32_t l = y[x];
        const std::int32_t green = (-Fix(0.34414) * b + kOneHalf + -Fix(0.71414) * r) >> kScaleBits;
        rgb[3 * x] = Clamp255(l + ((Fix(1.40200) * r + kOneHalf) >> kScaleBits));
        rgb[3 * x + 1] = Clamp255(l + green);
        rgb[3 * x + 2] = Clamp255(l + ((Fix(1.77200) * b + kOneHalf) >> kScaleBits));
    }
}

/// The triangle filter across a row of n > 2 column sums
/// into `width` (2n - 1 or 2n) samples: the nearer sum weighs 3, the other 1,
/// the first and last sums repeated beyond the edges. The inside runs without
/// a test per sample, so that it vectorises.
void TriangleAcross(const int* __restrict sums, int n, int width, std::uint8_t* __restrict out) {
    const auto at = [](int v) { return static_cast<std::uint8_t>(v >> 4); };
    out[0] = at(sums[0] * 3 + sums[0] + 8);
    out[1] = at(sums[0] * 3 + sums[1] + 7);
    for (std::ptrdiff_t i = 1; i < n - 1; ++i) {
        out[2 * i] = at(sums[i] * 3 + sums[i - 1] + 8);
        out[2 * i + 1] = at(sums[i] * 3 + sums[i + 1] + 7);
    }
    out[2 * n - 2] = at(sums[n - 1] * 3 + sums[n - 2] + 8);
    if (2 * n - 1 < width) {
        out[2 * n - 1] = at(sums[n - 1] * 3 + sums[n - 1] + 7);
    }
}

/// RgbToYcc's arithmetic, inlined into the encoder's row loop.
inline void ToYcc(const std::uint8_t* rgb, std::uint8_t& y, std::uint8_t& cb, std::uint8_t& cr) {
    const std::int32_t r = rgb[0];
    const std::int32_t g = rgb[1];
    const std::int32_t b = rgb[2];
    // The rounding constant of Cb and Cr is a half less one, so 255 cannot round up to 256.
    y = static_cast<std::uint8_t>(
        (Fix(0.29900) * r + Fix(0.58700) * g + Fix(0.11400) * b + kOneHalf) >> kScaleBits);
    cb = static_cast<std::uint8_t>(
        (-Fix(0.16874) * r - Fix(0.33126) * g + Fix(0.50000) * b + kCbCrOffset + kOneHalf - 1) >>
        kScaleBits);
    cr = static_cast<std::uint8_t>(
        (Fix(0.50000) * r - Fix(0.41869) * g - Fix(0.08131) * b + kCbCrOffset + kOneHalf - 1) >>
        kScaleBits);
}

/// A row of ToYcc, the three planes apart so that it runs on vectors.
[[gnu::target_clones("avx512f", "avx2", "default")]] void
RowToYcc(const std::uint8_t* __restrict rgb, int width, std::uint8_t* __restrict y,
         std::uint8_t* __restrict cb, std::uint8_t* __restrict cr) {
    for (std::ptrdiff_t x = 0; x < width; ++x) {
        ToYcc(rgb + 3 * x, y[x], cb[x], cr[x]);
    }
}

/// The sum of (a[i] - b[i])^2 over n bytes: whole-number sums over runs short
/// enough for 32 bits (2^15 squares of at most 255^2), so that the loop
/// runs on vectors.
[[gnu::target_clones("avx2", "default")]] std::int64_t
SquaredError(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b, int n) {
    constexpr int kRun = 1 << 15;
    std::int64_t total = 0;
    for (int start = 0; start < n; start += kRun) {
        const int end = std::min(n, start + kRun);
        std::int32_t run = 0;
        for (int i = start; i < end; ++i) {
            const int e = static_cast<int>(a[i]) - static_cast<int>(b[i]);
            run += e * e;
        }
        total += run;
    }
    return total;
}

int CeilDiv(std::int64_t a, std::int64_t b) {
    return static_cast<int>((a + b - 1) / b);
}

/// Rows of a component's plane that the encoder downsamples: the picture's
/// rows repeated to a whole group of the largest vertical factor.
int SampledRows(int height, int maxV, int vertical) {
    return CeilDiv(height, maxV) * vertical;
}

/// Runs work(item, worker) for items 0..count-1 on `workers` threads, each
/// taking the next item when done, so a thread that gets less time does less.
template <typename Work> void ShareOut(int count, int workers, const Work& work) {
    std::atomic<int> next{0};
    const auto run = [&next, count, &work](int worker) {
        for (int item = next++; item < count; item = next++) {
            work(item, worker);
        }
    };
    std::vector<std::jthread> helpers;
    for (int w = 1; w < workers; ++w) {
        helpers.emplace_back(run, w);
    }
    run(0);
}

/// One downsampled row from EV rows of converted samples: each sample the sum
/// of an EH x EV group with the group's rounding, groups reaching past the
/// row's end taking its last sample. Only for divisors that are powers of two
/// (every sampling's are): the sum is never negative, so the division is a
/// shift, and the inside runs without a test per sample, so it vectorises.
template <int EH, int EV>
void DownsampleRow(const std::array<const std::uint8_t*, EV>& rows, int width,
                   const std::array<DownsampleRounding, 2>& rounding, int count,
                   std::uint8_t* __restrict out) {
    const int shift = std::countr_zero(static_cast<unsigned>(rounding[0].Divisor));
    const int bias0 = rounding[0].Bias;
    const int bias1 = rounding[1].Bias;
    const int inside = std::min(count, width / EH);
    for (int ox = 0; ox < inside; ++ox) {
        int sum = (ox & 1) == 0 ? bias0 : bias1;
        for (std::size_t j = 0; j < EV; ++j) {
            for (int i = 0; i < EH; ++i) {
                sum += rows[j][ox * EH + i];
            }
        }
        out[ox] = static_cast<std::uint8_t>(sum >> shift);
    }
    for (int ox = inside; ox < count; ++ox) {
        int sum = (ox & 1) == 0 ? bias0 : bias1;
        for (std::size_t j = 0; j < EV; ++j) {
            for (int i = 0; i < EH; ++i) {
                sum += rows[j][std::min(ox * EH + i, width - 1)];
            }
        }
        out[ox] = static_cast<std::uint8_t>(sum >> shift);
    }
}

/// One component's planes and its place in the MCU.
struct Component {
    SamplingFactors Factors;
    int ExpandH = 1; ///< picture pixels per sample across
    int ExpandV = 1; ///< and down
    int SampledWidth = 0;
    int SampledHeight = 0;
    int BlocksAcross = 0;
    int BlocksDown = 0;
    HuffmanClass Tables = HuffmanClass::Luminance;
    std::vector<std::uint8_t> Samples; ///< as coded: BlocksAcross*8 x BlocksDown*8, padded
    std::vector<std::uint8_t> Decoded; ///< as rebuilt, same layout
    int Stride() const { return BlocksAcross * 8; }
};

/// What one worker adds up.
struct Totals {
    std::array<std::int64_t, 3> AcBits{};
    std::array<std::int64_t, 3> Blocks{};
    std::int64_t SquaredError = 0;
    std::int64_t SquaredErrorY = 0;
};

} // namespace

/// What the encoder makes of a picture before quantisation.
struct ColourPlanes {
    std::vector<std::vector<std::uint8_t>> Full;       ///< converted, Width x Height
    std::vector<std::vector<TransformedBlock>> Blocks; ///< per component, raster order
    std::unique_ptr<const SsimReference> Reference;    ///< Full[0]'s side of the SSIM
};

namespace {

class ColourCoder {
public:
    /// With `prepared`, the picture's planes and transforms are taken from it.
    ColourCoder(const ColourPicture& picture, const ColourSettings& settings,
                const std::atomic<bool>* cancel, const ColourPlanes* prepared = nullptr)
        : picture_(picture), settings_(settings), cancel_(cancel), prepared_(prepared),
          lumaCodec_(settings.LumaTable, settings.Dct),
          chromaCodec_(settings.ChromaTable, settings.Dct) {
        const unsigned threads = settings.Threads > 0
                                     ? settings.Threads
                                     : std::max(1U, std::thread::hardware_concurrency());
        workers_ = static_cast<int>(std::min(threads, 64U));
        const bool colour = picture.Components == 3;
        const SamplingFactors luma =
            colour ? LumaFactors(settings.Sampling) : SamplingFactors{1, 1};
        maxH_ = luma.Horizontal;
        maxV_ = luma.Vertical;
        components_.resize(colour ? 3 : 1);
        for (std::size_t c = 0; c < components_.size(); ++c) {
            Component& k = components_[c];
            k.Factors = c == 0 ? luma : SamplingFactors{1, 1};
            k.ExpandH = maxH_ / k.Factors.Horizontal;
            k.ExpandV = maxV_ / k.Factors.Vertical;
            const std::int64_t w = picture.Width;
            const std::int64_t h = picture.Height;
            k.SampledWidth = CeilDiv(w * k.Factors.Horizontal, maxH_);
            k.SampledHeight = CeilDiv(h * k.Factors.Vertical, maxV_);
            k.BlocksAcross = CeilDiv(w * k.Factors.Horizontal, std::int64_t{maxH_} * 8);
            k.BlocksDown = CeilDiv(h * k.Factors.Vertical, std::int64_t{maxV_} * 8);
            k.Tables = c == 0 ? HuffmanClass::Luminance : HuffmanClass::Chrominance;
            blocksPerMcu_ += k.Factors.Horizontal * k.Factors.Vertical;
        }
        mcusAcross_ = CeilDiv(picture.Width, std::int64_t{maxH_} * 8);
        mcusDown_ = CeilDiv(picture.Height, std::int64_t{maxV_} * 8);
        if (settings.KeepBlocks) {
            KeepBlocks();
        }
    }

    /// The planes as they go into the blocks, cut to the samples that stand for
    /// picture pixels.
    std::vector<SampledPlane> Planes() {
        Convert();
        std::vector<SampledPlane> planes;
        for (std::size_t c = 0; c < components_.size(); ++c) {
            Sample(c);
            const Component& k = components_[c];
            SampledPlane plane{k.SampledWidth, k.SampledHeight, k.ExpandH, k.ExpandV, {}};
            plane.Samples.reserve(static_cast<std::size_t>(k.SampledWidth) *
                                  static_cast<std::size_t>(k.SampledHeight));
            for (int y = 0; y < k.SampledHeight; ++y) {
                const auto* row = k.Samples.data() + static_cast<std::ptrdiff_t>(y) * k.Stride();
                plane.Samples.insert(plane.Samples.end(), row, row + k.SampledWidth);
            }
            std::vector<std::uint8_t>().swap(components_[c].Samples);
            std::vector<std::uint8_t>().swap(components_[c].Decoded);
            planes.push_back(std::move(plane));
        }
        return planes;
    }

    /// The planes converted and sampled, and every block's transform.
    std::shared_ptr<ColourPlanes> Prepare() {
        auto planes = std::make_shared<ColourPlanes>();
        Convert();
        planes->Blocks.resize(components_.size());
        for (std::size_t c = 0; c < components_.size(); ++c) {
            Sample(c);
            const Component& k = components_[c];
            std::vector<TransformedBlock>& blocks = planes->Blocks[c];
            AssignOnLargePages(blocks, static_cast<std::size_t>(k.BlocksAcross) *
                                           static_cast<std::size_t>(k.BlocksDown));
            ShareOut(k.BlocksDown, workers_, [this, &k, &blocks](int by, int /*worker*/) {
                for (int bx = 0; bx < k.BlocksAcross; ++bx) {
                    blocks[static_cast<std::size_t>(by) * static_cast<std::size_t>(k.BlocksAcross) +
                           static_cast<std::size_t>(bx)] =
                        EncoderBlockCodec::Transform(CutBlock(k, bx, by), settings_.Dct);
                }
            });
            std::vector<std::uint8_t>().swap(components_[c].Samples);
            std::vector<std::uint8_t>().swap(components_[c].Decoded);
        }
        planes->Full = std::move(full_);
        planes->Reference = std::make_unique<const SsimReference>(
            GreyPicture{planes->Full[0].data(), Width(), Height(), Width()},
            static_cast<unsigned>(workers_));
        return planes;
    }

    ColourAnalysis Run() {
        ColourAnalysis out;
        if (prepared_ == nullptr) {
            Convert();
            for (std::size_t c = 0; c < components_.size(); ++c) {
                Sample(c);
            }
        } else {
            for (Component& k : components_) {
                AssignOnLargePages(k.Decoded, static_cast<std::size_t>(k.Stride()) *
                                                  static_cast<std::size_t>(k.BlocksDown) * 8U);
            }
        }
        std::vector<Totals> totals(static_cast<std::size_t>(workers_));
        dcs_.assign(static_cast<std::size_t>(mcusAcross_) * static_cast<std::size_t>(mcusDown_) *
                        static_cast<std::size_t>(blocksPerMcu_),
                    0);
        ShareOut(mcusDown_, workers_, [this, &totals](int row, int worker) {
            if (!Cancelled()) {
                CodeMcuRow(row, totals[static_cast<std::size_t>(worker)]);
            }
        });
        if (Cancelled()) {
            out.Cancelled = true;
            return out;
        }
        const std::array<std::int64_t, 3> dcBits = ChainDc();
        Rebuild(out, totals);
        Summarise(out, totals, dcBits);
        out.Coded = std::move(coded_);
        return out;
    }

private:
    bool Cancelled() const {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }

    int Width() const { return picture_.Width; }
    int Height() const { return picture_.Height; }
    std::size_t Pixels() const {
        return static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
    }

    /// The picture as full-size Y, Cb, Cr planes (Y alone for grey).
    void Convert() {
        full_.resize(components_.size());
        for (auto& plane : full_) {
            AssignOnLargePages(plane, Pixels());
        }
        ShareOut(Height(), workers_, [this](int y, int /*worker*/) {
            const std::uint8_t* in = picture_.Pixels + picture_.Stride * y;
            const std::uint8_t* pixel = in;
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(Width());
            if (components_.size() == 1) {
                std::copy_n(in, Width(), full_[0].begin() + static_cast<std::ptrdiff_t>(at));
                return;
            }
            RowToYcc(pixel, Width(), full_[0].data() + at, full_[1].data() + at,
                     full_[2].data() + at);
        });
    }

    /// The coded plane: the encoder first repeats the picture's last row to
    /// a whole group of maxV_ rows, averages each ExpandH x ExpandV group (with
    /// its own rounding per case), repeating the last column as far as the
    /// blocks reach, then repeats the last sampled row down to the blocks' end.
    void Sample(std::size_t c) {
        Component& k = components_[c];
        const int stride = k.Stride();
        AssignOnLargePages(k.Samples, static_cast<std::size_t>(stride) *
                                          static_cast<std::size_t>(k.BlocksDown) * 8U);
        AssignOnLargePages(k.Decoded, k.Samples.size());
        const int sampledRows = SampledRows(Height(), maxV_, k.Factors.Vertical);
        const std::vector<std::uint8_t>& full = full_[c];
        const int eh = k.ExpandH;
        const int ev = k.ExpandV;
        const int count = eh * ev;
        const std::array<DownsampleRounding, 2> rounding = {RoundingOfSample(eh, ev, 0),
                                                            RoundingOfSample(eh, ev, 1)};
        ShareOut(k.BlocksDown * 8, workers_, [&](int oy, int /*worker*/) {
            const int sy = std::min(oy, sampledRows - 1);
            std::uint8_t* out = k.Samples.data() + static_cast<std::ptrdiff_t>(oy) * stride;
            if (count == 1) { // full size: the row, then its last sample repeated
                const std::uint8_t* row =
                    full.data() + static_cast<std::ptrdiff_t>(std::min(sy, Height() - 1)) * Width();
                std::copy_n(row, Width(), out);
                std::fill(out + Width(), out + stride, row[Width() - 1]);
                return;
            }
            const auto row = [&full, this, sy, ev](int j) {
                return full.data() +
                       static_cast<std::ptrdiff_t>(std::min(sy * ev + j, Height() - 1)) * Width();
            };
            if (std::has_single_bit(static_cast<unsigned>(count)) && rounding[0].Divisor == count &&
                rounding[1].Divisor == count) {
                if (eh == 2 && ev == 2) {
                    DownsampleRow<2, 2>({row(0), row(1)}, Width(), rounding, stride, out);
                    return;
                }
                if (eh == 2 && ev == 1) {
                    DownsampleRow<2, 1>({row(0)}, Width(), rounding, stride, out);
                    return;
                }
                if (eh == 1 && ev == 2) {
                    DownsampleRow<1, 2>({row(0), row(1)}, Width(), rounding, stride, out);
                    return;
                }
                if (eh == 4 && ev == 1) {
                    DownsampleRow<4, 1>({row(0)}, Width(), rounding, stride, out);
                    return;
                }
            }
            for (int ox = 0; ox < stride; ++ox) {
                int sum = 0;
                for (int j = 0; j < ev; ++j) {
                    const int py = std::min(sy * ev + j, Height() - 1);
                    const std::uint8_t* row =
                        full.data() + static_cast<std::ptrdiff_t>(py) * Width();
                    for (int i = 0; i < eh; ++i) {
                        sum += row[std::min(ox * eh + i, Width() - 1)];
                    }
                }
                const DownsampleRounding& r = rounding[static_cast<std::size_t>(ox & 1)];
                out[ox] = static_cast<std::uint8_t>((sum + r.Bias) / r.Divisor);
            }
        });
    }

    /// The converted plane c, Width x Height.
    const std::vector<std::uint8_t>& Full(std::size_t c) const {
        return prepared_ != nullptr ? prepared_->Full[c] : full_[c];
    }

    /// Block (bx, by) of a component's coded plane.
    static Samples CutBlock(const Component& k, int bx, int by) {
        Samples block{};
        const int stride = k.Stride();
        const std::uint8_t* origin = k.Samples.data() +
                                     static_cast<std::ptrdiff_t>(by) * 8 * stride +
                                     static_cast<std::ptrdiff_t>(bx) * 8;
        for (int y = 0; y < 8; ++y) {
            std::copy_n(origin + static_cast<std::ptrdiff_t>(y) * stride, 8,
                        block.begin() + static_cast<std::ptrdiff_t>(y) * 8);
        }
        return block;
    }

    /// One row of MCUs. Blocks of an MCU beyond a component's blocks are coded
    /// as the encoder codes them: no AC, the DC of the block before.
    void CodeMcuRow(int my, Totals& totals) {
        Samples back{};
        Indices quantised{};
        for (int mx = 0; mx < mcusAcross_; ++mx) {
            std::size_t k = (static_cast<std::size_t>(my) * static_cast<std::size_t>(mcusAcross_) +
                             static_cast<std::size_t>(mx)) *
                            static_cast<std::size_t>(blocksPerMcu_);
            for (std::size_t c = 0; c < components_.size(); ++c) {
                Component& comp = components_[c];
                const EncoderBlockCodec& codec = c == 0 ? lumaCodec_ : chromaCodec_;
                for (int yi = 0; yi < comp.Factors.Vertical; ++yi) {
                    for (int xi = 0; xi < comp.Factors.Horizontal; ++xi, ++k) {
                        const int bx = mx * comp.Factors.Horizontal + xi;
                        const int by = my * comp.Factors.Vertical + yi;
                        ++totals.Blocks[c];
                        if (bx >= comp.BlocksAcross || by >= comp.BlocksDown) {
                            dcs_[k] = dcs_[k - 1];
                            if (CoefficientBlock* kept = Kept(c, bx, by)) {
                                (*kept)[0] = static_cast<std::int16_t>(dcs_[k]);
                            }
                            totals.AcBits[c] += AcCode(0, 0, comp.Tables).Length;
                            continue;
                        }
                        const int stride = comp.Stride();
                        const std::ptrdiff_t origin = static_cast<std::ptrdiff_t>(by) * 8 * stride +
                                                      static_cast<std::ptrdiff_t>(bx) * 8;
                        if (prepared_ != nullptr) {
                            codec.Quantise(
                                prepared_
                                    ->Blocks[c][static_cast<std::size_t>(by) *
                                                    static_cast<std::size_t>(comp.BlocksAcross) +
                                                static_cast<std::size_t>(bx)],
                                quantised);
                        } else {
                            codec.Forward(CutBlock(comp, bx, by), quantised);
                        }
                        dcs_[k] = quantised[0];
                        if (CoefficientBlock* kept = Kept(c, bx, by)) {
                            std::copy(quantised.begin(), quantised.end(), kept->begin());
                        }
                        totals.AcBits[c] += CountAcBitsRowMajor(quantised, comp.Tables);
                        codec.Inverse(quantised, back);
                        for (int y = 0; y < 8; ++y) {
                            std::copy_n(back.begin() + static_cast<std::ptrdiff_t>(y) * 8, 8,
                                        comp.Decoded.data() + origin +
                                            static_cast<std::ptrdiff_t>(y) * stride);
                        }
                    }
                }
            }
        }
    }

    /// The frame as a file describes it, with room for every block of every MCU.
    void KeepBlocks() {
        coded_.Width = Width();
        coded_.Height = Height();
        coded_.QuantTables.push_back(settings_.LumaTable);
        if (components_.size() == 3) {
            coded_.QuantTables.push_back(settings_.ChromaTable);
        }
        for (std::size_t c = 0; c < components_.size(); ++c) {
            CodedComponent k;
            k.Id = static_cast<int>(c) + 1;
            k.H = components_[c].Factors.Horizontal;
            k.V = components_[c].Factors.Vertical;
            k.QuantTable = c == 0 ? 0 : 1;
            k.HuffmanTable = k.QuantTable;
            k.BlocksAcross = mcusAcross_ * k.H;
            k.BlocksDown = mcusDown_ * k.V;
            AssignOnLargePages(k.Blocks, static_cast<std::size_t>(k.BlocksAcross) *
                                             static_cast<std::size_t>(k.BlocksDown));
            coded_.Components.push_back(std::move(k));
        }
    }

    /// Where a block's indices are kept for the file writer, or null when not kept.
    CoefficientBlock* Kept(std::size_t c, int bx, int by) {
        if (coded_.Components.empty()) {
            return nullptr;
        }
        CodedComponent& k = coded_.Components[c];
        return &k.Blocks[static_cast<std::size_t>(by) * static_cast<std::size_t>(k.BlocksAcross) +
                         static_cast<std::size_t>(bx)];
    }

    /// DC differences per component, in the order the MCUs send them.
    std::array<std::int64_t, 3> ChainDc() const {
        std::vector<std::size_t> owner;
        for (std::size_t c = 0; c < components_.size(); ++c) {
            const int n = components_[c].Factors.Horizontal * components_[c].Factors.Vertical;
            owner.insert(owner.end(), static_cast<std::size_t>(n), c);
        }
        std::array<std::int64_t, 3> bits{};
        std::array<int, 3> previous{};
        for (std::size_t k = 0; k < dcs_.size(); ++k) {
            const std::size_t c = owner[k % owner.size()];
            const int size = SizeCategory(dcs_[k] - previous[c]);
            bits[c] += DcCode(size, components_[c].Tables).Length + size;
            previous[c] = dcs_[k];
        }
        return bits;
    }

    /// Row y of component c at full size, as the decoder's upsampler gives it.
    void UpsampledRow(const Component& k, int y, std::vector<int>& sums, std::uint8_t* out) const {
        const int stride = k.Stride();
        const auto row = [&k, stride](int r) {
            return k.Decoded.data() + static_cast<std::ptrdiff_t>(r) * stride;
        };
        const int n = k.SampledWidth;
        const bool smooth = settings_.Upsample == Upsampling::Smooth;
        if (k.ExpandH == 1 && k.ExpandV == 1) {
            std::copy_n(row(y), Width(), out);
            return;
        }
        // The triangle filter weighs the nearer sample 3 and the other 1; the
        // decoder repeats the first and last rows and columns beyond the edges.
        if (smooth && k.ExpandV == 2 && (k.ExpandH == 1 || (k.ExpandH == 2 && n > 2))) {
            const int in = y / 2;
            const bool upper = (y & 1) == 0;
            const std::uint8_t* near = row(in);
            const std::uint8_t* other =
                row(upper ? std::max(in - 1, 0) : std::min(in + 1, k.SampledHeight - 1));
            if (k.ExpandH == 1) {
                const int bias = upper ? 1 : 2;
                for (int x = 0; x < Width(); ++x) {
                    out[x] = static_cast<std::uint8_t>((near[x] * 3 + other[x] + bias) >> 2);
                }
                return;
            }
            sums.resize(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                sums[static_cast<std::size_t>(i)] = near[i] * 3 + other[i];
            }
            TriangleAcross(sums.data(), n, Width(), out);
            return;
        }
        if (smooth && k.ExpandH == 2 && k.ExpandV == 1 && n > 2) {
            const std::uint8_t* in = row(y);
            for (int x = 0; x < Width(); ++x) {
                const int i = x / 2;
                const int neighbour = (x & 1) == 0 ? std::max(i - 1, 0) : std::min(i + 1, n - 1);
                const int bias = (x & 1) == 0 ? 1 : 2;
                out[x] = static_cast<std::uint8_t>((in[i] * 3 + in[neighbour] + bias) >> 2);
            }
            return;
        }
        const std::uint8_t* in = row(y / k.ExpandV);
        for (int x = 0; x < Width(); ++x) {
            out[x] = in[x / k.ExpandH];
        }
    }

    void Rebuild(ColourAnalysis& out, std::vector<Totals>& totals) const {
        const int channels = static_cast<int>(components_.size());
        const bool keep = settings_.KeepReconstruction;
        if (keep) {
            AssignOnLargePages(out.Reconstruction, Pixels() * static_cast<std::size_t>(channels));
        }
        const Component& luma = components_[0];
        ShareOut(Height(), workers_, [&](int y, int worker) {
            Totals& mine = totals[static_cast<std::size_t>(worker)];
            const std::uint8_t* yRow =
                luma.Decoded.data() + static_cast<std::ptrdiff_t>(y) * luma.Stride();
            const std::uint8_t* yOriginal =
                Full(0).data() + static_cast<std::ptrdiff_t>(y) * Width();
            mine.SquaredErrorY += SquaredError(yOriginal, yRow, Width());
            // Not kept, a row lives only as long as its error takes.
            std::vector<std::uint8_t> own;
            if (!keep && channels == 3) {
                own.resize(static_cast<std::size_t>(Width()) * 3U);
            }
            std::uint8_t* target = keep ? out.Reconstruction.data() +
                                              static_cast<std::ptrdiff_t>(y) * Width() * channels
                                        : own.data();
            const std::uint8_t* original = picture_.Pixels + picture_.Stride * y;
            const std::uint8_t* rebuilt = target;
            if (channels == 1) {
                if (keep) {
                    std::copy_n(yRow, Width(), target);
                }
                rebuilt = yRow;
            } else {
                std::vector<std::uint8_t> cb(static_cast<std::size_t>(Width()));
                std::vector<std::uint8_t> cr(cb.size());
                std::vector<int> sums;
                UpsampledRow(components_[1], y, sums, cb.data());
                UpsampledRow(components_[2], y, sums, cr.data());
                RowToRgb(yRow, cb.data(), cr.data(), Width(), target);
            }
            mine.SquaredError += SquaredError(original, rebuilt, Width() * channels);
        });
    }

    void Summarise(ColourAnalysis& out, const std::vector<Totals>& totals,
                   const std::array<std::int64_t, 3>& dcBits) const {
        static constexpr std::array<const char*, 3> kNames = {"Y", "Cb", "Cr"};
        const bool colour = components_.size() == 3;
        out.Width = Width();
        out.Height = Height();
        out.Components = static_cast<int>(components_.size());
        std::int64_t squared = 0;
        std::int64_t squaredY = 0;
        for (const Totals& t : totals) {
            squared += t.SquaredError;
            squaredY += t.SquaredErrorY;
        }
        for (std::size_t c = 0; c < components_.size(); ++c) {
            ComponentCoding coding;
            coding.Name = kNames[c];
            coding.Factors = components_[c].Factors;
            coding.BlocksAcross = components_[c].BlocksAcross;
            coding.BlocksDown = components_[c].BlocksDown;
            coding.DcBits = dcBits[c];
            for (const Totals& t : totals) {
                coding.AcBits += t.AcBits[c];
                coding.Blocks += t.Blocks[c];
            }
            out.TotalBits += coding.Bits();
            out.Coding.push_back(coding);
        }
        const auto pixels = static_cast<double>(Pixels());
        out.Bytes = (out.TotalBits + 7) / 8;
        out.BitsPerPixel = static_cast<double>(out.TotalBits) / pixels;
        out.RawBitsPerPixel = colour ? RawBitsPerPixel(settings_.Sampling) : 8.0;
        out.CompressionRatio = (colour ? 24.0 : 8.0) / out.BitsPerPixel;
        out.Mse = static_cast<double>(squared) / (pixels * static_cast<double>(out.Components));
        out.Lossless = squared == 0;
        const auto psnr = [](double mse) {
            return mse == 0.0 ? std::numeric_limits<double>::infinity()
                              : 10.0 * std::log10(255.0 * 255.0 / mse);
        };
        out.Psnr = psnr(out.Mse);
        out.PsnrY = psnr(static_cast<double>(squaredY) / pixels);
        const Component& luma = components_[0];
        const GreyPicture coded{Full(0).data(), Width(), Height(), Width()};
        const GreyPicture decoded{luma.Decoded.data(), Width(), Height(), luma.Stride()};
        out.Ssim = prepared_ != nullptr
                       ? prepared_->Reference->Mean(decoded, static_cast<unsigned>(workers_))
                       : MeanSsim(coded, decoded, static_cast<unsigned>(workers_));
    }

    const ColourPicture& picture_;
    const ColourSettings& settings_;
    const std::atomic<bool>* cancel_;
    const ColourPlanes* prepared_; ///< the planes and transforms, or null: made here
    EncoderBlockCodec lumaCodec_;
    EncoderBlockCodec chromaCodec_;
    int workers_ = 1;
    int maxH_ = 1;
    int maxV_ = 1;
    int mcusAcross_ = 0;
    int mcusDown_ = 0;
    int blocksPerMcu_ = 0;
    std::vector<Component> components_;
    std::vector<std::vector<std::uint8_t>> full_; ///< the converted planes, Width x Height
    std::vector<int> dcs_; ///< quantised DC of every coded block, in MCU order
    CodedPicture coded_;   ///< filled only when the settings keep the blocks
};

} // namespace

SamplingFactors LumaFactors(Subsampling sampling) {
    switch (sampling) {
    case Subsampling::S422:
        return {2, 1};
    case Subsampling::S420:
        return {2, 2};
    case Subsampling::S440:
        return {1, 2};
    case Subsampling::S411:
        return {4, 1};
    case Subsampling::S444:
        break;
    }
    return {1, 1};
}

std::string_view SubsamplingName(Subsampling sampling) {
    switch (sampling) {
    case Subsampling::S422:
        return "4:2:2";
    case Subsampling::S420:
        return "4:2:0";
    case Subsampling::S440:
        return "4:4:0";
    case Subsampling::S411:
        return "4:1:1";
    case Subsampling::S444:
        break;
    }
    return "4:4:4";
}

std::optional<Subsampling> SubsamplingFromName(std::string_view name) {
    for (const Subsampling s : kSubsamplings) {
        if (SubsamplingName(s) == name) {
            return s;
        }
    }
    return std::nullopt;
}

double RawBitsPerPixel(Subsampling sampling) {
    const SamplingFactors f = LumaFactors(sampling);
    return 8.0 + 16.0 / static_cast<double>(f.Horizontal * f.Vertical);
}

DownsampleRounding RoundingOfSample(int expandH, int expandV, int column) {
    const int count = expandH * expandV;
    if (expandH == 2 && expandV == 1) {
        return {column & 1, 2};
    }
    if (expandH == 2 && expandV == 2) {
        return {1 + (column & 1), 4};
    }
    return {count / 2, count};
}

SampleSource SourceOfSample(int width, int height, Subsampling sampling, std::size_t component,
                            int column, int row) {
    const SamplingFactors luma = LumaFactors(sampling);
    const SamplingFactors own = component == 0 ? luma : SamplingFactors{1, 1};
    const int eh = luma.Horizontal / own.Horizontal;
    const int ev = luma.Vertical / own.Vertical;
    SampleSource source;
    source.Rounding = RoundingOfSample(eh, ev, column);
    source.SampledRow = std::min(row, SampledRows(height, luma.Vertical, own.Vertical) - 1);
    source.Outside = column * eh >= width || row * ev >= height;
    for (int j = 0; j < ev; ++j) {
        const int y = std::min(source.SampledRow * ev + j, height - 1);
        for (int i = 0; i < eh; ++i) {
            source.Pixels.push_back({std::min(column * eh + i, width - 1), y});
        }
    }
    return source;
}

std::array<std::uint8_t, 3> RgbToYcc(int r, int g, int b) {
    const std::array<std::uint8_t, 3> rgb = {Clamp255(r), Clamp255(g), Clamp255(b)};
    std::array<std::uint8_t, 3> ycc{};
    ToYcc(rgb.data(), ycc[0], ycc[1], ycc[2]);
    return ycc;
}

std::array<std::uint8_t, 3> YccToRgb(int y, int cb, int cr) {
    return ToRgb(std::clamp(y, 0, 255), Clamp255(cb), Clamp255(cr));
}

ColourAnalysis AnalyseColourPicture(const ColourPicture& picture, const ColourSettings& settings,
                                    const std::atomic<bool>* cancel) {
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0 ||
        (picture.Components != 1 && picture.Components != 3)) {
        return {};
    }
    ColourCoder coder(picture, settings, cancel);
    return coder.Run();
}

TransformedColourPicture::TransformedColourPicture(const ColourPicture& picture,
                                                   Subsampling sampling, DctMethod method,
                                                   unsigned threads)
    : picture_(picture), sampling_(sampling), method_(method) {
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0 ||
        (picture.Components != 1 && picture.Components != 3)) {
        return;
    }
    ColourSettings settings;
    settings.Sampling = sampling;
    settings.Dct = method;
    settings.Threads = threads;
    ColourCoder coder(picture, settings, nullptr);
    planes_ = coder.Prepare();
}

TransformedColourPicture::~TransformedColourPicture() = default;

ColourAnalysis TransformedColourPicture::Analyse(const ColourSettings& settings,
                                                 const std::atomic<bool>* cancel) const {
    if (planes_ == nullptr) {
        return {};
    }
    ColourSettings own = settings;
    own.Sampling = sampling_;
    own.Dct = method_;
    ColourCoder coder(picture_, own, cancel, planes_.get());
    return coder.Run();
}

std::vector<SampledPlane> SampledPlanes(const ColourPicture& picture, Subsampling sampling) {
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0 ||
        (picture.Components != 1 && picture.Components != 3)) {
        return {};
    }
    ColourSettings settings;
    settings.Sampling = sampling;
    ColourCoder coder(picture, settings, nullptr);
    return coder.Planes();
}

} // namespace quadrel::jpeg
