#include "jpeg/ssim.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <thread>

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

using WindowOfRows = std::array<const std::uint8_t*, kSsimWindow>;

/// One picture's column sums of its values and of their squares, straight from
/// its bytes (for the reference, made once), with the values ColumnSums gives.
[[gnu::always_inline]] inline void SumsOfOne(const WindowOfRows& r, int width, const Weights6& w,
                                             double* __restrict sums, double* __restrict squares) {
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        const int p = r[kCentre][x];
        double s = static_cast<double>(p) * w[0];
        double ss = static_cast<double>(p * p) * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const int p0 = r[static_cast<std::size_t>(kSsimRadius - k)][x];
            const int p1 = r[kCentre + static_cast<std::size_t>(k)][x];
            const double wk = w[static_cast<std::size_t>(k)];
            s += static_cast<double>(p0 + p1) * wk;
            ss += static_cast<double>(p0 * p0 + p1 * p1) * wk;
        }
        sums[x] = s;
        squares[x] = ss;
    }
}

/// x's sums alone, for the reference.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
VerticalSumsOfA(const WindowOfRows& a, int width, const Weights6& w,
                std::array<double*, 2>& lines) {
    SumsOfOne(a, width, w, lines[0], lines[1]);
}

/// One pixel's SSIM from its local moments. The division runs in float, in a
/// third of the time of a double one: the map keeps floats anyway, and its
/// rounding (a few parts in 10^8) stays far under what a mean of them shows.
[[gnu::always_inline]] inline float Similarity(double ux, double uy, double vx, double vy,
                                               double vxy) {
    const double a1 = 2.0 * ux * uy + kC1;
    const double a2 = 2.0 * vxy + kC2;
    const double b1 = ux * ux + uy * uy + kC1;
    const double b2 = vx + vy + kC2;
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

/// The row sums of the column sums, and from them each pixel's SSIM into
/// `values`; gives their sum over the inner columns.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] double
SsimAlongRow(const std::array<double*, 5>& lines, int width, const Weights6& w, float* values) {
    const double* const l0 = lines[0];
    const double* const l1 = lines[1];
    const double* const l2 = lines[2];
    const double* const l3 = lines[3];
    const double* const l4 = lines[4];
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        double ux = l0[x] * w[0];
        double uy = l1[x] * w[0];
        double uxx = l2[x] * w[0];
        double uyy = l3[x] * w[0];
        double uxy = l4[x] * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const double wk = w[static_cast<std::size_t>(k)];
            ux += (l0[x - k] + l0[x + k]) * wk;
            uy += (l1[x - k] + l1[x + k]) * wk;
            uxx += (l2[x - k] + l2[x + k]) * wk;
            uyy += (l3[x - k] + l3[x + k]) * wk;
            uxy += (l4[x - k] + l4[x + k]) * wk;
        }
        values[x] = Similarity(ux, uy, uxx - ux * ux, uyy - uy * uy, uxy - ux * uy);
    }
    return InnerSum(values, kSsimRadius, width - kSsimRadius);
}

/// The window's rows of N whole-number terms, exact in int as in double.
template <std::size_t N>
using ProductWindow = std::array<std::array<const std::int32_t*, kSsimWindow>, N>;

/// One row's y, yy and xy.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
RowProducts(const std::uint8_t* __restrict p, const std::uint8_t* __restrict q, int width,
            std::int32_t* __restrict y, std::int32_t* __restrict yy, std::int32_t* __restrict xy) {
    for (int x = 0; x < width; ++x) {
        const int v = q[x];
        y[x] = v;
        yy[x] = v * v;
        xy[x] = static_cast<int>(p[x]) * v;
    }
}

/// One row's x, y, xx, yy and xy.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
RowProducts(const std::uint8_t* __restrict p, const std::uint8_t* __restrict q, int width,
            std::int32_t* __restrict x, std::int32_t* __restrict y, std::int32_t* __restrict xx,
            std::int32_t* __restrict yy, std::int32_t* __restrict xy) {
    for (int i = 0; i < width; ++i) {
        const int u = p[i];
        const int v = q[i];
        x[i] = u;
        y[i] = v;
        xx[i] = u * u;
        yy[i] = v * v;
        xy[i] = u * v;
    }
}

