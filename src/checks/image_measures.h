#pragma once
// Small measurements on an image around one place: the sky of a ring, the
// light of an aperture and its noise. Pixel places are FITS ones (first pixel
// centred at 1).
#include "astrometry/fits_image.h"

namespace checks {

struct RingSky {
    double level = 0, sigma = 0; // median and robust standard deviation
    int pixels = 0;
};

RingSky MeasureRing(const astrometry::FitsImage& image, double x, double y, double inner, double outer);

struct ApertureLight {
    double flux = 0;  // above the ring's sky
    double error = 0; // from the noise extension when there is one, else from the ring's scatter
    int pixels = 0;   // usable pixels inside
    bool blank = false; // a pixel inside had no data
};

ApertureLight MeasureAperture(const astrometry::FitsImage& image, double x, double y, double radius, double inner,
                              double outer);

// The same with the sky a plane fitted to the ring (3 sigma clipped): on a
// galaxy's slope the ring's median lies below the sky under the aperture.
ApertureLight MeasureApertureOnSlope(const astrometry::FitsImage& image, double x, double y, double radius,
                                     double inner, double outer);

// The median of the image's noise extension, or without one the noise of a
// sky pixel from its neighbours (the engine's measure of a raw image).
double TypicalPixelNoise(const astrometry::FitsImage& image);

} // namespace checks
