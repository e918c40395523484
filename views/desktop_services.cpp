#include "views/desktop_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <string>

namespace quadrel {

QString QtFilterFromPipeFilter(const QString& filter) {
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

std::optional<QString> RunFileDialog(QWidget* parent, const QString& filter, const QString& preset,
                                     QFileDialog::AcceptMode mode) {
    QFileDialog fileDialog(parent);
    // Qt's own dialog behaves the same on every desktop and can be driven by tests.
    fileDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The name is used as typed, without a default suffix. Replacing a file is
    // asked about by ChooseSaveFileName, through the desktop, where tests answer.
    fileDialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    fileDialog.setAcceptMode(mode);
    fileDialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
    fileDialog.setNameFilter(QtFilterFromPipeFilter(filter));
    if (!preset.isEmpty()) {
        // "/dir/*.txt": open the folder, put the pattern in the name field.
        const QFileInfo info(preset);
        fileDialog.setDirectory(info.absolutePath());
        if (!info.fileName().isEmpty()) {
            fileDialog.selectFile(info.fileName());
        }
    }
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return fileDialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> SystemDesktop::OpenFileName(QWidget* parent, const QString& filter,
                                                   const QString& preset) {
    return RunFileDialog(parent, filter, preset, QFileDialog::AcceptOpen);
}

std::optional<QString> SystemDesktop::SaveFileName(QWidget* parent, const QString& filter,
                                                   const QString& preset) {
    return RunFileDialog(parent, filter, preset, QFileDialog::AcceptSave);
}

void SystemDesktop::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

bool SystemDesktop::AskYesNo(QWidget* parent, const QString& title, const QString& question) {
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> ChooseSaveFileName(DesktopServices& desktop, QWidget* parent,
                                          const QString& title, const QString& filter,
                                          const QString& preset,
                                          const std::function<QString(const QString&)>& complete) {
    QString proposed = preset;
    for (;;) {
        std::optional<QString> chosen = desktop.SaveFileName(parent, filter, proposed);
        if (chosen && complete) {
            chosen = complete(*chosen);
        }
        // A dangling symlink also names a file that the save would create.
        const QFileInfo info(chosen.value_or(QString()));
        if (!chosen || !(info.exists() || info.isSymLink())) {
            return chosen;
        }
        const QString question =
            QCoreApplication::translate("quadrel", "%1 already exists.\nDo you want to replace it?")
                .arg(QDir::toNativeSeparators(*chosen));
        if (desktop.AskYesNo(parent, title, question)) {
            return chosen;
        }
        proposed = *chosen;
    }
}

bool SystemDesktop::StartDetached(const QString& commandLine) {
    const QStringList parts = QProcess::splitCommand(commandLine);
    if (parts.isEmpty()) {
        return false;
    }
    QProcess process;
    process.setProgram(parts.first());
#ifdef Q_OS_WIN
    // Hand CreateProcess the command line exactly as built, instead of letting
    // QProcess re-quote the arguments.
    std::wstring buffer = commandLine.toStdWString();
    process.setCreateProcessArgumentsModifier(
        [&buffer](QProcess::CreateProcessArguments* arguments) {
            arguments->arguments = buffer.data();
        });
#else
    process.setArguments(parts.mid(1));
#endif
    return process.startDetached();
}

bool SystemDesktop::OpenDocument(const QString& path, std::function<void()> whenNoApplication) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // QDesktopServices hands the file to xdg-open without looking at the
    // outcome. Running xdg-open ourselves shows both a missing xdg-open and its
    // verdict that nothing on this system opens the file.
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        return false;
    }
    // The opener must not end with Quadrel, yet its verdict is wanted: a shell
    // of ours waits for it and passes on its status. Ending Quadrel kills
    // only that shell; the opener, in the background, runs on.
    auto* opener = new QProcess(this);
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    connect(opener, &QProcess::finished, opener,
            [opener, whenNoApplication =
                         std::move(whenNoApplication)](int code, QProcess::ExitStatus status) {
                // xdg-open: 3 no method available, 4 the action failed.
                if (status == QProcess::NormalExit && (code == 3 || code == 4)) {
                    whenNoApplication();
                }
                opener->deleteLater();
            });
    opener->start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("\"$0\" \"$1\" & wait $!"), xdgOpen, path});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    return true;
#else
    Q_UNUSED(whenNoApplication);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

} // namespace quadrel
