#pragma once
// The worksheet's exercise: where a student types the answers, sees each
// marked right or wrong where it stands (in words and colour), and asks for
// a new block. It only shows: the worksheet checks the answers with
// jpeg::CheckAnswers and hands the marks back.

#include "jpeg/exercise_check.h"
#include "jpeg/jpeg_exercise.h"

#include <QGroupBox>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quadrel::worksheet {

/// A seed as quadrel-cli exercise takes it: a whole number from 0 to 2^53 - 1.
std::optional<std::uint64_t> SeedFromText(const QString& text);
/// The difficulties in the order the combo boxes offer them (jpeg::Difficulty's).
QStringList DifficultyChoices();

class ExercisePanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ExercisePanel(QWidget* parent = nullptr);

    jpeg::ExerciseAnswers Answers() const;
    /// Marks every answer and shows the score.
    void ShowMarks(const jpeg::ExerciseMarks& marks);
    /// Empties the answers and their marks, for a new block.
    void Clear();
    /// Takes the marks away and keeps the answers: the block they were for has changed.
    void ClearMarks();
    /// Whether Show Step has a step left to show.
    void SetStepsLeft(int left);

    /// The settings of New Exercise; the seed is nothing when it is past quadrel-cli's.
    std::optional<std::uint64_t> Seed() const;
    int Quality() const;
    jpeg::Difficulty Level() const;
    /// A line under the buttons: what New Exercise made, or why it could not.
    void SetNote(const QString& text);

signals:
    void CheckRequested();
    void StepRequested();
    void NewExerciseRequested();

private:
    QWidget* CreateAnswers();
    QWidget* CreateButtons();
    /// One field's mark: a word beside it, its colour, and the field's tooltip and description.
    void Mark(QWidget* field, QLabel* mark, bool right, const QString& detail = QString());
    void Unmark(QWidget* field, QLabel* mark);

    QTableWidget* quantised_ = nullptr;
    QLineEdit* zigzag_ = nullptr;
    QLineEdit* dcDifference_ = nullptr;
    QPlainTextEdit* symbols_ = nullptr;
    QLineEdit* bitTotal_ = nullptr;
    std::array<QLabel*, jpeg::kAnswerFields> marks_{};
    QLabel* score_ = nullptr;
    QPushButton* check_ = nullptr;
    QPushButton* step_ = nullptr;
    QPushButton* newExercise_ = nullptr;
    QLineEdit* seed_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QComboBox* level_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace quadrel::worksheet
