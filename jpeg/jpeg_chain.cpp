#include "jpeg/jpeg_chain.h"

namespace quadrel::jpeg {

QuantTable StandardTable(HuffmanClass component, int quality) {
    return component == HuffmanClass::Luminance ? LuminanceTable(quality)
                                                : ChrominanceTable(quality);
}

void AnalyseBlock(const Samples& block, const ChainSettings& settings, BlockAnalysis& out) {
    out.Block = block;
    out.Shifted = LevelShift(block);
    out.Coefficients = ForwardDct(out.Shifted);
    out.Quantised = Quantise(out.Coefficients, settings.Table, settings.Ties);
    KeepFirst(out.Quantised, settings.Keep);
    out.Dequantised = Dequantise(out.Quantised, settings.Table);
    out.ZigZag = ToZigZag(out.Quantised);
    out.DcDifference = out.Quantised[0] - settings.PreviousDc;
    EncodeBlock(out.ZigZag, out.DcDifference, out.Symbols, settings.Component);
    BitTotals& bits = out.Bits;
    bits = {};
    for (const Symbol& s : out.Symbols) {
        (s.Kind == SymbolKind::Dc ? bits.Dc : bits.Ac) += s.Length();
    }
    bits.Total = bits.Dc + bits.Ac;
    bits.BitsPerPixel = bits.Total / static_cast<double>(kBlockCells);
    bits.CompressionRatio = 8.0 / bits.BitsPerPixel;
    out.Reconstruction = Reconstruct(out.Dequantised);
    out.Error = MeasureError(block, out.Reconstruction);
}

BlockAnalysis AnalyseBlock(const Samples& block, const ChainSettings& settings) {
    BlockAnalysis out;
    AnalyseBlock(block, settings, out);
    return out;
}

} // namespace quadrel::jpeg
