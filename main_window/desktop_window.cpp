#include "main_window/desktop_window.h"

#include "main_window/application_setup.h"
#include "views/settings_file.h"
#include "views/view_zoom.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

namespace quadrel {

namespace {

constexpr int kRecentFiles = 8;
const QString kRecentKey = QStringLiteral("recentBlockFiles");

bool IsPicture(const QString& fileName) {
    return !QImageReader::imageFormat(fileName).isEmpty();
}

} // namespace

QStringList DroppedFiles(const QMimeData* mime) {
    QStringList files;
    if (mime == nullptr || !mime->hasUrls()) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files << url.toLocalFile();
    }
    return files;
}

DesktopWindow::DesktopWindow(DesktopServices* desktop, QWidget* parent)
    : QMainWindow(parent), dct_(new DCT(desktop, this)),
      history_(new BlockHistory(dct_->Document(), this)) {
    setCentralWidget(dct_);
    // The window is exactly the menu bar over the fixed client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowTitle(dct_->windowTitle());
    connect(dct_, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);

    CreateFileMenu();
    CreateEditMenu();
    CreateViewMenu();
    CreateToolsMenu();
    CreateOptionsMenu();
    CreateHelpMenu();

    connect(dct_, &DCT::BlockFileUsed, this, &DesktopWindow::RememberFile);
    connect(history_, &BlockHistory::Changed, this, &DesktopWindow::UpdateUndoActions);
    UpdateUndoActions();

    setAcceptDrops(true);
    // A file dragged over a cell is for the window, not text for the cell.
    for (int k = 0; k < kBlockCells; ++k) {
        dct_->findChild<QLineEdit*>(CellObjectName(k))->installEventFilter(this);
    }
}

// The shortcuts are spelled out: not every desktop binds the standard keys
// (Quit has no standard key on some).
void DesktopWindow::CreateFileMenu() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Load Block…"), QKeySequence(Qt::CTRL | Qt::Key_O), this,
                    [this] { dct_->Command1_Click(7); });
    file->addAction(tr("&Save Block…"), QKeySequence(Qt::CTRL | Qt::Key_S), this,
                    [this] { dct_->Command1_Click(11); });
    recentMenu_ = file->addMenu(tr("&Recent Block Files"));
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    UpdateRecentMenu();
    file->addSeparator();
    file->addAction(tr("View &Bitmap…"), this, [this] { dct_->Command1_Click(10); });
    file->addAction(tr("Open &JPEG File…"), this, [this] { dct_->ChooseJpegFile(); })
        ->setObjectName(QStringLiteral("openJpegFileAction"));
    QMenu* exportMenu = file->addMenu(tr("&Export"));
    exportMenu->addAction(tr("&Grids…"), this, &DesktopWindow::ExportGrids)
        ->setObjectName(QStringLiteral("exportGridsAction"));
    exportMenu->addAction(tr("Basis &Pattern Chart…"), this, &DesktopWindow::ExportPatternChart)
        ->setObjectName(QStringLiteral("exportChartAction"));
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this,
                    [this] { dct_->Command1_Click(5); });
}

