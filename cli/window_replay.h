#pragma once
// The main window's block commands without the window, on the window's own
// block model: every grid write follows the same cell-change rule, so the
// numbers reached from a freshly opened window are bit for bit the ones the
// window holds.

#include "engine/block_model.h"

#include <array>
#include <string>
#include <vector>

namespace quadrel::cli {

class WindowReplay {
public:
    /// A freshly opened window: every cell shows 0, step 16.
    WindowReplay();

    /// "Load Block": the values (up to 64) go to the pixel block, then its DCT is shown.
    void LoadBlock(const std::vector<double>& values);
    /// The frequency block as the window holds it after showing it: every cell
    /// shows its value truncated. Whole numbers are exactly what typing them
    /// gives; the exact values of an earlier `dct` continue that window's state.
    void EnterFrequencies(const std::vector<double>& values);
    /// "Build Picture": inverse DCT, then the frequency grid is written again.
    void BuildPicture();
    /// The step reachable with "+" and "-" from 16: a power of two 1..512.
    static bool IsQuantStep(int step);
    /// Presses "+" or "-" until the step is reached; false (and no change) if it cannot be.
    bool SetQuantStep(int step);
    /// "Quantise": quantise, show, inverse DCT, show again.
    void Quantise();
    /// "View Single DCT Pattern" with horizontal frequency u and vertical v (0..7).
    void ShowPattern(int u, int v);

    const DctEngine& Engine() const { return model_.Engine(); }
    /// Text of frequency cell (u, v) at index u + 8 v, as the window shows it.
    const std::array<std::string, kBlockCells>& FreqTexts() const {
        return model_.Shown().CellTexts;
    }

private:
    BlockModel model_;
};

} // namespace quadrel::cli
