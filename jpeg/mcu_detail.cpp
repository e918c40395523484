#include "jpeg/mcu_detail.h"

#include <algorithm>

namespace quadrel::jpeg {

namespace {

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

/// The picture's pixel (x, y) converted, x and y inside the picture.
std::array<std::uint8_t, 3> YccAt(const ColourPicture& picture, int x, int y) {
    const std::uint8_t* rgb = picture.Pixels + picture.Stride * y + std::ptrdiff_t{3} * x;
    return RgbToYcc(rgb[0], rgb[1], rgb[2]);
}

/// The geometry DescribeMcu works in, checked against the kept blocks.
struct McuGrid {
    SamplingFactors Luma;
    int Across = 0; ///< MCUs
    int Down = 0;
};

bool Matches(const ColourPicture& picture, const McuGrid& grid, const CodedPicture& coded) {
    if (coded.Width != picture.Width || coded.Height != picture.Height ||
        coded.Components.size() != 3) {
        return false;
    }
    for (std::size_t c = 0; c < 3; ++c) {
        const CodedComponent& k = coded.Components[c];
        const SamplingFactors f = c == 0 ? grid.Luma : SamplingFactors{1, 1};
        if (k.H != f.Horizontal || k.V != f.Vertical || k.BlocksAcross != grid.Across * k.H ||
            k.BlocksDown != grid.Down * k.V ||
            k.Blocks.size() !=
                static_cast<std::size_t>(k.BlocksAcross) * static_cast<std::size_t>(k.BlocksDown)) {
            return false;
        }
    }
    return true;
}

const CoefficientBlock& KeptBlock(const CodedComponent& k, int bx, int by) {
    return k.Blocks[static_cast<std::size_t>(by) * static_cast<std::size_t>(k.BlocksAcross) +
                    static_cast<std::size_t>(bx)];
}

/// DC of the block the encoder codes before block (xi, yi) of MCU (mx, my) in
/// this component: the one before in the MCU, else the last of the MCU before.
int PredictionOf(const CodedComponent& k, const McuGrid& grid, int mx, int my, int xi, int yi) {
    if (xi > 0 || yi > 0) {
        const int px = xi > 0 ? xi - 1 : k.H - 1;
        const int py = xi > 0 ? yi : yi - 1;
        return KeptBlock(k, mx * k.H + px, my * k.V + py)[0];
    }
    const int mcu = my * grid.Across + mx;
    if (mcu == 0) {
        return 0;
    }
    const int before = mcu - 1;
    const int bmx = before % grid.Across;
    const int bmy = before / grid.Across;
    return KeptBlock(k, bmx * k.H + k.H - 1, bmy * k.V + k.V - 1)[0];
}

void DescribeSamples(const ColourPicture& picture, Subsampling sampling, McuBlock& block) {
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            const int cell = v * 8 + u;
            const SampleSource source =
                SourceOfSample(picture.Width, picture.Height, sampling, block.Component,
                               block.BlockX * 8 + u, block.BlockY * 8 + v);
            SampleAverage& average = block.Averages[static_cast<std::size_t>(cell)];
            average.Rounding = source.Rounding;
            average.SampledRow = source.SampledRow;
            average.RepeatsRow = source.SampledRow != block.BlockY * 8 + v;
            average.Outside = source.Outside;
            for (const auto& [x, y] : source.Pixels) {
                const int value = YccAt(picture, x, y)[block.Component];
                average.Terms.push_back({x, y, value});
                average.Sum += value;
            }
            average.Value = (average.Sum + average.Rounding.Bias) / average.Rounding.Divisor;
        }
    }
}

} // namespace

Samples McuBlock::Values() const {
    Samples values{};
    for (std::size_t k = 0; k < values.size(); ++k) {
        values[k] = static_cast<std::uint8_t>(Averages[k].Value);
    }
    return values;
}

Result<McuDetail> DescribeMcu(const ColourPicture& picture, Subsampling sampling,
                              const CodedPicture& coded, int x, int y) {
    if (picture.Pixels == nullptr || picture.Components != 3 || x < 0 || y < 0 ||
        x >= picture.Width || y >= picture.Height) {
        return Fail("The pixel lies beyond the colour picture.");
    }
    McuGrid grid;
    grid.Luma = LumaFactors(sampling);
    grid.Across = CeilDiv(picture.Width, grid.Luma.Horizontal * 8);
    grid.Down = CeilDiv(picture.Height, grid.Luma.Vertical * 8);
    if (!Matches(picture, grid, coded)) {
        return Fail("The coded blocks belong to another picture or sampling.");
    }
    McuDetail mcu;
    mcu.Width = grid.Luma.Horizontal * 8;
    mcu.Height = grid.Luma.Vertical * 8;
    mcu.Column = x / mcu.Width;
    mcu.Row = y / mcu.Height;
    mcu.X = mcu.Column * mcu.Width;
    mcu.Y = mcu.Row * mcu.Height;
    mcu.InsideWidth = std::min(mcu.Width, picture.Width - mcu.X);
    mcu.InsideHeight = std::min(mcu.Height, picture.Height - mcu.Y);
    for (int py = 0; py < mcu.Height; ++py) {
        for (int px = 0; px < mcu.Width; ++px) {
            const int sx = std::min(mcu.X + px, picture.Width - 1);
            const int sy = std::min(mcu.Y + py, picture.Height - 1);
            const std::uint8_t* rgb = picture.Pixels + picture.Stride * sy + std::ptrdiff_t{3} * sx;
            mcu.Pixels.push_back({{rgb[0], rgb[1], rgb[2]},
                                  YccAt(picture, sx, sy),
                                  sx,
                                  sy,
                                  px >= mcu.InsideWidth || py >= mcu.InsideHeight});
        }
    }
    for (std::size_t c = 0; c < 3; ++c) {
        const CodedComponent& k = coded.Components[c];
        // Blocks holding samples; the rest of the MCU's blocks are padding.
        const int across = CeilDiv(picture.Width * k.H, grid.Luma.Horizontal * 8);
        const int down = CeilDiv(picture.Height * k.V, grid.Luma.Vertical * 8);
        for (int yi = 0; yi < k.V; ++yi) {
            for (int xi = 0; xi < k.H; ++xi) {
                McuBlock& block = mcu.Blocks.emplace_back();
                block.Component = c;
                block.Index = yi * k.H + xi;
                block.BlockX = mcu.Column * k.H + xi;
                block.BlockY = mcu.Row * k.V + yi;
                block.Padding = block.BlockX >= across || block.BlockY >= down;
                block.Tables = c == 0 ? HuffmanClass::Luminance : HuffmanClass::Chrominance;
                if (!block.Padding) {
                    DescribeSamples(picture, sampling, block);
                }
                const CoefficientBlock& kept = KeptBlock(k, block.BlockX, block.BlockY);
                std::copy(kept.begin(), kept.end(), block.Quantised.begin());
                block.Prediction = PredictionOf(k, grid, mcu.Column, mcu.Row, xi, yi);
                block.DcDifference = block.Quantised[0] - block.Prediction;
                EncodeBlock(ToZigZag(block.Quantised), block.DcDifference, block.Symbols,
                            block.Tables);
                for (const Symbol& symbol : block.Symbols) {
                    block.Bits += symbol.Length();
                }
            }
        }
    }
    return mcu;
}

} // namespace quadrel::jpeg
