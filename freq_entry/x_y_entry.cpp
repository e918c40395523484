#include "freq_entry/x_y_entry.h"

#include "views/caption_button.h"
#include "views/pixels.h"
#include "views/view_zoom.h"
#include "views/window_palette.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace quadrel {

namespace {

QLabel* MakeLabel(const QString& text, QRect geometry, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setWordWrap(true); // the labels are narrower than their text
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// The character a key sends to the box, or 0 for a key that sends none: Tab,
// Delete, arrows, function keys, modifiers and shortcuts move or edit but type
// nothing, so they leave the pattern alone. Backspace, Enter and Escape count
// as characters.
int KeyAsciiOf(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    const bool shortcut = key.modifiers().testFlag(Qt::ControlModifier) &&
                          !key.modifiers().testFlag(Qt::AltModifier); // Ctrl+Alt may be AltGr
    const QString text = key.text();
    if (shortcut || text.isEmpty() || !text.at(0).isPrint()) {
        return 0;
    }
    return text.at(0).unicode();
}

} // namespace

X_Y_Entry::X_Y_Entry(BlockDocument& document, FreqChoice& choice, QWidget* parent)
    : QWidget(parent), document_(document), choice_(choice) {
    setWindowTitle(QStringLiteral("Enter X Y Data"));
    setAttribute(Qt::WA_DeleteOnClose);
    ApplyWindowPalette(this);
    FitZoom(CurrentZoom());

    for (int i = 0; i < 2; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1_%1").arg(i));
        twips_.Place(box, 120, 120 + 600 * i, 375, 375);
        box->installEventFilter(this);
        text1_[static_cast<std::size_t>(i)] = box;
    }
    label1_[0] = MakeLabel(QStringLiteral("Horizontal Frequency"),
                           PixelRectFromTwips(720, 120, 855, 375), this);
    label1_[1] = MakeLabel(QStringLiteral("Vertical  Frequency"),
                           PixelRectFromTwips(720, 720, 855, 375), this);
    twips_.Place(label1_[0], 720, 120, 855, 375);
    twips_.Place(label1_[1], 720, 720, 855, 375);
    label1_[0]->setObjectName(QStringLiteral("Label1_0"));
    label1_[1]->setObjectName(QStringLiteral("Label1_1"));

    command1_ = new CaptionButton(QStringLiteral("OK"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    twips_.Place(command1_, 3000, 720, 495, 375);
    // Not the default button: Enter in a box is a key of the box. Enter presses
    // OK only while OK has the focus.
    command1_->setAutoDefault(false);
    command1_->setDefault(false);
    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });

    label2_ = MakeLabel(QStringLiteral("Values between 0 and 7"),
                        PixelRectFromTwips(1920, 240, 735, 615), this);
    twips_.Place(label2_, 1920, 240, 735, 615);
    label2_->setObjectName(QStringLiteral("Label2"));

    // The separator from (1800, 120) down to (1800, 1080), both ends included.
    line1_ = new QFrame(this);
    line1_->setObjectName(QStringLiteral("Line1"));
    line1_->setFrameShape(QFrame::VLine);
    line1_->setFrameShadow(QFrame::Plain);
    line1_->setLineWidth(1);
    FitLine(CurrentZoom());
    QPalette linePalette = line1_->palette();
    linePalette.setColor(QPalette::WindowText, Qt::black);
    line1_->setPalette(linePalette);

    // Labels take no focus, so the keyboard goes box, box, button.
    const std::array<QWidget*, 6> tabOrder{text1_[0],  text1_[1], label1_[0],
                                           label1_[1], command1_, label2_};
    for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) {
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
    }
    text1_[0]->setFocus();
}

void X_Y_Entry::DoBuild() {
    // Followers see the pattern with its caption; Undo takes it back as one step.
    const BlockDocument::Change change(document_, tr("Single Pattern"));
    document_.ClearFreq();
    document_.SetFreq(0, 0, kPatternLevel);
    document_.SetFreq(choice_.XFreq, choice_.YFreq, kPatternLevel);
    document_.IDCTandDraw();
    document_.SetSquaresCaption(
        PatternCaption(QStringLiteral("Freq. Pattern: "), choice_.XFreq, choice_.YFreq));
}

void X_Y_Entry::Text1_KeyPress(int Index, int KeyAscii) {
    if (KeyAscii >= '0' && KeyAscii <= '7') {
        // Emptied now, the box then receives the digit: the digit is its whole text.
        text1_.at(static_cast<std::size_t>(Index))->clear();
        const auto value = static_cast<std::int16_t>(KeyAscii - '0');
        if (Index == 0) {
            choice_.XFreq = value;
        } else {
            choice_.YFreq = value;
        }
    }
    DoBuild();
}

void X_Y_Entry::keyPressEvent(QKeyEvent* event) {
    // Escape closes the window; in a box it has rebuilt the pattern first.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void X_Y_Entry::Command1_Click() {
    hide();
    DoBuild();
}

void X_Y_Entry::FitZoom(int percent) {
    setFixedSize(PixelsFromTwips(3690 * percent / 100), PixelsFromTwips(1290 * percent / 100));
}

void X_Y_Entry::FitLine(int percent) {
    const auto pixels = [percent](int twips) { return PixelsFromTwips(twips * percent / 100); };
    line1_->setGeometry(pixels(1800), pixels(120), 1, pixels(1080 - 120) + 1);
}

void X_Y_Entry::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // View > Zoom changes the application font: the twips layout follows it.
    if (event->type() == QEvent::FontChange && line1_ != nullptr) {
        const int percent = CurrentZoom();
        FitZoom(percent);
        twips_.Apply(percent);
        FitLine(percent);
    }
}

bool X_Y_Entry::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto it = std::find(text1_.begin(), text1_.end(), watched);
        const int keyAscii = KeyAsciiOf(*static_cast<QKeyEvent*>(event));
        if (it != text1_.end() && keyAscii != 0) {
            Text1_KeyPress(static_cast<int>(it - text1_.begin()), keyAscii);
        }
    }
    return QWidget::eventFilter(watched, event); // the key always takes its ordinary effect
}

} // namespace quadrel
