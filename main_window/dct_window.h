#pragma once
// The main window "DCT": holds the controls and their handlers. The block and
// every operation on it live in its BlockDocument, which the other windows
// share; the desktop (file dialogs, message boxes, other programs) is reached
// through DesktopServices.

#include "bitmap_viewer/image_frame.h"
#include "freq_entry/x_y_entry.h"
#include "jpeg_file_window/jpeg_file_window.h"
#include "jpeg_worksheet/jpeg_worksheet.h"
#include "main_window/read_me.h"
#include "picture_compression/compress_window.h"
#include "views/block_document.h"
#include "views/block_export.h"
#include "views/desktop_services.h"
#include "views/twips_layout.h"

#include <QList>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <array>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quadrel {

class SquareGrid;

/// The object name of cell k (column + 8 * row), which the desktop window and
/// tests look the cell up by.
inline QString CellObjectName(int k) {
    return QStringLiteral("Text1_%1").arg(k);
}

class DCT : public QWidget {
    Q_OBJECT
public:
    /// `desktop` answers file dialogs and message boxes and starts other
    /// programs for this window and the windows it opens; null gives the real
    /// desktop. A given one must outlive the window.
    explicit DCT(DesktopServices* desktop = nullptr, QWidget* parent = nullptr);
    ~DCT() override;

    /// The block, for the windows that follow it.
    BlockDocument& Document() { return *document_; }

    /// The desktop this window and the windows it opens use.
    DesktopServices& Desktop() { return *desktop_; }
    /// The two grids and their captions as they are shown now.
    GridsPicture Grids() const;

    /// Loads a block file as Load Block does, without asking for it. False, after
    /// telling the user, when it cannot be loaded; the block is then unchanged.
    bool LoadBlockFile(const QString& fileName);
    /// Opens the bitmap viewer on a picture file without asking for it. A file
    /// that cannot be shown is reported and changes nothing (no viewer opens for it).
    void OpenPicture(const QString& fileName);
    /// Opens a "JPEG File" window on a file without asking for it; a file that
    /// cannot be read or is no JPEG is reported and opens nothing.
    void OpenJpegFile(const QString& fileName);
    /// The Rate-Distortion window on no picture yet (the Tools menu's).
    void OpenRateDistortion();

    /// F1 and the Read Me button's command; the menu bar shows the same action.
    QAction* ReadMeAction() const { return readMeAction_; }
    /// Actions (with their keys) every window opened from here takes too.
    void SetWindowActions(const QList<QAction*>& actions) { windowActions_ = actions; }
    /// The other windows that work on the block, each with its shortcut; the menu
    /// bar's Tools menu lists the same actions.
    const QList<QAction*>& ToolWindowActions() const { return toolWindowActions_; }

signals:
    /// A block file was loaded or saved.
    void BlockFileUsed(const QString& fileName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Follows View > Zoom: a new application font lays the window out again.
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The menus of the desktop window run the same handlers as the buttons.
    friend class DesktopWindow;

    void Command1_Click(int Index);
    void Command2_Click();
    void Command3_Click();
    void Option1_Click(int Index);
    void Text1_KeyPress(int Index, int KeyAscii);
    void Text1_Change(int Index);
    /// Shows "Compress Picture" (Ctrl+Shift+J), on the viewer's picture when the
    /// viewer has one and the window is new.
    void ShowCompressWindow();
    /// Opens the JPEG worksheet, or brings the open one to the front.
    void ShowWorksheet();
    /// File > Open JPEG File: asks for a JPEG file and opens a window on it.
    void ChooseJpegFile();
    /// The viewer's requests for the other windows, once per viewer.
    void ConnectImageFrame();

    void Form_Load();
    /// F1 shows the read-me, as the "Read Me" button does.
    void AddReadMeKey();
    /// F1 in `window` (one opened from here) opens the document at `section`.
    void AddHelpKey(QWidget* window, HelpSection section);
    /// Accessible names of the cells: "coefficient u, v" or "pixel x, y".
    void NameCells();
    void CreateControls();
    /// The window's size, the squares and a cell's fitting font at a zoom.
    void FitZoom(int percent);
    void FitSquares(int percent);
    void FitCellFont(QLineEdit* cell);
    void SetTabOrder();
    bool YieldEvents();
    /// Where the block is shown: the cells, the squares and their captions. A
    /// step of a long command, or a block picked under the pointer, repaints
    /// that at once and leaves the buttons to the event loop.
    QRegion BlockArea() const;
    void EndProgram();
    void ShowXYEntry();
    void ShowImageFrame();
    void AddToolWindowActions();
    void ShowQuantStep();
    void LoadPicture();
    void SaveBlock();

    DesktopServices* desktop_;
    std::array<QLineEdit*, kBlockCells> text1_{};
    SquareGrid* shape1_ = nullptr;
    TwipsLayout twips_; ///< every control but the squares, placed as designed at the zoom
    std::array<QPushButton*, 12> command1_{};
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    std::array<QRadioButton*, 2> option1_{};
    QButtonGroup* optionGroup_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    BlockDocument* document_ = nullptr;
    /// The block file last chosen, proposed by the next save.
    QString blockFileName_;
    ReadMe readMe_;
    FreqChoice frequencies_;
    QPointer<X_Y_Entry> xyEntry_;
    bool ending_ = false;
    QPointer<ImageFrame> imageFrame_;
    QPointer<CompressWindow> compressWindow_;
    QAction* readMeAction_ = nullptr;
    QList<QAction*> toolWindowActions_;
    QList<QAction*> windowActions_;
    QPointer<worksheet::JpegWorksheet> worksheet_;
    QList<QPointer<JpegFileWindow>> jpegWindows_;
};

} // namespace quadrel
