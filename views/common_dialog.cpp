#include "views/common_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace quadrel {

QString QtFilterFromVbFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'));
        // "*.*" means every file, but Qt matches it literally: names without a
        // dot, common on Linux, would not be listed.
        for (QString& pattern : patterns) {
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*");
            }
        }
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

QString ProgramFolder() {
    // applicationDirPath() resolves /proc/self/exe, so a symlinked launcher
    // still finds the companions in the real program folder.
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

namespace {

// Splits a preset such as "/dir/*.txt" into the folder to open and the text for
// the file-name field.
struct Preset {
    QString directory;
    QString name;
};

Preset SplitPreset(const QString& fileName) {
    if (fileName.isEmpty()) {
        return {};
    }
    const QFileInfo info(fileName);
    return {info.absolutePath(), info.fileName()};
}

bool Run(QWidget* parent, CommonDialog& dialog, QFileDialog::AcceptMode mode) {
    const Preset preset = SplitPreset(dialog.FileName);
    QFileDialog fileDialog(parent);
    // Qt's own dialog behaves the same on every desktop and can be driven by tests.
    fileDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // No overwrite prompt and no default suffix: the name is used as typed.
    fileDialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    fileDialog.setAcceptMode(mode);
    fileDialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
    fileDialog.setNameFilter(QtFilterFromVbFilter(dialog.Filter));
    if (!preset.directory.isEmpty()) {
        fileDialog.setDirectory(preset.directory);
    }
    if (!preset.name.isEmpty()) {
        fileDialog.selectFile(preset.name);
    }
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.FileName = fileDialog.selectedFiles().constFirst();
    return true;
}

} // namespace

bool CommonDialog::ShowOpen(QWidget* parent) {
    return Run(parent, *this, QFileDialog::AcceptOpen);
}

bool CommonDialog::ShowSave(QWidget* parent) {
    return Run(parent, *this, QFileDialog::AcceptSave);
}

} // namespace quadrel
