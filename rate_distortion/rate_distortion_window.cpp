#include "rate_distortion/rate_distortion_window.h"

#include "picture_io/picture_file.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent>

#include <cmath>
#include <limits>

namespace quadrel {

namespace {

/// Each curve's colour, and the current setting's.
QColor CurveColour(CurveKind kind) {
    switch (kind) {
    case CurveKind::OptimisedHuffman:
        return {0x2c, 0xa0, 0x2c};
    case CurveKind::UniformQuantiser:
        return {0xff, 0x7f, 0x0e};
    case CurveKind::QuadrelQuant:
        return {0x94, 0x67, 0xbd};
    case CurveKind::StandardTables:
        break;
    }
    return {0x1f, 0x77, 0xb4};
}
const QColor kCurrentColour(0xd6, 0x27, 0x28);

/// The value a chart plots for a point, or NaN when it has none (infinite PSNR).
double Plotted(const RatePoint& p, bool psnr) {
    const double v = psnr ? p.Psnr : p.Ssim;
    return std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

QChartView* MakeView(const QString& title, const QString& axis, QWidget* parent) {
    auto* chart = new QChart;
    chart->setTitle(title);
    auto* x = new QValueAxis(chart);
    x->setTitleText(
        QCoreApplication::translate("RateDistortion", "bits per pixel (entropy-coded data)"));
    auto* y = new QValueAxis(chart);
    y->setTitleText(axis);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->legend()->setVisible(false);         // one key below both charts instead
    auto* view = new QChartView(chart, parent); // the view owns its chart
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(420, 340);
    return view;
}

} // namespace

RateDistortionWindow::RateDistortionWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("rateDistortionWindow"));
    setWindowTitle(tr("Rate–Distortion"));
    CreateControls();
    connect(&watcher_, &QFutureWatcher<std::vector<RateCurve>>::finished, this,
            &RateDistortionWindow::Finished);
}

RateDistortionWindow::~RateDistortionWindow() {
    Cancel();
    watcher_.waitForFinished();
}

