#pragma once
// The target galaxy's nucleus in the reshot: the brightest extended source
// near the field's centre, the catalog's stars left out.
#include <optional>
#include <vector>

#include "astrometry/fits_image.h"

namespace checks {

struct PixelPlace {
    double x = 0, y = 0; // FITS pixels
};

// `psfSigma`: the stars' Gaussian sigma, px; `stars`: places of catalog stars
// to leave out. None when no extended source stands out near the centre.
std::optional<PixelPlace> FindNucleus(const astrometry::FitsImage& reshot, double psfSigma,
                                      const std::vector<PixelPlace>& stars);

} // namespace checks
