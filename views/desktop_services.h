#pragma once
// Everything the windows ask of the desktop: file dialogs, warning boxes and
// starting other programs. Windows reach the system only through this, so that
// tests can answer in their place.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace quadrel {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    /// Modal dialogs that choose a file. `filter` has the form
    /// "description|pattern;pattern|description|pattern". `preset` is the name
    /// proposed; a folder and a pattern ("/dir/*.txt") opens that folder with the
    /// pattern in the name field. Nothing when the user cancels.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& filter,
                                                const QString& preset) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& filter,
                                                const QString& preset) = 0;

    /// A modal warning box; `parent` may be null.
    virtual void ShowWarning(QWidget* parent, const QString& title, const QString& text) = 0;
    /// A modal Yes/No question with No as the default answer; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& question) = 0;

    /// Starts a program from a whole command line without waiting; false when it
    /// could not be started.
    virtual bool StartDetached(const QString& commandLine) = 0;
    /// Opens a local file with the desktop's default application; false when no
    /// application could be asked to. The opener runs on after this returns; when
    /// it later finds nothing that opens the file it calls `whenNoApplication`
    /// (from the event loop).
    virtual bool OpenDocument(const QString& path, std::function<void()> whenNoApplication) = 0;

protected:
    DesktopServices() = default;
    DesktopServices(const DesktopServices&) = default;
    DesktopServices& operator=(const DesktopServices&) = default;
};

/// The real desktop. The watchers of openers still running belong to this
/// object; the openers themselves outlive it.
class SystemDesktop : public QObject, public DesktopServices {
    Q_OBJECT
public:
    explicit SystemDesktop(QObject* parent = nullptr) : QObject(parent) {}

    std::optional<QString> OpenFileName(QWidget* parent, const QString& filter,
                                        const QString& preset) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& filter,
                                        const QString& preset) override;
    void ShowWarning(QWidget* parent, const QString& title, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& question) override;
    bool StartDetached(const QString& commandLine) override;
    bool OpenDocument(const QString& path, std::function<void()> whenNoApplication) override;
};

/// The save dialog for `title`, asking before an existing file is replaced:
/// No (the default) goes back to the dialog. Nothing when the user cancels.
/// `complete` turns the name typed into the file written (a suffix added, say),
/// so that the question is about the file that would be replaced.
std::optional<QString>
ChooseSaveFileName(DesktopServices& desktop, QWidget* parent, const QString& title,
                   const QString& filter, const QString& preset,
                   const std::function<QString(const QString&)>& complete = {});

/// "text|*.txt;*.csv|all|*.*" -> "text (*.txt *.csv);;all (*.*)"
QString QtFilterFromPipeFilter(const QString& filter);

/// The folder that holds the running executable (symlinks resolved), no trailing separator.
QString ProgramFolder();

} // namespace quadrel
