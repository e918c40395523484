#include "jpeg/ssim.h"

#include "base/large_pages.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>

namespace quadrel::jpeg {

namespace {

constexpr double kSigma = 1.5;
constexpr double kDataRange = 255.0;
constexpr double kC1 = (0.01 * kDataRange) * (0.01 * kDataRange);
constexpr double kC2 = (0.03 * kDataRange) * (0.03 * kDataRange);
constexpr int kRowsPerTask = 32;
constexpr auto kCentre = static_cast<std::size_t>(kSsimRadius);

/// The window's weights from the centre out, normalised over all eleven taps.
std::array<double, kSsimRadius + 1> Weights() {
    std::array<double, kSsimWindow> taps{};
    double sum = 0.0;
    for (int i = 0; i < kSsimWindow; ++i) {
        const double x = i - kSsimRadius;
        taps[static_cast<std::size_t>(i)] = std::exp(-0.5 / (kSigma * kSigma) * (x * x));
        sum += taps[static_cast<std::size_t>(i)];
    }
    std::array<double, kSsimRadius + 1> w{};
    for (int k = 0; k <= kSsimRadius; ++k) {
        w[static_cast<std::size_t>(k)] = taps[kCentre + static_cast<std::size_t>(k)] / sum;
    }
    return w;
}

/// Mirror extension with the edge sample repeated (d c b a | a b c d | d c b a).
int Reflect(int i, int n) {
    const int period = 2 * n;
    i %= period;
    if (i < 0) {
        i += period;
    }
    return i < n ? i : period - 1 - i;
}

using Weights6 = std::array<double, kSsimRadius + 1>;
using FloatWeights = std::array<float, kSsimRadius + 1>;

FloatWeights FloatWeightsOf(const Weights6& w) {
    FloatWeights f{};
    for (std::size_t k = 0; k < w.size(); ++k) {
        f[k] = static_cast<float>(w[k]);
    }
    return f;
}

/// One pixel's SSIM from x's local moments and those of the difference
/// e = y - x: with them y's moments need no large cancellation, which lets
/// e's sums run in float. The luminance and contrast terms' denominators are
/// their numerators plus m_e^2 and var_e, so no difference of squares is
/// taken here either. The division runs in float, in a third of the time of a
/// double one: the map keeps floats anyway.
[[gnu::always_inline]] inline float Similarity(double ux, double vx, double me, double see,
                                               double sxe) {
    const double covXe = sxe - (ux - 128.0) * me;
    const double ve = see - me * me;
    const double uy = ux + me;
    const double a1 = 2.0 * ux * uy + kC1;
    const double a2 = 2.0 * (vx + covXe) + kC2;
    const double b1 = a1 + me * me;
    const double b2 = a2 + ve;
    return static_cast<float>(a1 * a2) / static_cast<float>(b1 * b2);
}

/// The sum of v[first, end) in eight partial sums, each over every eighth
/// value, added in a fixed order: it vectorises, and every processor gives the
/// same bits.
[[gnu::always_inline]] inline double InnerSum(const float* v, int first, int end) {
    constexpr int kParts = 8;
    std::array<double, kParts> part{};
    int x = first;
    for (; end - x >= kParts; x += kParts) {
        for (std::size_t j = 0; j < part.size(); ++j) {
            part[j] += static_cast<double>(v[static_cast<std::size_t>(x) + j]);
        }
    }
    double tail = 0.0;
    for (; x < end; ++x) {
        tail += static_cast<double>(v[x]);
    }
    return (((part[0] + part[1]) + (part[2] + part[3])) +
            ((part[4] + part[5]) + (part[6] + part[7]))) +
           tail;
}

/// Rows whose column sums are made together: every row read serves each of
/// them, which cuts what the sums read from the cache.
constexpr std::size_t kBatch = 4;
/// The rows a batch's windows reach.
constexpr std::size_t kRingRows = kSsimWindow + kBatch - 1;

/// The rows of each of N terms a batch's windows reach, top to bottom.
template <typename T, std::size_t N>
using RowWindow = std::array<std::array<const T*, kRingRows>, N>;

/// One row's x and x*x, whole numbers, so that the column sums add each pair
/// of taps with no rounding and only the weighting rounds.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
RowOfX(const std::uint8_t* __restrict p, int width, std::int32_t* __restrict x,
       std::int32_t* __restrict xx) {
    for (int i = 0; i < width; ++i) {
        const int u = p[i];
        x[i] = u;
        xx[i] = u * u;
    }
}

/// One row's e, e*e and (x - 128)*e, whole numbers under 2^24: exact in
/// float, and so is the sum of any two of them.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
RowOfDifference(const std::uint8_t* __restrict p, const std::uint8_t* __restrict q, int width,
                float* __restrict e, float* __restrict ee, float* __restrict xe) {
    for (int i = 0; i < width; ++i) {
        const int u = p[i];
        const auto d = static_cast<float>(static_cast<int>(q[i]) - u);
        e[i] = d;
        ee[i] = d * d;
        xe[i] = static_cast<float>(u - 128) * d;
    }
}

/// The terms of the rows a batch's windows need, each row's made once however
/// many windows take it: the rows they reach, reflected, are never more than
/// kRingRows in a row, so slot (row mod kRingRows) never holds two of them.
template <typename T, std::size_t N> class RowRing {
public:
    RowRing(const GreyPicture& a, const GreyPicture& b) : a_(a), b_(b) {
        for (std::vector<T>& line : storage_) {
            line.resize(static_cast<std::size_t>(a.Width));
        }
        rowOf_.fill(-1);
    }

    /// The rows of the windows of rows y to y + 3, top to bottom, for each term.
    const RowWindow<T, N>& Window(int y) {
        for (std::size_t i = 0; i < kRingRows; ++i) {
            const int row = Reflect(y + static_cast<int>(i) - kSsimRadius, a_.Height);
            const auto slot = static_cast<std::size_t>(row) % kRingRows;
            if (rowOf_[slot] != row) {
                rowOf_[slot] = row;
                Fill(row, &storage_[N * slot]);
            }
            for (std::size_t c = 0; c < N; ++c) {
                window_[c][i] = storage_[N * slot + c].data();
            }
        }
        return window_;
    }

private:
    void Fill(int row, std::vector<T>* lines) const {
        const auto at = static_cast<std::ptrdiff_t>(row);
        const std::uint8_t* p = a_.Pixels + at * a_.Stride;
        if constexpr (N == 2) {
            RowOfX(p, a_.Width, lines[0].data(), lines[1].data());
        } else {
            static_assert(N == 3);
            RowOfDifference(p, b_.Pixels + at * b_.Stride, a_.Width, lines[0].data(),
                            lines[1].data(), lines[2].data());
        }
    }

    const GreyPicture& a_;
    const GreyPicture& b_;
    std::array<std::vector<T>, N * kRingRows> storage_;
    std::array<int, kRingRows> rowOf_{};
    RowWindow<T, N> window_{};
};

/// The column sums of each term for M rows from the window's first: the
/// centre, then each pair of taps at equal distance, the outermost first, as
/// scipy's symmetric filter adds them. The pixel loop runs over independent
/// columns (the vectoriser cannot see that the rows and the lines never
/// overlap).
template <std::size_t M, typename T, typename S, std::size_t N>
[[gnu::always_inline]] inline void ColumnSums(const RowWindow<T, N>& rows, int width,
                                              const std::array<S, kSsimRadius + 1>& w,
                                              const std::array<std::array<S*, N>*, kBatch>& out) {
    for (std::size_t c = 0; c < N; ++c) {
        const std::array<const T*, kRingRows>& r = rows[c];
        std::array<S*, M> lines{};
        for (std::size_t m = 0; m < M; ++m) {
            lines[m] = (*out[m])[c];
        }
#pragma GCC ivdep
        for (int x = 0; x < width; ++x) {
            std::array<S, M> sum{};
            for (std::size_t m = 0; m < M; ++m) {
                sum[m] = static_cast<S>(r[kCentre + m][x]) * w[0];
            }
            for (int k = kSsimRadius; k >= 1; --k) {
                const auto up = static_cast<std::size_t>(kSsimRadius - k);
                const std::size_t down = kCentre + static_cast<std::size_t>(k);
                for (std::size_t m = 0; m < M; ++m) {
                    const T pair = r[up + m][x] + r[down + m][x];
                    sum[m] += static_cast<S>(pair) * w[static_cast<std::size_t>(k)];
                }
            }
            for (std::size_t m = 0; m < M; ++m) {
                lines[m][x] = sum[m];
            }
        }
    }
}

/// The column sums of `count` rows (1 to kBatch) from the window's first.
template <typename T, typename S, std::size_t N>
[[gnu::always_inline]] inline void
BatchSums(const RowWindow<T, N>& rows, int width, const std::array<S, kSsimRadius + 1>& w,
          const std::array<std::array<S*, N>*, kBatch>& out, int count) {
    static_assert(kBatch == 4, "one case for each count");
    switch (count) {
    case 1:
        ColumnSums<1>(rows, width, w, out);
        break;
    case 2:
        ColumnSums<2>(rows, width, w, out);
        break;
    case 3:
        ColumnSums<3>(rows, width, w, out);
        break;
    default:
        ColumnSums<kBatch>(rows, width, w, out);
        break;
    }
}

/// x's column sums, in double. With AVX-512 or AVX2 where the processor has
/// it, which changes no result: every operation stays the same.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
VerticalSums(const RowWindow<std::int32_t, 2>& rows, int width, const Weights6& w,
             const std::array<std::array<double*, 2>*, kBatch>& out, int count) {
    BatchSums(rows, width, w, out, count);
}

/// The difference's column sums, in float.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
VerticalSums(const RowWindow<float, 3>& rows, int width, const FloatWeights& w,
             const std::array<std::array<float*, 3>*, kBatch>& out, int count) {
    BatchSums(rows, width, w, out, count);
}

/// The row sums of the difference's column sums, and from them and x's
/// moments each pixel's SSIM into `values`; gives their sum over the inner
/// columns.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] double
SsimAlongRow(const std::array<float*, 3>& lines, int width, const FloatWeights& w,
             const float* meanX, const float* varianceX, float* values) {
    const float* const l0 = lines[0];
    const float* const l1 = lines[1];
    const float* const l2 = lines[2];
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        float me = l0[x] * w[0];
        float see = l1[x] * w[0];
        float sxe = l2[x] * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const float wk = w[static_cast<std::size_t>(k)];
            me += (l0[x - k] + l0[x + k]) * wk;
            see += (l1[x - k] + l1[x + k]) * wk;
            sxe += (l2[x - k] + l2[x + k]) * wk;
        }
        values[x] =
            Similarity(static_cast<double>(meanX[x]), static_cast<double>(varianceX[x]),
                       static_cast<double>(me), static_cast<double>(see), static_cast<double>(sxe));
    }
    return InnerSum(values, kSsimRadius, width - kSsimRadius);
}

