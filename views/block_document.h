#pragma once
// The one seam between the windows and the block. The main window's block lives
// here: the engine that computes it, the 64 cells and 64 grey squares that show
// it, the two captions above them, and every operation on them. The main window,
// the frequency dialog, the bitmap viewer and any later window work through this
// object and nothing else.
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
// Restoring a saved state later (undo) works without bypassing the cell-change
// rule: write the 64 cell texts first, inside one Change, then put both blocks
// back through Engine(); the rule has run by then and cannot alter them.

#include "engine/dct_engine.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <string>

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

inline const QString kFreqAmplitudes = QStringLiteral("Freq. Amplitudes");
inline const QString kPixelPattern = QStringLiteral("Pixel Pattern");
inline const QString kPixelAmplitudes = QStringLiteral("Pixel Amplitudes");

/// "DCT Pattern:  0  3", "Freq. Pattern:  3  5": a prefix and two signed texts.
QString PatternCaption(const QString& prefix, int first, int second);

class BlockDocument : public QObject {
    Q_OBJECT
public:
    /// Starts with an empty block and the engine's start values; shows nothing yet.
    BlockDocument(BlockControls controls, WindowServices services, QObject* parent = nullptr);

    /// Groups everything done while it lives into one announced change.
    class Change {
    public:
        explicit Change(BlockDocument& document);
        ~Change();
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        BlockDocument& document_;
    };

    // Reading.
    const Block& Space() const { return engine_.SpaceArray; }
    const Block& Freq() const { return engine_.FreqArray; }
    int QuantStep() const { return engine_.QuantScale; }
    bool BuildMode() const { return engine_.BuildMode; }
    QString CellText(int k) const;
    QColor SquareColour(int k) const;
    QString CellsCaption() const;
    QString SquaresCaption() const;

    // Values, shown and announced by the operation that follows.
    void ClearFreq();
    /// Writes nothing when an index lies outside 0..7.
    void SetFreq(int u, int v, double value);
    void SetSpace(int x, int y, double value);
    void SetSpaceBlock(const Block& space);
    /// Replaces the space block, transforms it and shows both blocks, as Load
    /// Block does; announced once.
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
    void CycleThroDCTPatterns();
    /// Ends a running pattern cycle after its current step (or the next cycle's first).
    void Stop() { engine_.StopFlag = true; }
    void SetSquaresCaption(const QString& caption);
    void DoubleQuantStep();
    void HalveQuantStep();
    void SetBuildMode(bool on);
    /// Repaints the main window at once, not at the next idle moment.
    void Refresh() { services_.Refresh(); }

    /// The cell-change rule, run whenever cell k's text changes: the text is
    /// cleaned and its number stored as frequency coefficient k. A write that
    /// leaves a cell's text as it was changes no text and so stores nothing.
    void ApplyCellText(int k);

    /// The engine itself, for tests and benchmarks. Writes through it are
    /// neither shown nor announced.
    DctEngine& Engine() { return engine_; }

signals:
    void BlockChanged();

private:
    void WriteFreq();
    void WriteSpace();
    void DrawSpace();
    void WriteCell(int k, const std::string& text);
    void ShowIDCT();
    /// Paints one step of a stepped command at once: a Build Mode coefficient
    /// or a cycle pattern. A pace between steps belongs here.
    void PaintStep();

    DctEngine engine_;
    BlockControls controls_;
    WindowServices services_;
    int changeDepth_ = 0;
};

} // namespace quadrel
