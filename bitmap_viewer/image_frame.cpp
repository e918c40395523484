#include "bitmap_viewer/image_frame.h"

#include "bitmap_viewer/picture_box.h"
#include "bitmap_viewer/picture_file.h"
#include "views/pixels.h"

#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace quadrel {

namespace {

// Up to seven significant digits, none after the point when the number is whole.
QString PlainNumber(float value) {
    return QString::number(static_cast<double>(value), 'g', 7);
}

} // namespace

QString PickCaption(float x, float y, int luma, const Rgb& rgb) {
    return QStringLiteral("x=%1 y=%2      Y=%3 R=%4 G=%5 B=%6")
        .arg(PlainNumber(x), PlainNumber(y))
        .arg(luma)
        .arg(rgb.R)
        .arg(rgb.G)
        .arg(rgb.B);
}

QCursor PointerFromIconFile(const QString& fileName) {
    QImageReader reader(fileName);
    const QImage image = reader.read();
    if (image.isNull()) {
        return QCursor(Qt::ArrowCursor);
    }
    return QCursor(QPixmap::fromImage(image), 0, 0);
}

ImageFrame::ImageFrame(BlockDocument& document, DesktopServices& desktop)
    : QWidget(nullptr), document_(document), desktop_(desktop),
      pickSession_(document.NewSession()) {
    // The window goes, picture and all, when it is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kImageFrameCaption);
    setFixedSize(PixelsFromTwips(8325), PixelsFromTwips(7095));

    // Created in tab order, which the focus chain follows; under Qt 6.4
    // setTabOrder did not move the picture area ahead of the button.
    command1_ = new QPushButton(QStringLiteral("Load Image"), this);
    command1_->setGeometry(PixelRectFromTwips(120, 6360, 1095, 615));
    picture1_ = new PictureBox(this);
    picture1_->setGeometry(PixelRectFromTwips(120, 240, 8055, 6015));
    label1_[0] = new QLabel(QStringLiteral("Label1"), this);
    label1_[0]->setGeometry(PixelRectFromTwips(1800, 6480, 6375, 375));
    command1_->setFocus();

    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(picture1_, &PictureBox::MouseMove, this, &ImageFrame::Picture1_MouseMove);
    connect(picture1_, &PictureBox::MouseDown, this, &ImageFrame::Picture1_MouseDown);
}

ImageFrame::~ImageFrame() = default;

void ImageFrame::Form_Load(const QString& fileName) {
    picture1_->setCursor(PointerFromIconFile(ProgramFolder() + QStringLiteral("/box.ico")));
    // The picture area works in pixels from its top-left corner: nothing to set.
    if (fileName.isEmpty()) {
        BitMapLoad();
    } else {
        ShowPicture(fileName);
    }
}

void ImageFrame::BitMapLoad() {
    // Before the window is shown the dialog has no window to sit over.
    const std::optional<QString> fileName = desktop_.OpenFileName(
        isVisible() ? this : nullptr, kPictureFilter, ProgramFolder() + QStringLiteral("/*.jpg"));
    if (fileName) {
        ShowPicture(*fileName);
    }
}

bool ImageFrame::ShowPicture(const QString& fileName) {
    const PictureLoad load = LoadPictureFile(fileName, picture1_->BackColor());
    if (!load.Problem.isEmpty()) {
        desktop_.ShowWarning(isVisible() ? this : nullptr, kImageFrameCaption,
                             QStringLiteral("The picture \"%1\" cannot be shown: %2")
                                 .arg(QDir::toNativeSeparators(fileName), load.Problem));
        return false;
    }
    picture1_->SetPicture(load.Picture);
    return true;
}

bool ImageFrame::HasPicture() const {
    return !picture1_->Picture().isNull();
}

void ImageFrame::Command1_Click() {
    BitMapLoad();
}

void ImageFrame::Picture1_MouseMove(int /*Button*/, int /*Shift*/, float X, float Y) {
    const Rgb under = Components(picture1_->Point(X, Y));
    label1_[0]->setText(PickCaption(X, Y, Luma(under), under));
    // One announced change per move, however many cells it writes; the moves of
    // one viewer make one undo step until another command intervenes.
    const BlockDocument::Change change(document_, tr("Pick from Picture"), pickSession_);
    for (int i = 0; i <= 7; ++i) {
        for (int j = 0; j <= 7; ++j) {
            const ColourValue c =
                picture1_->Point(static_cast<double>(X) + i, static_cast<double>(Y) + j);
            document_.SetSpace(i, j, Luma(Components(c)));
        }
    }
    document_.DCTandDraw();
    document_.Refresh();
}

void ImageFrame::Picture1_MouseDown(int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
    // The main window keeps the block of the last move.
    close();
}

} // namespace quadrel
