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

QString ShownText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString PatternCaption(const QString& prefix, int first, int second) {
    return ShownText(PatternCaptionText(prefix.toStdString(), first, second));
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
    PacedBuild build{model_.Shown(), stepName_, stepSession_};
    pacedBuild_ = &build;
    const std::vector<BlockShown> steps = std::exchange(buildSteps_, {});
    for (const BlockShown& step : steps) {
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

void BlockDocument::ShowView(const BlockShown& view) {
    ++changeDepth_; // part of whatever shows the view: nothing announced here
    model_.Show(view);
    --changeDepth_;
}

BlockState BlockDocument::Snapshot() const {
    return BlockState{model_.Space(), model_.Freq(), model_.Shown()};
}

void BlockDocument::Restore(const BlockState& state) {
    const Change change(*this, {}, kNotAStep);
    ShowView(state.View);
    model_.Engine().SpaceArray = state.Space;
    model_.Engine().FreqArray = state.Freq;
}

BlockDocument::BlockDocument(BlockControls controls, WindowServices services, QObject* parent)
    : QObject(parent), controls_(controls), services_(std::move(services)) {
    ShowModelWrites();
}

void BlockDocument::ShowModelWrites() {
    BlockObserver observer;
    observer.CellWritten = [this](int k) {
        // setText emits textChanged only when the text really changes; the rule
        // then finds the model already showing that text and stores nothing more.
        controls_.Cells.at(static_cast<std::size_t>(k))->setText(ShownText(model_.CellText(k)));
    };
    observer.SquareDrawn = [this](int k) {
        const int g = model_.Grey(k);
        controls_.Squares->SetColour(k, QColor(g, g, g));
    };
    observer.CaptionsWritten = [this] {
        controls_.CellsCaption->setText(ShownText(model_.CellsCaption()));
        controls_.SquaresCaption->setText(ShownText(model_.SquaresCaption()));
    };
    // Build Mode: every intermediate picture, fully painted, before the next
    // coefficient is added.
    observer.BuildStep = [this] { BuildStepShown(); };
    model_.SetObserver(std::move(observer));
}

QString BlockDocument::CellText(int k) const {
    return ShownText(model_.CellText(k));
}

QColor BlockDocument::SquareColour(int k) const {
    const int g = model_.Grey(k);
    return {g, g, g};
}

QString BlockDocument::CellsCaption() const {
    return ShownText(model_.CellsCaption());
}

QString BlockDocument::SquaresCaption() const {
    return ShownText(model_.SquaresCaption());
}

void BlockDocument::ClearFreq() {
    model_.ClearFreq();
}

void BlockDocument::SetFreq(int u, int v, double value) {
    model_.SetFreq(u, v, value);
}

void BlockDocument::SetSpace(int x, int y, double value) {
    model_.SetSpace(x, y, value);
}

void BlockDocument::SetSpaceBlock(const Block& space) {
    model_.SetSpaceBlock(space);
}

void BlockDocument::LoadSpaceBlock(const Block& space) {
    const Change change(*this, tr("Load Block"));
    SetSpaceBlock(space);
    DCTandDraw();
}

void BlockDocument::PaintStep() {
    services_.Refresh();
}

void BlockDocument::BuildStepShown() {
    if (stepTimes_.BuildStepMs > 0) {
        buildSteps_.push_back(model_.Shown()); // shown at the pace when the change ends
    } else {
        PaintStep();
    }
}

void BlockDocument::DCTandDraw() {
    const Change change(*this, tr("DCT"));
    model_.DCTandDraw();
}

void BlockDocument::ShowIDCT() {
    model_.IDCTandDraw();
    services_.Refresh();
}

void BlockDocument::IDCTandDraw() {
    const Change change(*this, tr("IDCT"));
    ShowIDCT();
}

void BlockDocument::BuildPicture() {
    const Change change(*this, tr("IDCT"));
    ShowIDCT();
    model_.SetCellsCaption(kFreqAmplitudesCaption);
    model_.SetSquaresCaption(kPixelPatternCaption);
}

void BlockDocument::Quantise() {
    const Change change(*this, tr("Quantise"));
    model_.Quantise();
    services_.Refresh();
}

void BlockDocument::Stop() {
    model_.Engine().StopFlag = true;
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
    DctEngine& engine = model_.Engine();
    const int n = engine.MaxIndex;
    for (int v = 0; v <= n; ++v) {
        for (int u = 0; u <= n; ++u) {
            {
                // Each pattern is announced; the whole cycle is one undo step.
                const Change step(*this, {}, kNotAStep);
                model_.ShowCyclePattern(u, v);
                PaintStep();
            }
            if (!Pause(stepTimes_.PatternMs, &cycleWait_)) {
                return false; // the program is ending: no further step is computed or shown
            }
            if (engine.StopFlag) {
                engine.StopFlag = false;
                return true;
            }
        }
    }
    return true;
}

void BlockDocument::SetSquaresCaption(const QString& caption) {
    const Change change(*this);
    model_.SetSquaresCaption(caption.toStdString());
}

void BlockDocument::DoubleQuantStep() {
    const Change change(*this, {}, kNotAStep); // the step is no part of the block
    model_.DoubleQuantStep();
}

void BlockDocument::HalveQuantStep() {
    const Change change(*this, {}, kNotAStep);
    model_.HalveQuantStep();
}

void BlockDocument::SetBuildMode(bool on) {
    model_.SetBuildMode(on);
}

void BlockDocument::ApplyCellText(int k) {
    // Typed or pasted text announces itself; a program write is part of the
    // operation that made it. Typing alone makes no undo step: it belongs to the
    // next command's step.
    const Change change(*this, {}, kNotAStep);
    QLineEdit* cell = controls_.Cells.at(static_cast<std::size_t>(k));
    if (model_.SetCellText(k, cell->text().toStdString())) {
        // Showing the cleaned text raises this rule once more for the same cell;
        // the model already shows that text, so that run stores nothing.
        const QString cleaned = ShownText(model_.CellText(k));
        if (cell->text() != cleaned) {
            cell->setText(cleaned);
        }
    }
}

} // namespace quadrel
