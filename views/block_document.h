#pragma once
// The one seam between the windows and the block. The block itself and the
// cell-change rule live in a BlockModel (no toolkit); this object wraps it with
// what a window adds: announcing changes, undo steps and the pace of long
// commands. The 64 cells, 64 grey squares and two captions only show the model.
// The main window, the frequency dialog, the bitmap viewer and any later window
// work through this object and nothing else.
//
// Reading: Space(), Freq(), QuantStep(), CellText(), SquareColour() and the two
// captions tell a window everything the main window shows.
//
// Hearing a change: BlockChanged() is emitted once at the end of each completed
// change, never once per cell written:
//  - after each operation below (DCTandDraw, IDCTandDraw, BuildPicture, Quantise,
//    DoubleQuantStep, HalveQuantStep, SetSquaresCaption);
//  - after each step of CycleThroDCTPatterns, before the cycle yields, so a
//    follower sees every pattern;
//  - after a cell's text changes outside any operation (the user typed, pasted
//    or deleted), once per change of the text;
//  - when the outermost Change ends, for everything done inside it.
// A Build Mode inverse transform announces itself once, when all 64
// coefficients have been added. The value setters (ClearFreq, SetFreq,
// SetSpace, SetSpaceBlock), SetBuildMode and writes through Engine() announce
// nothing: an operation that shows the new values follows them.
//
// Undo: StepEnded() marks the end of each command that makes an undo step (the
// outermost Change, unless it only carries typing; a whole pattern cycle; a
// paced Build Mode transform once its last step is shown). Snapshot() and
// Restore() save and put back everything shown. Restore writes the 64 cell
// texts first, inside one Change, then puts both blocks back bit for bit: the
// cell-change rule has run by then and cannot alter them.
//
// Pace: at a step time above zero each pattern of a cycle and each coefficient
// of a Build Mode transform stays on screen that long while the event loop runs.
// A Build Mode transform is computed at once, exactly as without a pace, and its
// intermediate pictures are then shown in turn; any change that begins while
// they are shown (or FinishPacedBuild) first puts the finished result on screen,
// so no command ever works on half a transform.

#include "engine/block_model.h"

#include "views/pace.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QEventLoop;
class QLabel;
class QLineEdit;

namespace quadrel {

class SquareGrid;

/// The controls that show the block; all owned by the main window.
struct BlockControls {
    std::array<QLineEdit*, kBlockCells> Cells{}; ///< cell k shows column k mod 8, row k div 8
    SquareGrid* Squares = nullptr;
    QLabel* CellsCaption = nullptr;   ///< above the cells
    QLabel* SquaresCaption = nullptr; ///< above the squares
};

/// What showing the steps of a long command needs of the main window: every
/// step is painted at once, and in the pattern cycle events run before the
/// next step.
struct WindowServices {
    std::function<void()> Refresh;     ///< repaint the main window at once
    std::function<bool()> YieldEvents; ///< let pending events run; false when the program is ending
};

/// A model text as the toolkit's text.
QString ShownText(std::string_view text);

inline const QString kFreqAmplitudes = ShownText(kFreqAmplitudesCaption);
inline const QString kPixelPattern = ShownText(kPixelPatternCaption);
inline const QString kPixelAmplitudes = ShownText(kPixelAmplitudesCaption);

/// Both blocks and what shows them: all that an undo step puts back.
struct BlockState {
    Block Space{};
    Block Freq{};
    BlockShown View;
    /// The blocks compare bit for bit, so -0.0 differs from 0.0.
    bool operator==(const BlockState& other) const;
};

/// "DCT Pattern:  0  3", "Freq. Pattern:  3  5": a prefix and two signed texts.
QString PatternCaption(const QString& prefix, int first, int second);

class BlockDocument : public QObject {
    Q_OBJECT
public:
    /// Starts with an empty block and the engine's start values; shows nothing yet.
    BlockDocument(BlockControls controls, WindowServices services, QObject* parent = nullptr);

    /// A Change with this session makes no undo step of its own.
    static constexpr int kNotAStep = -1;
    /// Nested pattern cycles beyond this depth are ignored, so no burst of clicks
    /// can exhaust the stack.
    static constexpr int kMaxCycleDepth = 64;

    /// Groups everything done while it lives into one announced change and, when
    /// it is the outermost one, one undo step. `step` names the step (an inner
    /// change names it when the outer ones did not). Consecutive steps of the same
    /// `session` (above 0, from NewSession) merge into one.
    class Change {
    public:
        explicit Change(BlockDocument& document, const QString& step = {}, int session = 0);
        ~Change();
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        BlockDocument& document_;
    };

