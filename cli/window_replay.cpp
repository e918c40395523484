#include "cli/window_replay.h"

#include "block_file/block_file_format.h"
#include "engine/cell_text.h"

namespace quadrel::cli {

WindowReplay::WindowReplay() {
    // Opening the window runs the DCT of the empty block: every cell shows 0.
    model_.DCTandDraw();
}

void WindowReplay::LoadBlock(const std::vector<double>& values) {
    StoreBlockValues(values, model_.Engine().SpaceArray);
    model_.DCTandDraw();
}

void WindowReplay::EnterFrequencies(const std::vector<double>& values) {
    // The state a window reaches by showing these values: each cell shows its
    // value truncated while the block keeps the value itself.
    BlockShown shown = model_.Shown();
    for (std::size_t k = 0; k < values.size() && k < kBlockCells; ++k) {
        const int cell = static_cast<int>(k);
        model_.SetFreq(CellColumn(cell), CellRow(cell), values[k]);
        shown.CellTexts[k] = TruncatedText(values[k]);
    }
    model_.Show(shown);
}

void WindowReplay::BuildPicture() {
    model_.IDCTandDraw();
}

bool WindowReplay::IsQuantStep(int step) {
    return step >= 1 && step <= DctEngine::kMaxQuantScale && (step & (step - 1)) == 0;
}

bool WindowReplay::SetQuantStep(int step) {
    if (!IsQuantStep(step)) {
        return false;
    }
    while (model_.QuantStep() < step) {
        model_.DoubleQuantStep();
    }
    while (model_.QuantStep() > step) {
        model_.HalveQuantStep();
    }
    return true;
}

void WindowReplay::Quantise() {
    model_.Quantise();
}

void WindowReplay::ShowPattern(int u, int v) {
    // As "View Single DCT Pattern" sets the block before its inverse transform.
    model_.ClearFreq();
    model_.SetFreq(0, 0, kPatternLevel);
    model_.SetFreq(u, v, kPatternLevel);
    model_.IDCTandDraw();
}

} // namespace quadrel::cli
