#include "picture_compression/compress_window.h"

#include "bitmap_viewer/image_frame.h"
#include "block_file/block_file_io.h"
#include "compression/picture_compression.h"
#include "compression/ssim_map.h"
#include "file_io/file_writer.h"
#include "picture_compression/jpeg_preview.h"
#include "picture_compression/mcu_panel.h"
#include "picture_compression/zoom_view.h"
#include "picture_io/picture_file.h"
#include "rate_distortion/rate_distortion_window.h"
#include "views/slide_export.h"
#include "views/window_palette.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <future>
#include <initializer_list>
#include <utility>

namespace quadrel {

namespace {

// A picture analysis that takes longer than this shows its progress.
constexpr int kQuietMilliseconds = 150;
// An eighth of the width and height: the least decoding work libjpeg offers.
constexpr int kPreviewDenominator = 8;
constexpr int kModeQuality = 0;
constexpr int kModeTable = 1;
constexpr int kModeUniform = 2;
constexpr int kModeStep = 3;
constexpr int kDctInteger = 1;
constexpr int kShowReconstruction = 0;
constexpr int kShowDifference = 1;
constexpr int kShowSsim = 2;
constexpr int kShowY = 3; // then Cb, Cr
constexpr int kChoiceColour = 1;
constexpr int kUpsampleBox = 1;

// A control of this window, named so that tests and tools can find it.
template <class Control, class... Arguments>
Control* Named(const char* name, Arguments&&... arguments) {
    auto* control = new Control(std::forward<Arguments>(arguments)...);
    control->setObjectName(QLatin1String(name));
    return control;
}

QString Grouped(qint64 n) {
    return QLocale::system().toString(n);
}

/// The size of the file a result would be saved as; empty without one.
QString FileText(const CompressionResult& result) {
    if (!result.File) {
        return {};
    }
    const Result<jpeg::JfifFile>& file = *result.File;
    if (!file) {
        return QCoreApplication::translate("CompressWindow", "\nFile: none can be written: %1")
            .arg(QString::fromStdString(file.Message()));
    }
    const QImage& picture = result.Request.Picture;
    const double pixels = static_cast<double>(picture.width()) * picture.height();
    const auto bytes = static_cast<qint64>(file->Bytes.size());
    return QCoreApplication::translate("CompressWindow",
                                       "\nFile: %1 bytes (headers %2, scan %3)   %4 bits per pixel")
        .arg(Grouped(bytes), Grouped(static_cast<qint64>(file->HeaderBytes())),
             Grouped(static_cast<qint64>(file->ScanBytes)))
        .arg(static_cast<double>(bytes) * 8.0 / pixels, 0, 'f', 3);
}

/// The name typed, with .jpg added unless it ends in .jpg or .jpeg.
QString JpegFileName(const QString& typed) {
    const QString suffix = QFileInfo(typed).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        return typed;
    }
    return typed + QStringLiteral(".jpg");
}

/// Four decimals, or a dash for a picture too small for the window.
QString SsimText(double ssim) {
    return std::isnan(ssim) ? QStringLiteral("–") : QString::number(ssim, 'f', 4);
}

} // namespace

QString AnalysisText(const jpeg::PictureAnalysis& analysis) {
    const qint64 bytes = (analysis.TotalBits + 7) / 8;
    const QString psnr = analysis.Lossless
                             ? QCoreApplication::translate("CompressWindow", "infinite (lossless)")
                             : QStringLiteral("%1 dB").arg(analysis.Psnr, 0, 'f', 2);
    return QCoreApplication::translate("CompressWindow",
                                       "PSNR %1   SSIM %2   MSE %3\n"
                                       "Size %4 bytes (%5 bits, DC %6, AC %7)\n"
                                       "%8 bits per pixel   ratio %9 : 1   zero coefficients %10 %")
        .arg(psnr, SsimText(analysis.Ssim))
        .arg(analysis.Mse, 0, 'f', 3)
        .arg(Grouped(bytes), Grouped(analysis.TotalBits), Grouped(analysis.DcBits),
             Grouped(analysis.AcBits))
        .arg(analysis.BitsPerPixel, 0, 'f', 3)
        .arg(analysis.CompressionRatio, 0, 'f', 2)
        .arg(100.0 * analysis.ZeroShare, 0, 'f', 1);
}

