#pragma once
// The main window's whole block state without a window: the engine with both
// blocks, the quantiser step and the flags; the 64 cell texts, the 64 grey
// squares and the two captions that show them; and the cell-change rule that
// couples the cells back to the frequency block. Every window and quadrel-cli's
// window-faithful commands work through one of these, so the rule is written
// once.
//
// The cell-change rule: a write that changes cell k's text cleans it and stores
// its number as frequency coefficient k; a write that leaves the text as it was
// stores nothing.
//
// A view (the window's cells, squares and labels) follows through the observer:
// it hears every cell, square and caption written, in the order written.

#include "engine/dct_engine.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace quadrel {

inline constexpr std::string_view kFreqAmplitudesCaption = "Freq. Amplitudes";
inline constexpr std::string_view kPixelPatternCaption = "Pixel Pattern";
inline constexpr std::string_view kPixelAmplitudesCaption = "Pixel Amplitudes";
/// The level of both coefficients of a shown basis pattern.
inline constexpr double kPatternLevel = 512;

/// "DCT Pattern:  0  3": a prefix and two signed texts.
std::string PatternCaptionText(std::string_view prefix, int first, int second);

/// Everything the main window shows of the block.
struct BlockShown {
    std::array<std::string, kBlockCells> CellTexts;
    std::array<int, kBlockCells> Grey{}; ///< grey level 0..255 of each square
    std::string CellsCaption;
    std::string SquaresCaption;
    bool operator==(const BlockShown&) const = default;
};

/// What a view of the model hears. Each may be empty.
struct BlockObserver {
    std::function<void(int k)> CellWritten; ///< also when the text stayed as it was
    std::function<void(int k)> SquareDrawn;
    std::function<void()> CaptionsWritten;
    /// A Build Mode inverse transform has added one more coefficient and shown it.
    std::function<void()> BuildStep;
};

class BlockModel {
public:
    /// The engine's start values and an empty block; nothing shown yet.
    BlockModel();
    // The engine's Build Mode observer points here.
    BlockModel(const BlockModel&) = delete;
    BlockModel& operator=(const BlockModel&) = delete;

    void SetObserver(BlockObserver observer) { observer_ = std::move(observer); }

    // Reading.
    const Block& Space() const { return engine_.SpaceArray; }
    const Block& Freq() const { return engine_.FreqArray; }
    int QuantStep() const { return engine_.QuantScale; }
    bool BuildMode() const { return engine_.BuildMode; }
    const std::string& CellText(int k) const { return shown_.CellTexts.at(Index(k)); }
    int Grey(int k) const { return shown_.Grey.at(Index(k)); }
    const std::string& CellsCaption() const { return shown_.CellsCaption; }
    const std::string& SquaresCaption() const { return shown_.SquaresCaption; }
    const BlockShown& Shown() const { return shown_; }
    /// The engine itself. Writes through it are not shown.
    DctEngine& Engine() { return engine_; }
    const DctEngine& Engine() const { return engine_; }

    /// The cell-change rule. Returns true when the text changed (and so a number
    /// was stored).
    bool SetCellText(int k, std::string_view text);
    /// Shows a saved view as it was: the rule does not run, the blocks stay.
    void Show(const BlockShown& shown);

    // Values, shown by the operation that follows.
    void ClearFreq() { engine_.ResetFreqSpace(); }
    /// Writes nothing when an index lies outside 0..7.
    void SetFreq(int u, int v, double value) { engine_.SetFreqValue(u, v, value); }
    void SetSpace(int x, int y, double value) { engine_.SetSpaceValue(x, y, value); }
    void SetSpaceBlock(const Block& space) { engine_.SpaceArray = space; }
    void SetBuildMode(bool on) { engine_.BuildMode = on; }

    // The grid writers.
    /// The frequency block, truncated, into the cells, under "Freq. Amplitudes".
    void WriteFreq();
    /// The pixel block, rounded down, into the cells.
    void WriteSpace();
    /// The pixel block into the squares, under "Pixel Pattern".
    void DrawSpace();
    void SetCellsCaption(std::string_view caption);
    void SetSquaresCaption(std::string_view caption);

    // The window's operations, without painting.
    /// DCT, then the squares and the cells.
    void DCTandDraw();
    /// Inverse DCT, then the cells and the squares; in Build Mode after every coefficient.
    void IDCTandDraw();
    /// IDCTandDraw under the captions "Freq. Amplitudes" and "Pixel Pattern".
    void BuildPicture();
    /// Quantises and dequantises the frequency block, shows it and its reconstruction.
    void Quantise();
    /// One step of the pattern cycle: basis pattern (u, v) in the cells and squares.
    void ShowCyclePattern(int u, int v);
    void DoubleQuantStep() { engine_.DoubleScale(); }
    void HalveQuantStep() { engine_.HalveScale(); }

private:
    static std::size_t Index(int k) { return static_cast<std::size_t>(k); }
    void WriteCell(int k, const std::string& text);
    void CaptionsWritten();

    DctEngine engine_;
    BlockShown shown_;
    BlockObserver observer_;
};

} // namespace quadrel
