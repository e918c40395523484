#include "main_window/dct_window.h"

#include "bitmap_viewer/picture_box.h"
#include "block_file/block_file_format.h"
#include "block_file/block_file_io.h"
#include "main_window/application_setup.h"
#include "rate_distortion/rate_distortion_window.h"
#include "views/caption_button.h"
#include "views/cell_font.h"
#include "views/cell_panel_style.h"
#include "views/pixels.h"
#include "views/square_grid.h"
#include "views/view_zoom.h"
#include "views/window_palette.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace quadrel {

namespace {

const QColor kWindowGrey(0xC0, 0xC0, 0xC0);
const QColor kMarkedButton(0x00, 0xC0, 0xC0); // teal: blue and green at 192

struct ButtonSpec {
    int index;
    const char* caption;
    int left, top, width, height;
    bool marked;
};

// The Command1 buttons by index; 9 is left free.
constexpr std::array<ButtonSpec, 11> kCommand1{{
    {1, "View Single DCT Pattern", 360, 4920, 1095, 495, false},
    {0, "Cycle DCT Patterns", 360, 5520, 1095, 495, false},
    {4, "STOP", 360, 6120, 1095, 495, false},
    {7, "Load Block", 1920, 4920, 1095, 495, true},
    {11, "Save Block", 1920, 5520, 1095, 495, true},
    {10, "View Bitmap", 1920, 6120, 1095, 495, true},
    {6, "Quantise", 3480, 4920, 855, 495, true},
    {2, "IDCT", 3480, 5520, 1095, 495, false},
    {3, "DCT", 3480, 6120, 1095, 495, false},
    {8, "Read Me", 7560, 4920, 1095, 495, true},
    {5, "QUIT", 7560, 6120, 1095, 495, true},
}};

QFont SansBold(double points) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

void SetPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace

DCT::DCT(DesktopServices* desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop ? desktop : new SystemDesktop(this)),
      readMe_(ProgramFolder(), ReadMe::NativeRoute(), *desktop_, this) {
    CreateControls();
    SetTabOrder();
    document_ = new BlockDocument(
        BlockControls{text1_, shape1_, label1_, label2_},
        WindowServices{[this] { repaint(BlockArea()); }, [this] { return YieldEvents(); }}, this);
    connect(document_, &BlockDocument::BlockChanged, this, &DCT::NameCells);
    AddReadMeKey();
    AddToolWindowActions();
    Form_Load();
}

void DCT::AddReadMeKey() {
    readMeAction_ = new QAction(tr("&Read Me"), this);
    readMeAction_->setShortcut(QKeySequence::HelpContents);
    connect(readMeAction_, &QAction::triggered, this, [this] { readMe_.Open(); });
    addAction(readMeAction_);
}

void DCT::AddHelpKey(QWidget* window, HelpSection section) {
    auto* help = new QAction(tr("&Read Me"), window);
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, [this, section] { readMe_.Open(section); });
    window->addAction(help);
}

void DCT::NameCells() {
    // Screen readers name a cell by what the grid shows in it now.
    const bool pixels = document_->CellsCaption() == kPixelAmplitudes;
    const QString name = pixels ? tr("pixel %1, %2") : tr("coefficient %1, %2");
    if (text1_[0]->accessibleName() == name.arg(0).arg(0)) {
        return;
    }
    for (int k = 0; k < kBlockCells; ++k) {
        text1_[static_cast<std::size_t>(k)]->setAccessibleName(name.arg(k % 8).arg(k / 8));
    }
}

void DCT::AddToolWindowActions() {
    auto* worksheet = new QAction(tr("&JPEG Worksheet"), this);
    worksheet->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    connect(worksheet, &QAction::triggered, this, &DCT::ShowWorksheet);
    addAction(worksheet);
    toolWindowActions_.append(worksheet);

    auto* compress = new QAction(tr("&Compress Picture…"), this);
    compress->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_J));
    connect(compress, &QAction::triggered, this, &DCT::ShowCompressWindow);
    addAction(compress);
    toolWindowActions_.append(compress);
}

