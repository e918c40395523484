#pragma once
// The "MCU" panel of Compress Picture: one MCU of the colour coding laid open.
// It shows the MCU's pixels in RGB or YCbCr (the pixels beyond the picture
// marked, with the edge values the encoder repeats there), and a page per block
// in the order the MCU sends them: its samples, how each chroma sample was
// averaged, its quantised indices, DC prediction and Huffman symbols. Each page
// can send its samples to the main window. All numbers come from the core
// (jpeg/mcu_detail.h); the panel only lays them out.

#include "jpeg/mcu_detail.h"
#include "views/block_document.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QTabWidget;
class QTableWidget;

namespace quadrel {

class McuPanel : public QWidget {
    Q_OBJECT
public:
    /// A small window of its own over `parent`; sends blocks into `document`,
    /// which must outlive it.
    McuPanel(BlockDocument& document, QWidget* parent);

    /// Shows `mcu` in place of what was shown, on the same block's page.
    void ShowMcu(jpeg::McuDetail mcu);
    const jpeg::McuDetail& Mcu() const { return mcu_; }

signals:
    /// A block went to the main window; the message says which.
    void BlockSent(const QString& message);

private:
    void ShowPixels();
    QWidget* CreateBlockPage(std::size_t index);
    void Send(std::size_t index);

    BlockDocument& document_;
    jpeg::McuDetail mcu_;
    QLabel* heading_ = nullptr;
    QComboBox* values_ = nullptr;
    QTableWidget* pixels_ = nullptr;
    QTabWidget* blocks_ = nullptr;
};

/// "Y0", "Cb", "Cr": a block's name in its MCU.
QString McuBlockName(const jpeg::McuBlock& block);

} // namespace quadrel