void RateDistortionWindow::CreateControls() {
    auto* open = new QPushButton(tr("Open Picture…"), this);
    open->setObjectName(QStringLiteral("openButton"));
    connect(open, &QPushButton::clicked, this, &RateDistortionWindow::OpenPicture);
    name_ = new QLabel(tr("No picture"), this);
    const auto spin = [this](const char* name, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(1, 100);
        box->setValue(value);
        return box;
    };
    first_ = spin("firstQuality", 5);
    last_ = spin("lastQuality", 95);
    step_ = spin("qualityStep", 5);
    colour_ = new QComboBox(this);
    colour_->setObjectName(QStringLiteral("colourChoice"));
    colour_->addItem(tr("Grey"));
    for (const jpeg::Subsampling s : jpeg::kSubsamplings) {
        colour_->addItem(tr("Colour %1").arg(QString::fromLatin1(SubsamplingName(s).data())));
    }
    auto* choices = new QGridLayout;
    choices->addWidget(open, 0, 0);
    choices->addWidget(name_, 0, 1, 1, 5);
    choices->addWidget(new QLabel(tr("Qualities from"), this), 1, 0);
    choices->addWidget(first_, 1, 1);
    choices->addWidget(new QLabel(tr("to"), this), 1, 2);
    choices->addWidget(last_, 1, 3);
    choices->addWidget(new QLabel(tr("step"), this), 1, 4);
    choices->addWidget(step_, 1, 5);
    choices->addWidget(colour_, 1, 6);
    auto* curves = new QHBoxLayout;
    for (const CurveKind kind : kCurveKinds) {
        auto* box = new QCheckBox(CurveName(kind), this);
        box->setObjectName(QStringLiteral("curve%1").arg(static_cast<int>(kind)));
        box->setChecked(true);
        curveBoxes_.push_back(box);
        curves->addWidget(box);
    }
    // The uniform quantiser and Quadrel's rule code grey pictures only.
    connect(colour_, &QComboBox::currentIndexChanged, this, [this](int index) {
        curveBoxes_[2]->setEnabled(index == 0);
        curveBoxes_[3]->setEnabled(index == 0);
    });
    compute_ = new QPushButton(tr("Compute"), this);
    compute_->setObjectName(QStringLiteral("computeButton"));
    connect(compute_, &QPushButton::clicked, this, &RateDistortionWindow::Compute);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setEnabled(false);
    connect(cancelButton_, &QPushButton::clicked, this, &RateDistortionWindow::Cancel);
    export_ = new QPushButton(tr("Export…"), this);
    export_->setObjectName(QStringLiteral("exportButton"));
    connect(export_, &QPushButton::clicked, this, &RateDistortionWindow::ChooseExport);
    progress_ = new QProgressBar(this);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, [this] { progress_->setValue(done_->load()); });
    curves->addStretch();
    curves->addWidget(compute_);
    curves->addWidget(cancelButton_);
    curves->addWidget(progress_);
    curves->addWidget(export_);

    charts_ = new QWidget(this);
    psnrView_ = MakeView(tr("PSNR"), tr("PSNR (dB)"), charts_);
    ssimView_ = MakeView(tr("SSIM"), tr("SSIM"), charts_);
    auto* chartRow = new QHBoxLayout(charts_);
    chartRow->setContentsMargins(0, 0, 0, 0);
    chartRow->addWidget(psnrView_);
    chartRow->addWidget(ssimView_);
    key_ = new QLabel(this);
    key_->setObjectName(QStringLiteral("curveKey"));
    readout_ = new QLabel(tr("Point at a curve for its numbers; click a JPEG curve's point to "
                             "code the picture at its quality."),
                          this);
    readout_->setObjectName(QStringLiteral("readout"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(curves);
    layout->addWidget(charts_, 1);
    layout->addWidget(key_);
    layout->addWidget(readout_);
    resize(1120, 640);
}

void RateDistortionWindow::SetColour(std::optional<jpeg::Subsampling> sampling) {
    colour_->setCurrentIndex(sampling ? 1 + static_cast<int>(*sampling) : 0);
}

QChart* RateDistortionWindow::PsnrChart() const {
    return psnrView_->chart();
}
QChart* RateDistortionWindow::SsimChart() const {
    return ssimView_->chart();
}

void RateDistortionWindow::SetPicture(const QImage& picture, const QString& name) {
    Cancel(); // curves of the last picture are not shown for this one
    picture_ = picture;
    name_->setText(name);
    curves_.clear();
    ShowCurves();
}

void RateDistortionWindow::SetCurrentQuality(int quality) {
    current_ = quality;
    MarkCurrent();
}

CurveRequest RateDistortionWindow::Request() const {
    CurveRequest request;
    request.Picture = picture_;
    for (int q = first_->value(); q <= last_->value(); q += step_->value()) {
        request.Qualities.push_back(q);
    }
    request.Qualities.push_back(current_); // the current setting is always a point
    if (colour_->currentIndex() > 0) {
        request.Colour =
            jpeg::kSubsamplings.at(static_cast<std::size_t>(colour_->currentIndex() - 1));
    }
    request.Dct = dct_;
    for (std::size_t i = 0; i < kCurveKinds.size(); ++i) {
        if (curveBoxes_[i]->isChecked() && curveBoxes_[i]->isEnabled()) {
            request.Curves.push_back(kCurveKinds[i]);
        }
    }
    return request;
}

void RateDistortionWindow::Compute() {
    if (picture_.isNull()) {
        return;
    }
    Cancel();
    watcher_.waitForFinished();
    const CurveRequest request = Request();
    total_ = 0;
    for (const CurveKind kind : request.Curves) {
        total_ += static_cast<int>(CurveSettings(request, kind).size());
    }
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    done_ = std::make_shared<std::atomic<int>>(0);
    progress_->setRange(0, std::max(1, total_));
    progress_->setValue(0);
    cancelButton_->setEnabled(true);
    progressTimer_->start();
    watcher_.setFuture(QtConcurrent::run([request, cancel = cancel_, done = done_] {
        return ComputeCurves(request, *cancel, *done);
    }));
}

void RateDistortionWindow::Cancel() {
    if (cancel_) {
        cancel_->store(true);
    }
}

void RateDistortionWindow::Finished() {
    progressTimer_->stop();
    cancelButton_->setEnabled(false);
    const bool cancelled = cancel_ && cancel_->load();
    if (cancelled) {
        progress_->setValue(0);
        return;
    }
    progress_->setValue(total_);
    curves_ = watcher_.result();
    ShowCurves();
    emit CurvesShown();
}

void RateDistortionWindow::ShowCurves() {
    for (const bool psnr : {true, false}) {
        QChart* chart = psnr ? PsnrChart() : SsimChart();
        chart->removeAllSeries();
        double xMin = std::numeric_limits<double>::infinity();
        double xMax = -xMin;
        double yMin = xMin;
        double yMax = -xMin;
        for (const RateCurve& curve : curves_) {
            auto* series = new QLineSeries(chart);
            series->setName(CurveName(curve.Kind));
            series->setColor(CurveColour(curve.Kind));
            series->setPointsVisible(true);
            for (const RatePoint& p : curve.Points) {
                const double y = Plotted(p, psnr);
                if (std::isnan(y)) {
                    continue;
                }
                series->append(p.ScanBitsPerPixel, y);
                xMin = std::min(xMin, p.ScanBitsPerPixel);
                xMax = std::max(xMax, p.ScanBitsPerPixel);
                yMin = std::min(yMin, y);
                yMax = std::max(yMax, y);
            }
            chart->addSeries(series);
            for (QAbstractAxis* axis : chart->axes()) {
                series->attachAxis(axis);
            }
            const CurveKind kind = curve.Kind;
            connect(series, &QXYSeries::hovered, this,
                    [this, kind, psnr](const QPointF& point, bool state) {
                        Hovered(kind, point, state, psnr);
                    });
            connect(series, &QXYSeries::clicked, this,
                    [this, kind, psnr](const QPointF& point) { Clicked(kind, point, psnr); });
        }
        if (xMin <= xMax) {
            const double xPad = std::max(0.05, 0.05 * (xMax - xMin));
            const double yPad = std::max(psnr ? 0.5 : 0.005, 0.05 * (yMax - yMin));
            // Round ticks (0.5 bpp, 5 dB, ...); SSIM never goes beyond 1.
            auto* x = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front());
            auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).front());
            x->setRange(std::max(0.0, xMin - xPad), xMax + xPad);
            y->setRange(yMin - yPad, psnr ? yMax + yPad : std::min(1.0, yMax + yPad));
            x->applyNiceNumbers();
            y->applyNiceNumbers();
            if (!psnr && y->max() > 1.0) {
                y->setMax(1.0);
            }
        }
    }
    MarkCurrent();
}