QString ColourAnalysisText(const jpeg::ColourAnalysis& analysis) {
    const auto decibels = [](double psnr) {
        return std::isinf(psnr) ? QCoreApplication::translate("CompressWindow", "infinite")
                                : QStringLiteral("%1 dB").arg(psnr, 0, 'f', 2);
    };
    QString text = QCoreApplication::translate(
                       "CompressWindow", "PSNR %1 over R, G, B, %2 of Y   SSIM %9 of Y   MSE %3\n"
                                         "Size %4 bytes (%5 bits)\n"
                                         "%6 bits per pixel (%7 before coding)   ratio %8 : 1")
                       .arg(decibels(analysis.Psnr), decibels(analysis.PsnrY))
                       .arg(analysis.Mse, 0, 'f', 3)
                       .arg(Grouped(analysis.Bytes), Grouped(analysis.TotalBits))
                       .arg(analysis.BitsPerPixel, 0, 'f', 3)
                       .arg(analysis.RawBitsPerPixel, 0, 'f', 0)
                       .arg(analysis.CompressionRatio, 0, 'f', 2)
                       .arg(SsimText(analysis.Ssim));
    for (const jpeg::ComponentCoding& c : analysis.Coding) {
        const double share = analysis.TotalBits > 0 ? 100.0 * static_cast<double>(c.Bits()) /
                                                          static_cast<double>(analysis.TotalBits)
                                                    : 0.0;
        text += QCoreApplication::translate("CompressWindow", "\n%1: %2 blocks, %3 bits (%4 %)")
                    .arg(QString::fromStdString(c.Name), Grouped(c.Blocks), Grouped(c.Bits()))
                    .arg(share, 0, 'f', 1);
    }
    return text;
}

CompressWindow::CompressWindow(BlockDocument& document, DesktopServices& desktop)
    : QWidget(nullptr), document_(document), desktop_(desktop) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCompressCaption);
    ApplyWindowPalette(this);
    CreateControls();
    connect(&runner_, &CompressionRunner::Finished, this, &CompressWindow::Show);
    connect(&runner_, &CompressionRunner::Stopped, this, &CompressWindow::OnCancelled);
    progressTimer_.setInterval(50);
    connect(&progressTimer_, &QTimer::timeout, this, &CompressWindow::FollowProgress);
    resize(1100, 720);
}

CompressWindow::~CompressWindow() = default;

void CompressWindow::keyPressEvent(QKeyEvent* event) {
    // A control that uses Escape itself (an open list) takes it before it comes here.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CompressWindow::CreateControls() {
    // Built row by row, as the focus moves through them.
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(CreateChoices());
    auto* colourRow = new QHBoxLayout;
    colourRow->addLayout(CreateColourChoices(), 1);
    colourRow->addLayout(CreateFileChoices());
    layout->addLayout(colourRow);
    layout->addLayout(CreateViews(), 1);
    layout->addLayout(CreateStatusRow());
    ConnectChoices();
    ConnectViews();
    ConnectFileChoices();
}

QLayout* CompressWindow::CreateChoices() {
    auto* choices = new QHBoxLayout;
    open_ = Named<QPushButton>("openButton", tr("&Open Picture..."), this);
    name_ = Named<QLabel>("pictureName", tr("No picture"), this);
    lookInside_ = Named<QPushButton>("lookInsideJpeg", tr("Look inside the JPEG…"), this);
    lookInside_->setEnabled(false);
    mode_ = Named<QComboBox>("modeBox", this);
    mode_->addItems({tr("JPEG, standard table at a quality"), tr("JPEG, a table of your own"),
                     tr("Uniform quantiser, one step for every coefficient"),
                     tr("Quadrel's Quant rule")});
    mode_->setItemData(kModeUniform, tr("A flat table of the step through the same JPEG chain"),
                       Qt::ToolTipRole);
    mode_->setItemData(kModeStep,
                       tr("Quadrel's own scaled DCT and its Quant rule with a dead zone, as the "
                          "Quant button: not a uniform quantiser"),
                       Qt::ToolTipRole);
    dct_ = Named<QComboBox>("dctBox", this);
    dct_->addItems({tr("Float DCT"), tr("Integer DCT")});
    dct_->setToolTip(tr("The encoder's transform: float as cjpeg -dct float, integer as plain "
                        "cjpeg"));
    qualitySlider_ = Named<QSlider>("qualitySlider", Qt::Horizontal, this);
    qualitySlider_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    quality_ = Named<QSpinBox>("qualityBox", this);
    quality_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    quality_->setValue(50);
    qualitySlider_->setValue(50);
    // Long mode names must not squeeze the slider to a handle.
    qualitySlider_->setMinimumWidth(
        qualitySlider_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12);
    tableButton_ = Named<QPushButton>("tableButton", tr("&Table..."), this);
    step_ = Named<QSpinBox>("stepBox", this);
    step_->setRange(1, DctEngine::kMaxQuantScale);
    step_->setValue(16);
    step_->setPrefix(tr("step "));
    choices->addWidget(open_);
    choices->addWidget(name_, 1);
    choices->addWidget(lookInside_);
    choices->addWidget(mode_);
    auto* qualityLabel = new QLabel(tr("&Quality"), this);
    qualityLabel->setBuddy(quality_);
    choices->addWidget(qualityLabel);
    choices->addWidget(qualitySlider_, 1);
    choices->addWidget(quality_);
    choices->addWidget(tableButton_);
    choices->addWidget(step_);
    auto* rateDistortion = Named<QPushButton>("rateDistortionButton", tr("Rate–Distortion…"), this);
    connect(rateDistortion, &QPushButton::clicked, this, &CompressWindow::ShowRateDistortion);
    choices->addWidget(rateDistortion);
    return choices;
}

