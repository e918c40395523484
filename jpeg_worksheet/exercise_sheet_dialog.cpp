#include "jpeg_worksheet/exercise_sheet_dialog.h"

#include "jpeg_worksheet/exercise_panel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quadrel::worksheet {

ExerciseSheetDialog::ExerciseSheetDialog(const report::ExerciseSheet& preset, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Write Exercise Sheet as PDF"));
    seed_ = new QLineEdit(QString::number(preset.Seed));
    seed_->setObjectName(QStringLiteral("sheetSeed"));
    seed_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,16}")), seed_));
    count_ = new QSpinBox;
    count_->setObjectName(QStringLiteral("sheetCount"));
    count_->setRange(1, kMostSheetExercises);
    count_->setValue(preset.Count);
    level_ = new QComboBox;
    level_->setObjectName(QStringLiteral("sheetDifficulty"));
    level_->addItems(DifficultyChoices());
    level_->setCurrentIndex(static_cast<int>(preset.Level));
    quality_ = new QSpinBox;
    quality_->setObjectName(QStringLiteral("sheetQuality"));
    quality_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    quality_->setValue(preset.Quality);
    part_ = new QComboBox;
    part_->setObjectName(QStringLiteral("sheetPart"));
    // In report::SheetPart's order.
    part_->addItems({tr("questions and answers"), tr("questions only"), tr("answers only")});
    part_->setCurrentIndex(static_cast<int>(preset.Part));
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(seed_, &QLineEdit::textChanged, this,
            [this] { buttons_->button(QDialogButtonBox::Ok)->setEnabled(Sheet().has_value()); });

    auto* form = new QFormLayout;
    form->addRow(tr("&Seed:"), seed_);
    form->addRow(tr("&Exercises:"), count_);
    form->addRow(tr("&Difficulty:"), level_);
    form->addRow(tr("&Quality:"), quality_);
    form->addRow(tr("S&heet:"), part_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons_);
}

std::optional<report::ExerciseSheet> ExerciseSheetDialog::Sheet() const {
    const std::optional<std::uint64_t> seed = SeedFromText(seed_->text());
    if (!seed) {
        return std::nullopt;
    }
    return report::ExerciseSheet{*seed, count_->value(), quality_->value(),
                                 static_cast<jpeg::Difficulty>(level_->currentIndex()),
                                 static_cast<report::SheetPart>(part_->currentIndex())};
}

} // namespace quadrel::worksheet
