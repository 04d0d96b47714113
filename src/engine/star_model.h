#pragma once
// An elliptical Moffat profile for the stars of one image, fitted on its bright
// stars, and its light integrated over pixels: what resampling takes out of an
// undersampled image before interpolating it and puts back afterwards.
#include <array>
#include <optional>
#include <vector>

#include "engine/star_finder.h"

namespace engine {

// I(d) = flux (beta - 1) sqrt(det Q) / pi * (1 + d' Q d)^-beta, Q = [a b; b c] in px^-2
struct StarShape {
    double a = 1, b = 0, c = 1, beta = 3;
    double fwhm() const; // along the mean axis, px
    // the shape seen through a linear map: source offset = J * target offset
    StarShape through(const std::array<double, 4>& j) const;
};

// The median shape of the brightest isolated unsaturated stars; empty when
// fewer than five of them can be fitted, or when a first look finds them
// clearly wider than `maxFwhm` px. `stars` brightest first, FITS pixels.
std::optional<StarShape> FitStarShape(const std::vector<float>& pixels, const std::vector<float>& noise, int width,
                                      int height, const std::vector<BrightStar>& stars, double skySigma,
                                      double maxFwhm = 1e9);

// The light of one star of the shape within `radius` px of (x, y) (0-based
// pixel centres), integrated over each pixel, times `scale`, added into `image`.
void AddStarLight(std::vector<float>& image, int width, int height, double x, double y, double flux,
                  const StarShape& shape, double radius, double scale = 1);

// The star's flux for the shape at a known position, by least squares over the
// pixels within `radius` above `sky`; NaN where a pixel is blank.
double FitStarFlux(const std::vector<float>& image, int width, int height, double x, double y, double sky,
                   const StarShape& shape, double radius);

// How far the pixels within `radius` stray from the star's model of that flux,
// beyond their noise, as a share of the model's own light (root of summed
// squares): a few per cent for a star, far more for a galaxy's nucleus or a blend.
double StarMisfit(const std::vector<float>& image, const std::vector<float>& noise, int width, int height, double x,
                  double y, double sky, double flux, const StarShape& shape, double radius, double skySigma);

} // namespace engine