void CompressWindow::ShowRateDistortion() {
    auto* window = new RateDistortionWindow(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->SetPicture(picture_, name_->text());
    window->SetCurrentQuality(quality_->value());
    // The curves start from the coding in view: grey, or colour at its sampling.
    const CompressionRequest request = Request();
    window->SetColour(request.Colour ? std::optional(request.ColourSettings.Sampling)
                                     : std::nullopt);
    window->SetDct(request.Settings.Dct);
    connect(window, &RateDistortionWindow::QualityChosen, quality_, &QSpinBox::setValue);
    emit RateDistortionOpened(window);
    window->show();
    window->Compute();
}

QLayout* CompressWindow::CreateColourChoices() {
    auto* row = new QHBoxLayout;
    colour_ = Named<QComboBox>("colourBox", this);
    colour_->addItems({tr("Grey"), tr("Colour")});
    sampling_ = Named<QComboBox>("samplingBox", this);
    for (const jpeg::Subsampling sampling : jpeg::kSubsamplings) {
        const std::string_view name = jpeg::SubsamplingName(sampling);
        sampling_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    sampling_->setCurrentIndex(static_cast<int>(jpeg::Subsampling::S420));
    // Chroma is coded at the luma's quality unless the user sets it apart, as
    // cjpeg does when given one quality.
    chromaSame_ = Named<QCheckBox>("chromaSameCheck", tr("Chroma as &quality"), this);
    chromaSame_->setChecked(true);
    chromaQuality_ = Named<QSpinBox>("chromaQualityBox", this);
    chromaQuality_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    chromaQuality_->setValue(quality_->value());
    chromaQuality_->setEnabled(false);
    upsampling_ = Named<QComboBox>("upsamplingBox", this);
    upsampling_->addItems({tr("Smooth upsampling"), tr("Box upsampling")});
    auto* colourLabel = new QLabel(tr("Co&ding"), this);
    colourLabel->setBuddy(colour_);
    auto* samplingLabel = new QLabel(tr("&Sampling"), this);
    samplingLabel->setBuddy(sampling_);
    row->addWidget(colourLabel);
    row->addWidget(colour_);
    row->addWidget(samplingLabel);
    row->addWidget(sampling_);
    row->addWidget(chromaSame_);
    row->addWidget(chromaQuality_);
    row->addWidget(upsampling_);
    row->addWidget(dct_);
    row->addStretch(1);
    return row;
}

QLayout* CompressWindow::CreateViews() {
    // Headings in one row, so that the two views line up pixel for pixel.
    auto* views = new QGridLayout;
    originalHeading_ = Named<QLabel>("originalHeading", tr("Original (grey)"), this);
    views->addWidget(originalHeading_, 0, 0);
    auto* rightTop = new QHBoxLayout;
    shown_ = Named<QComboBox>("shownBox", this);
    shown_->addItems({tr("Reconstruction"), tr("Difference"), tr("SSIM map"), tr("Y plane"),
                      tr("Cb plane"), tr("Cr plane")});
    shown_->setToolTip(tr("The SSIM map is each pixel's SSIM (of Y in colour), white where the "
                          "structure is kept, black at 0 and below; the Y, Cb and Cr planes are "
                          "those the encoder codes, the chroma at its sampled size with each "
                          "sample covering its pixels"));
    amplification_ = Named<QSpinBox>("amplificationBox", this);
    amplification_->setRange(1, 64);
    amplification_->setValue(8);
    amplification_->setPrefix(tr("amplified x"));
    amplification_->setToolTip(tr("Mid grey where nothing changed; lighter where the "
                                  "reconstruction is darker than the original"));
    rightTop->addWidget(shown_);
    rightTop->addWidget(amplification_);
    rightTop->addStretch(1);
    views->addLayout(rightTop, 0, 1);
    original_ = Named<ZoomView>("originalView", this);
    resultView_ = Named<ZoomView>("resultView", this);
    views->addWidget(original_, 1, 0);
    views->addWidget(resultView_, 1, 1);
    views->setRowStretch(1, 1);
    views->setColumnStretch(0, 1);
    views->setColumnStretch(1, 1);
    return views;
}

QLayout* CompressWindow::CreateStatusRow() {
    auto* bottom = new QHBoxLayout;
    zoom_ = Named<QSpinBox>("zoomBox", this);
    zoom_->setRange(1, ZoomView::kMaxZoom);
    zoom_->setSuffix(tr("x"));
    grid_ = Named<QCheckBox>("gridCheck", tr("8x8 &grid"), this);
    figures_ = Named<QLabel>("figures", this);
    figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_ = Named<QLabel>(
        "status",
        tr("A click on a block sends its original pixels to the main window (in colour, opens "
           "its MCU)."),
        this);
    status_->setWordWrap(true);
    progress_ = Named<QProgressBar>("progressBar", this);
    progress_->setRange(0, 100);
    progress_->hide();
    cancel_ = Named<QPushButton>("cancelButton", tr("Cancel"), this);
    cancel_->hide();
    auto* zoomLabel = new QLabel(tr("&Zoom"), this);
    zoomLabel->setBuddy(zoom_);
    bottom->addWidget(zoomLabel);
    bottom->addWidget(zoom_);
    bottom->addWidget(grid_);
    bottom->addWidget(figures_, 2);
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_);
    bottom->addWidget(cancel_);
    return bottom;
}

void CompressWindow::ConnectChoices() {
    connect(open_, &QPushButton::clicked, this, &CompressWindow::OpenPicture);
    connect(lookInside_, &QPushButton::clicked, this,
            [this] { emit JpegContentsRequested(jpegFile_); });
    connect(tableButton_, &QPushButton::clicked, this, &CompressWindow::ChooseTable);
    connect(mode_, &QComboBox::currentIndexChanged, this, &CompressWindow::SwitchMode);
    step_->setEnabled(false);
    connect(qualitySlider_, &QSlider::valueChanged, quality_, &QSpinBox::setValue);
    connect(quality_, &QSpinBox::valueChanged, qualitySlider_, &QSlider::setValue);
    connect(quality_, &QSpinBox::valueChanged, this, &CompressWindow::Recompute);
    connect(step_, &QSpinBox::valueChanged, this, &CompressWindow::Recompute);
    connect(dct_, &QComboBox::currentIndexChanged, this, &CompressWindow::Recompute);
    connect(cancel_, &QPushButton::clicked, &runner_, &CompressionRunner::Cancel);
    connect(quality_, &QSpinBox::valueChanged, this, [this](int quality) {
        if (chromaSame_->isChecked()) {
            const QScopedValueRollback<bool> quiet(restoringControls_, true);
            chromaQuality_->setValue(quality);
        }
    });
    connect(chromaSame_, &QCheckBox::toggled, this, [this](bool same) {
        chromaQuality_->setEnabled(!same && colour_->isEnabled() &&
                                   colour_->currentIndex() == kChoiceColour);
        if (same && chromaQuality_->value() != quality_->value()) {
            chromaQuality_->setValue(quality_->value()); // recomputes
        }
    });
    connect(colour_, &QComboBox::currentIndexChanged, this, [this] {
        EnableColourChoices();
        Recompute();
    });
    connect(sampling_, &QComboBox::currentIndexChanged, this, &CompressWindow::Recompute);
    connect(chromaQuality_, &QSpinBox::valueChanged, this, &CompressWindow::Recompute);
    connect(upsampling_, &QComboBox::currentIndexChanged, this, &CompressWindow::Recompute);
    EnableColourChoices();
}

bool CompressWindow::PictureIsColour() const {
    return picture_.format() == QImage::Format_RGB888;
}

void CompressWindow::EnableColourChoices() {
    const bool qualityMode = mode_->currentIndex() == kModeQuality;
    colour_->setEnabled(qualityMode && PictureIsColour());
    colour_->setToolTip(!PictureIsColour() ? tr("The picture is grey.")
                        : qualityMode
                            ? QString()
                            : tr("Tables of your own, uniform steps and Quadrel's rule code the "
                                 "grey picture; colour is coded at a quality."));
    const bool colour = colour_->isEnabled() && colour_->currentIndex() == kChoiceColour;
    const QString why = colour ? QString() : tr("These apply when the picture is coded in colour.");
    for (QWidget* control : std::initializer_list<QWidget*>{sampling_, chromaSame_, upsampling_}) {
        control->setEnabled(colour);
        control->setToolTip(why);
    }
    chromaQuality_->setEnabled(colour && !chromaSame_->isChecked());
    chromaQuality_->setToolTip(why);
}

void CompressWindow::ShowOriginal(bool colour) {
    original_->SetPicture(colour ? picture_ : Grey());
    originalHeading_->setText(colour ? tr("Original") : tr("Original (grey)"));
}

void CompressWindow::SwitchMode(int mode) {
    qualitySlider_->setEnabled(mode == kModeQuality);
    quality_->setEnabled(mode == kModeQuality);
    step_->setEnabled(mode == kModeStep || mode == kModeUniform);
    // A uniform step is a table entry, so a byte; Quadrel's rule reaches 512.
    step_->setMaximum(mode == kModeUniform ? kMaxUniformStep : DctEngine::kMaxQuantScale);
    dct_->setEnabled(mode != kModeStep);
    EnableColourChoices();
    if (mode == kModeTable && tableFile_.isEmpty()) {
        ChooseTable(); // reads a table and recomputes, or reads none
        if (tableFile_.isEmpty()) {
            mode_->setCurrentIndex(kModeQuality);
        }
        return;
    }
    Recompute();
}

void CompressWindow::ConnectViews() {
    connect(shown_, &QComboBox::currentIndexChanged, this, &CompressWindow::ShowResultPicture);
    connect(amplification_, &QSpinBox::valueChanged, this, [this] {
        difference_ = QImage();
        ShowResultPicture();
    });
    connect(zoom_, &QSpinBox::valueChanged, this, [this](int zoom) {
        original_->SetZoom(zoom);
        resultView_->SetZoom(zoom);
    });
    connect(grid_, &QCheckBox::toggled, original_, &ZoomView::SetGrid);
    connect(grid_, &QCheckBox::toggled, resultView_, &ZoomView::SetGrid);
    // The two views pan together.
    for (auto [a, b] : {std::pair{original_, resultView_}, std::pair{resultView_, original_}}) {
        connect(a->horizontalScrollBar(), &QScrollBar::valueChanged, b->horizontalScrollBar(),
                &QScrollBar::setValue);
        connect(a->verticalScrollBar(), &QScrollBar::valueChanged, b->verticalScrollBar(),
                &QScrollBar::setValue);
        connect(a, &ZoomView::BlockClicked, this, &CompressWindow::SendBlock);
    }
}

CompressionRequest CompressWindow::Request() const {
    CompressionRequest request;
    CompressionSettings& settings = request.Settings;
    const int mode = mode_->currentIndex();
    settings.Mode = mode == kModeTable     ? CompressionMode::Table
                    : mode == kModeUniform ? CompressionMode::Uniform
                    : mode == kModeStep    ? CompressionMode::QuadrelStep
                                           : CompressionMode::Quality;
    settings.Dct =
        dct_->currentIndex() == kDctInteger ? jpeg::DctMethod::Integer : jpeg::DctMethod::Float;
    settings.Quality = quality_->value();
    settings.Table = table_;
    settings.Step = step_->value();
    request.Colour = colour_->isEnabled() && colour_->currentIndex() == kChoiceColour;
    request.Picture = request.Colour ? picture_ : Grey();
    ColourCompressionSettings& colour = request.ColourSettings;
    colour.Quality = quality_->value();
    colour.ChromaQuality = chromaSame_->isChecked() ? quality_->value() : chromaQuality_->value();
    colour.Sampling = jpeg::kSubsamplings.at(static_cast<std::size_t>(sampling_->currentIndex()));
    colour.Upsample = upsampling_->currentIndex() == kUpsampleBox ? jpeg::Upsampling::Box
                                                                  : jpeg::Upsampling::Smooth;
    colour.Dct = settings.Dct;
    if (settings.Mode != CompressionMode::QuadrelStep) {
        request.Jfif = jpeg::JfifOptions{optimise_->isChecked(), 0};
    }
    colour.KeepBlocks = true; // the MCU panel reads the coded blocks
    return request;
}

const QImage& CompressWindow::Grey() const {
    if (grey_.isNull() && !picture_.isNull()) {
        grey_ = GreyPicture(picture_);
    }
    return grey_;
}

void CompressWindow::SetPicture(const QImage& picture, const QString& name) {
    const bool greyPicture = picture.format() == QImage::Format_Grayscale8 ||
                             picture.format() == QImage::Format_Grayscale16;
    // A colour picture is coded in colour at first: its grey is made when needed.
    QImage kept =
        greyPicture ? GreyPicture(picture) : picture.convertToFormat(QImage::Format_RGB888);
    if (kept.isNull()) {
        desktop_.ShowWarning(this, kCompressCaption,
                             greyPicture
                                 ? tr("There is not enough memory to make the picture grey.")
                                 : tr("There is not enough memory to keep the colour picture."));
        return;
    }
    // The views let go of the old result's pixels before they go.
    resultView_->SetPicture(QImage());
    grey_ = greyPicture ? kept : QImage();
    picture_ = std::move(kept);
    pictureName_ = name;
    jpegFile_.clear(); // OpenPicture names the file again when it is a JPEG
    lookInside_->setEnabled(false);
    // The old result belongs to another picture: its memory goes now.
    result_.reset();
    difference_ = QImage();
    ssimMap_ = QImage();
    planes_.clear();
    figures_->clear();
    EnableFileChoices();
    name_->setText(tr("%1 (%2 x %3)").arg(name).arg(picture_.width()).arg(picture_.height()));
    {
        const QScopedValueRollback<bool> quiet(restoringControls_, true);
        colour_->setCurrentIndex(greyPicture ? 0 : kChoiceColour);
        EnableColourChoices();
    }
    ShowOriginal(Request().Colour);
    Recompute();
}

void CompressWindow::OpenPicture() {
    const std::optional<QString> fileName =
        desktop_.OpenFileName(isVisible() ? this : nullptr, kPictureFilter, QString());
    if (!fileName) {
        return;
    }
    // The whole picture is read on another core while the preview is decoded
    // and painted here; the window waits for it, as it would for a read in place.
    std::future<Result<QImage>> reading = std::async(std::launch::async, [file = *fileName] {
        return LoadPictureFile(file, QColor(kCompressionBackground), PictureForm::Packed);
    });
    ShowPreview(*fileName);
    quadrel::Result<QImage> load = reading.get();
    if (!load) {
        ShowOriginal(Request().Colour); // the picture shown before, if any
        desktop_.ShowWarning(
            isVisible() ? this : nullptr, kCompressCaption,
            tr("The picture \"%1\" cannot be shown: %2")
                .arg(QDir::toNativeSeparators(*fileName), QString::fromStdString(load.Message())));
        return;
    }
    const QImage picture = std::move(load).Value();
    SetPicture(picture, QFileInfo(*fileName).fileName());
    if (original_->ShowsPreview()) {
        ShowOriginal(Request().Colour); // SetPicture refused the picture and said why
    }
    QFile file(*fileName);
    if (file.open(QIODevice::ReadOnly) && file.read(2) == QByteArray("\xFF\xD8", 2)) {
        jpegFile_ = *fileName;
        lookInside_->setEnabled(true);
    }
}

void CompressWindow::ShowPreview(const QString& fileName) {
    Result<JpegPreview> preview = LoadJpegPreview(fileName, kPreviewDenominator);
    if (!preview) {
        return; // no JPEG, or none libjpeg can start on: the full read says why
    }
    original_->SetPreview(preview->Picture, preview->Size);
    originalHeading_->setText(
        tr("Original (preview at 1/%1 scale, reading the picture...)").arg(kPreviewDenominator));
    // Painted now: the full read that follows holds the event loop up.
    originalHeading_->repaint();
    original_->viewport()->repaint();
}

void CompressWindow::ChooseTable() {
    const std::optional<QString> fileName = desktop_.OpenFileName(
        this, QStringLiteral("text, csv files|*.txt;*.csv|all files|*.*"), QString());
    if (!fileName) {
        return;
    }
    const quadrel::Result<jpeg::QuantTable> table = ReadTableFile(*fileName);
    if (!table) {
        desktop_.ShowWarning(
            this, kCompressCaption,
            tr("The table \"%1\" cannot be used: %2")
                .arg(QDir::toNativeSeparators(*fileName), QString::fromStdString(table.Message())));
        return;
    }
    table_ = *table;
    tableFile_ = QDir::toNativeSeparators(*fileName);
    tableButton_->setToolTip(tableFile_);
    if (mode_->currentIndex() == kModeTable) {
        Recompute();
    } else {
        mode_->setCurrentIndex(kModeTable); // recomputes
    }
}

void CompressWindow::Recompute() {
    if (picture_.isNull() || restoringControls_) {
        return;
    }
    CompressionRequest request = Request();
    if (request.Picture.isNull()) {
        desktop_.ShowWarning(this, kCompressCaption,
                             tr("There is not enough memory to make the picture grey."));
        return;
    }
    if (!runner_.Busy()) {
        busyFor_.start();
    }
    runner_.Start(request);
    progressTimer_.start();
}

void CompressWindow::FollowProgress() {
    const bool busy = runner_.Busy();
    const bool show = busy && busyFor_.elapsed() >= kQuietMilliseconds;
    progress_->setVisible(show);
    cancel_->setVisible(show);
    const double done = runner_.Progress();
    progress_->setMaximum(done < 0.0 ? 0 : 100); // 0: busy, without a share
    progress_->setValue(static_cast<int>(100.0 * std::max(0.0, done)));
    if (!busy) {
        progressTimer_.stop();
    }
}

void CompressWindow::Show(const std::shared_ptr<const CompressionResult>& result) {
    // A result of a picture no longer shown is dropped.
    const QImage& source = result->Request.Colour ? picture_ : grey_;
    if (result->Request.Picture.constBits() != source.constBits()) {
        FollowProgress();
        return;
    }
    // The view reads the old result's pixels in place until the new ones are in it.
    const std::shared_ptr<const CompressionResult> previous = std::exchange(result_, result);
    const CompressionSettings& settings = result->Request.Settings;
    if (settings.Mode == CompressionMode::Table && settings.Table == table_) {
        shownTableFile_ = tableFile_;
    }
    difference_ = QImage();
    ssimMap_ = QImage();
    planes_.clear();
    ShowOriginal(result->Request.Colour);
    figures_->setText((result->Request.Colour ? ColourAnalysisText(result->ColourAnalysis)
                                              : AnalysisText(result->Analysis)) +
                      FileText(*result));
    EnableFileChoices();
    ShowResultPicture();
    if (mcuPanel_ != nullptr && mcuPanel_->isVisible()) {
        ShowMcu(mcuPixel_);
    }
    FollowProgress();
    emit ResultShown();
}

void CompressWindow::OnCancelled() {
    FollowProgress();
    if (!result_) {
        status_->setText(tr("Cancelled: no result is shown until a setting changes."));
        return;
    }
    // What is shown belongs to the last finished setting, so the controls go back to it.
    const CompressionSettings& shown = result_->Request.Settings;
    const ColourCompressionSettings& colour = result_->Request.ColourSettings;
    const QScopedValueRollback<bool> quiet(restoringControls_, true);
    if (shown.Mode == CompressionMode::Table) {
        table_ = shown.Table;
        tableFile_ = shownTableFile_;
        tableButton_->setToolTip(tableFile_);
    }
    mode_->setCurrentIndex(shown.Mode == CompressionMode::Table         ? kModeTable
                           : shown.Mode == CompressionMode::Uniform     ? kModeUniform
                           : shown.Mode == CompressionMode::QuadrelStep ? kModeStep
                                                                        : kModeQuality);
    dct_->setCurrentIndex(shown.Dct == jpeg::DctMethod::Integer ? kDctInteger : 0);
    quality_->setValue(shown.Quality);
    step_->setValue(shown.Step);
    if (shown.Mode == CompressionMode::Quality && colour_->isEnabled()) {
        colour_->setCurrentIndex(result_->Request.Colour ? kChoiceColour : 0);
    }
    sampling_->setCurrentIndex(static_cast<int>(colour.Sampling));
    chromaSame_->setChecked(colour.ChromaQuality == colour.Quality);
    chromaQuality_->setValue(colour.ChromaQuality);
    upsampling_->setCurrentIndex(colour.Upsample == jpeg::Upsampling::Box ? kUpsampleBox : 0);
    if (result_->Request.Jfif) {
        optimise_->setChecked(result_->Request.Jfif->OptimiseHuffman);
    }
    EnableColourChoices();
    status_->setText(tr("Cancelled: the settings are back at those of the result shown."));
}

void CompressWindow::ShowResultPicture() {
    const int shown = shown_->currentIndex();
    amplification_->setEnabled(shown == kShowDifference);
    if (!result_) {
        resultView_->SetPicture(QImage());
        return;
    }
    const CompressionRequest& request = result_->Request;
    if (shown >= kShowY) {
        if (planes_.empty()) {
            planes_ = ColourPlanePictures(request.Picture, request.ColourSettings.Sampling);
        }
        const auto plane = static_cast<std::size_t>(shown - kShowY);
        resultView_->SetPicture(plane < planes_.size() ? planes_[plane] : QImage());
        return;
    }
    if (shown == kShowSsim) {
        if (ssimMap_.isNull()) {
            ssimMap_ =
                SsimMapPicture(request.Colour ? ColourSsimMap(picture_, result_->ColourAnalysis,
                                                              request.ColourSettings)
                                              : GreySsimMap(Grey(), result_->Analysis));
        }
        resultView_->SetPicture(ssimMap_);
        return;
    }
    if (request.Colour) {
        if (shown == kShowReconstruction) {
            resultView_->SetPicture(ColourReconstructionView(result_->ColourAnalysis));
            return;
        }
        if (difference_.isNull()) {
            difference_ =
                ColourDifferencePicture(picture_, result_->ColourAnalysis, amplification_->value());
        }
        resultView_->SetPicture(difference_);
        return;
    }
    if (shown == kShowReconstruction) {
        // Read in place from the result, which this window keeps alive.
        const std::vector<std::uint8_t>& pixels = result_->Analysis.Reconstruction;
        resultView_->SetPicture(QImage(pixels.data(), Grey().width(), Grey().height(),
                                       Grey().width(), QImage::Format_Grayscale8));
        return;
    }
    if (difference_.isNull()) {
        difference_ = DifferencePicture(Grey(), result_->Analysis, amplification_->value());
    }
    resultView_->SetPicture(difference_);
}

void CompressWindow::SendBlock(int column, int row) {
    if (result_ && result_->Request.Colour) {
        ShowMcu(QPoint(column * 8, row * 8));
        return;
    }
    document_.LoadSpaceBlock(PictureBlock(Grey(), column, row));
    status_->setText(tr("Block %1, %2 (pixels from x=%3 y=%4) sent to the main window.")
                         .arg(column)
                         .arg(row)
                         .arg(column * 8)
                         .arg(row * 8));
}

QLayout* CompressWindow::CreateFileChoices() {
    auto* row = new QHBoxLayout;
    optimise_ = Named<QCheckBox>("optimiseHuffmanCheck", tr("Optimised &Huffman tables"), this);
    saveJpeg_ = Named<QPushButton>("saveJpegButton", tr("Save &JPEG..."), this);
    row->addWidget(optimise_);
    row->addWidget(saveJpeg_);
    row->addWidget(CreateExportButton());
    return row;
}

QPushButton* CompressWindow::CreateExportButton() {
    auto* button = Named<QPushButton>("exportButton", tr("E&xport"), this);
    auto* menu = Named<QMenu>("exportMenu", button);
    // The views are made after this row: they are looked up when asked for.
    const auto add = [this, menu](const QString& text, const char* name, bool original) {
        QAction* save = menu->addAction(tr("Export %1…").arg(text));
        save->setObjectName(QStringLiteral("export%1Action").arg(QLatin1String(name)));
        connect(save, &QAction::triggered, this, [this, original] {
            const QString base = QFileInfo(pictureName_).completeBaseName();
            const QString shown = original ? tr("original") : shown_->currentText();
            ExportSlide(desktop_, this, tr("Export Picture"),
                        QStringLiteral("%1-%2.png")
                            .arg(base.isEmpty() ? QStringLiteral("picture") : base,
                                 shown.toLower().replace(QLatin1Char(' '), QLatin1Char('-'))),
                        nullptr, (original ? original_ : resultView_)->Picture());
        });
        QAction* copy = menu->addAction(tr("Copy %1 as Picture").arg(text));
        copy->setObjectName(QStringLiteral("copy%1Action").arg(QLatin1String(name)));
        connect(copy, &QAction::triggered, this,
                [this, original] { CopyPicture((original ? original_ : resultView_)->Picture()); });
    };
    add(tr("Original"), "Original", true);
    menu->addSeparator();
    add(tr("Picture Shown on the Right"), "Result", false);
    button->setMenu(menu);
    return button;
}

void CompressWindow::ConnectFileChoices() {
    connect(optimise_, &QCheckBox::toggled, this, &CompressWindow::Recompute);
    connect(saveJpeg_, &QPushButton::clicked, this, &CompressWindow::SaveJpeg);
    connect(mode_, &QComboBox::currentIndexChanged, this, &CompressWindow::EnableFileChoices);
    EnableFileChoices();
}

void CompressWindow::EnableFileChoices() {
    const bool jpegMode = mode_->currentIndex() != kModeStep;
    const bool saveable = jpegMode && result_ && result_->File && result_->File->Ok();
    optimise_->setEnabled(jpegMode);
    saveJpeg_->setEnabled(saveable);
    const QString why = tr("Quadrel's own transform and quantiser make no JPEG file; "
                           "the JPEG modes do.");
    optimise_->setToolTip(jpegMode ? tr("Huffman tables built from this picture's own symbol "
                                        "counts, as cjpeg -optimize builds them")
                                   : why);
    saveJpeg_->setToolTip(!jpegMode  ? why
                          : saveable ? tr("Saves the result shown as a baseline JFIF file, the "
                                          "size the figures give")
                                     : tr("The result shown has no JPEG file yet."));
}

void CompressWindow::SaveJpeg() {
    if (!saveJpeg_->isEnabled()) {
        return;
    }
    // The result, and so its file, stays alive while the dialog is open.
    const std::shared_ptr<const CompressionResult> result = result_;
    const QString base = QFileInfo(pictureName_).completeBaseName();
    const std::optional<QString> chosen = ChooseSaveFileName(
        desktop_, this, tr("Save JPEG"), QStringLiteral("JPEG files|*.jpg;*.jpeg|all files|*.*"),
        (base.isEmpty() ? QStringLiteral("picture") : base) + QStringLiteral(".jpg"),
        &JpegFileName);
    if (!chosen) {
        return;
    }
    const std::string& bytes = (*result->File)->Bytes;
    const QString shownName = QDir::toNativeSeparators(*chosen);
    const Status written = WriteFile(*chosen, bytes, Streams::Refuse);
    status_->setText(
        written
            ? tr("Saved %1 (%2 bytes).").arg(shownName, Grouped(static_cast<qint64>(bytes.size())))
            : tr("%1 was not saved: %2 Unless said otherwise, any file of that "
                 "name is unchanged.")
                  .arg(shownName, QString::fromStdString(written.Message())));
}

void CompressWindow::ShowMcu(QPoint pixel) {
    Result<jpeg::McuDetail> mcu =
        result_ && result_->Request.Colour
            ? DescribeMcu(result_->Request.Picture, result_->ColourAnalysis,
                          result_->Request.ColourSettings.Sampling, pixel.x(), pixel.y())
            : Fail("The MCU panel shows a colour coding.");
    if (!mcu) {
        if (mcuPanel_ != nullptr) {
            mcuPanel_->close();
        }
        return;
    }
    if (mcuPanel_ == nullptr) {
        mcuPanel_ = new McuPanel(document_, this);
        connect(mcuPanel_, &McuPanel::BlockSent, status_, &QLabel::setText);
    }
    mcuPixel_ = pixel;
    mcuPanel_->ShowMcu(std::move(mcu).Value());
    mcuPanel_->show();
    mcuPanel_->raise();
    status_->setText(tr("The MCU panel shows the MCU holding pixel (%1, %2); each block's page "
                        "sends its samples to the main window.")
                         .arg(pixel.x())
                         .arg(pixel.y()));
}

} // namespace quadrel