/// The products of the rows a window needs, each row's made once however many
/// windows take it: the rows a window reaches, reflected, are never more than
/// eleven in a row, so slot (row mod 11) never holds two of them.
template <std::size_t N> class ProductRows {
public:
    ProductRows(const GreyPicture& a, const GreyPicture& b) : a_(a), b_(b) {
        for (std::size_t l = 0; l < storage_.size(); ++l) {
            storage_[l].resize(static_cast<std::size_t>(a.Width));
            lineOf_[l] = storage_[l].data();
        }
        rowOf_.fill(-1);
    }

    /// The window's rows around row y, top to bottom, for each term.
    const ProductWindow<N>& Window(int y) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kSsimWindow); ++i) {
            const int row = Reflect(y + static_cast<int>(i) - kSsimRadius, a_.Height);
            const auto slot = static_cast<std::size_t>(row % kSsimWindow);
            if (rowOf_[slot] != row) {
                rowOf_[slot] = row;
                Fill(row, slot);
            }
            for (std::size_t c = 0; c < N; ++c) {
                window_[c][i] = storage_[N * slot + c].data();
            }
        }
        return window_;
    }

private:
    void Fill(int row, std::size_t slot) {
        const std::uint8_t* p = a_.Pixels + static_cast<std::ptrdiff_t>(row) * a_.Stride;
        const std::uint8_t* q = b_.Pixels + static_cast<std::ptrdiff_t>(row) * b_.Stride;
        std::int32_t* const* lines = &lineOf_[N * slot];
        if constexpr (N == 3) {
            RowProducts(p, q, a_.Width, lines[0], lines[1], lines[2]);
        } else {
            static_assert(N == 5);
            RowProducts(p, q, a_.Width, lines[0], lines[1], lines[2], lines[3], lines[4]);
        }
    }

    const GreyPicture& a_;
    const GreyPicture& b_;
    std::array<std::vector<std::int32_t>, N * kSsimWindow> storage_;
    std::array<std::int32_t*, N * kSsimWindow> lineOf_{};
    std::array<int, kSsimWindow> rowOf_{};
    ProductWindow<N> window_{};
};

/// The column sums of each term. Each pair of taps is added as whole numbers,
/// exact in int as in double, so that only the weighting runs in double: the
/// same values in fewer operations. The pixel loop runs over independent
/// columns (the vectoriser cannot see that the rows and the lines never
/// overlap).
template <std::size_t N>
[[gnu::always_inline]] inline void ColumnSums(const ProductWindow<N>& rows, int width,
                                              const Weights6& w, std::array<double*, N>& lines) {
    for (std::size_t c = 0; c < N; ++c) {
        const std::array<const std::int32_t*, kSsimWindow>& r = rows[c];
        double* const out = lines[c];
#pragma GCC ivdep
        for (int x = 0; x < width; ++x) {
            double s = static_cast<double>(r[kCentre][x]) * w[0];
            for (int k = kSsimRadius; k >= 1; --k) {
                const int pair = r[static_cast<std::size_t>(kSsimRadius - k)][x] +
                                 r[kCentre + static_cast<std::size_t>(k)][x];
                s += static_cast<double>(pair) * w[static_cast<std::size_t>(k)];
            }
            out[x] = s;
        }
    }
}

/// The column sums for x, y, xx, yy, xy, each line padded by the radius on
/// both sides. With AVX-512 or AVX2 where the processor has it, which changes
/// no result: every operation stays the same.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
VerticalSums(const ProductWindow<5>& rows, int width, const Weights6& w,
             std::array<double*, 5>& lines) {
    ColumnSums(rows, width, w, lines);
}

/// Those for y, yy and xy alone.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
VerticalSumsOfB(const ProductWindow<3>& rows, int width, const Weights6& w,
                std::array<double*, 3>& lines) {
    ColumnSums(rows, width, w, lines);
}

/// One thread's rows of the map. The sums run as scipy's symmetric filter runs
/// them (the centre, then each pair of taps at equal distance, the outermost
/// first), down the columns first and then along the row, so that the values
/// agree with scikit-image's to the last few bits.
class SsimRows {
public:
    SsimRows(const GreyPicture& a, const GreyPicture& b) : a_(a), products_(a, b), w_(Weights()) {
        const std::size_t padded = static_cast<std::size_t>(a.Width) + 2 * kCentre;
        for (std::size_t l = 0; l < 5; ++l) {
            storage_[l].resize(padded);
            lines_[l] = storage_[l].data() + kSsimRadius;
        }
        values_.resize(static_cast<std::size_t>(a.Width));
    }

