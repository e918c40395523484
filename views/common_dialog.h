#pragma once
// The file dialog a window keeps from one use to the next: a filter string in
// the "description|pattern;pattern|..." form and a file name that persists.
// Tests derive from it to answer without a modal dialog.

#include <QString>

class QWidget;

namespace quadrel {

class CommonDialog {
public:
    virtual ~CommonDialog() = default;
    CommonDialog() = default;
    CommonDialog(const CommonDialog&) = delete;
    CommonDialog& operator=(const CommonDialog&) = delete;

    QString Filter;
    /// Preset before showing; the chosen name afterwards. A folder followed by a
    /// pattern ("/dir/*.txt") opens that folder with the pattern in the name field.
    QString FileName;

    /// Modal open dialog. False when the user cancels; FileName is then unchanged.
    virtual bool ShowOpen(QWidget* parent);
    /// Modal save dialog, proposing FileName. False on cancel.
    virtual bool ShowSave(QWidget* parent);
};

/// "text|*.txt;*.csv|all|*.*" -> "text (*.txt *.csv);;all (*.*)"
QString QtFilterFromVbFilter(const QString& filter);

/// The folder that holds the running executable (symlinks resolved), no trailing separator.
QString ProgramFolder();

} // namespace quadrel