void DCT::ShowCompressWindow() {
    if (!compressWindow_) {
        auto window = std::make_unique<CompressWindow>(*document_, *desktop_);
        compressWindow_ = window.release(); // deletes itself when closed
        connect(compressWindow_, &CompressWindow::RateDistortionOpened, this,
                [this](QWidget* curves) {
                    curves->addActions(windowActions_);
                    AddHelpKey(curves, HelpSection::RateDistortion);
                });
        connect(compressWindow_, &CompressWindow::JpegContentsRequested, this, &DCT::OpenJpegFile);
        compressWindow_->addActions(windowActions_);
        AddHelpKey(compressWindow_, HelpSection::CompressPicture);
        if (imageFrame_ && !imageFrame_->Picture1()->Picture().isNull()) {
            compressWindow_->SetPicture(imageFrame_->Picture1()->Picture(),
                                        tr("the viewer's picture"));
        }
    }
    compressWindow_->show();
    compressWindow_->raise();
    compressWindow_->activateWindow();
}

DCT::~DCT() {
    // The dialog has no owner window; a hidden one would otherwise outlive us
    // while holding a reference to this window's block.
    delete xyEntry_.data();
    // The viewer works on this window's block, so it cannot outlive it.
    delete imageFrame_.data();
    delete compressWindow_.data();
    delete worksheet_.data(); // follows this window's block too
    for (const QPointer<JpegFileWindow>& window : jpegWindows_) {
        delete window.data(); // sends blocks to this window's block
    }
}

void DCT::ChooseJpegFile() {
    const std::optional<QString> fileName =
        desktop_->OpenFileName(window(), tr("JPEG files|*.jpg;*.jpeg;*.jpe;*.jfif|all files|*.*"),
                               ProgramFolder() + QStringLiteral("/*.jpg"));
    if (fileName) {
        OpenJpegFile(*fileName);
    }
}

void DCT::OpenJpegFile(const QString& fileName) {
    const auto useTable = [this](const jpeg::QuantTable& table, const QString& origin) {
        ShowWorksheet();
        worksheet_->UseTable(table, origin);
    };
    JpegFileWindow* opened =
        JpegFileWindow::Open(fileName, *document_, *desktop_, useTable, window());
    if (opened == nullptr) {
        return;
    }
    // Closed windows leave null pointers behind; they go now.
    jpegWindows_.removeAll(nullptr);
    jpegWindows_.append(opened);
    opened->addActions(windowActions_);
    AddHelpKey(opened, HelpSection::JpegFile);
    opened->raise();
    opened->activateWindow();
}

void DCT::OpenRateDistortion() {
    auto* curves = new RateDistortionWindow(window());
    curves->setAttribute(Qt::WA_DeleteOnClose);
    curves->addActions(windowActions_);
    AddHelpKey(curves, HelpSection::RateDistortion);
    curves->show();
}

void DCT::ConnectImageFrame() {
    connect(imageFrame_, &ImageFrame::CompressRequested, this, [this] {
        // Asked from the viewer: always its current picture.
        const QImage picture = imageFrame_->Picture1()->Picture();
        ShowCompressWindow();
        if (!picture.isNull()) {
            compressWindow_->SetPicture(picture, tr("the viewer's picture"));
        }
    });
    connect(imageFrame_, &ImageFrame::JpegContentsRequested, this, &DCT::OpenJpegFile);
}

