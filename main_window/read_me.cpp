#include "main_window/read_me.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <string>

namespace quadrel {

QString ReadMePath(const QString& programFolder) {
    return QDir(programFolder).filePath(QString::fromLatin1(kReadMeFileName));
}

QString WordPadCommandLine(const QString& programFolder) {
    QString folder = programFolder;
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    // A drive root comes as "C:\"; the document still sits directly below it.
    while (folder.endsWith(QLatin1Char('\\'))) {
        folder.chop(1);
    }
    return QString::fromLatin1(kWordPadProgram) + QStringLiteral(" \"") + folder +
           QLatin1Char('\\') + QString::fromLatin1(kReadMeFileName) + QLatin1Char('"');
}

ReadMe::Route ReadMe::NativeRoute() {
#ifdef Q_OS_WIN
    return Route::WordPad;
#else
    return Route::DesktopDefault;
#endif
}

namespace {

bool StartCommandLine(const QString& commandLine) {
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

bool OpenWithDesktop(QObject* owner, const QString& path,
                     const std::function<void()>& whenNoApplication) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // QDesktopServices hands the file to xdg-open without looking at the
    // outcome. Running xdg-open ourselves shows both a missing xdg-open and its
    // verdict that nothing on this system opens the file.
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        return false;
    }
    auto* opener = new QProcess(owner);
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, whenNoApplication](int code, QProcess::ExitStatus status) {
                         // xdg-open: 3 no method available, 4 the action failed.
                         if (status == QProcess::NormalExit && (code == 3 || code == 4)) {
                             whenNoApplication();
                         }
                         opener->deleteLater();
                     });
    opener->start(xdgOpen, {path});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    return true;
#else
    Q_UNUSED(owner);
    Q_UNUSED(whenNoApplication);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

} // namespace

ReadMe::Services ReadMe::SystemServices(QWidget* parent) {
    // The parent may be gone by the time a message is shown; fall back to no parent.
    QPointer<QWidget> owner(parent);
    const auto open = [owner](const QString& path, const std::function<void()>& whenNoApplication) {
        return OpenWithDesktop(owner.data(), path, whenNoApplication);
    };
    return {StartCommandLine, open, [owner](const QString& message) {
                QMessageBox::warning(owner.data(), QStringLiteral("Read Me"), message);
            }};
}

ReadMe::ReadMe(QString programFolder, Route route, Services services)
    : programFolder_(std::move(programFolder)), route_(route), services_(std::move(services)) {}

bool ReadMe::Open() const {
    const QString path = Path();
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile()) {
        services_.ShowMessage(
            QStringLiteral(
                "The read-me document cannot be opened because the file is missing:\n\n%1\n\n"
                "It belongs in the program's folder, beside the program.")
                .arg(shown));
        return false;
    }
    if (route_ == Route::WordPad) {
        if (!services_.StartDetached(WordPadCommandLine(programFolder_))) {
            services_.ShowMessage(
                QStringLiteral("The read-me document\n\n%1\n\ncannot be opened because the word "
                               "processor could not be started:\n\n%2")
                    .arg(shown, QString::fromLatin1(kWordPadProgram)));
            return false;
        }
        return true;
    }
    const QString noApplication =
        QStringLiteral("The read-me document\n\n%1\n\ncannot be opened because no application "
                       "for opening it was found on this system.")
            .arg(shown);
    const auto showMessage = services_.ShowMessage;
    if (!services_.OpenDocument(path,
                                [showMessage, noApplication] { showMessage(noApplication); })) {
        services_.ShowMessage(noApplication);
        return false;
    }
    return true;
}

} // namespace quadrel
