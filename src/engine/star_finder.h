#pragma once
// A fast finder of the bright stars of an image, for alignment, flux scaling
// and plate solving, where a few dozen well-measured stars are enough and the
// full detection would cost a second on a 16-megapixel image.
#include <utility>
#include <vector>

namespace engine {

struct BrightStar {
    double x, y;  // FITS pixels
    double flux;  // ADU above the local sky in a radius of 3 x the star's width
    double peak;  // ADU above the sky
    bool saturated;
    double sky = 0; // the local sky, ADU
};

// Local maxima at least `sigmas` noise units above the sky, wider than one
// pixel, brightest first, at most `maxStars`.
std::vector<BrightStar> FindBrightStars(const std::vector<float>& pixels, int width, int height,
                                        double sky, double noise, double sigmas = 15,
                                        std::size_t maxStars = 400);

// The unsaturated stars' positions in FITS pixels.
std::vector<std::pair<double, double>> UnsaturatedPositions(const std::vector<BrightStar>& stars);

// A star's light-weighted second moment about its position, over the 7 x 7
// pixels around it and above its local sky, px^2 per axis.
double StarSecondMoment(const std::vector<float>& pixels, int width, const BrightStar& star);

} // namespace engine