void RateDistortionWindow::ShowKey() {
    const auto swatch = [](const QColor& colour, const QString& name) {
        return QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;%2")
            .arg(colour.name(), name.toHtmlEscaped());
    };
    QStringList entries;
    for (const RateCurve& curve : curves_) {
        entries << swatch(CurveColour(curve.Kind), CurveName(curve.Kind));
    }
    if (!curves_.empty()) {
        entries << swatch(kCurrentColour, tr("current quality %1").arg(current_));
    }
    key_->setText(entries.join(QStringLiteral("&nbsp;&nbsp;&nbsp;")));
}

void RateDistortionWindow::MarkCurrent() {
    ShowKey();
    for (const bool psnr : {true, false}) {
        QChart* chart = psnr ? PsnrChart() : SsimChart();
        for (QAbstractSeries* s : chart->series()) {
            if (s->objectName() == QLatin1String("current")) {
                chart->removeSeries(s);
                delete s; // removed from the chart, the series has no owner left
            }
        }
        auto* marks = new QScatterSeries(chart);
        marks->setObjectName(QStringLiteral("current"));
        marks->setName(tr("Current quality %1").arg(current_));
        marks->setMarkerSize(14.0);
        marks->setColor(kCurrentColour);
        for (const RateCurve& curve : curves_) {
            if (curve.Kind != CurveKind::StandardTables &&
                curve.Kind != CurveKind::OptimisedHuffman) {
                continue;
            }
            for (const RatePoint& p : curve.Points) {
                if (p.Setting == current_ && !std::isnan(Plotted(p, psnr))) {
                    marks->append(p.ScanBitsPerPixel, Plotted(p, psnr));
                }
            }
        }
        chart->addSeries(marks);
        for (QAbstractAxis* axis : chart->axes()) {
            marks->attachAxis(axis);
        }
    }
}

