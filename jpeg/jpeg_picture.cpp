#include "jpeg/jpeg_picture.h"

#include "jpeg/jpeg_huffman.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace quadrel::jpeg {

namespace {

/// What one band of block rows adds up; DC bits wait until every DC is known.
struct BandTotals {
    std::int64_t AcBits = 0;
    std::int64_t Zeros = 0;
    std::int64_t SquaredError = 0;
};

class PictureCoder {
public:
    PictureCoder(const GreyPicture& picture, const PictureSettings& settings, PictureAnalysis& out)
        : picture_(picture), table_(settings.Table), ties_(settings.Ties), out_(out),
          dcs_(static_cast<std::size_t>(out.BlocksAcross * out.BlocksDown)) {}

    void CodeBand(int firstRow, int endRow, BandTotals& totals) {
        for (int by = firstRow; by < endRow; ++by) {
            for (int bx = 0; bx < out_.BlocksAcross; ++bx) {
                CodeBlock(bx, by, totals);
            }
        }
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
        Samples block{};
        for (int y = 0; y < 8; ++y) {
            const int py = std::min(by * 8 + y, h - 1);
            const std::uint8_t* row = picture_.Pixels + py * picture_.Stride;
            for (int x = 0; x < 8; ++x) {
                block[IndexAt(y, x)] = row[std::min(bx * 8 + x, w - 1)];
            }
        }
        const Indices quantised = Quantise(ForwardDct(LevelShift(block)), table_, ties_);
        const std::size_t index =
            static_cast<std::size_t>(by) * static_cast<std::size_t>(out_.BlocksAcross) +
            static_cast<std::size_t>(bx);
        dcs_[index] = quantised[0];
        const int acBits = CountAcBits(ToZigZag(quantised));
        out_.BlockBits[index] = static_cast<std::uint32_t>(acBits);
        totals.AcBits += acBits;
        totals.Zeros += std::count(quantised.begin(), quantised.end(), 0);

        const Samples back = Reconstruct(Dequantise(quantised, table_));
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
    TieRule ties_;
    PictureAnalysis& out_;
    std::vector<int> dcs_;
};

} // namespace

PictureAnalysis AnalysePicture(const GreyPicture& picture, const PictureSettings& settings) {
    PictureAnalysis out;
    if (picture.Pixels == nullptr || picture.Width <= 0 || picture.Height <= 0) {
        return out;
    }
    out.BlocksAcross = (picture.Width + 7) / 8;
    out.BlocksDown = (picture.Height + 7) / 8;
    const auto pixels = static_cast<std::size_t>(picture.Width) * picture.Height;
    const auto blocks = static_cast<std::size_t>(out.BlocksAcross) * out.BlocksDown;
    out.Reconstruction.resize(pixels);
    out.BlockBits.resize(blocks);

    PictureCoder coder(picture, settings, out);
    const unsigned threads =
        settings.Threads > 0 ? settings.Threads : std::max(1U, std::thread::hardware_concurrency());
    const int bands = std::clamp(static_cast<int>(threads), 1, out.BlocksDown);
    std::vector<BandTotals> totals(static_cast<std::size_t>(bands));
    {
        std::vector<std::jthread> workers;
        for (int b = 1; b < bands; ++b) {
            workers.emplace_back([&coder, &totals, &out, b, bands] {
                coder.CodeBand(out.BlocksDown * b / bands, out.BlocksDown * (b + 1) / bands,
                               totals[static_cast<std::size_t>(b)]);
            });
        }
        coder.CodeBand(0, out.BlocksDown / bands, totals[0]);
    } // the workers join here

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
    return out;
}

} // namespace quadrel::jpeg
