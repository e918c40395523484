#pragma once
// Exercise sheets as PDF, drawn by Qt with no LaTeX: the report tree of
// `quadrel-cli exercise` for the same sheet, in its text form, one exercise
// (its block and its tasks, or its answers) to a page under the sheet's settings.

#include "base/result.h"
#include "report/jpeg_report.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace quadrel::worksheet {

/// The text of each page: the sheet's seed and settings, then one exercise.
/// Fails as ExerciseReport does, when the difficulty is out of reach.
Result<std::vector<QStringList>> ExerciseSheetPages(const report::ExerciseSheet& sheet);
/// Those pages as an A4 PDF document, each page's text as large as fits, up to 10 points.
Result<QByteArray> ExerciseSheetPdf(const report::ExerciseSheet& sheet);
/// Writes the PDF to `path` through the program's file writer: a failure leaves
/// any file of that name as it was.
Status WriteExerciseSheetPdf(const QString& path, const report::ExerciseSheet& sheet);

} // namespace quadrel::worksheet