    /// Row y's values into `out` (Width of them, or none when null), and their
    /// sum over the inner columns.
    double Row(int y, float* out) {
        const int width = a_.Width;
        VerticalSums(products_.Window(y), width, w_, lines_);
        for (double* line : lines_) {
            for (int k = 1; k <= kSsimRadius; ++k) {
                line[-k] = line[Reflect(-k, width)];
                line[width - 1 + k] = line[Reflect(width - 1 + k, width)];
            }
        }
        return SsimAlongRow(lines_, width, w_, out != nullptr ? out : values_.data());
    }

private:
    const GreyPicture& a_;
    ProductRows<5> products_;
    Weights6 w_;
    std::array<std::vector<double>, 5> storage_;
    std::array<double*, 5> lines_{}; ///< x, y, xx, yy, xy, past their padding
    std::vector<float> values_;
};

/// SsimAlongRow with x's mean and variance taken from the reference.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] double
SsimAlongRowOfB(const std::array<double*, 3>& lines, int width, const Weights6& w,
                const double* meanX, const double* varianceX, float* values) {
    const double* const l0 = lines[0];
    const double* const l1 = lines[1];
    const double* const l2 = lines[2];
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        double uy = l0[x] * w[0];
        double uyy = l1[x] * w[0];
        double uxy = l2[x] * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const double wk = w[static_cast<std::size_t>(k)];
            uy += (l0[x - k] + l0[x + k]) * wk;
            uyy += (l1[x - k] + l1[x + k]) * wk;
            uxy += (l2[x - k] + l2[x + k]) * wk;
        }
        const double ux = meanX[x];
        values[x] = Similarity(ux, uy, varianceX[x], uyy - uy * uy, uxy - ux * uy);
    }
    return InnerSum(values, kSsimRadius, width - kSsimRadius);
}

/// x's local mean and variance along one row, as SsimAlongRow works them out.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
MomentsAlongRow(const double* l0, const double* l2, int width, const Weights6& w, double* mean,
                double* variance) {
#pragma GCC ivdep
    for (int x = 0; x < width; ++x) {
        double ux = l0[x] * w[0];
        double uxx = l2[x] * w[0];
        for (int k = kSsimRadius; k >= 1; --k) {
            const double wk = w[static_cast<std::size_t>(k)];
            ux += (l0[x - k] + l0[x + k]) * wk;
            uxx += (l2[x - k] + l2[x + k]) * wk;
        }
        mean[x] = ux;
        variance[x] = uxx - ux * ux;
    }
}

/// The window's rows around row y, reflected at the top and bottom.
std::array<const std::uint8_t*, kSsimWindow> WindowRows(const GreyPicture& p, int y) {
    std::array<const std::uint8_t*, kSsimWindow> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int k = static_cast<int>(i) - kSsimRadius;
        rows[i] = p.Pixels + static_cast<std::ptrdiff_t>(Reflect(y + k, p.Height)) * p.Stride;
    }
    return rows;
}

/// Lines of the picture's width with room for the reflected radius both sides.
template <std::size_t N> class PaddedLines {
public:
    explicit PaddedLines(int width) : width_(width) {
        for (std::size_t l = 0; l < N; ++l) {
            storage_[l].resize(static_cast<std::size_t>(width) + 2 * kCentre);
            lines_[l] = storage_[l].data() + kSsimRadius;
        }
    }
    std::array<double*, N>& Lines() { return lines_; }
    void ReflectEdges() {
        for (double* line : lines_) {
            for (int k = 1; k <= kSsimRadius; ++k) {
                line[-k] = line[Reflect(-k, width_)];
                line[width_ - 1 + k] = line[Reflect(width_ - 1 + k, width_)];
            }
        }
    }

private:
    int width_;
    std::array<std::vector<double>, N> storage_;
    std::array<double*, N> lines_{};
};

