#pragma once
// What the tests and benchmarks share: a desktop that answers from a script, a
// paint counter, and an engine and a main window ready to use.

#include "engine/dct_engine.h"
#include "main_window/dct_window.h"
#include "views/desktop_services.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class QLineEdit;

namespace quadrel::test {

/// Answers in place of the user and the system and notes what it was asked.
/// Each kind of call can be handed to the real desktop instead.
class ScriptedDesktop : public SystemDesktop {
public:
    struct FileDialog {
        bool save;
        QString filter;
        QString preset;
        bool operator==(const FileDialog&) const = default;
    };

    QStringList answers; ///< each file dialog takes the next; an empty name, or none, cancels
    QList<FileDialog> dialogs;
    QStringList messages;                    ///< "title: text"
    QList<bool> replies;                     ///< each question takes the next; none left is No
    QStringList questions;                   ///< "title: question"
    QStringList started;                     ///< command lines
    QStringList opened;                      ///< documents
    bool programsStart = true;               ///< what StartDetached and OpenDocument report
    std::function<void()> whenNoApplication; ///< the last OpenDocument's late report

    bool realFileDialogs = false;
    bool realMessages = false;
    bool realPrograms = false;

    std::optional<QString> OpenFileName(QWidget* parent, const QString& filter,
                                        const QString& preset) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& filter,
                                        const QString& preset) override;
    void ShowWarning(QWidget* parent, const QString& title, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& question) override;
    bool StartDetached(const QString& commandLine) override;
    bool OpenDocument(const QString& path, std::function<void()> whenNoApplication) override;

private:
    std::optional<QString> Answer(bool save, const QString& filter, const QString& preset);
};

/// Counts the paint events `watched` receives from now on.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QObject* watched) { watched->installEventFilter(this); }
    long Count() const { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    long count_ = 0;
};

/// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

/// An engine ready to transform, as the main window sets it up at start.
DctEngine ReadyEngine();

/// Replaces a cell's text by typing, as a user does.
void TypeIntoCell(QLineEdit* cell, const QString& text);

/// The real main window with a scripted desktop.
struct ScriptedWindow {
    ScriptedDesktop desktop;
    DCT window{&desktop};
};

} // namespace quadrel::test
