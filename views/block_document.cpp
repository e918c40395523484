#include "views/block_document.h"

#include "engine/cell_text.h"
#include "views/square_grid.h"

#include <QLabel>
#include <QLineEdit>

namespace quadrel {

QString PatternCaption(const QString& prefix, int first, int second) {
    return prefix + QString::fromStdString(SignedText(first)) + QLatin1Char(' ') +
           QString::fromStdString(SignedText(second));
}

BlockDocument::Change::Change(BlockDocument& document) : document_(document) {
    ++document_.changeDepth_;
}

BlockDocument::Change::~Change() {
    if (--document_.changeDepth_ == 0) {
        emit document_.BlockChanged();
    }
}

BlockDocument::BlockDocument(BlockControls controls, WindowServices services, QObject* parent)
    : QObject(parent), controls_(controls), services_(std::move(services)) {
    engine_.SetConsts();
    engine_.MakeCosTable();
    engine_.ResetFreqSpace();
    // Build Mode: show every intermediate picture, fully painted, before the next
    // coefficient is added.
    engine_.SetBuildStepObserver([this] {
        WriteFreq();
        DrawSpace();
        PaintStep();
    });
}

QString BlockDocument::CellText(int k) const {
    return controls_.Cells.at(static_cast<std::size_t>(k))->text();
}

QColor BlockDocument::SquareColour(int k) const {
    return controls_.Squares->Colour(k);
}

QString BlockDocument::CellsCaption() const {
    return controls_.CellsCaption->text();
}

QString BlockDocument::SquaresCaption() const {
    return controls_.SquaresCaption->text();
}

void BlockDocument::ClearFreq() {
    engine_.ResetFreqSpace();
}

void BlockDocument::SetFreq(int u, int v, double value) {
    engine_.SetFreqValue(u, v, value);
}

void BlockDocument::SetSpace(int x, int y, double value) {
    engine_.SetSpaceValue(x, y, value);
}

void BlockDocument::SetSpaceBlock(const Block& space) {
    engine_.SpaceArray = space;
}

void BlockDocument::LoadSpaceBlock(const Block& space) {
    const Change change(*this);
    SetSpaceBlock(space);
    DCTandDraw();
}

void BlockDocument::WriteCell(int k, const std::string& text) {
    // setText emits textChanged only when the text really changes, which is
    // exactly when the cell-change rule must run.
    controls_.Cells[static_cast<std::size_t>(k)]->setText(QString::fromStdString(text));
}

void BlockDocument::WriteFreq() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            // Read the value only now: writing an earlier cell may have changed it.
            WriteCell(CellIndex(i, j), TruncatedText(engine_.FreqArray[i][j]));
        }
    }
    controls_.CellsCaption->setText(kFreqAmplitudes);
}

void BlockDocument::WriteSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            WriteCell(CellIndex(i, j), FlooredText(engine_.SpaceArray[i][j]));
        }
    }
}

void BlockDocument::DrawSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            const int g = GreyLevel(engine_.SpaceArray[i][j]);
            controls_.Squares->SetColour(CellIndex(i, j), QColor(g, g, g));
        }
    }
    controls_.SquaresCaption->setText(kPixelPattern);
}

void BlockDocument::PaintStep() {
    services_.Refresh();
}

void BlockDocument::DCTandDraw() {
    const Change change(*this);
    engine_.PerformDCT();
    DrawSpace();
    WriteFreq();
}

void BlockDocument::ShowIDCT() {
    engine_.PerformIDCT();
    WriteFreq();
    DrawSpace();
    services_.Refresh();
}

void BlockDocument::IDCTandDraw() {
    const Change change(*this);
    ShowIDCT();
}

void BlockDocument::BuildPicture() {
    const Change change(*this);
    ShowIDCT();
    controls_.CellsCaption->setText(kFreqAmplitudes);
    controls_.SquaresCaption->setText(kPixelPattern);
}

void BlockDocument::Quantise() {
    const Change change(*this);
    engine_.QuantiseBlock();
    WriteFreq();
    ShowIDCT();
    services_.Refresh();
}

void BlockDocument::CycleThroDCTPatterns() {
    const int n = engine_.MaxIndex;
    for (int v = 0; v <= n; ++v) {
        for (int u = 0; u <= n; ++u) {
            {
                const Change step(*this);
                engine_.ResetFreqSpace();
                engine_.FreqArray[0][0] = 512;
                engine_.FreqArray[u][v] = 512;
                engine_.PerformIDCT();
                controls_.CellsCaption->setText(kPixelAmplitudes);
                WriteSpace();
                DrawSpace();
                controls_.SquaresCaption->setText(
                    PatternCaption(QStringLiteral("DCT Pattern: "), v, u));
                PaintStep();
            }
            if (!services_.YieldEvents()) {
                return; // the program is ending: no further step is computed or shown
            }
            if (engine_.StopFlag) {
                engine_.StopFlag = false;
                return;
            }
        }
    }
}

void BlockDocument::SetSquaresCaption(const QString& caption) {
    const Change change(*this);
    controls_.SquaresCaption->setText(caption);
}

void BlockDocument::DoubleQuantStep() {
    const Change change(*this);
    engine_.DoubleScale();
}

void BlockDocument::HalveQuantStep() {
    const Change change(*this);
    engine_.HalveScale();
}

void BlockDocument::SetBuildMode(bool on) {
    engine_.BuildMode = on;
}

void BlockDocument::ApplyCellText(int k) {
    // Typed or pasted text announces itself; a program write is part of the
    // operation that made it.
    const Change change(*this);
    QLineEdit* cell = controls_.Cells[static_cast<std::size_t>(k)];
    const std::string cleaned = CleanCellText(cell->text().toStdString());
    // Changing the text raises this rule once more for the same cell; that
    // second run finds nothing to clean and stores the same value.
    const QString cleanedText = QString::fromStdString(cleaned);
    if (cell->text() != cleanedText) {
        cell->setText(cleanedText);
    }
    engine_.FreqArray.Cell(k) = CellTextValue(cleaned);
}

} // namespace quadrel
