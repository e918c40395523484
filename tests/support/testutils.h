#pragma once
// What the GUI tests and benchmarks share: a desktop that answers from a
// script, a paint counter, a main window ready to use and the look-up of
// controls by object name.

#include "main_window/dct_window.h"
#include "tests/support/ready_engine.h"
#include "views/desktop_services.h"
#include "views/square_grid.h"

#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>

class QAbstractButton;

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

/// The child of `root` of type T named `name`. There is no test to run
/// without it, so a missing one ends the test program, naming the control.
template <class T> T* Find(const QObject& root, const QString& name) {
    T* found = root.findChild<T*>(name);
    if (found == nullptr) {
        std::fprintf(stderr, "FAIL: no control \"%s\" under \"%s\"\n", qPrintable(name),
                     qPrintable(root.objectName()));
        std::abort();
    }
    return found;
}

template <class T> T* Find(const QObject& root, const char* name) {
    return Find<T>(root, QString::fromLatin1(name));
}

/// The window of type T without an owner that is open now, shown or hidden;
/// nullptr when there is none.
template <class T> T* OpenWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* wanted = qobject_cast<T*>(window)) {
            return wanted;
        }
    }
    return nullptr;
}

/// The main window's cell k (column + 8 * row).
inline QLineEdit* Cell(const QObject& main, int k) {
    return Find<QLineEdit>(main, CellObjectName(k));
}

/// The frequency dialog's box with that index: 0 across, 1 down.
inline QLineEdit* Text1(const QObject& entry, int index) {
    return Find<QLineEdit>(entry, QStringLiteral("Text1_%1").arg(index));
}

/// The main window's Command1 button with that index (9 has none).
inline QPushButton* Command1(const QObject& main, int index) {
    return Find<QPushButton>(main, QStringLiteral("Command1_%1").arg(index));
}

/// The main window's grey grid.
inline SquareGrid* Shape1(const QObject& main) {
    return Find<SquareGrid>(main, "Shape1");
}

/// The main window's Option1 radio button with that index.
inline QRadioButton* Option1(const QObject& main, int index) {
    return Find<QRadioButton>(main, QStringLiteral("Option1_%1").arg(index));
}

/// A left click on the button, as the user gives it.
void Click(QAbstractButton* button);

/// The pointer moved over `widget` to `at`, no button held.
void MoveOver(QWidget* widget, QPoint at);

/// Replaces a cell's text by typing, as a user does.
void TypeIntoCell(QLineEdit* cell, const QString& text);

/// The real main window with a scripted desktop.
struct ScriptedWindow {
    ScriptedDesktop desktop;
    DCT window{&desktop};
};

} // namespace quadrel::test
