#pragma once
// "Enter X Y Data": picks one DCT basis pattern by its horizontal and vertical
// frequency and shows it in the main window after every key.

#include "views/block_document.h"
#include "views/twips_layout.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quadrel {

/// The two frequencies outlive the dialog window: closing it destroys the
/// window, and the next one starts from the values chosen before.
struct FreqChoice {
    std::int16_t XFreq = 0; ///< horizontal frequency, first index of the frequency block
    std::int16_t YFreq = 0; ///< vertical frequency, second index
};

class X_Y_Entry : public QWidget {
    Q_OBJECT
public:
    X_Y_Entry(BlockDocument& document, FreqChoice& choice, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    /// Follows View > Zoom: a new application font lays the window out again.
    void changeEvent(QEvent* event) override;

private:
    /// Shows the pattern (XFreq, YFreq) on a DC level of 512 and names it under
    /// the main window's grey grid.
    void DoBuild();
    /// Runs before the key takes its ordinary effect in the box; never alters it.
    void Text1_KeyPress(int Index, int KeyAscii);
    /// "OK": hide, then rebuild.
    void Command1_Click();
    /// The window's size and the separator at a zoom.
    void FitZoom(int percent);
    void FitLine(int percent);

    BlockDocument& document_;
    FreqChoice& choice_;
    std::array<QLineEdit*, 2> text1_{};
    std::array<QLabel*, 2> label1_{};
    QLabel* label2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QFrame* line1_ = nullptr;
    TwipsLayout twips_; ///< the boxes, labels and button, placed as designed at the zoom
};

} // namespace quadrel
