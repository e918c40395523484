#include "views/block_document.h"

#include "engine/cell_text.h"
#include "views/square_grid.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cstring>
#include <utility>

namespace quadrel {

QString PatternCaption(const QString& prefix, int first, int second) {
    return prefix + QString::fromStdString(SignedText(first)) + QLatin1Char(' ') +
           QString::fromStdString(SignedText(second));
}

bool BlockState::operator==(const BlockState& other) const {
    // Bit for bit on purpose: 0.0 and -0.0 must count as different states.
    // NOLINTBEGIN(bugprone-suspicious-memory-comparison)
    return std::memcmp(&Space, &other.Space, sizeof(Block)) == 0 &&
           std::memcmp(&Freq, &other.Freq, sizeof(Block)) == 0 && View == other.View;
    // NOLINTEND(bugprone-suspicious-memory-comparison)
}

BlockDocument::Change::Change(BlockDocument& document, const QString& step, int session)
    : document_(document) {
    if (document_.changeDepth_ == 0) {
        // A change from outside while the steps of a Build Mode transform are
        // still being shown works on the finished result.
        document_.FinishPacedBuild();
        document_.stepName_ = step;
        document_.stepSession_ = session;
    } else if (document_.stepName_.isEmpty()) {
        document_.stepName_ = step;
    }
    ++document_.changeDepth_;
}

BlockDocument::Change::~Change() {
    if (--document_.changeDepth_ == 0) {
        document_.EndChange();
    }
}

void BlockDocument::EndChange() {
    if (!buildSteps_.empty()) {
        PlayBuildSteps();
        return;
    }
    emit BlockChanged();
    if (stepSession_ != kNotAStep) {
        emit StepEnded(stepName_, stepSession_);
    }
}

void BlockDocument::PlayBuildSteps() {
    PacedBuild build{View(), stepName_, stepSession_};
    pacedBuild_ = &build;
    const std::vector<BlockView> steps = std::exchange(buildSteps_, {});
    for (const BlockView& step : steps) {
        ShowView(step);
        services_.Refresh();
        // A change begun during the pause finishes this build before it runs.
        if (!Pause(stepTimes_.BuildStepMs, nullptr) || pacedBuild_ != &build) {
            break;
        }
    }
    if (pacedBuild_ == &build) {
        FinishPacedBuild();
    }
}

void BlockDocument::FinishPacedBuild() {
    PacedBuild* build = std::exchange(pacedBuild_, nullptr);
    if (build == nullptr) {
        return;
    }
    ShowView(build->Result);
    services_.Refresh();
    emit BlockChanged();
    if (build->Session != kNotAStep) {
        emit StepEnded(build->Step, build->Session);
    }
}

bool BlockDocument::Pause(int ms, QEventLoop** current) {
    if (ms <= 0) {
        return services_.YieldEvents();
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QEventLoop* outer = current ? std::exchange(*current, &loop) : nullptr;
    timer.start(ms);
    // Every control stays usable; QUIT ends this loop (and all others) at once.
    loop.exec();
    if (current) {
        *current = outer;
    }
    return services_.YieldEvents();
}

BlockView BlockDocument::View() const {
    BlockView view;
    for (int k = 0; k < kBlockCells; ++k) {
        view.CellTexts[static_cast<std::size_t>(k)] = CellText(k);
        view.Squares[static_cast<std::size_t>(k)] = SquareColour(k).rgb();
    }
    view.CellsCaption = CellsCaption();
    view.SquaresCaption = SquaresCaption();
    return view;
}

void BlockDocument::ShowView(const BlockView& view) {
    // The cell-change rule runs on every text that changes; what it stores is
    // put back afterwards, so showing a view never alters the blocks.
    const Block freq = engine_.FreqArray;
    ++changeDepth_; // part of whatever shows the view: nothing announced here
    for (int k = 0; k < kBlockCells; ++k) {
        controls_.Cells[static_cast<std::size_t>(k)]->setText(
            view.CellTexts[static_cast<std::size_t>(k)]);
        controls_.Squares->SetColour(k, QColor::fromRgb(view.Squares[static_cast<std::size_t>(k)]));
    }
    controls_.CellsCaption->setText(view.CellsCaption);
    controls_.SquaresCaption->setText(view.SquaresCaption);
    --changeDepth_;
    engine_.FreqArray = freq;
}

BlockState BlockDocument::Snapshot() const {
    return BlockState{engine_.SpaceArray, engine_.FreqArray, View()};
}

void BlockDocument::Restore(const BlockState& state) {
    const Change change(*this, {}, kNotAStep);
    ShowView(state.View);
    engine_.SpaceArray = state.Space;
    engine_.FreqArray = state.Freq;
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
        BuildStepShown();
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
    const Change change(*this, tr("Load Block"));
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

void BlockDocument::BuildStepShown() {
    if (stepTimes_.BuildStepMs > 0) {
        buildSteps_.push_back(View()); // shown at the pace when the change ends
    } else {
        PaintStep();
    }
}

void BlockDocument::DCTandDraw() {
    const Change change(*this, tr("DCT"));
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
    const Change change(*this, tr("IDCT"));
    ShowIDCT();
}

void BlockDocument::BuildPicture() {
    const Change change(*this, tr("IDCT"));
    ShowIDCT();
    controls_.CellsCaption->setText(kFreqAmplitudes);
    controls_.SquaresCaption->setText(kPixelPattern);
}

void BlockDocument::Quantise() {
    const Change change(*this, tr("Quantise"));
    engine_.QuantiseBlock();
    WriteFreq();
    ShowIDCT();
    services_.Refresh();
}

void BlockDocument::Stop() {
    engine_.StopFlag = true;
    if (cycleWait_ != nullptr) {
        cycleWait_->quit(); // the pattern on screen is the last: no need to wait on
    }
}

void BlockDocument::CycleThroDCTPatterns() {
    if (cycleDepth_ >= kMaxCycleDepth) {
        return;
    }
    bool ending = false;
    {
        // The cycle's own pause is the one STOP cuts short; an outer cycle's
        // pause comes back when this one ends.
        QEventLoop* const outerWait = std::exchange(cycleWait_, nullptr);
        ++cycleDepth_;
        ending = !ShowPatterns();
        --cycleDepth_;
        cycleWait_ = outerWait;
    }
    if (!ending) {
        emit StepEnded(tr("Pattern Cycle"), 0);
    }
}

bool BlockDocument::ShowPatterns() {
    const int n = engine_.MaxIndex;
    for (int v = 0; v <= n; ++v) {
        for (int u = 0; u <= n; ++u) {
            {
                // Each pattern is announced; the whole cycle is one undo step.
                const Change step(*this, {}, kNotAStep);
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
            if (!Pause(stepTimes_.PatternMs, &cycleWait_)) {
                return false; // the program is ending: no further step is computed or shown
            }
            if (engine_.StopFlag) {
                engine_.StopFlag = false;
                return true;
            }
        }
    }
    return true;
}

void BlockDocument::SetSquaresCaption(const QString& caption) {
    const Change change(*this);
    controls_.SquaresCaption->setText(caption);
}

void BlockDocument::DoubleQuantStep() {
    const Change change(*this, {}, kNotAStep); // the step is no part of the block
    engine_.DoubleScale();
}

void BlockDocument::HalveQuantStep() {
    const Change change(*this, {}, kNotAStep);
    engine_.HalveScale();
}

void BlockDocument::SetBuildMode(bool on) {
    engine_.BuildMode = on;
}

void BlockDocument::ApplyCellText(int k) {
    // Typed or pasted text announces itself; a program write is part of the
    // operation that made it. Typing alone makes no undo step: it belongs to the
    // next command's step.
    const Change change(*this, {}, kNotAStep);
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
