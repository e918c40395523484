#pragma once
// The program's main window as the desktop sees it: the menu bar above the
// 600x456 "DCT" client area, whose controls stay exactly where they are. The
// menus add to the buttons and call the same handlers. This window also holds
// the undo history, the recent block files, the pace, and opens the files named
// on the command line or dropped on it.

#include "main_window/dct_window.h"
#include "views/block_history.h"
#include "views/pace.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QActionGroup;
class QMenu;
class QMimeData;

namespace quadrel {

class DesktopWindow : public QMainWindow {
    Q_OBJECT
public:
    /// `desktop` as for DCT: null gives the real desktop.
    explicit DesktopWindow(DesktopServices* desktop = nullptr, QWidget* parent = nullptr);

    /// The View > Zoom keys (in, out, 100 %), which every window of Quadrel takes.
    const QList<QAction*>& ZoomActions() const { return zoomActions_; }

    /// Applies a pace for this run and marks it in the Options menu; the menu
    /// also stores it as the user's choice.
    void SetPace(Pace pace);

    /// A file named on the command line or dropped on the window: a picture, as
    /// Qt recognises one by its content, opens in the bitmap viewer; anything
    /// else is loaded as a block file. Bad files are reported as the dialogs report them.
    void OpenFile(const QString& fileName);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// File > Export: ask for a PNG or SVG file name and write the picture,
    /// reporting a failure.
    void ExportGrids();
    void ExportPatternChart();
    /// Block files loaded or saved, newest first (kept in the settings file), at most
    /// as many as the menu shows.
    QStringList RecentFiles() const;
    QAction* PaceAction(Pace pace) const;
    void CreateFileMenu();
    void CreateEditMenu();
    /// View > Zoom: the levels, and keys to step through them.
    void CreateViewMenu();
    /// Zooms every window to `percent` and keeps it for the next start.
    void SetZoom(int percent);
    void MarkZoom();
    void CreateToolsMenu();
    void CreateOptionsMenu();
    void CreateHelpMenu();
    void RememberFile(const QString& fileName);
    void UpdateRecentMenu();
    void UpdateUndoActions();
    void ShowAbout();
    void Export(const QString& title, const std::function<QString(const QString&)>& write);

    DCT* dct_ = nullptr;
    BlockHistory* history_ = nullptr;
    Pace pace_ = Pace::Instant;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* toolsMenu_ = nullptr;
    QActionGroup* paceGroup_ = nullptr;
    QActionGroup* zoomGroup_ = nullptr;
    QList<QAction*> zoomActions_;
};

/// The local files a drag carries, or none when it carries anything else.
QStringList DroppedFiles(const QMimeData* mime);

} // namespace quadrel
