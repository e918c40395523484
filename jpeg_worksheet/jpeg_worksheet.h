#pragma once
// The "JPEG Worksheet" window: what a textbook JPEG encoder does with the main
// window's space block, step by step and live. It follows the block through
// BlockDocument::BlockChanged, reruns the chain of jpeg/ (no allocation, a few
// microseconds) and hands the numbers to custom-painted grids, so a pointer
// sweeping over a picture is not slowed down.
//
// Non-modal; remembers its geometry, quality and component. "Copy as" writes the same
// report as `quadrel-cli jpeg` for the block and the settings shown.

#include "jpeg/jpeg_chain.h"
#include "report/jpeg_report.h"
#include "report/report.h"
#include "views/block_document.h"
#include "views/desktop_services.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QVBoxLayout;

namespace quadrel::worksheet {

class ExercisePanel;
class LiveText;
class NumberGrid;
class TextLines;

inline const QString kWorksheetTitle = QStringLiteral("JPEG Worksheet");
inline const QString kExerciseTitle = QStringLiteral("JPEG Worksheet \u2014 Exercise");

/// The space block as 8-bit samples, the way the main window's squares show
/// it: rounded down and limited to 0..255. `adjusted` tells whether any value
/// was not already a grey level.
jpeg::Samples SamplesFromSpace(const Block& space, bool& adjusted);

/// The grids, in the order of the chain. Each grid's object name is its
/// value's name in camelCase followed by "Grid": "pixelsGrid", "shiftedGrid",
/// ..., "reconstructionSquaresGrid".
enum class Grid : std::uint8_t {
    Pixels,
    Shifted,
    Coefficients,
    Table,
    Quantised,
    Reconstruction,
    Error,
    OriginalSquares,
    ReconstructionSquares,
};
inline constexpr int kGridCount = 9;

class JpegWorksheet : public QWidget {
    Q_OBJECT
public:
    /// Follows `document` and reports through `desktop`; both must outlive the window.
    JpegWorksheet(BlockDocument& document, DesktopServices& desktop, QWidget* parent = nullptr);
    ~JpegWorksheet() override;

    /// The window size that shows the whole page without scrolling, the symbol
    /// list with a heading and 21 symbols.
    QSize PageSize() const;
    /// Codes with `table` from now on, as a loaded table file would; `origin`
    /// names where it came from in the caption and the report.
    void UseTable(const jpeg::QuantTable& table, const QString& origin);

protected:
    void closeEvent(QCloseEvent* event) override;
    /// View > Zoom: the fixed-pitch grids and lines follow the application font.
    void changeEvent(QEvent* event) override;

private:
    void CreateControls();
    void CreateGrids();
    QGroupBox* CreateBlockGroup();
    QGroupBox* CreateTransformGroup();
    QGroupBox* CreateTableGroup();
    QGroupBox* CreateQuantisedGroup();
    QGroupBox* CreateCodingGroup();
    QGroupBox* CreateKeepGroup();
    QGroupBox* CreateReconstructionGroup();
    /// The rule relating these coefficients to the main window's; `relation_` applies it.
    QLabel* CreateRelationRule();
    QHBoxLayout* CreateButtons();
    /// "Export": the whole page or one step's box as PNG, SVG or PDF, or onto the clipboard.
    QPushButton* CreateExportButton();
    void ConnectControls();
    void SetTabOrder();
    NumberGrid* GridOf(Grid grid) const { return grids_.at(static_cast<std::size_t>(grid)); }

    /// Asks for a block file and uses its 64 values as the quantisation table.
    /// A cancel or a file that is no table changes nothing.
    void LoadTable();
    /// Puts the reconstruction into the main window and transforms it, as Load Block does.
    void SendReconstruction();
    /// The settings of the report "Copy as" writes.
    report::JpegSettings ReportSettings() const;
    /// Puts the report in the given form on the clipboard.
    void CopyReport(report::Format format);
    void Restore();
    void Save() const;
    /// Reruns the chain on the current block and settings and shows it.
    void Recompute();
    void Show();
    void ShowTableCaption();
    void ChooseQuality(int quality);
    /// Y or Cb/Cr: the standard table (when chosen) and the Huffman codes follow.
    void ChooseComponent();

    BlockDocument& document_;
    DesktopServices& desktop_;
    jpeg::ChainSettings settings_;
    jpeg::QuantTable fileTableValues_ = jpeg::kLuminanceTable;
    QString tableFile_;
    jpeg::Samples samples_{};
    bool adjusted_ = false;
    jpeg::BlockAnalysis analysis_;

    std::array<NumberGrid*, kGridCount> grids_{};
    QSpinBox* quality_ = nullptr;
    QSlider* qualitySlider_ = nullptr;
    QComboBox* component_ = nullptr;
    QRadioButton* standardTable_ = nullptr;
    QRadioButton* fileTable_ = nullptr;
    QPushButton* loadTable_ = nullptr;
    QLabel* tableCaption_ = nullptr;
    QHBoxLayout* tableSettings_ = nullptr; ///< the table's choices, over the grids
    QSpinBox* previousDc_ = nullptr;
    QSlider* keep_ = nullptr;
    QLabel* keepLabel_ = nullptr;
    QLabel* note_ = nullptr;
    LiveText* nonZero_ = nullptr;
    LiveText* zigzag_ = nullptr;
    LiveText* dcDifference_ = nullptr;
    TextLines* symbols_ = nullptr;
    LiveText* totals_ = nullptr;
    LiveText* error_ = nullptr;
    LiveText* relation_ = nullptr; ///< the relation worked for this block's DC
    QPushButton* send_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* close_ = nullptr;

    // Exercise mode (worksheet_exercise.cpp): the given block with the computed
    // steps hidden, answers typed and checked.
    void CreateExercise(QVBoxLayout* page, QHBoxLayout* buttons);
    void SetExercise(bool on);
    /// What each step of the chain shows, in order, for hiding and revealing.
    std::vector<std::vector<QWidget*>> ExerciseSteps() const;
    void ShowExerciseSteps();
    void CheckExercise();
    void RevealStep();
    /// The block of `quadrel-cli exercise` for the panel's seed, quality and difficulty.
    void NewExercise();
    /// Asks for a sheet's settings and a file name, and writes the sheet as PDF.
    void WriteExerciseSheet();

    ExercisePanel* exercise_ = nullptr;
    QAction* exerciseAction_ = nullptr;
    QAction* sheetAction_ = nullptr; ///< "Write Exercise Sheet as PDF...", in the Export menu
    QWidget* reconstructionBox_ = nullptr;
    int revealed_ = 0; ///< steps shown in exercise mode
};

} // namespace quadrel::worksheet
