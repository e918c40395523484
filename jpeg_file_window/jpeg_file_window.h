#pragma once
// "JPEG File": what a JPEG file holds, read segment by segment: the segment
// list, the quantisation tables with the quality they stand for, the Huffman
// tables with every symbol's code, the frame and the scan script, and the
// picture with its block and MCU grid. A click on a block shows, for each
// component, the block there: the stored coefficients, dequantised, the
// samples and, in a sequential file, its symbols and bits among the file's
// bytes. The samples go to the main window as its pixel block, a table to the
// JPEG worksheet.
//
// Everything shown is worked out by jpeg_file/jpeg_contents.h; the window
// only lays it out. It deletes itself when closed.

#include "jpeg/jpeg_block.h"
#include "jpeg_file/jpeg_contents.h"
#include "views/block_document.h"
#include "views/desktop_services.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTextEdit;
class QTreeWidget;

namespace quadrel {

class ZoomView;

inline const QString kJpegFileCaption = QStringLiteral("JPEG File");

/// Hands a quantisation table to the JPEG worksheet; the text says where it came from.
using UseTableInWorksheet = std::function<void(const jpeg::QuantTable&, const QString&)>;

class JpegFileWindow : public QWidget {
    Q_OBJECT
public:
    /// The window for a JPEG file, shown; null, after telling the user through
    /// `desktop`, when the file cannot be read or is no JPEG. `document` and
    /// `desktop` must outlive the window.
    static JpegFileWindow* Open(const QString& fileName, BlockDocument& document,
                                DesktopServices& desktop, UseTableInWorksheet useTable,
                                QWidget* messageParent = nullptr);

    /// The window for a file already read; `document` must outlive it.
    JpegFileWindow(jpeg_file::JpegContents inspection, const QString& fileName,
                   BlockDocument& document, UseTableInWorksheet useTable);
    ~JpegFileWindow() override;

    /// Shows the blocks of every component at picture pixel (x, y), as a click does.
    void ShowBlocksAt(int x, int y);

    /// True for a file that starts as a JPEG does (the two bytes FF D8).
    static bool LooksLikeJpeg(const QString& fileName);

private:
    QWidget* CreateSegments();
    QWidget* CreateQuantisation();
    QWidget* CreateHuffman();
    QWidget* CreateFrame();
    QWidget* CreatePictureSide();
    QWidget* CreateBlockPage(int component);
    void SendBlock();

    jpeg_file::JpegContents contents_;
    QString fileName_;
    BlockDocument& document_;
    UseTableInWorksheet useTable_;

    ZoomView* picture_ = nullptr;
    QSpinBox* zoom_ = nullptr;
    QLabel* blockStatus_ = nullptr;
    QTabWidget* blockTabs_ = nullptr;
    QPushButton* send_ = nullptr;
    /// The blocks shown, one per component (a component without one: none).
    std::vector<std::optional<jpeg_file::BlockContents>> shown_;
};

} // namespace quadrel
