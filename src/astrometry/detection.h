#pragma once
// Star detection and aperture photometry on a FITS image, with SEP.
#include <string>
#include <vector>

#include "astrometry/difference_record.h"
#include "astrometry/fits_image.h"
#include "astrometry/pixels_view.h"

namespace astrometry {

struct DetectedStar {
    double x, y;       // FITS pixel coordinates, first pixel centred at 1.0
    double flux;       // ADU, in the inner aperture, local sky from the annulus removed
    double fluxError;  // ADU
    double peak;       // ADU above the background
    bool saturated;
};

struct DetectionSettings {
    double sigma = 2.5;        // threshold in standard deviations above the background
    double innerAperture = 3;  // pixels
    double outerAperture = 6;  // pixels
};

struct DetectionResult {
    std::vector<DetectedStar> stars;
    double backgroundLevel = 0; // global sky level, ADU
    double backgroundRms = 0;
    int rejectedSharp = 0;      // hot pixels and cosmic rays left out
    int rejectedDipoles = 0;    // residuals of stars in a difference image
    int rejectedNoisy = 0;      // no more than the scatter around them in a difference
    // Whole light over inner-aperture light of the bright isolated stars
    // (median; 1 with fewer than five such stars).
    double apertureCorrection = 1;
};

// Sources much sharper than the point-spread function are not stars and are
// not reported: their brightest pixel holds far more of their light than the
// brightest pixel of the image's stars does, or their light lies along a line
// narrower than the stars (see detection.cpp for the numbers).
DetectionResult DetectStars(const FitsImage& image, const DetectionSettings& settings);

// The same search of pixels held elsewhere (no need to read them again), with the header (difference record) of `header`.
DetectionResult DetectStars(const FitsImage& header, const PixelsView& pixels, const DetectionSettings& settings);

// Light-weighted second moment across the narrowest direction of the source
// whose brightest pixel is (px, py) (0-based), over the 5 x 5 pixels around it,
// above `sky`. Stars are as wide as the seeing; cosmic rays and hot pixels are
// far narrower.
double MinorWidth(const std::vector<float>& pixels, int width, int height, int px, int py, double sky);

// The light within `radius` of (x, y) (FITS pixels) less the ring's mean from
// `radius` to `outer`, measured as the search measures its sources (exact
// overlap of circle and pixels); NaN where the circle or ring meets a blank.
double SourceLight(const std::vector<float>& pixels, int width, int height, double x, double y, double radius,
                   double outer);

// The detection filter: a Gaussian of the point spread's width, or the 3 x 3
// default without one. `side` receives the filter's side.
std::vector<float> DetectionFilter(double psfSigma, int& side);

// The robust scatter of (pixel / noise) after the filter, normalised so that
// independent pixels give 1.
double FilteredNoiseRatio(const std::vector<float>& pixels, const std::vector<float>& noise, int width, int height,
                          const std::vector<float>& filter, int side);

// The sky background level of an image, ADU.
double BackgroundLevel(const FitsImage& image);
// The same for a FITS file (the plate value that decides which image of a pair
// is raised to the other's background).
double BackgroundLevel(const std::string& path);

} // namespace astrometry
