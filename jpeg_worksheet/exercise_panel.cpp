#include "jpeg_worksheet/exercise_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quadrel::worksheet {

namespace {

constexpr int kDefaultQuality = 50;
constexpr std::uint64_t kLargestSeed = (std::uint64_t{1} << 53U) - 1U; // as quadrel-cli exercise
// Green and red that read on a light background; the words say the same.
const QColor kRight(0, 110, 0);
const QColor kWrong(180, 0, 0);
const QColor kRightBackground(210, 240, 210);
const QColor kWrongBackground(250, 215, 215);

std::size_t At(jpeg::AnswerField field) {
    return static_cast<std::size_t>(field);
}

QLabel* Captioned(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

QLabel* MarkLabel(const char* name) {
    auto* mark = new QLabel;
    mark->setObjectName(QLatin1String(name));
    return mark;
}

} // namespace

ExercisePanel::ExercisePanel(QWidget* parent) : QGroupBox(tr("Exercise: your answers"), parent) {
    setObjectName(QStringLiteral("exercisePanel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateAnswers());
    layout->addWidget(CreateButtons());
}

QWidget* ExercisePanel::CreateAnswers() {
    quantised_ = new QTableWidget(8, 8);
    quantised_->setObjectName(QStringLiteral("quantisedAnswerGrid"));
    quantised_->setAccessibleName(tr("Quantised indices, your answer"));
    quantised_->setHorizontalHeaderLabels({"0", "1", "2", "3", "4", "5", "6", "7"});
    quantised_->setVerticalHeaderLabels({"0", "1", "2", "3", "4", "5", "6", "7"});
    quantised_->setTabKeyNavigation(false); // Tab leaves the grid; the arrows move in it
    quantised_->setEditTriggers(QAbstractItemView::AnyKeyPressed |
                                QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::DoubleClicked);
    const int cell = quantised_->fontMetrics().horizontalAdvance(QStringLiteral("-1024")) + 10;
    quantised_->horizontalHeader()->setDefaultSectionSize(cell);
    quantised_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    quantised_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int k = 0; k < jpeg::kBlockCells; ++k) {
        auto* item = new QTableWidgetItem; // owned by the table
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        quantised_->setItem(k / 8, k % 8, item);
    }
    quantised_->setFixedSize(
        quantised_->verticalHeader()->sizeHint().width() + 8 * cell + 2 * quantised_->frameWidth(),
        quantised_->horizontalHeader()->sizeHint().height() +
            8 * quantised_->verticalHeader()->defaultSectionSize() + 2 * quantised_->frameWidth());

    zigzag_ = new QLineEdit;
    zigzag_->setObjectName(QStringLiteral("zigZagAnswer"));
    zigzag_->setPlaceholderText(tr("e.g. -26, -3, 0, -3, EOB"));
    dcDifference_ = new QLineEdit;
    dcDifference_->setObjectName(QStringLiteral("dcDifferenceAnswer"));
    symbols_ = new QPlainTextEdit;
    symbols_->setObjectName(QStringLiteral("symbolsAnswer"));
    symbols_->setTabChangesFocus(true);
    symbols_->setPlaceholderText(tr("one a line, run/size amplitude:\n0/2 -3\n1/2 -2\n0/0"));
    bitTotal_ = new QLineEdit;
    bitTotal_->setObjectName(QStringLiteral("bitTotalAnswer"));
    marks_[At(jpeg::AnswerField::Quantised)] = MarkLabel("quantisedMark");
    marks_[At(jpeg::AnswerField::ZigZag)] = MarkLabel("zigZagMark");
    marks_[At(jpeg::AnswerField::DcDifference)] = MarkLabel("dcDifferenceMark");
    marks_[At(jpeg::AnswerField::Symbols)] = MarkLabel("symbolsMark");
    marks_[At(jpeg::AnswerField::BitTotal)] = MarkLabel("bitTotalMark");

    auto* answers = new QWidget;
    auto* grid = new QGridLayout(answers);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(Captioned(tr("Quantised &indices:"), quantised_), 0, 0, Qt::AlignTop);
    grid->addWidget(quantised_, 0, 1, 4, 1);
    grid->addWidget(marks_[At(jpeg::AnswerField::Quantised)], 4, 1);
    const auto add = [grid, this](int row, const QString& caption, QWidget* field,
                                  jpeg::AnswerField which) {
        grid->addWidget(Captioned(caption, field), row, 2, Qt::AlignTop);
        grid->addWidget(field, row, 3);
        grid->addWidget(marks_[At(which)], row, 4, Qt::AlignTop);
        field->setAccessibleName(
            QString(caption).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    };
    add(0, tr("&Zig-zag sequence up to EOB:"), zigzag_, jpeg::AnswerField::ZigZag);
    add(1, tr("DC diffe&rence:"), dcDifference_, jpeg::AnswerField::DcDifference);
    add(2, tr("Sym&bols:"), symbols_, jpeg::AnswerField::Symbols);
    add(3, tr("Bit t&otal:"), bitTotal_, jpeg::AnswerField::BitTotal);
    grid->setColumnStretch(3, 1);
    return answers;
}

QWidget* ExercisePanel::CreateButtons() {
    check_ = new QPushButton(tr("C&heck"));
    check_->setObjectName(QStringLiteral("checkButton"));
    step_ = new QPushButton(tr("Sho&w Step"));
    step_->setObjectName(QStringLiteral("showStepButton"));
    score_ = new QLabel;
    score_->setObjectName(QStringLiteral("scoreLabel"));
    newExercise_ = new QPushButton(tr("&New Exercise"));
    newExercise_->setObjectName(QStringLiteral("newExerciseButton"));
    seed_ = new QLineEdit(QStringLiteral("1"));
    seed_->setObjectName(QStringLiteral("exerciseSeed"));
    // The seeds quadrel-cli exercise takes: whole numbers up to 2^53 - 1.
    seed_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,16}")), seed_));
    quality_ = new QSpinBox;
    quality_->setObjectName(QStringLiteral("exerciseQuality"));
    quality_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    quality_->setValue(kDefaultQuality);
    level_ = new QComboBox;
    level_->setObjectName(QStringLiteral("exerciseDifficulty"));
    level_->addItems(DifficultyChoices());
    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("exerciseNote"));
    note_->setWordWrap(true);

    auto* row = new QHBoxLayout;
    row->addWidget(check_);
    row->addWidget(step_);
    row->addWidget(score_, 1);
    row->addWidget(Captioned(tr("S&eed:"), seed_));
    row->addWidget(seed_);
    row->addWidget(Captioned(tr("Q&uality:"), quality_));
    row->addWidget(quality_);
    row->addWidget(Captioned(tr("Difficul&ty:"), level_));
    row->addWidget(level_);
    row->addWidget(newExercise_);
    auto* buttons = new QWidget;
    auto* layout = new QVBoxLayout(buttons);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(note_);
    connect(check_, &QPushButton::clicked, this, &ExercisePanel::CheckRequested);
    connect(step_, &QPushButton::clicked, this, &ExercisePanel::StepRequested);
    connect(newExercise_, &QPushButton::clicked, this, &ExercisePanel::NewExerciseRequested);
    return buttons;
}

jpeg::ExerciseAnswers ExercisePanel::Answers() const {
    jpeg::ExerciseAnswers answers;
    for (int k = 0; k < jpeg::kBlockCells; ++k) {
        answers.Quantised.at(static_cast<std::size_t>(k)) =
            quantised_->item(k / 8, k % 8)->text().toStdString();
    }
    answers.ZigZag = zigzag_->text().toStdString();
    answers.DcDifference = dcDifference_->text().toStdString();
    answers.Symbols = symbols_->toPlainText().toStdString();
    answers.BitTotal = bitTotal_->text().toStdString();
    return answers;
}

void ExercisePanel::Mark(QWidget* field, QLabel* mark, bool right, const QString& detail) {
    const QString word = right ? tr("Right") : tr("Wrong");
    mark->setText(detail.isEmpty() ? word : tr("%1: %2").arg(word, detail));
    mark->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold;").arg((right ? kRight : kWrong).name()));
    field->setToolTip(mark->text());
    field->setAccessibleDescription(mark->text());
}

void ExercisePanel::Unmark(QWidget* field, QLabel* mark) {
    mark->clear();
    mark->setStyleSheet(QString());
    field->setToolTip(QString());
    field->setAccessibleDescription(QString());
}

void ExercisePanel::ShowMarks(const jpeg::ExerciseMarks& marks) {
    using F = jpeg::AnswerField;
    for (int k = 0; k < jpeg::kBlockCells; ++k) {
        QTableWidgetItem* item = quantised_->item(k / 8, k % 8);
        const bool right = marks.QuantisedCells.at(static_cast<std::size_t>(k));
        const QString word = right ? tr("Right") : tr("Wrong");
        item->setBackground(right ? kRightBackground : kWrongBackground);
        item->setToolTip(word);
        item->setData(Qt::AccessibleDescriptionRole, word);
    }
    Mark(quantised_, marks_[At(F::Quantised)], marks.IsRight(F::Quantised),
         tr("%1 of 64 indices").arg(marks.RightCells()));
    Mark(zigzag_, marks_[At(F::ZigZag)], marks.IsRight(F::ZigZag));
    Mark(dcDifference_, marks_[At(F::DcDifference)], marks.IsRight(F::DcDifference));
    Mark(symbols_, marks_[At(F::Symbols)], marks.IsRight(F::Symbols),
         marks.IsRight(F::Symbols) ? QString()
                                   : tr("from symbol %1 on").arg(marks.FirstWrongSymbol + 1));
    Mark(bitTotal_, marks_[At(F::BitTotal)], marks.IsRight(F::BitTotal));
    score_->setText(
        tr("Score: %1 of %2 answers right.").arg(marks.Score()).arg(jpeg::kAnswerFields));
}

void ExercisePanel::Clear() {
    for (int k = 0; k < jpeg::kBlockCells; ++k) {
        quantised_->item(k / 8, k % 8)->setText(QString());
    }
    zigzag_->clear();
    dcDifference_->clear();
    symbols_->clear();
    bitTotal_->clear();
    ClearMarks();
}

void ExercisePanel::ClearMarks() {
    for (int k = 0; k < jpeg::kBlockCells; ++k) {
        QTableWidgetItem* item = quantised_->item(k / 8, k % 8);
        item->setBackground(QBrush());
        item->setToolTip(QString());
        item->setData(Qt::AccessibleDescriptionRole, QVariant());
    }
    const std::array<QWidget*, jpeg::kAnswerFields> fields{quantised_, zigzag_, dcDifference_,
                                                           symbols_, bitTotal_};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Unmark(fields.at(i), marks_.at(i));
    }
    score_->clear();
}

void ExercisePanel::SetStepsLeft(int left) {
    step_->setEnabled(left > 0);
    step_->setToolTip(tr("%n step(s) still hidden", nullptr, left));
}

QStringList DifficultyChoices() {
    return {ExercisePanel::tr("any"), ExercisePanel::tr("easy (1 to 4 non-zero indices)"),
            ExercisePanel::tr("medium (5 to 12)"), ExercisePanel::tr("hard (13 or more)")};
}

std::optional<std::uint64_t> SeedFromText(const QString& text) {
    bool ok = false;
    const qulonglong seed = text.toULongLong(&ok);
    return ok && seed <= kLargestSeed ? std::optional<std::uint64_t>(seed) : std::nullopt;
}

std::optional<std::uint64_t> ExercisePanel::Seed() const {
    return SeedFromText(seed_->text());
}

int ExercisePanel::Quality() const {
    return quality_->value();
}

jpeg::Difficulty ExercisePanel::Level() const {
    return static_cast<jpeg::Difficulty>(level_->currentIndex());
}

void ExercisePanel::SetNote(const QString& text) {
    note_->setText(text);
}

} // namespace quadrel::worksheet