/// x's local mean and variance along one row, summed in double and kept in
/// float: a sweep reads them once per point, and half the bytes cut what that
/// read waits for; the rounding moved SSIM by under 2e-11 on the test pictures.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
MomentsAlongRow(const double* l0, const double* l2, int width, const Weights6& w, float* mean,
                float* variance) {
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        double ux = l0[x] * w[0];
        double uxx = l2[x] * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const double wk = w[static_cast<std::size_t>(k)];
            ux += (l0[x - k] + l0[x + k]) * wk;
            uxx += (l2[x - k] + l2[x + k]) * wk;
        }
        mean[x] = static_cast<float>(ux);
        variance[x] = static_cast<float>(uxx - ux * ux);
    }
}

/// N lines of the picture's width with room for the reflected radius both
/// sides. Moved, not copied: a copy's lines would point into the original.
template <typename T, std::size_t N> class PaddedLines {
public:
    PaddedLines() = default;
    explicit PaddedLines(int width) : width_(width) {
        for (std::size_t l = 0; l < N; ++l) {
            storage_[l].resize(static_cast<std::size_t>(width) + 2 * kCentre);
            lines_[l] = storage_[l].data() + kSsimRadius;
        }
    }
    PaddedLines(const PaddedLines&) = delete;
    PaddedLines& operator=(const PaddedLines&) = delete;
    PaddedLines(PaddedLines&&) noexcept = default;
    PaddedLines& operator=(PaddedLines&&) noexcept = default;
    ~PaddedLines() = default;
    std::array<T*, N>& Lines() { return lines_; }
    void ReflectEdges() {
        for (T* line : lines_) {
            for (int k = 1; k <= kSsimRadius; ++k) {
                line[-k] = line[Reflect(-k, width_)];
                line[width_ - 1 + k] = line[Reflect(width_ - 1 + k, width_)];
            }
        }
    }

private:
    int width_ = 0;
    std::array<std::vector<T>, N> storage_;
    std::array<T*, N> lines_{};
};

