#pragma once
// Where a reconstruction keeps the picture's structure: each pixel's SSIM
// (jpeg/ssim.h) under the window the mean uses, so that the map's mean over the
// picture less its edges is the SSIM the figures give. For colour the map is of
// the Y planes, as the figures' SSIM is.

#include "compression/colour_compression.h"
#include "jpeg/jpeg_picture.h"
#include "jpeg/ssim.h"

#include <QImage>

namespace quadrel {

/// The grey picture (Format_Grayscale8) against the analysis's reconstruction;
/// empty when the analysis holds none of that size.
jpeg::SsimMap GreySsimMap(const QImage& grey, const jpeg::PictureAnalysis& analysis);

/// The Y plane the encoder coded against the Y plane the decoder rebuilds from
/// the kept blocks (the analysis must keep them); empty otherwise.
jpeg::SsimMap ColourSsimMap(const QImage& picture, const jpeg::ColourAnalysis& analysis,
                            const ColourCompressionSettings& settings);

/// The map as grey levels: 1 white, 0 and below black, in between
/// round(255 x SSIM). Null for an empty map.
QImage SsimMapPicture(const jpeg::SsimMap& map);

} // namespace quadrel
