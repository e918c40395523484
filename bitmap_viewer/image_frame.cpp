#include "bitmap_viewer/image_frame.h"

#include "bitmap_viewer/picture_box.h"
#include "picture_io/picture_file.h"
#include "views/caption_button.h"
#include "views/pixels.h"
#include "views/view_zoom.h"
#include "views/window_palette.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace quadrel {

namespace {

constexpr int kGrid = 8;
// The window's size while no scroll bars are needed.
const QSize kFrameSize(PixelsFromTwips(8325), PixelsFromTwips(7095));

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

QCursor PointerFromIconFile(const QString& fileName, int scale) {
    QImageReader reader(fileName);
    const QImage image = reader.read();
    if (image.isNull()) {
        return QCursor(Qt::ArrowCursor);
    }
    // The box must stay around the 8x8 picture pixels it picks, however large they are drawn.
    return QCursor(QPixmap::fromImage(image.scaled(image.size() * std::max(1, scale),
                                                   Qt::IgnoreAspectRatio, Qt::FastTransformation)),
                   0, 0);
}

int PictureScale(int percent) {
    return std::max(1, percent / 100);
}

ImageFrame::ImageFrame(BlockDocument& document, DesktopServices& desktop)
    : QWidget(nullptr), document_(document), desktop_(desktop),
      pickSession_(document.NewSession()) {
    // The window goes, picture and all, when it is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kImageFrameCaption);
    ApplyWindowPalette(this);
    setFixedSize(kFrameSize);
    // Laid out in twips at 100 %, the font its layout was designed for: View >
    // Zoom enlarges the picture in the area (FollowZoom), not the window.
    setFont(ApplicationFont(100));

    // Created in tab order, which the focus chain follows; under Qt 6.4
    // setTabOrder did not move the picture area ahead of the button.
    command1_ = new CaptionButton(QStringLiteral("Load Image"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(PixelRectFromTwips(120, 6360, 1095, 615));
    picture1_ = new PictureBox(this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setGeometry(PixelRectFromTwips(120, 240, 8055, 6015));
    label1_[0] = new QLabel(QStringLiteral("Label1"), this);
    label1_[0]->setObjectName(QStringLiteral("Label1_0"));
    label1_[0]->setGeometry(PixelRectFromTwips(1800, 6480, 4500, 375));
    snap_ = new QCheckBox(tr("Snap to 8x8"), this);
    snap_->setObjectName(QStringLiteral("snapToGrid"));
    snap_->setGeometry(PixelRectFromTwips(6450, 6480, 1725, 375));
    snap_->setToolTip(tr("Pick the 8x8 blocks an encoder cuts from the picture's top-left corner"));
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    hbar_->setObjectName(QStringLiteral("horizontalBar"));
    vbar_ = new QScrollBar(Qt::Vertical, this);
    vbar_->setObjectName(QStringLiteral("verticalBar"));
    hbar_->hide();
    vbar_->hide();
    command1_->setFocus();

    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(picture1_, &PictureBox::MouseMove, this, &ImageFrame::Picture1_MouseMove);
    connect(picture1_, &PictureBox::MouseDown, this, &ImageFrame::Picture1_MouseDown);
    connect(picture1_, &PictureBox::PictureChanged, this, [this] {
        // A new picture is shown from its top-left corner.
        const QSignalBlocker quietAcross(hbar_);
        const QSignalBlocker quietDown(vbar_);
        hbar_->setValue(0);
        vbar_->setValue(0);
        FitScrollBars();
    });
    connect(snap_, &QCheckBox::toggled, this, &ImageFrame::FitScrollBars);
    const auto follow = [this] { picture1_->SetOrigin(QPoint(hbar_->value(), vbar_->value())); };
    connect(hbar_, &QScrollBar::valueChanged, this, follow);
    connect(vbar_, &QScrollBar::valueChanged, this, follow);
    connect(picture1_, &PictureBox::Wheel, this, [this](QPoint delta, Qt::KeyboardModifiers mods) {
        // One notch (120) moves three grid steps, as text views scroll three lines.
        const int dy = -delta.y() * 3 * kGrid / 120;
        const int dx = -delta.x() * 3 * kGrid / 120;
        Pan((mods & Qt::ShiftModifier) ? QPoint(dx + dy, 0) : QPoint(dx, dy));
    });
    AddKeys();
    FollowZoom();
    QCoreApplication::instance()->installEventFilter(this);
}

void ImageFrame::AddKeys() {
    const auto add = [this](const QKeySequence& key, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    add(QKeySequence(Qt::Key_Left), [this] { Pan(QPoint(-kGrid, 0)); });
    add(QKeySequence(Qt::Key_Right), [this] { Pan(QPoint(kGrid, 0)); });
    add(QKeySequence(Qt::Key_Up), [this] { Pan(QPoint(0, -kGrid)); });
    add(QKeySequence(Qt::Key_Down), [this] { Pan(QPoint(0, kGrid)); });
    add(QKeySequence(Qt::Key_PageUp), [this] { Pan(QPoint(0, -vbar_->pageStep())); });
    add(QKeySequence(Qt::Key_PageDown), [this] { Pan(QPoint(0, vbar_->pageStep())); });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_J), [this] { emit CompressRequested(); });
    lookInside_ = new QAction(tr("Look inside the JPEG…"), this);
    lookInside_->setObjectName(QStringLiteral("lookInsideJpeg"));
    lookInside_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    lookInside_->setEnabled(false);
    connect(lookInside_, &QAction::triggered, this,
            [this] { emit JpegContentsRequested(fileName_); });
    addAction(lookInside_);
    picture1_->addAction(lookInside_);
    picture1_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ImageFrame::Pan(QPoint delta) {
    hbar_->setValue(hbar_->value() + delta.x());
    vbar_->setValue(vbar_->value() + delta.y());
}

void ImageFrame::FitScrollBars() {
    const QSize area = picture1_->ShownSize();
    const QSize picture = picture1_->Picture().size();
    const bool snap = snap_->isChecked();
    // Snapped, the pan moves in whole blocks and may show the background past
    // the picture's last partial block.
    const auto fit = [snap, this](QScrollBar* bar, int pictureLength, int areaLength) {
        int most = std::max(0, pictureLength - areaLength);
        if (snap) {
            most = (most + kGrid - 1) / kGrid * kGrid;
        }
        const QSignalBlocker quiet(bar); // the origin is set once below
        bar->setRange(0, most);
        bar->setSingleStep(kGrid);
        bar->setPageStep(areaLength);
        if (snap) {
            bar->setValue(bar->value() / kGrid * kGrid);
        }
        bar->setVisible(most > 0);
    };
    fit(hbar_, picture.width(), area.width());
    fit(vbar_, picture.height(), area.height());
    picture1_->SetOrigin(QPoint(hbar_->value(), vbar_->value()));

    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QRect shown = picture1_->geometry();
    hbar_->setGeometry(shown.left(), shown.bottom() + 1, shown.width(), extent);
    vbar_->setGeometry(shown.right() + 1, shown.top(), extent, shown.height());
    const int below = hbar_->isHidden() ? 0 : extent;
    const int beside = vbar_->isHidden() ? 0 : extent;
    command1_->setGeometry(PixelRectFromTwips(120, 6360, 1095, 615).translated(0, below));
    label1_[0]->setGeometry(PixelRectFromTwips(1800, 6480, 4500, 375).translated(0, below));
    snap_->setGeometry(PixelRectFromTwips(6450, 6480, 1725, 375).translated(beside, below));
    setFixedSize(kFrameSize + QSize(beside, below));
}

ImageFrame::~ImageFrame() = default;

bool ImageFrame::eventFilter(QObject* watched, QEvent* event) {
    // The window keeps its own font at 100 %, so the zoom is heard from the application.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationFontChange) {
        FollowZoom();
    }
    return QWidget::eventFilter(watched, event);
}

void ImageFrame::FollowZoom() {
    const int scale = PictureScale(CurrentZoom());
    picture1_->SetScale(scale);
    if (!pointerFile_.isEmpty()) {
        picture1_->setCursor(PointerFromIconFile(pointerFile_, scale));
    }
    FitScrollBars();
}

void ImageFrame::Form_Load(const QString& fileName) {
    pointerFile_ = ProgramFolder() + QStringLiteral("/box.ico");
    FollowZoom();
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
    const Result<QImage> load = LoadPictureFile(fileName, picture1_->BackColor());
    if (!load) {
        desktop_.ShowWarning(
            isVisible() ? this : nullptr, kImageFrameCaption,
            QStringLiteral("The picture \"%1\" cannot be shown: %2")
                .arg(QDir::toNativeSeparators(fileName), QString::fromStdString(load.Message())));
        return false;
    }
    picture1_->SetPicture(*load);
    fileName_ = fileName;
    QFile file(fileName);
    lookInside_->setEnabled(file.open(QIODevice::ReadOnly) &&
                            file.read(2) == QByteArray("\xFF\xD8", 2));
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
    const QPoint origin = picture1_->Origin();
    label1_[0]->setText(PickCaption(X + static_cast<float>(origin.x()),
                                    Y + static_cast<float>(origin.y()), Luma(under), under));
    double left = X;
    double top = Y;
    if (snap_->isChecked() && left >= 0.0 && top >= 0.0) {
        // The pan is a whole number of blocks, so the grid block starts in view.
        const auto snapped = [](double at, int pan) {
            return std::floor((at + pan) / kGrid) * kGrid - pan;
        };
        left = snapped(left, origin.x());
        top = snapped(top, origin.y());
    }
    // One announced change per move, however many cells it writes; the moves of
    // one viewer make one undo step until another command intervenes.
    const BlockDocument::Change change(document_, tr("Pick from Picture"), pickSession_);
    for (int i = 0; i <= 7; ++i) {
        for (int j = 0; j <= 7; ++j) {
            const ColourValue c = picture1_->Point(left + i, top + j);
            document_.SetSpace(i, j, Luma(Components(c)));
        }
    }
    document_.DCTandDraw();
    document_.Refresh();
}

void ImageFrame::keyPressEvent(QKeyEvent* event) {
    // Escape closes the viewer as a click on the picture does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImageFrame::Picture1_MouseDown(int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
    // The main window keeps the block of the last move.
    close();
}

} // namespace quadrel
