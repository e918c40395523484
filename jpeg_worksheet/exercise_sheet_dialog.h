#pragma once
// "Write Exercise Sheet as PDF": asks what `quadrel-cli exercise` would be
// told - seed, count, difficulty, quality and which sheet.

#include "report/jpeg_report.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

namespace quadrel::worksheet {

/// The most exercises one PDF sheet is made with, a class's worth and more.
inline constexpr int kMostSheetExercises = 200;

class ExerciseSheetDialog : public QDialog {
    Q_OBJECT
public:
    /// Starts from `preset`; the seed as typed is checked on OK.
    explicit ExerciseSheetDialog(const report::ExerciseSheet& preset, QWidget* parent = nullptr);

    /// The sheet asked for; nothing while the seed is no whole number from 0 to
    /// quadrel-cli's largest.
    std::optional<report::ExerciseSheet> Sheet() const;

private:
    QLineEdit* seed_ = nullptr;
    QSpinBox* count_ = nullptr;
    QComboBox* level_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QComboBox* part_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

} // namespace quadrel::worksheet
