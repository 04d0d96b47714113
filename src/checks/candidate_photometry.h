#pragma once
// A candidate's calibrated magnitude with its error, and how deep the two
// images reach: what a discovery report asks for.
#include <optional>
#include <string>

#include "astrometry/fits_image.h"

namespace checks {

struct Photometry {
    double magnitude = 0, error = 0; // in the difference, through MAGZERO
    double reshotLimit = 0;          // 5 sigma, point source
    double referenceLimit = 0;       // the "last non-detection"
    std::string filter;              // the reshot's FILTER
};

// From the difference (with its record and noise), the aligned reference and
// the reshot. Throws checks::Error (kNoZeroPoint) without a zero-point.
Photometry MeasurePhotometry(const astrometry::FitsImage& difference, const astrometry::FitsImage& reshot,
                             const astrometry::FitsImage& reference, double x, double y);

// The 5 sigma limit of a point source of Gaussian sigma `psfSigma` px on sky
// of `pixelNoise` ADU, for the zero-point `zeroPoint`: an optimal measurement's
// noise covers 4 pi sigma^2 pixels.
double LimitingMagnitude(double zeroPoint, double pixelNoise, double psfSigma);

} // namespace checks
