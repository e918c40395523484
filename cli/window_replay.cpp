#include "cli/window_replay.h"

#include "block_file/block_file_format.h"
#include "engine/cell_text.h"

namespace quadrel::cli {

WindowReplay::WindowReplay() {
    engine_.SetConsts();
    engine_.MakeCosTable();
    engine_.ResetFreqSpace();
    // Opening the window runs the DCT of the empty block: every cell shows 0.
    engine_.PerformDCT();
    texts_.fill({});
    WriteFreq();
}

void WindowReplay::WriteFreq() {
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            // Read only now: an earlier write in this pass may have changed it.
            const std::string text = TruncatedText(engine_.FreqArray[i][j]);
            std::string& shown =
                texts_[static_cast<std::size_t>(i) + 8U * static_cast<std::size_t>(j)];
            if (text != shown) {
                shown = text;
                engine_.FreqArray[i][j] = CellTextValue(CleanCellText(text));
            }
        }
    }
}

void WindowReplay::LoadBlock(const std::vector<double>& values) {
    StoreBlockValues(values, engine_.SpaceArray);
    engine_.PerformDCT();
    WriteFreq();
}

void WindowReplay::EnterFrequencies(const std::vector<double>& values) {
    for (std::size_t k = 0; k < values.size() && k < 64; ++k) {
        engine_.FreqArray[k % 8][k / 8] = values[k];
        texts_[k] = TruncatedText(values[k]);
    }
}

void WindowReplay::BuildPicture() {
    engine_.PerformIDCT();
    WriteFreq();
}

bool WindowReplay::IsQuantStep(int step) {
    return step >= 1 && step <= DctEngine::kMaxQuantScale && (step & (step - 1)) == 0;
}

bool WindowReplay::SetQuantStep(int step) {
    if (!IsQuantStep(step)) {
        return false;
    }
    while (engine_.QuantScale < step) {
        engine_.DoubleScale();
    }
    while (engine_.QuantScale > step) {
        engine_.HalveScale();
    }
    return true;
}

void WindowReplay::Quantise() {
    engine_.QuantiseBlock();
    WriteFreq();
    BuildPicture();
}

void WindowReplay::ShowPattern(int u, int v) {
    constexpr double kPatternLevel = 512;
    engine_.ResetFreqSpace();
    engine_.SetFreqValue(0, 0, kPatternLevel);
    engine_.SetFreqValue(u, v, kPatternLevel);
    BuildPicture();
}

} // namespace quadrel::cli
