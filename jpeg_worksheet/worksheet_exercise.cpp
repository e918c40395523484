// The worksheet's exercise mode: the block and settings stay, every computed
// step is hidden until the student asks for it, and Check compares the typed
// answers with the chain the worksheet has already run.
#include "jpeg/engine_layout.h"
#include "jpeg/exercise_check.h"
#include "jpeg/jpeg_exercise.h"
#include "jpeg_worksheet/exercise_panel.h"
#include "jpeg_worksheet/exercise_pdf.h"
#include "jpeg_worksheet/exercise_sheet_dialog.h"
#include "jpeg_worksheet/jpeg_worksheet.h"
#include "jpeg_worksheet/live_text.h"
#include "jpeg_worksheet/number_grid.h"
#include "jpeg_worksheet/text_lines.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace quadrel::worksheet {

void JpegWorksheet::CreateExercise(QVBoxLayout* page, QHBoxLayout* buttons) {
    exercise_ = new ExercisePanel;
    exercise_->setVisible(false);
    page->insertWidget(0, exercise_);
    exerciseAction_ = new QAction(tr("E&xercise"), this);
    exerciseAction_->setObjectName(QStringLiteral("exerciseAction"));
    exerciseAction_->setCheckable(true);
    exerciseAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exerciseAction_->setToolTip(tr("Work the block yourself: the steps are hidden (Ctrl+E)"));
    addAction(exerciseAction_);
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("exerciseButton"));
    button->setDefaultAction(exerciseAction_);
    button->setFocusPolicy(Qt::StrongFocus);
    buttons->insertWidget(2, button);
    connect(exerciseAction_, &QAction::toggled, this, &JpegWorksheet::SetExercise);
    sheetAction_ = new QAction(tr("Write Exercise Sheet as &PDF…"), this);
    sheetAction_->setObjectName(QStringLiteral("exerciseSheetPdfAction"));
    connect(sheetAction_, &QAction::triggered, this, &JpegWorksheet::WriteExerciseSheet);
    connect(exercise_, &ExercisePanel::CheckRequested, this, &JpegWorksheet::CheckExercise);
    connect(exercise_, &ExercisePanel::StepRequested, this, &JpegWorksheet::RevealStep);
    connect(exercise_, &ExercisePanel::NewExerciseRequested, this, &JpegWorksheet::NewExercise);
    // Marks for another block would mislead; the answers stay to be checked again.
    connect(&document_, &BlockDocument::BlockChanged, exercise_, &ExercisePanel::ClearMarks);
}

std::vector<std::vector<QWidget*>> JpegWorksheet::ExerciseSteps() const {
    return {{GridOf(Grid::Shifted)},
            {GridOf(Grid::Coefficients)},
            {GridOf(Grid::Quantised), nonZero_},
            {zigzag_},
            {dcDifference_},
            {symbols_},
            {totals_},
            {reconstructionBox_, relation_}};
}

void JpegWorksheet::ShowExerciseSteps() {
    const bool on = exerciseAction_->isChecked();
    const std::vector<std::vector<QWidget*>> steps = ExerciseSteps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        for (QWidget* widget : steps[i]) {
            widget->setVisible(!on || static_cast<int>(i) < revealed_);
        }
    }
    exercise_->SetStepsLeft(static_cast<int>(steps.size()) - revealed_);
}

void JpegWorksheet::SetExercise(bool on) {
    setWindowTitle(on ? tr("JPEG Worksheet \u2014 Exercise") : tr("JPEG Worksheet"));
    exercise_->setVisible(on);
    revealed_ = 0;
    ShowExerciseSteps();
}

void JpegWorksheet::CheckExercise() {
    exercise_->ShowMarks(jpeg::CheckAnswers(exercise_->Answers(), analysis_));
}

void JpegWorksheet::RevealStep() {
    ++revealed_;
    ShowExerciseSteps();
}

void JpegWorksheet::NewExercise() {
    const std::optional<std::uint64_t> seed = exercise_->Seed();
    if (!seed) {
        exercise_->SetNote(tr("The seed is a whole number from 0 to 9007199254740991."));
        return;
    }
    const int quality = exercise_->Quality();
    const jpeg::Difficulty level = exercise_->Level();
    // Exercise 1 of the seed, as quadrel-cli exercise --seed S makes it first.
    const std::optional<jpeg::Samples> block =
        jpeg::ExerciseBlock(*seed, 0, jpeg::LuminanceTable(quality), level);
    if (!block) {
        exercise_->SetNote(tr("No block of that difficulty among the first %1 of seed %2 at "
                              "quality %3: choose another difficulty or quality.")
                               .arg(jpeg::kExerciseTries)
                               .arg(*seed)
                               .arg(quality));
        return;
    }
    // The settings of the command line's sheets: the standard luminance table,
    // previous DC 0, every coefficient kept.
    component_->setCurrentIndex(0);
    standardTable_->setChecked(true);
    ChooseQuality(quality);
    previousDc_->setValue(0);
    keep_->setValue(jpeg::kBlockCells);
    document_.LoadSpaceBlock(jpeg::FromRowMajor(*block));
    exercise_->Clear();
    const QString command =
        QStringLiteral("quadrel-cli exercise --seed %1 --quality %2").arg(*seed).arg(quality) +
        (level == jpeg::Difficulty::Any
             ? QString()
             : QStringLiteral(" --difficulty %1")
                   .arg(QString::fromLatin1(
                       jpeg::DifficultyName(level).data(),
                       static_cast<qsizetype>(jpeg::DifficultyName(level).size()))));
    exercise_->SetNote(tr("Exercise 1 of %1.").arg(command));
    if (exerciseAction_->isChecked()) {
        revealed_ = 0;
        ShowExerciseSteps();
    } else {
        exerciseAction_->setChecked(true);
    }
}

void JpegWorksheet::WriteExerciseSheet() {
    // From the exercise panel's choices, four exercises with their answers.
    report::ExerciseSheet preset{exercise_->Seed().value_or(1), 4, exercise_->Quality(),
                                 exercise_->Level(), report::SheetPart::Both};
    ExerciseSheetDialog dialog(preset, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Sheet()) {
        return;
    }
    const report::ExerciseSheet sheet = *dialog.Sheet();
    const std::optional<QString> file = ChooseSaveFileName(
        desktop_, this, tr("Write Exercise Sheet as PDF"), tr("PDF document|*.pdf"),
        QStringLiteral("exercises-%1.pdf").arg(sheet.Seed), [](const QString& typed) {
            return typed.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
                       ? typed
                       : typed + QStringLiteral(".pdf");
        });
    if (!file) {
        return;
    }
    const Status written = WriteExerciseSheetPdf(*file, sheet);
    if (!written) {
        desktop_.ShowWarning(
            this, tr("Write Exercise Sheet as PDF"),
            tr("The exercise sheet\n%1\ncould not be written: %2")
                .arg(QDir::toNativeSeparators(*file), QString::fromStdString(written.Message())));
    }
}

} // namespace quadrel::worksheet
