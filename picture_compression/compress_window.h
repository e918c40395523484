#pragma once
// "Compress Picture": a whole picture through the JPEG chain at a chosen quality
// or table, or through Quadrel's own transform and quantiser at a step, with the
// original and the result side by side (in colour, with the chroma sampled as
// chosen, in the quality mode), the Y, Cb and Cr planes, the amplified difference and the
// figures an encoder would give. Every analysis runs in the background; the
// last result stays in view until the next one is ready. A click on a block
// puts that block's original pixels into the main window, or, in colour, opens
// the MCU panel on the MCU that holds it. In the JPEG modes every result is
// also written as a baseline JFIF file in the background: its size is shown,
// and "Save JPEG..." saves those very bytes.
//
// The window deletes itself when closed.

#include "picture_compression/compression_runner.h"
#include "views/block_document.h"
#include "views/desktop_services.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QCheckBox;
class QKeyEvent;
class QComboBox;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;

namespace quadrel {

class McuPanel;
class ZoomView;

inline const QString kCompressCaption = QStringLiteral("Compress Picture");

/// The figures of an analysis in words, one per line.
QString AnalysisText(const jpeg::PictureAnalysis& analysis);
/// The same for the colour chain, with a line per component.
QString ColourAnalysisText(const jpeg::ColourAnalysis& analysis);

class CompressWindow : public QWidget {
    Q_OBJECT
public:
    /// Sends blocks into `document`; asks for files and reports through `desktop`.
    /// Both must outlive the window.
    CompressWindow(BlockDocument& document, DesktopServices& desktop);
    ~CompressWindow() override;

    /// Works on `picture` from now on: coded in colour or grey as chosen (colour
    /// by default unless the picture is grey).
    void SetPicture(const QImage& picture, const QString& name);

signals:
    /// A result is in view.
    void ResultShown();
    /// "Look inside the JPEG…": the user asks for the "JPEG File" window on the
    /// JPEG file opened here.
    void JpegContentsRequested(const QString& fileName);
    /// A Rate-Distortion window of this picture opened (for its help key).
    void RateDistortionOpened(QWidget* window);

protected:
    /// Escape closes the window, as it closes the bitmap viewer.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    QLayout* CreateChoices();
    QLayout* CreateColourChoices();
    QLayout* CreateViews();
    QLayout* CreateStatusRow();
    void ConnectChoices();
    void ConnectViews();
    void SwitchMode(int mode);
    CompressionRequest Request() const;
    bool PictureIsColour() const;
    /// What the grey chain codes and a click sends: the picture itself when it
    /// is grey, else made from it when first asked for (null when memory runs out).
    const QImage& Grey() const;
    /// Colour is coded only in the quality mode, and only for a colour picture.
    void EnableColourChoices();
    void ShowOriginal(bool colour);
    /// Asks for a picture file; a cancelled dialog or a file that cannot be shown
    /// changes nothing (the latter is reported as the bitmap viewer does).
    void OpenPicture();
    /// A JPEG file's picture at a reduced scale in the original's view while
    /// the whole picture is read; nothing for any other file.
    void ShowPreview(const QString& fileName);
    /// The rate-distortion curves of this picture; a chosen point sets the quality.
    void ShowRateDistortion();
    /// Asks for a quantisation table file (64 whole numbers 1..255, row by row)
    /// and codes with it; a file that cannot be used is reported and changes nothing.
    void ChooseTable();
    void Recompute();
    void Show(const std::shared_ptr<const CompressionResult>& result);
    /// After a cancel the controls go back to the setting of the result shown.
    void OnCancelled();
    void ShowResultPicture();
    void SendBlock(int column, int row);
    /// Opens or updates the MCU panel on the MCU holding the pixel, from the
    /// colour result shown; closes it when the result is not in colour.
    void ShowMcu(QPoint pixel);
    void FollowProgress();
    // The JPEG file of the shown result.
    QLayout* CreateFileChoices();
    void ConnectFileChoices();
    /// A file is made in the JPEG modes only, and saved once a result has one.
    void EnableFileChoices();
    /// Asks for a file name and writes the shown result's file; the status line
    /// tells how it went, and a failure leaves any file of that name unchanged.
    void SaveJpeg();
    /// "Export": the original or the picture shown on the right (reconstruction,
    /// difference or a plane), pixel for pixel, as PNG, SVG or PDF, or onto the clipboard.
    QPushButton* CreateExportButton();

    BlockDocument& document_;
    DesktopServices& desktop_;
    CompressionRunner runner_;
    QImage picture_;      ///< as opened: Format_RGB888, or Format_Grayscale8 for a grey one
    mutable QImage grey_; ///< Grey()'s, once made
    std::shared_ptr<const CompressionResult> result_;
    QImage difference_;
    QImage ssimMap_;             ///< the shown result's local SSIM, made when first shown
    std::vector<QImage> planes_; ///< the shown result's Y, Cb, Cr, made when first shown
    QElapsedTimer busyFor_;
    QTimer progressTimer_;
    jpeg::QuantTable table_ = jpeg::kLuminanceTable;
    QString tableFile_;              ///< where table_ came from; empty until one is read
    QString shownTableFile_;         ///< where the shown result's table came from
    bool restoringControls_ = false; ///< the controls follow a result: nothing to compute
    QString pictureName_;            ///< as SetPicture was given it, for the file name proposed
    QPointer<McuPanel> mcuPanel_;    ///< made at the first click in colour
    QPoint mcuPixel_;                ///< the pixel whose MCU the panel shows

    QString jpegFile_; ///< the JPEG file the picture was opened from, or empty
    QPushButton* open_ = nullptr;
    QPushButton* lookInside_ = nullptr;
    QLabel* name_ = nullptr;
    QComboBox* mode_ = nullptr;
    QSlider* qualitySlider_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QPushButton* tableButton_ = nullptr;
    QSpinBox* step_ = nullptr;
    QComboBox* dct_ = nullptr;
    QComboBox* colour_ = nullptr;
    QComboBox* sampling_ = nullptr;
    QCheckBox* chromaSame_ = nullptr;
    QSpinBox* chromaQuality_ = nullptr;
    QComboBox* upsampling_ = nullptr;
    QLabel* originalHeading_ = nullptr;
    QComboBox* shown_ = nullptr;
    QSpinBox* amplification_ = nullptr;
    QSpinBox* zoom_ = nullptr;
    QCheckBox* grid_ = nullptr;
    ZoomView* original_ = nullptr;
    ZoomView* resultView_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QCheckBox* optimise_ = nullptr;
    QPushButton* saveJpeg_ = nullptr;
};

} // namespace quadrel
