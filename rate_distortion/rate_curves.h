#pragma once
// The curves of the "Rate-Distortion" window, computed without widgets: one
// picture at many settings, each point what quadrel-cli compress reports for it.

#include "compression/rate_distortion.h"

#include <QImage>
#include <QString>

#include <array>
#include <atomic>
#include <optional>
#include <vector>

namespace quadrel {

enum class CurveKind : std::uint8_t {
    StandardTables,   ///< the standard tables scaled to each quality
    OptimisedHuffman, ///< the same, sized as whole files with tables made for the picture
    UniformQuantiser, ///< one step for every coefficient, through the same chain
    QuadrelQuant,     ///< Quadrel's own transform and Quant rule, steps 1, 2, 4, ... 512
};
inline constexpr std::array<CurveKind, 4> kCurveKinds = {
    CurveKind::StandardTables, CurveKind::OptimisedHuffman, CurveKind::UniformQuantiser,
    CurveKind::QuadrelQuant};

/// "JPEG standard tables" and so on.
QString CurveName(CurveKind kind);
/// "quality" or "step": what a point's setting is.
QString SettingName(CurveKind kind);

struct RateCurve {
    CurveKind Kind = CurveKind::StandardTables;
    std::vector<RatePoint> Points; ///< in the order computed, settings rising
};

struct CurveRequest {
    QImage Picture; ///< as opened: grey or RGB
    std::vector<int> Qualities;
    std::vector<CurveKind> Curves;
    /// Colour at this sampling for the two JPEG curves; empty: the picture made
    /// grey (the uniform quantiser and Quadrel's rule always code it grey).
    std::optional<jpeg::Subsampling> Colour;
    /// The encoder's transform of every curve but Quadrel's rule, which has its own.
    jpeg::DctMethod Dct = jpeg::DctMethod::Float;
};

/// The settings a curve computes: the qualities for the JPEG curves; for the
/// uniform quantiser the mean step of the standard table at each quality, so
/// that it spans about the same rates; for Quadrel's rule the window's steps.
std::vector<int> CurveSettings(const CurveRequest& request, CurveKind kind);

/// Every curve; `done` counts the points finished. Empty when cancelled.
std::vector<RateCurve> ComputeCurves(const CurveRequest& request, const std::atomic<bool>& cancel,
                                     std::atomic<int>& done);

/// One line per point: curve, setting, bits_per_pixel (of the entropy-coded
/// data, as the charts show it), bytes (the whole file for optimised tables),
/// psnr, ssim, each number written so that it reads back to the same double.
QString CurvesCsv(const std::vector<RateCurve>& curves);

} // namespace quadrel
