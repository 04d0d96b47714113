#pragma once
// Zero-point: the magnitude of one ADU, from the image's stars matched to the
// catalog through its plate solution.
#include <optional>

#include "astrometry/catalog.h"
#include "astrometry/wcs.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

// Magnitude = zero-point - 2.5 log10(whole light in ADU), the clipped mean
// over every unsaturated bright star within 2.5" of a catalog star (a
// catalog's magnitudes scatter by a fifth of a magnitude: a few dozen stars
// left it off by hundredths). None without a solution, a catalog folder that
// covers the field, or three such stars. `error`: the standard error of that
// mean (the stars' robust scatter over the root of their number).
std::optional<double> FitZeroPoint(const Image& image, const SkyStats& sky, const astrometry::Wcs& wcs,
                                   const astrometry::CatalogSettings& catalog, double* error = nullptr);

} // namespace engine