void DCT::ShowWorksheet() {
    if (!worksheet_) {
        // Modeless and without an owner, like the viewer; it deletes itself when closed.
        auto window = std::make_unique<worksheet::JpegWorksheet>(*document_, *desktop_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        worksheet_ = window.release();
        worksheet_->addActions(windowActions_);
        AddHelpKey(worksheet_, HelpSection::Worksheet);
    }
    worksheet_->show();
    worksheet_->raise();
    worksheet_->activateWindow();
}

void DCT::CreateControls() {
    setObjectName(QStringLiteral("DCT"));
    FitZoom(CurrentZoom());
    ApplyWindowPalette(this, kWindowGrey);

    auto* cellStyle = new CellPanelStyle(this);
    for (int k = 0; k < 64; ++k) {
        auto* cell = new QLineEdit(this);
        cell->setStyle(cellStyle);
        cell->setObjectName(CellObjectName(k));
        twips_.Place(cell, 360 + 480 * (k % 8), 360 + 480 * (k / 8), 495, 495);
        cell->setAlignment(Qt::AlignCenter);
        SetPaletteColour(cell, QPalette::Base, kWindowGrey);
        SetPaletteColour(cell, QPalette::Text, Qt::black);
        cell->installEventFilter(this);
        connect(cell, &QLineEdit::textChanged, this, [this, k] { Text1_Change(k); });
        // A long number is drawn in a narrower font, so that it shows whole.
        connect(cell, &QLineEdit::textChanged, this, [this, cell] { FitCellFont(cell); });
        text1_[static_cast<std::size_t>(k)] = cell;
    }

    shape1_ = new SquareGrid(PixelsFromTwips(480), PixelsFromTwips(495), this);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    FitSquares(CurrentZoom());
    shape1_->setAccessibleName(tr("Pixel block"));
    shape1_->setAccessibleDescription(
        tr("8 by 8 grey squares, one for each pixel, from 0 black to 255 white"));

    QFont labelFont(QStringLiteral("Courier New"));
    labelFont.setPointSizeF(14.25);
    labelFont.setBold(true);
    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    twips_.Place(label1_, 360, 4440, 3855, 375);
    label2_ = new QLabel(this);
    label2_->setObjectName(QStringLiteral("Label2"));
    twips_.Place(label2_, 4920, 4440, 3855, 375);
    for (QLabel* label : {label1_, label2_}) {
        twips_.SetFont(label, labelFont);
        SetPaletteColour(label, QPalette::WindowText, Qt::black);
    }
    label3_ = new QLabel(this);
    label3_->setObjectName(QStringLiteral("Label3"));
    twips_.Place(label3_, 4800, 6360, 2655, 255);

    for (const ButtonSpec& spec : kCommand1) {
        auto* button = new CaptionButton(QString::fromLatin1(spec.caption), this);
        button->setObjectName(QStringLiteral("Command1_%1").arg(spec.index));
        twips_.Place(button, spec.left, spec.top, spec.width, spec.height);
        if (spec.marked) {
            SetPaletteColour(button, QPalette::Button, kMarkedButton);
        }
        const int index = spec.index;
        connect(button, &QPushButton::clicked, this, [this, index] { Command1_Click(index); });
        command1_[static_cast<std::size_t>(index)] = button;
    }
    twips_.SetFont(command1_[5], SansBold(8.25));

    command2_ = new CaptionButton(QStringLiteral("+"), this);
    command2_->setObjectName(QStringLiteral("Command2"));
    twips_.Place(command2_, 4320, 4920, 255, 255);
    twips_.SetFont(command2_, SansBold(8.25));
    command2_->setAccessibleName(tr("Double the quantiser step"));
    connect(command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
    command3_ = new CaptionButton(QStringLiteral("-"), this);
    command3_->setObjectName(QStringLiteral("Command3"));
    twips_.Place(command3_, 4320, 5160, 255, 255);
    twips_.SetFont(command3_, SansBold(9.75));
    command3_->setAccessibleName(tr("Halve the quantiser step"));
    connect(command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });

    optionGroup_ = new QButtonGroup(this);
    const std::array<const char*, 2> optionCaptions{"Fast Mode", "Build Mode"};
    for (int i = 0; i < 2; ++i) {
        auto* option = new QRadioButton(
            QString::fromLatin1(optionCaptions[static_cast<std::size_t>(i)]), this);
        option->setObjectName(QStringLiteral("Option1_%1").arg(i));
        twips_.Place(option, 4800, 5520 + 240 * i, 1215, 255);
        optionGroup_->addButton(option, i);
        option1_[static_cast<std::size_t>(i)] = option;
    }
    option1_[0]->setChecked(true);
    connect(optionGroup_, &QButtonGroup::idClicked, this, [this](int id) { Option1_Click(id); });
}

void DCT::FitCellFont(QLineEdit* cell) {
    const QFont fitting = FittingFont(*cell, font(), cell->text());
    if (cell->font() != fitting) {
        cell->setFont(fitting);
    }
}

void DCT::FitSquares(int percent) {
    shape1_->SetPitch(PixelsFromTwips(480 * percent / 100), PixelsFromTwips(495 * percent / 100));
    shape1_->move(PixelsFromTwips(4800 * percent / 100), PixelsFromTwips(360 * percent / 100));
}

void DCT::FitZoom(int percent) {
    setFixedSize(PixelsFromTwips(9000 * percent / 100), PixelsFromTwips(6840 * percent / 100));
}

void DCT::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // View > Zoom changes the application font: the twips layout follows it.
    if (event->type() == QEvent::FontChange && shape1_ != nullptr) {
        const int percent = CurrentZoom();
        FitZoom(percent);
        twips_.Apply(percent);
        FitSquares(percent);
        for (QLineEdit* cell : text1_) {
            FitCellFont(cell);
        }
    }
}