void DesktopWindow::CreateEditMenu() {
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    undo_ = edit->addAction(tr("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), this,
                            [this] { history_->Undo(); });
    undo_->setObjectName(QStringLiteral("undoAction"));
    redo_ = edit->addAction(tr("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this,
                            [this] { history_->Redo(); });
    redo_->setObjectName(QStringLiteral("redoAction"));
}

void DesktopWindow::CreateViewMenu() {
    QMenu* zoom = menuBar()->addMenu(tr("&View"))->addMenu(tr("&Zoom"));
    zoom->setObjectName(QStringLiteral("zoomMenu"));
    zoomGroup_ = new QActionGroup(this);
    for (const int percent : kZoomLevels) {
        QAction* action = zoom->addAction(tr("%1 %").arg(percent));
        action->setObjectName(QStringLiteral("zoomAction_%1").arg(percent));
        action->setCheckable(true);
        action->setData(percent);
        zoomGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, percent] { SetZoom(percent); });
    }
    zoom->addSeparator();
    // Ctrl+= too: on many keyboards "+" needs Shift, "=" is the same key without.
    struct Step {
        QString caption;
        QList<QKeySequence> keys;
        int steps; ///< 0: back to 100 %
        const char* name;
    };
    const std::array<Step, 3> steps{{
        {tr("Zoom &In"),
         {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
         1,
         "zoomInAction"},
        {tr("Zoom &Out"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, -1, "zoomOutAction"},
        {tr("&Actual Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, 0, "zoomResetAction"},
    }};
    for (const auto& [caption, keys, step, name] : steps) {
        QAction* action = zoom->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        const int by = step;
        connect(action, &QAction::triggered, this, [this, by] {
            SetZoom(by == 0 ? kZoomLevels.front() : SteppedZoom(CurrentZoom(), by));
        });
        zoomActions_.append(action);
    }
    // The keys work in every window the main window opens.
    dct_->SetWindowActions(zoomActions_);
    MarkZoom();
}

void DesktopWindow::SetZoom(int percent) {
    ApplyZoom(percent);
    StoreZoom(percent);
    MarkZoom();
}

void DesktopWindow::MarkZoom() {
    for (QAction* action : zoomGroup_->actions()) {
        action->setChecked(action->data().toInt() == CurrentZoom());
    }
}

void DesktopWindow::CreateToolsMenu() {
    // The windows that work on the block. New windows add their actions here.
    toolsMenu_ = menuBar()->addMenu(tr("&Tools"));
    toolsMenu_->setObjectName(QStringLiteral("toolsMenu"));
    toolsMenu_->addAction(tr("View Single DCT &Pattern…"), this,
                          [this] { dct_->Command1_Click(1); });
    toolsMenu_->addActions(dct_->ToolWindowActions());
    QAction* rateDistortion =
        toolsMenu_->addAction(tr("&Rate–Distortion…"), dct_, &DCT::OpenRateDistortion);
    rateDistortion->setObjectName(QStringLiteral("rateDistortionAction"));
}

void DesktopWindow::CreateOptionsMenu() {
    QMenu* options = menuBar()->addMenu(tr("&Options"));
    QMenu* stepTime = options->addMenu(tr("&Step Time"));
    paceGroup_ = new QActionGroup(this);
    struct Choice {
        Pace pace;
        QString caption;
        const char* name;
    };
    const std::array<Choice, 4> choices{{
        {Pace::Instant, tr("&Instant"), "paceAction_instant"},
        {Pace::Quick, tr("&Quick"), "paceAction_quick"},
        {Pace::Normal, tr("&Normal"), "paceAction_normal"},
        {Pace::Slow, tr("&Slow"), "paceAction_slow"},
    }};
    for (const auto& [pace, caption, name] : choices) {
        const StepTimes times = StepTimesOf(pace);
        const QString text = pace == Pace::Instant
                                 ? caption
                                 : tr("%1 (%2 ms a pattern, %3 ms a Build Mode step)")
                                       .arg(caption)
                                       .arg(times.PatternMs)
                                       .arg(times.BuildStepMs);
        QAction* action = stepTime->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setData(static_cast<int>(pace));
        paceGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, pace = pace] {
            SetPace(pace);
            StorePace(pace);
        });
    }
    SetPace(pace_);
}

void DesktopWindow::CreateHelpMenu() {
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    // The main window's own action, so that F1 has one meaning.
    help->addAction(dct_->ReadMeAction());
    help->addSeparator();
    help->addAction(tr("&About Quadrel"), this, [this] { ShowAbout(); });
    help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
}

QAction* DesktopWindow::PaceAction(Pace pace) const {
    for (QAction* action : paceGroup_->actions()) {
        if (action->data().toInt() == static_cast<int>(pace)) {
            return action;
        }
    }
    return nullptr;
}

void DesktopWindow::SetPace(Pace pace) {
    pace_ = pace;
    dct_->Document().SetStepTimes(StepTimesOf(pace));
    if (QAction* action = PaceAction(pace)) {
        action->setChecked(true);
    }
}

void DesktopWindow::ShowAbout() {
    QMessageBox::about(
        this, tr("About Quadrel"),
        tr("<h3>Quadrel %1</h3>"
           "<p>Study the two-dimensional discrete cosine transform on one 8×8 block.</p>"
           "<p>All block arithmetic is in IEEE double precision, in a fixed order, "
           "without fused multiply-add, with π′ = 3.1415927, so every result can be "
           "reproduced to the last bit.</p>"
           "<p>Licence: GPL-3.0-or-later.</p>")
            .arg(QApplication::applicationVersion()));
}

QStringList DesktopWindow::RecentFiles() const {
    // Held to the menu's length whatever the file says: a damaged or edited
    // file must not fill the screen with entries.
    QStringList files;
    for (const QString& path : StoredSettings().Value(kRecentKey).toStringList()) {
        if (files.size() == kRecentFiles) {
            break;
        }
        if (!path.isEmpty() && !files.contains(path)) {
            files << path;
        }
    }
    return files;
}

void DesktopWindow::RememberFile(const QString& fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    StoredSettings().SetValue(kRecentKey, files.mid(0, kRecentFiles));
    UpdateRecentMenu();
}

void DesktopWindow::UpdateRecentMenu() {
    recentMenu_->clear();
    const QStringList files = RecentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& path = files[i]; // the action keeps its own copy
        QAction* action = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
            [this, path] {
                if (!dct_->LoadBlockFile(path)) {
                    QStringList kept = RecentFiles();
                    kept.removeAll(path);
                    StoredSettings().SetValue(kRecentKey, kept);
                    UpdateRecentMenu();
                }
            });
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void DesktopWindow::UpdateUndoActions() {
    undo_->setEnabled(history_->CanUndo());
    undo_->setText(history_->UndoText());
    redo_->setEnabled(history_->CanRedo());
    redo_->setText(history_->RedoText());
}

void DesktopWindow::ExportGrids() {
    // A Build Mode transform still being shown is exported finished.
    dct_->Document().FinishPacedBuild();
    const GridsPicture grids = dct_->Grids();
    Export(tr("Export Grids"),
           [&grids](const QString& fileName) { return quadrel::ExportGrids(grids, fileName); });
}

void DesktopWindow::ExportPatternChart() {
    Export(tr("Export Basis Pattern Chart"), &quadrel::ExportPatternChart);
}

void DesktopWindow::Export(const QString& title,
                           const std::function<QString(const QString&)>& write) {
    // Asked about is the file that would be written, suffix and all.
    const std::optional<QString> chosen =
        ChooseSaveFileName(dct_->Desktop(), this, title, ExportFilter(), {}, &ExportFileName);
    if (!chosen) {
        return;
    }
    const QString& fileName = *chosen;
    const QString error = write(fileName);
    if (!error.isEmpty()) {
        dct_->Desktop().ShowWarning(this, title,
                                    tr("The picture could not be written to\n%1\n\n%2\n\n"
                                       "Any file of that name is unchanged.")
                                        .arg(QDir::toNativeSeparators(fileName), error));
    }
}

void DesktopWindow::OpenFile(const QString& fileName) {
    if (IsPicture(fileName)) {
        dct_->OpenPicture(fileName);
    } else {
        dct_->LoadBlockFile(fileName);
    }
}

void DesktopWindow::closeEvent(QCloseEvent* event) {
    // The client area decides: it closes the program's other windows.
    event->setAccepted(dct_->close());
}

void DesktopWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void DesktopWindow::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    for (const QString& file : files) {
        OpenFile(file);
    }
}

bool DesktopWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!DroppedFiles(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
        break;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!DroppedFiles(drop->mimeData()).isEmpty()) {
            dropEvent(drop);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quadrel
