#include "engine/block_model.h"

#include "engine/cell_text.h"

namespace quadrel {

std::string PatternCaptionText(std::string_view prefix, int first, int second) {
    return std::string(prefix) + SignedText(first) + ' ' + SignedText(second);
}

BlockModel::BlockModel() {
    engine_.SetConsts();
    engine_.MakeCosTable();
    engine_.ResetFreqSpace();
    // Build Mode: every intermediate picture is shown before the next
    // coefficient is added.
    engine_.SetBuildStepObserver([this] {
        WriteFreq();
        DrawSpace();
        if (observer_.BuildStep) {
            observer_.BuildStep();
        }
    });
}

bool BlockModel::SetCellText(int k, std::string_view text) {
    std::string& shown = shown_.CellTexts.at(Index(k));
    if (text == shown) {
        return false;
    }
    // The cleaned text is what the cell keeps; cleaning it again changes
    // nothing, so the rule runs once per change.
    shown = CleanCellText(text);
    engine_.FreqArray.Cell(k) = CellTextValue(shown);
    return true;
}

void BlockModel::Show(const BlockShown& shown) {
    shown_ = shown;
    for (int k = 0; k < kBlockCells; ++k) {
        if (observer_.CellWritten) {
            observer_.CellWritten(k);
        }
        if (observer_.SquareDrawn) {
            observer_.SquareDrawn(k);
        }
    }
    CaptionsWritten();
}

void BlockModel::WriteCell(int k, const std::string& text) {
    SetCellText(k, text);
    if (observer_.CellWritten) {
        observer_.CellWritten(k);
    }
}

void BlockModel::CaptionsWritten() {
    if (observer_.CaptionsWritten) {
        observer_.CaptionsWritten();
    }
}

void BlockModel::WriteFreq() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            // Read the value only now: writing an earlier cell may have changed it.
            WriteCell(CellIndex(i, j), TruncatedText(engine_.FreqArray[i][j]));
        }
    }
    SetCellsCaption(kFreqAmplitudesCaption);
}

void BlockModel::WriteSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            WriteCell(CellIndex(i, j), FlooredText(engine_.SpaceArray[i][j]));
        }
    }
}

void BlockModel::DrawSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            const int k = CellIndex(i, j);
            shown_.Grey.at(Index(k)) = GreyLevel(engine_.SpaceArray[i][j]);
            if (observer_.SquareDrawn) {
                observer_.SquareDrawn(k);
            }
        }
    }
    SetSquaresCaption(kPixelPatternCaption);
}

void BlockModel::SetCellsCaption(std::string_view caption) {
    shown_.CellsCaption = caption;
    CaptionsWritten();
}

void BlockModel::SetSquaresCaption(std::string_view caption) {
    shown_.SquaresCaption = caption;
    CaptionsWritten();
}

void BlockModel::DCTandDraw() {
    engine_.PerformDCT();
    DrawSpace();
    WriteFreq();
}

void BlockModel::IDCTandDraw() {
    engine_.PerformIDCT();
    WriteFreq();
    DrawSpace();
}

void BlockModel::BuildPicture() {
    IDCTandDraw();
    SetCellsCaption(kFreqAmplitudesCaption);
    SetSquaresCaption(kPixelPatternCaption);
}

void BlockModel::Quantise() {
    engine_.QuantiseBlock();
    WriteFreq();
    IDCTandDraw();
}

void BlockModel::ShowCyclePattern(int u, int v) {
    engine_.ResetFreqSpace();
    engine_.SetFreqValue(0, 0, kPatternLevel);
    engine_.SetFreqValue(u, v, kPatternLevel);
    engine_.PerformIDCT();
    SetCellsCaption(kPixelAmplitudesCaption);
    WriteSpace();
    DrawSpace();
    SetSquaresCaption(PatternCaptionText("DCT Pattern: ", v, u));
}

} // namespace quadrel