    // Reading.
    const Block& Space() const { return model_.Space(); }
    const Block& Freq() const { return model_.Freq(); }
    int QuantStep() const { return model_.QuantStep(); }
    bool BuildMode() const { return model_.BuildMode(); }
    QString CellText(int k) const;
    QColor SquareColour(int k) const;
    QString CellsCaption() const;
    QString SquaresCaption() const;

    // Undo support.
    BlockState Snapshot() const;
    /// Puts back both blocks bit for bit and everything shown; announced, no step.
    void Restore(const BlockState& state);
    /// A fresh session number for Change.
    int NewSession() { return ++lastSession_; }
    /// True while a pattern cycle runs.
    bool CycleRunning() const { return cycleDepth_ > 0; }

    // Pace.
    void SetStepTimes(StepTimes times) { stepTimes_ = times; }
    StepTimes CurrentStepTimes() const { return stepTimes_; }
    /// Shows the result of a Build Mode transform whose steps are still being
    /// shown, at once; nothing when none is.
    void FinishPacedBuild();

    // Values, shown and announced by the operation that follows.
    void ClearFreq();
    /// Writes nothing when an index lies outside 0..7.
    void SetFreq(int u, int v, double value);
    void SetSpace(int x, int y, double value);
    void SetSpaceBlock(const Block& space);
    /// A whole new pixel block, transformed and shown as Load Block shows it:
    /// one announced change and one undo step.
    void LoadSpaceBlock(const Block& space);

    // Operations.
    void DCTandDraw();
    /// Shows the inverse transform; in Build Mode every intermediate picture.
    void IDCTandDraw();
    /// IDCTandDraw under the captions "Freq. Amplitudes" and "Pixel Pattern".
    void BuildPicture();
    /// Quantises and dequantises the frequency block and shows its reconstruction.
    void Quantise();
    /// Shows the 64 basis patterns in turn until done, stopped or the program ends.
    /// Ignored when kMaxCycleDepth cycles already run one inside the other.
    void CycleThroDCTPatterns();
    /// Ends a running pattern cycle after its current step (or the next cycle's first).
    void Stop();
    void SetSquaresCaption(const QString& caption);
    void DoubleQuantStep();
    void HalveQuantStep();
    void SetBuildMode(bool on);
    /// Repaints the main window at once, not at the next idle moment.
    void Refresh() { services_.Refresh(); }

    /// The cell-change rule, run whenever cell k's text changes: the model
    /// cleans the text and stores its number as frequency coefficient k, and the
    /// cell then shows the cleaned text. A write that leaves a cell's text as it
    /// was changes no text and so stores nothing.
    void ApplyCellText(int k);

    /// The engine itself, for tests and benchmarks. Writes through it are
    /// neither shown nor announced.
    DctEngine& Engine() { return model_.Engine(); }

signals:
    void BlockChanged();
    /// A command that makes an undo step has ended; the block now shows its result.
    void StepEnded(const QString& step, int session);

private:
    /// The model's observer: every cell, square and caption it writes is shown.
    void ShowModelWrites();
    void ShowIDCT();
    /// Paints one step of a stepped command at once: a Build Mode coefficient
    /// or a cycle pattern.
    void PaintStep();
    /// A Build Mode step: painted now, or kept to be shown at the pace.
    void BuildStepShown();
    void EndChange();
    /// The cycle's patterns; false when the program is ending.
    bool ShowPatterns();
    /// Shows the kept Build Mode steps one by one, then the result.
    void PlayBuildSteps();
    /// Shows a saved view; the blocks stay as they were.
    void ShowView(const BlockShown& view);
    /// Lets events run for `ms` (at once when 0); false when the program is ending.
    bool Pause(int ms, QEventLoop** current);

    /// A Build Mode transform whose steps are being shown.
    struct PacedBuild {
        BlockShown Result;
        QString Step;
        int Session;
    };

    BlockModel model_;
    BlockControls controls_;
    WindowServices services_;
    int changeDepth_ = 0;
    QString stepName_;
    int stepSession_ = 0;
    int lastSession_ = 0;
    StepTimes stepTimes_;
    std::vector<BlockShown> buildSteps_;
    PacedBuild* pacedBuild_ = nullptr;
    int cycleDepth_ = 0;
    QEventLoop* cycleWait_ = nullptr; ///< the innermost cycle's pause, which STOP cuts short
};

} // namespace quadrel
