#pragma once
// The hinted plate solver: from a centre and a scale, it matches the image's
// stars with catalog stars by triangle patterns (any rotation, either parity),
// fits a gnomonic (TAN) solution, with SIP terms when the stars allow, and
// verifies it.
#include <string>
#include <vector>

#include "astrometry/catalog.h"
#include "astrometry/detection.h"
#include "astrometry/fits_image.h"
#include "astrometry/pattern_match.h"

namespace astrometry {

struct SolveHints {
    double raHours = 0;
    double decDeg = 0;
    double arcsecPerPixel = 1; // sign ignored
};

struct PlateSolution {
    double crval1 = 0, crval2 = 0, crpix1 = 0, crpix2 = 0;
    double cd[4] = {0, 0, 0, 0};
    bool sip = false;
    double a20 = 0, a11 = 0, a02 = 0, b20 = 0, b11 = 0, b02 = 0;
    int matched = 0;
    double rmsArcsec = 0;

    void pixelToSky(double x, double y, double& ra, double& dec) const;
    // FITS header cards (80 characters each, no END) of this solution.
    std::string headerCards() const;
};

struct SolveResult {
    bool solved = false;
    std::string reason; // why not, when not solved
    PlateSolution solution;
};

// Stars bright first; width and height of the image in pixels.
SolveResult SolvePlate(const std::vector<DetectedStar>& stars, int width, int height,
                       const std::vector<CatalogStar>& catalog, const SolveHints& hints);

// The solve when it is known which sky position each star has (an image on
// the pixel grid of a solved one): pixels[i] (FITS pixels) lies at sky[i].
// The same fit, clipping and checks as SolvePlate; at least four stars.
SolveResult SolvePlateFromPairs(const std::vector<P>& pixels, const std::vector<CatalogStar>& sky, int width,
                                int height, const SolveHints& hints);

struct SolveSettings {
    CatalogSettings catalog;
    double sigma = 5;
};

// Detection, the catalog around the hint, and the solve. Catalog errors come
// back as a reason, not as an exception.
SolveResult SolveImage(const FitsImage& image, const SolveHints& hints, const SolveSettings& settings);

} // namespace astrometry