void DCT::SetTabOrder() {
    std::vector<QWidget*> order;
    for (int index : {0, 1, 2, 3, 4, 5}) {
        order.push_back(command1_[static_cast<std::size_t>(index)]);
    }
    for (QLineEdit* cell : text1_) {
        order.push_back(cell);
    }
    order.insert(order.end(), {command1_[6], command1_[7], command2_, command3_, command1_[8],
                               command1_[10], command1_[11], option1_[0], option1_[1]});
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void DCT::Form_Load() {
    const QString title = QString::fromLatin1(kTitle) + QString::fromLatin1(kVersion);
    setWindowTitle(title);
    label3_->setText(title);
    ShowQuantStep();
    document_->DCTandDraw();
    NameCells();
}

GridsPicture DCT::Grids() const {
    GridsPicture grids{document_->Snapshot().View,
                       {},
                       {},
                       label1_->geometry(),
                       label2_->geometry(),
                       text1_[0]->font(),
                       label1_->font()};
    for (int k = 0; k < kBlockCells; ++k) {
        const auto i = static_cast<std::size_t>(k);
        grids.Cells[i] = text1_[i]->geometry();
        grids.Squares[i] = shape1_->SquareRect(k).translated(shape1_->pos());
    }
    return grids;
}

void DCT::ShowImageFrame() {
    if (!imageFrame_) {
        // Modeless and without an owner. The window deletes itself when closed; the
        // pointer is set before the first dialog, so that a second "View Bitmap"
        // can never make a second viewer.
        auto frame = std::make_unique<ImageFrame>(*document_, *desktop_);
        imageFrame_ = frame.release();
        ConnectImageFrame();
        imageFrame_->addActions(windowActions_);
        AddHelpKey(imageFrame_, HelpSection::BitmapViewer);
        // The viewer opens even if the first picture was not chosen or could not
        // be shown: "Load Image" asks again.
        imageFrame_->Form_Load();
        if (!imageFrame_) {
            return;
        }
    }
    imageFrame_->show();
    imageFrame_->raise();
    imageFrame_->activateWindow();
}

void DCT::Command1_Click(int Index) {
    switch (Index) {
    case 0:
        document_->CycleThroDCTPatterns();
        break;
    case 1:
        ShowXYEntry();
        break;
    case 2:
        document_->BuildPicture();
        break;
    case 3:
        document_->DCTandDraw();
        break;
    case 4:
        document_->Stop();
        break;
    case 5:
        EndProgram();
        break;
    case 6:
        document_->Quantise();
        break;
    case 7:
        LoadPicture();
        break;
    case 8:
        readMe_.Open();
        break;
    case 10:
        ShowImageFrame();
        break;
    case 11:
        SaveBlock();
        break;
    default:
        break;
    }
}

void DCT::ShowXYEntry() {
    if (!xyEntry_) {
        // Modeless and without an owner; it deletes itself when closed.
        xyEntry_ = new X_Y_Entry(*document_, frequencies_);
        AddHelpKey(xyEntry_, HelpSection::FrequencyEntry);
    }
    xyEntry_->show();
    xyEntry_->raise();
    xyEntry_->activateWindow();
}

void DCT::LoadPicture() {
    const std::optional<QString> chosen =
        desktop_->OpenFileName(this, QStringLiteral("text, csv files|*.txt;*.csv|all files|*.*"),
                               ProgramFolder() + QStringLiteral("/*.txt"));
    if (chosen) {
        LoadBlockFile(*chosen);
    }
}

bool DCT::LoadBlockFile(const QString& fileName) {
    blockFileName_ = fileName;
    // The whole file is parsed before any cell is touched.
    const Result<std::vector<double>> read = ReadBlockFile(fileName);
    if (!read) {
        desktop_->ShowWarning(
            this, QStringLiteral("Load Block"),
            QStringLiteral("The block file\n%1\ncould not be loaded.\n\n%2\n\n"
                           "The block was left as it was.")
                .arg(QDir::toNativeSeparators(fileName), QString::fromStdString(read.Message())));
        return false;
    }
    Block space = document_->Space();
    StoreBlockValues(*read, space);
    document_->LoadSpaceBlock(space);
    emit BlockFileUsed(fileName);
    return true;
}

void DCT::OpenPicture(const QString& fileName) {
    if (imageFrame_) {
        if (imageFrame_->ShowPicture(fileName)) {
            ShowImageFrame();
        }
        return;
    }
    auto frame = std::make_unique<ImageFrame>(*document_, *desktop_);
    frame->Form_Load(fileName);
    if (frame->HasPicture()) {
        imageFrame_ = frame.release();
        ConnectImageFrame();
        imageFrame_->addActions(windowActions_);
        AddHelpKey(imageFrame_, HelpSection::BitmapViewer);
        ShowImageFrame();
    }
}

void DCT::SaveBlock() {
    // The dialog proposes the last block file chosen, loaded or saved.
    const std::optional<QString> chosen = ChooseSaveFileName(
        *desktop_, this, QStringLiteral("Save Block"),
        QStringLiteral("text, csv files|*.csv;*.txt|all files|*.*"), blockFileName_);
    if (!chosen) {
        return;
    }
    const QString& fileName = blockFileName_ = *chosen;
    const Status written = WriteBlockFile(fileName, document_->Space(), document_->Freq());
    if (!written) {
        desktop_->ShowWarning(this, QStringLiteral("Save Block"),
                              QStringLiteral("The block could not be saved to\n%1\n\n%2\n\n"
                                             "Unless said otherwise above, any file of that "
                                             "name is unchanged.")
                                  .arg(QDir::toNativeSeparators(fileName),
                                       QString::fromStdString(written.Message())));
        return;
    }
    emit BlockFileUsed(fileName);
}

void DCT::ShowQuantStep() {
    command1_[6]->setText(QStringLiteral("Quant %1").arg(document_->QuantStep()));
}

void DCT::Command2_Click() {
    document_->DoubleQuantStep();
    ShowQuantStep();
    repaint();
}

void DCT::Command3_Click() {
    document_->HalveQuantStep();
    ShowQuantStep();
    repaint();
}

void DCT::Option1_Click(int Index) {
    document_->SetBuildMode(Index == 1);
}

void DCT::Text1_KeyPress(int /*Index*/, int KeyAscii) {
    if (KeyAscii == 13) {
        document_->BuildPicture();
    }
}

void DCT::Text1_Change(int Index) {
    document_->ApplyCellText(Index);
}

bool DCT::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto it = std::find(text1_.begin(), text1_.end(), watched);
        if (it != text1_.end()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const int index = static_cast<int>(it - text1_.begin());
            // A key typed while a Build Mode transform is still being shown
            // edits its finished result.
            document_->FinishPacedBuild();
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Text1_KeyPress(index, 13);
            } else if (!key->text().isEmpty()) {
                Text1_KeyPress(index, key->text().at(0).unicode());
            }
        }
    }
    return QWidget::eventFilter(watched, event); // no key is ever refused
}

QRegion DCT::BlockArea() const {
    QRegion area;
    for (const QLineEdit* cell : text1_) {
        area += cell->geometry();
    }
    for (const QWidget* control :
         std::initializer_list<const QWidget*>{shape1_, label1_, label2_}) {
        area += control->geometry();
    }
    return area;
}

bool DCT::YieldEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !ending_;
}

void DCT::EndProgram() {
    // At once: hide every window without running any close handling, stop the
    // event loop, and let any running cycle unwind at its next yield.
    ending_ = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->hide();
    }
    QCoreApplication::exit(0);
}

void DCT::closeEvent(QCloseEvent* event) {
    // The other windows go with the main window, so that the program ends.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this->window() && window->isVisible()) {
            window->close();
        }
    }
    event->accept();
}

} // namespace quadrel