/// Runs work(first, end) over rows [first, end) in small tasks on the threads.
template <typename Work> void ShareRows(int first, int end, unsigned threads, const Work& work) {
    std::atomic<int> next{first};
    const auto run = [&] {
        for (int start = next.fetch_add(kRowsPerTask); start < end;
             start = next.fetch_add(kRowsPerTask)) {
            work(start, std::min(end, start + kRowsPerTask));
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

/// Rows [first, end) of the map, shared among the threads in small tasks; the
/// mean is summed row by row in order, whatever thread computed a row.
double Compute(const GreyPicture& a, const GreyPicture& b, int first, int end, float* map,
               unsigned threads) {
    std::vector<double> rowSums(static_cast<std::size_t>(a.Height), 0.0);
    std::atomic<int> next{first};
    const auto work = [&] {
        SsimRows rows(a, b);
        for (int start = next.fetch_add(kRowsPerTask); start < end;
             start = next.fetch_add(kRowsPerTask)) {
            for (int y = start; y < std::min(end, start + kRowsPerTask); ++y) {
                float* out =
                    map != nullptr ? map + static_cast<std::ptrdiff_t>(y) * a.Width : nullptr;
                rowSums[static_cast<std::size_t>(y)] = rows.Row(y, out);
            }
        }
    };
    const unsigned wanted =
        threads > 0 ? threads : std::max(1U, std::thread::hardware_concurrency());
    const int tasks = (end - first + kRowsPerTask - 1) / kRowsPerTask;
    const int workers = std::clamp(static_cast<int>(wanted), 1, std::max(1, tasks));
    {
        std::vector<std::jthread> helpers;
        for (int i = 1; i < workers; ++i) {
            helpers.emplace_back(work);
        }
        work();
    }
    if (a.Width < kSsimWindow || a.Height < kSsimWindow) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double total = 0.0;
    for (int y = kSsimRadius; y < a.Height - kSsimRadius; ++y) {
        total += rowSums[static_cast<std::size_t>(y)];
    }
    const double inner = static_cast<double>(a.Width - 2 * kSsimRadius) *
                         static_cast<double>(a.Height - 2 * kSsimRadius);
    return total / inner;
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
    mean_.resize(pixels);
    variance_.resize(pixels);
    const Weights6 w = Weights();
    ShareRows(0, a.Height, threads, [&](int first, int end) {
        PaddedLines<2> lines(a.Width);
        for (int y = first; y < end; ++y) {
            VerticalSumsOfA(WindowRows(a, y), a.Width, w, lines.Lines());
            lines.ReflectEdges();
            const auto at = static_cast<std::ptrdiff_t>(y) * a.Width;
            MomentsAlongRow(lines.Lines()[0], lines.Lines()[1], a.Width, w, mean_.data() + at,
                            variance_.data() + at);
        }
    });
}

double SsimReference::Mean(const GreyPicture& b, unsigned threads) const {
    if (!SameSize(a_, b) || mean_.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const GreyPicture& a = a_;
    const Weights6 w = Weights();
    std::vector<double> rowSums(static_cast<std::size_t>(a.Height), 0.0);
    ShareRows(kSsimRadius, a.Height - kSsimRadius, threads, [&](int first, int end) {
        PaddedLines<3> lines(a.Width);
        ProductRows<3> products(a, b);
        std::vector<float> values(static_cast<std::size_t>(a.Width));
        for (int y = first; y < end; ++y) {
            VerticalSumsOfB(products.Window(y), a.Width, w, lines.Lines());
            lines.ReflectEdges();
            const auto at = static_cast<std::ptrdiff_t>(y) * a.Width;
            rowSums[static_cast<std::size_t>(y)] = SsimAlongRowOfB(
                lines.Lines(), a.Width, w, mean_.data() + at, variance_.data() + at, values.data());
        }
    });
    double total = 0.0;
    for (int y = kSsimRadius; y < a.Height - kSsimRadius; ++y) {
        total += rowSums[static_cast<std::size_t>(y)];
    }
    const double inner = static_cast<double>(a.Width - 2 * kSsimRadius) *
                         static_cast<double>(a.Height - 2 * kSsimRadius);
    return total / inner;
}

SsimMap LocalSsim(const GreyPicture& a, const GreyPicture& b, unsigned threads) {
    SsimMap map;
    if (!SameSize(a, b)) {
        return map;
    }
    map.Width = a.Width;
    map.Height = a.Height;
    map.Values.resize(static_cast<std::size_t>(a.Width) * static_cast<std::size_t>(a.Height));
    map.Mean = Compute(a, b, 0, a.Height, map.Values.data(), threads);
    return map;
}

} // namespace quadrel::jpeg
