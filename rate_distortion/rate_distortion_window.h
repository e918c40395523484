#pragma once
// The "Rate-Distortion" window: PSNR and SSIM against bits per pixel for one
// picture over a range of settings, for the JPEG standard tables (grey, or
// colour at a chosen sampling), the same with optimised Huffman tables, a
// uniform quantiser and Quadrel's own Quant rule. The curves are computed in
// the background; a point under the pointer shows its numbers, and a click on
// a JPEG curve's point chooses its quality.

#include "rate_distortion/rate_curves.h"

#include <QFutureWatcher>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
class QXYSeries;

namespace quadrel {

class RateDistortionWindow : public QWidget {
    Q_OBJECT
public:
    explicit RateDistortionWindow(QWidget* parent = nullptr);
    ~RateDistortionWindow() override;

    void SetPicture(const QImage& picture, const QString& name);
    /// The quality marked on the JPEG curves, always among those computed.
    void SetCurrentQuality(int quality);
    /// Grey, or colour at a sampling: the coding the JPEG curves follow.
    void SetColour(std::optional<jpeg::Subsampling> sampling);
    /// The encoder's transform the curves follow (float until set).
    void SetDct(jpeg::DctMethod dct) { dct_ = dct; }
    const std::vector<RateCurve>& Curves() const { return curves_; }
    QChart* PsnrChart() const;
    QChart* SsimChart() const;

    bool ExportCsv(const QString& path) const;
    bool ExportPng(const QString& path);
    bool ExportSvg(const QString& path);

public slots:
    /// Starts the curves' computation, stopping one under way.
    void Compute();

signals:
    void QualityChosen(int quality);
    void CurvesShown();

private:
    void CreateControls();
    CurveRequest Request() const;
    void Finished();
    void ShowCurves();
    void Hovered(CurveKind kind, const QPointF& point, bool state, bool psnr);
    void Clicked(CurveKind kind, const QPointF& point, bool psnr);
    const RatePoint* Nearest(CurveKind kind, const QPointF& point, bool psnr) const;
    void MarkCurrent();
    void ShowKey();
    void OpenPicture();
    void ChooseExport();
    void Cancel();

    QImage picture_;
    int current_ = 50;
    std::vector<RateCurve> curves_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::shared_ptr<std::atomic<int>> done_;
    int total_ = 0;
    QFutureWatcher<std::vector<RateCurve>> watcher_;

    QLabel* name_ = nullptr;
    QSpinBox* first_ = nullptr;
    QSpinBox* last_ = nullptr;
    QSpinBox* step_ = nullptr;
    QComboBox* colour_ = nullptr;
    jpeg::DctMethod dct_ = jpeg::DctMethod::Float;
    std::vector<QCheckBox*> curveBoxes_;
    QPushButton* compute_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* export_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QChartView* psnrView_ = nullptr;
    QChartView* ssimView_ = nullptr;
    QWidget* charts_ = nullptr;
    QLabel* key_ = nullptr; ///< each curve's colour and name
    QLabel* readout_ = nullptr;
};

} // namespace quadrel
