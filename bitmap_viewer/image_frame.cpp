#include "bitmap_viewer/image_frame.h"

#include "bitmap_viewer/picture_box.h"
#include "bitmap_viewer/picture_file.h"
#include "views/twips.h"

#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

namespace quadrel {

namespace {

// Up to seven significant digits, none after the point when the number is whole.
QString PlainNumber(float value) {
    return QString::number(static_cast<double>(value), 'g', 7);
}

void ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, kImageFrameCaption, text);
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

ImageFrame::ImageFrame(BlockHost& host, std::unique_ptr<CommonDialog> dialog)
    : QWidget(nullptr), host_(host),
      commonDialog1_(dialog ? std::move(dialog) : std::make_unique<CommonDialog>()),
      messageSink_(ShowMessageBox) {
    // The window goes, picture and all, when it is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kImageFrameCaption);
    setFixedSize(Twips(8325), Twips(7095));

    // Created in tab order, which the focus chain follows; under Qt 6.4
    // setTabOrder did not move the picture area ahead of the button.
    command1_ = new QPushButton(QStringLiteral("Load Image"), this);
    command1_->setGeometry(TwipsRect(120, 6360, 1095, 615));
    picture1_ = new PictureBox(this);
    picture1_->setGeometry(TwipsRect(120, 240, 8055, 6015));
    label1_[0] = new QLabel(QStringLiteral("Label1"), this);
    label1_[0]->setGeometry(TwipsRect(1800, 6480, 6375, 375));
    command1_->setFocus();

    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(picture1_, &PictureBox::MouseMove, this, &ImageFrame::Picture1_MouseMove);
    connect(picture1_, &PictureBox::MouseDown, this, &ImageFrame::Picture1_MouseDown);
}

ImageFrame::~ImageFrame() = default;

void ImageFrame::SetMessageSink(MessageSink sink) {
    messageSink_ = std::move(sink);
}

void ImageFrame::Form_Load() {
    picture1_->setCursor(PointerFromIconFile(ProgramFolder() + QStringLiteral("/box.ico")));
    // The picture area works in pixels from its top-left corner: nothing to set.
    BitMapLoad();
}

void ImageFrame::BitMapLoad() {
    commonDialog1_->Filter = kPictureFilter;
    commonDialog1_->FileName = ProgramFolder() + QStringLiteral("/*.jpg");
    // Before the window is shown the dialog has no window to sit over.
    if (!commonDialog1_->ShowOpen(isVisible() ? this : nullptr)) {
        return;
    }
    const QString fileName = commonDialog1_->FileName;
    const PictureLoad load = LoadPictureFile(fileName, picture1_->BackColor());
    if (!load.Problem.isEmpty()) {
        messageSink_(isVisible() ? this : nullptr,
                     QStringLiteral("The picture \"%1\" cannot be shown: %2")
                         .arg(QDir::toNativeSeparators(fileName), load.Problem));
        return;
    }
    picture1_->SetPicture(load.Picture);
}

void ImageFrame::Command1_Click() {
    BitMapLoad();
}

void ImageFrame::Picture1_MouseMove(int /*Button*/, int /*Shift*/, float X, float Y) {
    const Rgb under = Components(picture1_->Point(X, Y));
    label1_[0]->setText(PickCaption(X, Y, Luma(under), under));
    for (int i = 0; i <= 7; ++i) {
        for (int j = 0; j <= 7; ++j) {
            const ColourValue c =
                picture1_->Point(static_cast<double>(X) + i, static_cast<double>(Y) + j);
            host_.SetSpaceValue(i, j, Luma(Components(c)));
        }
    }
    host_.DCTandDraw();
    host_.Refresh();
}

void ImageFrame::Picture1_MouseDown(int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
    // The main window keeps the block of the last move.
    close();
}

} // namespace quadrel
