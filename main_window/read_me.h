#pragma once
// The "Read Me" command: opens the read-me document that ships beside the
// program. On Windows it starts WordPad with a fixed command line; elsewhere the
// desktop's default application opens the document. Every way out to the
// system goes through ReadMe::Services, so tests see what would be started.

#include <QString>

#include <functional>

class QWidget;

namespace quadrel {

inline constexpr const char* kReadMeFileName = "readme.rtf";
inline constexpr const char* kWordPadProgram = R"(C:\progra~1\access~1\wordpad.exe)";

/// The read-me document in the given program folder.
QString ReadMePath(const QString& programFolder);

/// The WordPad command line for the read-me in programFolder: the program, one
/// blank, and the document's quoted Windows path. Forward slashes become
/// backslashes; a trailing separator is not doubled.
QString WordPadCommandLine(const QString& programFolder);

class ReadMe {
public:
    /// How the document is handed to the system.
    enum class Route { WordPad, DesktopDefault };
    /// WordPad on Windows, the desktop's default application elsewhere.
    static Route NativeRoute();

    struct Services {
        /// Starts a program from a whole command line without waiting; false
        /// when it could not be started.
        std::function<bool(const QString& commandLine)> StartDetached;
        /// Opens a local file with the desktop's default application; false
        /// when no application could be asked to. The opener runs on after
        /// this returns; when it later finds nothing that opens the file it
        /// calls `whenNoApplication` (from the event loop).
        std::function<bool(const QString& path, std::function<void()> whenNoApplication)>
            OpenDocument;
        /// Tells the user why the document did not open.
        std::function<void(const QString& message)> ShowMessage;
    };
    /// The real services; messages appear in a box over parent, which also owns
    /// any opener still running.
    static Services SystemServices(QWidget* parent);

    ReadMe(QString programFolder, Route route, Services services);

    /// Opens the document. False, after telling the user, when it is missing or
    /// nothing could be started to open it. Never waits for the opener.
    bool Open() const;

    QString Path() const { return ReadMePath(programFolder_); }
    void SetServices(Services services) { services_ = std::move(services); }

private:
    QString programFolder_;
    Route route_;
    Services services_;
};

} // namespace quadrel
