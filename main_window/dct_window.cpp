#include "main_window/dct_window.h"

#include "block_file/block_file_format.h"
#include "block_file/block_file_io.h"
#include "engine/cell_text.h"
#include "main_window/application_setup.h"
#include "views/caption_button.h"
#include "views/square_grid.h"
#include "views/twips.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace quadrel {

namespace {

const QColor kWindowGrey(0xC0, 0xC0, 0xC0);
const QColor kMarkedButton(0x00, 0xC0, 0xC0); // &H00C0C000: blue and green 192

struct ButtonSpec {
    int index;
    const char* caption;
    int left, top, width, height;
    bool marked;
};

// Command1 array; index 9 does not exist.
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

void SetBackColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace

DCT::DCT(QWidget* parent) : QWidget(parent), commonDialog1_(std::make_unique<CommonDialog>()) {
    CreateControls();
    SetTabOrder();
    views_ = std::make_unique<BlockViews>(
        engine_, BlockControls{text1_, shape1_, label1_, label2_},
        WindowServices{[this] { Refresh(); }, [this] { return YieldEvents(); }});
    Form_Load();
}

DCT::~DCT() {
    // The dialog has no owner window; a hidden one would otherwise outlive us
    // while holding a reference to this window.
    delete xyEntry_.data();
    // The viewer works on this window's block, so it cannot outlive it.
    delete imageFrame_.data();
}

void DCT::CreateControls() {
    setFixedSize(Twips(9000), Twips(6840));
    setAutoFillBackground(true);
    SetBackColour(this, QPalette::Window, kWindowGrey);

    for (int k = 0; k < 64; ++k) {
        auto* cell = new QLineEdit(this);
        cell->setGeometry(TwipsRect(360 + 480 * (k % 8), 360 + 480 * (k / 8), 495, 495));
        cell->setAlignment(Qt::AlignCenter);
        SetBackColour(cell, QPalette::Base, kWindowGrey);
        SetBackColour(cell, QPalette::Text, Qt::black);
        cell->installEventFilter(this);
        connect(cell, &QLineEdit::textChanged, this, [this, k] { Text1_Change(k); });
        text1_[static_cast<std::size_t>(k)] = cell;
    }

    shape1_ = new SquareGrid(Twips(480), Twips(495), this);
    shape1_->move(Twips(4800), Twips(360));

    QFont labelFont(QStringLiteral("Courier New"));
    labelFont.setPointSizeF(14.25);
    labelFont.setBold(true);
    label1_ = new QLabel(this);
    label1_->setGeometry(TwipsRect(360, 4440, 3855, 375));
    label2_ = new QLabel(this);
    label2_->setGeometry(TwipsRect(4920, 4440, 3855, 375));
    for (QLabel* label : {label1_, label2_}) {
        label->setFont(labelFont);
        SetBackColour(label, QPalette::WindowText, Qt::black);
    }
    label3_ = new QLabel(this);
    label3_->setGeometry(TwipsRect(4800, 6360, 2655, 255));

    for (const ButtonSpec& spec : kCommand1) {
        auto* button = new CaptionButton(QString::fromLatin1(spec.caption), this);
        button->setGeometry(TwipsRect(spec.left, spec.top, spec.width, spec.height));
        if (spec.marked) {
            SetBackColour(button, QPalette::Button, kMarkedButton);
        }
        const int index = spec.index;
        connect(button, &QPushButton::clicked, this, [this, index] { Command1_Click(index); });
        command1_[static_cast<std::size_t>(index)] = button;
    }
    command1_[5]->setFont(SansBold(8.25));

    command2_ = new CaptionButton(QStringLiteral("+"), this);
    command2_->setGeometry(TwipsRect(4320, 4920, 255, 255));
    command2_->setFont(SansBold(8.25));
    connect(command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
    command3_ = new CaptionButton(QStringLiteral("-"), this);
    command3_->setGeometry(TwipsRect(4320, 5160, 255, 255));
    command3_->setFont(SansBold(9.75));
    connect(command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });

    optionGroup_ = new QButtonGroup(this);
    const std::array<const char*, 2> optionCaptions{"Fast Mode", "Build Mode"};
    for (int i = 0; i < 2; ++i) {
        auto* option = new QRadioButton(
            QString::fromLatin1(optionCaptions[static_cast<std::size_t>(i)]), this);
        option->setGeometry(TwipsRect(4800, 5520 + 240 * i, 1215, 255));
        optionGroup_->addButton(option, i);
        option1_[static_cast<std::size_t>(i)] = option;
    }
    option1_[0]->setChecked(true);
    connect(optionGroup_, &QButtonGroup::idClicked, this, [this](int id) { Option1_Click(id); });
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
    // Retained drawing: Qt widgets keep and repaint their own content.
    engine_.SetConsts();
    engine_.MakeCosTable();
    engine_.ResetFreqSpace();
    command1_[6]->setText(QStringLiteral("Quant %1").arg(engine_.QuantScale));
    views_->DCTandDraw(); // not the virtual: this runs inside the constructor
}

QPushButton* DCT::Command1(int index) const {
    if (index < 0 || index >= static_cast<int>(command1_.size())) {
        return nullptr;
    }
    return command1_[static_cast<std::size_t>(index)];
}

void DCT::ResetFreqSpace() {
    engine_.ResetFreqSpace();
}
void DCT::SetFreqValue(int u, int v, double val) {
    engine_.SetFreqValue(u, v, val);
}
void DCT::SetSpaceValue(int x, int y, double val) {
    engine_.SetSpaceValue(x, y, val);
}
void DCT::IDCTandDraw() {
    views_->IDCTandDraw();
}
void DCT::DCTandDraw() {
    views_->DCTandDraw();
}
void DCT::Refresh() {
    repaint();
}
void DCT::SetLabel2Caption(const QString& caption) {
    label2_->setText(caption);
}

void DCT::SetCommonDialog(std::unique_ptr<CommonDialog> dialog) {
    commonDialog1_ = std::move(dialog);
}

void DCT::SetImageFrameDialogFactory(std::function<std::unique_ptr<CommonDialog>()> factory) {
    imageFrameDialogFactory_ = std::move(factory);
}

void DCT::ShowImageFrame() {
    if (!imageFrame_) {
        // Modeless and without an owner. The window deletes itself when closed; the
        // pointer is set before the first dialog, so that a second "View Bitmap"
        // can never make a second viewer.
        auto frame = std::make_unique<ImageFrame>(
            *this, imageFrameDialogFactory_ ? imageFrameDialogFactory_() : nullptr);
        imageFrame_ = frame.release();
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
        CycleThroDCTPatterns();
        break;
    case 1:
        ShowXYEntry();
        break;
    case 2:
        BuildPicture();
        break;
    case 3:
        AnalysePicture();
        break;
    case 4:
        engine_.StopFlag = true;
        break;
    case 5:
        EndProgram();
        break;
    case 6:
        Quantise();
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

void DCT::Quantise() {
    engine_.QuantiseBlock();
    WriteFreq();
    IDCTandDraw();
    Refresh();
}

void DCT::ShowXYEntry() {
    if (!xyEntry_) {
        // Modeless and without an owner; it deletes itself when closed.
        xyEntry_ = new X_Y_Entry(*this, frequencies_);
    }
    xyEntry_->show();
    xyEntry_->raise();
    xyEntry_->activateWindow();
}

void DCT::LoadPicture() {
    if (!LoadFile()) {
        return;
    }
    engine_.PerformDCT();
    DrawSpace();
    WriteFreq();
}

bool DCT::LoadFile() {
    commonDialog1_->Filter = QStringLiteral("text, csv files|*.txt;*.csv|all files|*.*");
    commonDialog1_->FileName = ProgramFolder() + QStringLiteral("/*.txt");
    if (!commonDialog1_->ShowOpen(this)) {
        return false;
    }
    const QString fileName = commonDialog1_->FileName;
    // The whole file is parsed before any cell is touched.
    const BlockFileRead read = ReadBlockFile(fileName);
    if (!read.Ok()) {
        ShowMessage(QStringLiteral("Load Block"),
                    QStringLiteral("The block file\n%1\ncould not be loaded.\n\n%2\n\n"
                                   "The block was left as it was.")
                        .arg(QDir::toNativeSeparators(fileName), read.Error));
        return false;
    }
    StoreBlockValues(read.Values, engine_.SpaceArray);
    return true;
}

void DCT::SaveBlock() {
    commonDialog1_->Filter = QStringLiteral("text, csv files|*.csv;*.txt|all files|*.*");
    // The file name is not preset: the dialog proposes the last one used.
    if (!commonDialog1_->ShowSave(this)) {
        return;
    }
    const QString fileName = commonDialog1_->FileName;
    const QString error = WriteBlockFile(fileName, engine_.SpaceArray, engine_.FreqArray);
    if (!error.isEmpty()) {
        ShowMessage(QStringLiteral("Save Block"),
                    QStringLiteral("The block could not be saved to\n%1\n\n%2\n\n"
                                   "Any file of that name is unchanged.")
                        .arg(QDir::toNativeSeparators(fileName), error));
    }
}

void DCT::ShowMessage(const QString& title, const QString& text) {
    if (messageSink_) {
        messageSink_(title, text);
        return;
    }
    QMessageBox::warning(this, title, text);
}

void DCT::Command2_Click() {
    engine_.DoubleScale();
    command1_[6]->setText(QStringLiteral("Quant %1").arg(engine_.QuantScale));
    Refresh();
}

void DCT::Command3_Click() {
    engine_.HalveScale();
    command1_[6]->setText(QStringLiteral("Quant %1").arg(engine_.QuantScale));
    Refresh();
}

void DCT::Option1_Click(int Index) {
    engine_.BuildMode = (Index == 1);
}

void DCT::Text1_KeyPress(int /*Index*/, int KeyAscii) {
    if (KeyAscii == 13) {
        BuildPicture();
    }
}

void DCT::Text1_Change(int Index) {
    QLineEdit* cell = text1_[static_cast<std::size_t>(Index)];
    const std::string cleaned = CleanCellText(cell->text().toStdString());
    // Changing the text raises this rule once more for the same cell; that
    // second run finds nothing to clean and stores the same value.
    const QString cleanedText = QString::fromStdString(cleaned);
    if (cell->text() != cleanedText) {
        cell->setText(cleanedText);
    }
    engine_.FreqArray[static_cast<std::size_t>(Index % 8)][static_cast<std::size_t>(Index / 8)] =
        CellTextValue(cleaned);
}

bool DCT::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto it = std::find(text1_.begin(), text1_.end(), watched);
        if (it != text1_.end()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const int index = static_cast<int>(it - text1_.begin());
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Text1_KeyPress(index, 13);
            } else if (!key->text().isEmpty()) {
                Text1_KeyPress(index, key->text().at(0).unicode());
            }
        }
    }
    return QWidget::eventFilter(watched, event); // no key is ever refused
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
        if (window != this && window->isVisible()) {
            window->close();
        }
    }
    event->accept();
}

} // namespace quadrel