/// Column sums of N terms made a batch of rows at a time and handed out a
/// row at a time, padded and reflected at the edges.
template <typename T, typename S, std::size_t N> class BatchedSums {
public:
    BatchedSums(const GreyPicture& a, const GreyPicture& b, const std::array<S, kSsimRadius + 1>& w)
        : width_(a.Width), rows_(a, b), w_(w), lines_(LinesOf(a.Width)) {}

    /// Row y's sums, when the rows from y to y + left - 1 are asked for next,
    /// in order.
    const std::array<S*, N>& Row(int y, int left) {
        if (y < first_ || y >= first_ + count_) {
            first_ = y;
            count_ = std::min(static_cast<int>(kBatch), left);
            std::array<std::array<S*, N>*, kBatch> out{};
            for (std::size_t m = 0; m < kBatch; ++m) {
                out[m] = &lines_[m].Lines();
            }
            VerticalSums(rows_.Window(y), width_, w_, out, count_);
        }
        PaddedLines<S, N>& lines = lines_[static_cast<std::size_t>(y - first_)];
        lines.ReflectEdges();
        return lines.Lines();
    }

private:
    static std::array<PaddedLines<S, N>, kBatch> LinesOf(int width) {
        std::array<PaddedLines<S, N>, kBatch> lines;
        for (PaddedLines<S, N>& l : lines) {
            l = PaddedLines<S, N>(width);
        }
        return lines;
    }

    int width_;
    RowRing<T, N> rows_;
    std::array<S, kSsimRadius + 1> w_;
    std::array<PaddedLines<S, N>, kBatch> lines_;
    int first_ = 0; ///< the batch's first row
    int count_ = 0; ///< and its number of rows
};

