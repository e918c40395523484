#include "main_window/read_me.h"

#include <QDir>
#include <QFileInfo>

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
#if defined(Q_OS_WIN)
    return Route::WordPad;
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Desktops disagree on what opens RTF (a text editor showing the markup,
    // or nothing at all), so the help is shown in a window of our own.
    return Route::HelpWindow;
#else
    return Route::DesktopDefault;
#endif
}

ReadMe::ReadMe(QString programFolder, Route route, DesktopServices& desktop, QWidget* parent)
    : programFolder_(std::move(programFolder)), route_(route), desktop_(desktop), parent_(parent) {}

ReadMe::~ReadMe() {
    // A window without an owner; it shows nothing of the block but goes with us.
    delete help_.data();
}

void ReadMe::Tell(const QString& message) const {
    desktop_.ShowWarning(parent_.data(), QStringLiteral("Read Me"), message);
}

bool ReadMe::Open(HelpSection section) const {
    if (route_ == Route::HelpWindow) {
        // The page is built into the program, so there is nothing to miss.
        if (!help_) {
            help_ = new HelpWindow;
            help_->setAttribute(Qt::WA_DeleteOnClose);
        }
        help_->ShowSection(static_cast<int>(section));
        help_->show();
        help_->raise();
        help_->activateWindow();
        return true;
    }
    const QString path = Path();
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile()) {
        Tell(QStringLiteral(
                 "The read-me document cannot be opened because the file is missing:\n\n%1\n\n"
                 "It belongs in the program's folder, beside the program.")
                 .arg(shown));
        return false;
    }
    if (route_ == Route::WordPad) {
        if (!desktop_.StartDetached(WordPadCommandLine(programFolder_))) {
            Tell(QStringLiteral("The read-me document\n\n%1\n\ncannot be opened because the word "
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
    // Told later, from the event loop; by then the parent may be gone.
    DesktopServices& desktop = desktop_;
    const QPointer<QWidget> parent = parent_;
    const auto tellLater = [&desktop, parent, noApplication] {
        desktop.ShowWarning(parent.data(), QStringLiteral("Read Me"), noApplication);
    };
    if (!desktop_.OpenDocument(path, tellLater)) {
        Tell(noApplication);
        return false;
    }
    return true;
}

} // namespace quadrel
