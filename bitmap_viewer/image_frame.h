#pragma once
// The bitmap viewer "DCT Bitmap Viewer": shows a picture file, each pixel as
// 1x1 screen pixels or at View > Zoom 200 % as 2x2, and,
// while the pointer moves over it, copies the 8x8 grey-level block under the
// pointer into the main window's space block.
//
// A picture larger than the 537x401 area is panned with the scroll bars that
// then appear beside the area (the window grows by their width), the wheel
// (Shift for sideways) and the arrow and page keys. Picking, the white beyond
// the area and the background beyond the picture all follow what is shown; the
// label gives the position in the picture, that is the area position (in
// picture pixels) plus the pan. With "Snap to 8x8" the block picked is the one of the 8x8 grid from
// the picture's top-left corner that holds the pointer, as an encoder cuts it; the pan then moves
// in whole blocks so that every such block starts in view.
//
// The window deletes itself when closed. Its creator makes it, runs Form_Load
// (which asks for the first picture before the window is ever shown), then shows it.

#include "engine/luma.h"
#include "views/block_document.h"
#include "views/desktop_services.h"

#include <QCursor>
#include <QWidget>

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace quadrel {

class PictureBox;

inline const QString kImageFrameCaption = QStringLiteral("DCT Bitmap Viewer");
inline const QString kPictureFilter = QStringLiteral(
    "graphic files, jpg/gif/bmp/png/tif/webp/pbm/pgm/ppm|*.jpg;*.jpeg;*.gif;*.bmp;*.png;*.tif;"
    "*.tiff;*.webp;*.pbm;*.pgm;*.ppm|all files|*.*");

/// "x=12 y=34      Y=124 R=200 G=100 B=50": the position and colour of the
/// point under the pointer, as the viewer's label shows them.
QString PickCaption(float x, float y, int luma, const Rgb& rgb);

/// The pointer read from an icon file, with its hot spot at the image's top-left
/// pixel (icon files carry no hot spot of their own), each pixel drawn `scale`
/// times across and down. An ordinary arrow when the file is missing or cannot
/// be read.
QCursor PointerFromIconFile(const QString& fileName, int scale = 1);

/// How many screen pixels across and down each picture pixel takes at View >
/// Zoom `percent`: the whole hundreds, at least 1 (the picture stays sharp).
int PictureScale(int percent);

class ImageFrame : public QWidget {
    Q_OBJECT
public:
    /// Picks into `document`; asks for files and reports through `desktop`.
    /// Both must outlive the window.
    ImageFrame(BlockDocument& document, DesktopServices& desktop);
    ~ImageFrame() override;

    /// Prepares the picture area (pointer, pixel unit) and shows `fileName`, or
    /// asks for the first picture when none is given.
    void Form_Load(const QString& fileName = {});
    /// Shows a picture file; false, after reporting it, when it cannot be shown.
    bool ShowPicture(const QString& fileName);
    bool HasPicture() const;

    /// The picture area, whose picture the main window hands on.
    PictureBox* Picture1() const { return picture1_; }

signals:
    /// Ctrl+Shift+J: the user asks for "Compress Picture" on the picture shown.
    void CompressRequested();
    /// Ctrl+I or the picture's context menu: the user asks for the "JPEG File"
    /// window on the JPEG file shown.
    void JpegContentsRequested(const QString& fileName);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    /// View > Zoom: the picture and the pointer's box follow the application font.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Asks for a picture file and shows it. A cancelled dialog changes nothing; a
    /// file that cannot be shown is reported and changes nothing either.
    void BitMapLoad();
    void Command1_Click();
    void Picture1_MouseMove(int Button, int Shift, float X, float Y);
    void Picture1_MouseDown(int Button, int Shift, float X, float Y);
    /// Moves the view by `delta` picture pixels, within the picture.
    void Pan(QPoint delta);
    void FitScrollBars();
    void FollowZoom();
    void AddKeys();
    BlockDocument& document_;
    DesktopServices& desktop_;
    PictureBox* picture1_ = nullptr;
    QPushButton* command1_ = nullptr;
    std::array<QLabel*, 1> label1_{};
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    QCheckBox* snap_ = nullptr;
    int pickSession_;
    QString fileName_;              ///< the picture file shown
    QString pointerFile_;           ///< the pointer's icon, once Form_Load has set it
    QAction* lookInside_ = nullptr; ///< enabled while that file is a JPEG
};

} // namespace quadrel