/// x's local means and variances one row at a time, in double. The sums run
/// as scipy's symmetric filter runs them (the centre, then each pair of taps
/// at equal distance, the outermost first), down the columns first and then
/// along the row.
class MomentsOfX {
public:
    explicit MomentsOfX(const GreyPicture& a) : width_(a.Width), w_(Weights()), sums_(a, a, w_) {}

    /// Row y's, when the rows from y to y + left - 1 are asked for next.
    void Row(int y, int left, float* mean, float* variance) {
        const std::array<double*, 2>& lines = sums_.Row(y, left);
        MomentsAlongRow(lines[0], lines[1], width_, w_, mean, variance);
    }

private:
    int width_;
    Weights6 w_;
    BatchedSums<std::int32_t, double, 2> sums_;
};

/// One thread's rows of the map from x's moments and y's difference from x:
/// the same arithmetic whether x's moments were kept or are made row by row.
class DifferenceSsim {
public:
    DifferenceSsim(const GreyPicture& a, const GreyPicture& b)
        : width_(a.Width), w_(FloatWeightsOf(Weights())), sums_(a, b, w_),
          values_(static_cast<std::size_t>(a.Width)) {}

    /// Row y's values into `out` (Width of them, or none when null), and their
    /// sum over the inner columns; `left` as MomentsOfX::Row takes it.
    double Row(int y, int left, const float* meanX, const float* varianceX, float* out) {
        return SsimAlongRow(sums_.Row(y, left), width_, w_, meanX, varianceX,
                            out != nullptr ? out : values_.data());
    }

private:
    int width_;
    FloatWeights w_;
    BatchedSums<float, float, 3> sums_; ///< e, e*e, (x - 128)*e
    std::vector<float> values_;
};

/// Runs work(state, first, end) over rows [first, end) in small tasks on the
/// threads, each thread with its own state from make() (its lines and rows).
template <typename Make, typename Work>
void ShareRows(int first, int end, unsigned threads, const Make& make, const Work& work) {
    std::atomic<int> next{first};
    const auto run = [&] {
        auto state = make();
        for (int start = next.fetch_add(kRowsPerTask); start < end;
             start = next.fetch_add(kRowsPerTask)) {
            work(state, start, std::min(end, start + kRowsPerTask));
        }
    };
    const unsigned wanted =
        threads > 0 ? threads : std::max(1U, std::thread::hardware_concurrency());
    const int tasks = (end - first + kRowsPerTask - 1) / kRowsPerTask;
    const int workers = std::clamp(static_cast<int>(wanted), 1, std::max(1, tasks));
    std::vector<std::jthread> helpers;
    for (int i = 1; i < workers; ++i) {
        helpers.emplace_back(run);
    }
    run();
}

bool SameSize(const GreyPicture& a, const GreyPicture& b) {
    return a.Pixels != nullptr && b.Pixels != nullptr && a.Width > 0 && a.Height > 0 &&
           a.Width == b.Width && a.Height == b.Height;
}