const RatePoint* RateDistortionWindow::Nearest(CurveKind kind, const QPointF& point,
                                               bool psnr) const {
    const RatePoint* best = nullptr;
    double bestDistance = std::numeric_limits<double>::infinity();
    QChart* chart = psnr ? PsnrChart() : SsimChart();
    const QPointF at = chart->mapToPosition(point);
    for (const RateCurve& curve : curves_) {
        if (curve.Kind != kind) {
            continue;
        }
        for (const RatePoint& p : curve.Points) {
            const double y = Plotted(p, psnr);
            if (std::isnan(y)) {
                continue;
            }
            const QPointF d = chart->mapToPosition(QPointF(p.ScanBitsPerPixel, y)) - at;
            const double distance = std::hypot(d.x(), d.y());
            if (distance < bestDistance) {
                bestDistance = distance;
                best = &p;
            }
        }
    }
    return best;
}

void RateDistortionWindow::Hovered(CurveKind kind, const QPointF& point, bool state, bool psnr) {
    const RatePoint* p = state ? Nearest(kind, point, psnr) : nullptr;
    if (p == nullptr) {
        return;
    }
    readout_->setText(tr("%1, %2 %3: %4 bits per pixel, %5 bytes, PSNR %6 dB, SSIM %7")
                          .arg(CurveName(kind), SettingName(kind))
                          .arg(p->Setting)
                          .arg(p->ScanBitsPerPixel, 0, 'f', 4)
                          .arg(p->Bytes)
                          .arg(p->Psnr, 0, 'f', 2)
                          .arg(p->Ssim, 0, 'f', 4));
}

void RateDistortionWindow::Clicked(CurveKind kind, const QPointF& point, bool psnr) {
    const RatePoint* p = Nearest(kind, point, psnr);
    if (p == nullptr ||
        (kind != CurveKind::StandardTables && kind != CurveKind::OptimisedHuffman)) {
        return;
    }
    SetCurrentQuality(p->Setting);
    emit QualityChosen(p->Setting);
}

bool RateDistortionWindow::ExportCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(CurvesCsv(curves_).toUtf8());
    return file.commit();
}

bool RateDistortionWindow::ExportPng(const QString& path) {
    return charts_->grab().save(path, "PNG");
}

bool RateDistortionWindow::ExportSvg(const QString& path) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(charts_->size());
    svg.setViewBox(charts_->rect());
    svg.setTitle(windowTitle());
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    charts_->render(&painter);
    return painter.end();
}

void RateDistortionWindow::ChooseExport() {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export"), QString(),
        tr("PNG picture (*.png);;SVG drawing (*.svg);;CSV table (*.csv)"), &filter);
    if (path.isEmpty()) {
        return;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool done = suffix == QLatin1String("csv")   ? ExportCsv(path)
                      : suffix == QLatin1String("svg") ? ExportSvg(path)
                                                       : ExportPng(path);
    readout_->setText(done ? tr("Written to %1.").arg(path)
                           : tr("%1 cannot be written.").arg(path));
}

void RateDistortionWindow::OpenPicture() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open Picture"), QString(),
        tr("Pictures (*.png *.bmp *.jpg *.jpeg *.pgm *.ppm *.tif *.tiff *.gif)"));
    if (path.isEmpty()) {
        return;
    }
    const Result<QImage> load =
        LoadPictureFile(path, QColor(kCompressionBackground), PictureForm::GreyAsIs);
    if (!load) {
        readout_->setText(QString::fromStdString(load.Message()));
        return;
    }
    SetPicture(*load, QFileInfo(path).fileName());
}

} // namespace quadrel
