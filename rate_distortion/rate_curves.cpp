#include "rate_distortion/rate_curves.h"

#include "report/report.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace quadrel {

QString CurveName(CurveKind kind) {
    switch (kind) {
    case CurveKind::OptimisedHuffman:
        return QCoreApplication::translate("RateDistortion", "Optimised Huffman tables");
    case CurveKind::UniformQuantiser:
        return QCoreApplication::translate("RateDistortion", "Uniform quantiser");
    case CurveKind::QuadrelQuant:
        return QCoreApplication::translate("RateDistortion", "Quadrel's Quant rule");
    case CurveKind::StandardTables:
        break;
    }
    return QCoreApplication::translate("RateDistortion", "JPEG standard tables");
}

QString SettingName(CurveKind kind) {
    return kind == CurveKind::UniformQuantiser || kind == CurveKind::QuadrelQuant
               ? QStringLiteral("step")
               : QStringLiteral("quality");
}

std::vector<int> CurveSettings(const CurveRequest& request, CurveKind kind) {
    std::vector<int> settings;
    switch (kind) {
    case CurveKind::StandardTables:
    case CurveKind::OptimisedHuffman:
        settings = request.Qualities;
        break;
    case CurveKind::UniformQuantiser:
        for (const int q : request.Qualities) {
            const jpeg::QuantTable table = jpeg::LuminanceTable(q);
            const double mean = std::accumulate(table.begin(), table.end(), 0.0) / 64.0;
            settings.push_back(std::clamp(static_cast<int>(std::lround(mean)), 1, 255));
        }
        break;
    case CurveKind::QuadrelQuant:
        for (int step = 1; step <= 512; step *= 2) {
            settings.push_back(step);
        }
        break;
    }
    std::sort(settings.begin(), settings.end());
    settings.erase(std::unique(settings.begin(), settings.end()), settings.end());
    return settings;
}

std::vector<RateCurve> ComputeCurves(const CurveRequest& request, const std::atomic<bool>& cancel,
                                     std::atomic<int>& done) {
    const QImage grey = GreyPicture(request.Picture);
    const GreySweep sweep(grey, request.Dct);
    std::optional<ColourSweep> colourSweep; // prepared for the first colour curve
    std::vector<RateCurve> curves;
    for (const CurveKind kind : request.Curves) {
        RateCurve curve{kind, {}};
        const bool jpegCurve =
            kind == CurveKind::StandardTables || kind == CurveKind::OptimisedHuffman;
        const bool optimise = kind == CurveKind::OptimisedHuffman;
        const GreyRule rule = kind == CurveKind::UniformQuantiser ? GreyRule::FlatTable
                              : kind == CurveKind::QuadrelQuant   ? GreyRule::QuadrelStep
                                                                  : GreyRule::StandardTable;
        const bool colour = jpegCurve && request.Colour;
        const std::vector<int> settings = CurveSettings(request, kind);
        std::vector<std::optional<RatePoint>> points;
        if (colour) {
            if (!colourSweep) {
                colourSweep.emplace(request.Picture, *request.Colour, request.Dct);
            }
            points = SweepPoints(settings, [&](int setting, unsigned threads) {
                ColourCompressionSettings colourSettings;
                colourSettings.Quality = setting;
                colourSettings.ChromaQuality = setting;
                std::optional<RatePoint> point =
                    colourSweep->At(colourSettings, optimise, &cancel, threads);
                ++done;
                return point;
            });
        } else {
            points = SweepPoints(settings, [&](int setting, unsigned threads) {
                std::optional<RatePoint> point =
                    sweep.At(rule, setting, optimise, &cancel, threads);
                ++done;
                return point;
            });
        }
        if (cancel.load()) {
            return {};
        }
        for (const std::optional<RatePoint>& point : points) {
            if (point) {
                curve.Points.push_back(*point);
            }
        }
        curves.push_back(std::move(curve));
    }
    return curves;
}

QString CurvesCsv(const std::vector<RateCurve>& curves) {
    QString csv = QStringLiteral("curve,setting_name,setting,bits_per_pixel,bytes,psnr,ssim\n");
    const auto number = [](double v) {
        return std::isfinite(v) ? QString::fromStdString(report::ExactNumber(v))
                                : (std::isnan(v) ? QString() : QStringLiteral("inf"));
    };
    for (const RateCurve& curve : curves) {
        for (const RatePoint& p : curve.Points) {
            csv += QStringLiteral("\"%1\",%2,%3,%4,%5,%6,%7\n")
                       .arg(CurveName(curve.Kind), SettingName(curve.Kind))
                       .arg(p.Setting)
                       .arg(number(p.ScanBitsPerPixel))
                       .arg(p.Bytes)
                       .arg(number(p.Psnr), number(p.Ssim));
        }
    }
    return csv;
}

} // namespace quadrel