/// The mean of the row sums over the picture less its edges, added in order
/// whatever thread made a row.
double MeanOfRows(const std::vector<double>& rowSums, int width, int height) {
    if (width < kSsimWindow || height < kSsimWindow) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double total = 0.0;
    for (int y = kSsimRadius; y < height - kSsimRadius; ++y) {
        total += rowSums[static_cast<std::size_t>(y)];
    }
    const double inner = static_cast<double>(width - 2 * kSsimRadius) *
                         static_cast<double>(height - 2 * kSsimRadius);
    return total / inner;
}

/// One thread's x moments and SSIM of a row, made together in one pass.
class FusedRows {
public:
    FusedRows(const GreyPicture& a, const GreyPicture& b)
        : moments_(a), ssim_(a, b), mean_(static_cast<std::size_t>(a.Width)),
          variance_(mean_.size()) {}

    double Row(int y, int left, float* out) {
        moments_.Row(y, left, mean_.data(), variance_.data());
        return ssim_.Row(y, left, mean_.data(), variance_.data(), out);
    }

private:
    MomentsOfX moments_;
    DifferenceSsim ssim_;
    std::vector<float> mean_;
    std::vector<float> variance_;
};

/// Rows [first, end) of the map, x's moments made row by row beside them, in
/// one pass over both pictures.
double Compute(const GreyPicture& a, const GreyPicture& b, int first, int end, float* map,
               unsigned threads) {
    std::vector<double> rowSums(static_cast<std::size_t>(a.Height), 0.0);
    ShareRows(
        first, end, threads, [&] { return FusedRows(a, b); },
        [&](FusedRows& rows, int from, int to) {
            for (int y = from; y < to; ++y) {
                float* out =
                    map != nullptr ? map + static_cast<std::ptrdiff_t>(y) * a.Width : nullptr;
                rowSums[static_cast<std::size_t>(y)] = rows.Row(y, to - y, out);
            }
        });
    return MeanOfRows(rowSums, a.Width, a.Height);
}

} // namespace

double MeanSsim(const GreyPicture& a, const GreyPicture& b, unsigned threads) {
    if (!SameSize(a, b) || a.Width < kSsimWindow || a.Height < kSsimWindow) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return Compute(a, b, kSsimRadius, a.Height - kSsimRadius, nullptr, threads);
}

SsimReference::SsimReference(const GreyPicture& a, unsigned threads) : a_(a) {
    if (!SameSize(a, a) || a.Width < kSsimWindow || a.Height < kSsimWindow) {
        return;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(a.Width) * static_cast<std::size_t>(a.Height);
    AssignOnLargePages(mean_, pixels);
    AssignOnLargePages(variance_, pixels);
    ShareRows(
        0, a.Height, threads, [&] { return MomentsOfX(a); },
        [&](MomentsOfX& moments, int first, int end) {
            for (int y = first; y < end; ++y) {
                const auto at = static_cast<std::ptrdiff_t>(y) * a.Width;
                moments.Row(y, end - y, mean_.data() + at, variance_.data() + at);
            }
        });
}

double SsimReference::Mean(const GreyPicture& b, unsigned threads) const {
    if (!SameSize(a_, b) || mean_.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    std::vector<double> rowSums(static_cast<std::size_t>(a_.Height), 0.0);
    ShareRows(
        kSsimRadius, a_.Height - kSsimRadius, threads, [&] { return DifferenceSsim(a_, b); },
        [&](DifferenceSsim& ssim, int first, int end) {
            for (int y = first; y < end; ++y) {
                const auto at = static_cast<std::ptrdiff_t>(y) * a_.Width;
                rowSums[static_cast<std::size_t>(y)] =
                    ssim.Row(y, end - y, mean_.data() + at, variance_.data() + at, nullptr);
            }
        });
    return MeanOfRows(rowSums, a_.Width, a_.Height);
}

SsimMap LocalSsim(const GreyPicture& a, const GreyPicture& b, unsigned threads) {
    SsimMap map;
    if (!SameSize(a, b)) {
        return map;
    }
    map.Width = a.Width;
    map.Height = a.Height;
    AssignOnLargePages(map.Values,
                       static_cast<std::size_t>(a.Width) * static_cast<std::size_t>(a.Height));
    map.Mean = Compute(a, b, 0, a.Height, map.Values.data(), threads);
    return map;
}

} // namespace quadrel::jpeg
