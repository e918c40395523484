#pragma once
// The "Read Me" command: shows the read-me document. On Windows it starts
// WordPad with a fixed command line on readme.rtf, which ships beside the
// program; on Linux and the BSDs the help window shows it, made from the same
// document; elsewhere the desktop's default application opens readme.rtf.

#include "help/help_window.h"
#include "views/desktop_services.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace quadrel {

inline constexpr const char* kReadMeFileName = "readme.rtf";
inline constexpr const char* kWordPadProgram = R"(C:\progra~1\access~1\wordpad.exe)";

/// The read-me document in the given program folder.
QString ReadMePath(const QString& programFolder);

/// The WordPad command line for the read-me in programFolder: the program, one
/// blank, and the document's quoted Windows path. Forward slashes become
/// backslashes; a trailing separator is not doubled.
QString WordPadCommandLine(const QString& programFolder);

/// The sections of the document each window's F1 opens.
enum class HelpSection {
    Contents = 0,
    FrequencyEntry = 9,
    BitmapViewer = 10,
    Worksheet = 14,
    CompressPicture = 15,
    CommandLine = 16,
    JpegFile = 17,
    RateDistortion = 18,
    Zoom = 19,
};

class ReadMe {
public:
    /// How the document is shown.
    enum class Route { WordPad, DesktopDefault, HelpWindow };
    /// WordPad on Windows, the help window on Linux and the BSDs, the desktop's
    /// default application elsewhere.
    static Route NativeRoute();

    /// Messages appear over `parent` while it exists. `desktop` must outlive this.
    ReadMe(QString programFolder, Route route, DesktopServices& desktop, QWidget* parent = nullptr);
    ~ReadMe();
    ReadMe(const ReadMe&) = delete;
    ReadMe& operator=(const ReadMe&) = delete;

    /// Opens the document. False, after telling the user, when it is missing or
    /// nothing could be started to open it. Never waits for the opener.
    bool Open() const { return Open(HelpSection::Contents); }
    /// The same, at `section` where the help window shows it (WordPad and the
    /// desktop's application open the document at its start).
    bool Open(HelpSection section) const;

    QString Path() const { return ReadMePath(programFolder_); }

private:
    void Tell(const QString& message) const;

    QString programFolder_;
    Route route_;
    DesktopServices& desktop_;
    QPointer<QWidget> parent_;
    mutable QPointer<HelpWindow> help_;
};

} // namespace quadrel
