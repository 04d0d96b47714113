#pragma once
// Star widths: how wide an image's stars are, for the kernel's size, the
// choice of the image to convolve and telling stars from cosmic rays.
#include <utility>
#include <vector>

#include "engine/image.h"
#include "engine/matching_kernel.h"
#include "engine/star_finder.h"

namespace engine {

// The Gaussian-equivalent width (sigma, px) of the stars at the given
// positions, from the share of their light in the brightest 3 x 3 pixels; 0
// with fewer than three usable stars.
double StarSigma(const std::vector<float>& pixels, int width, int height, const std::vector<StampStar>& stars,
                 double sky);

// The median minor width (px) of the stars at the given positions, above
// `sky`; 0 with fewer than five.
double MedianStarWidth(const Image& image, const std::vector<StampStar>& stars, double sky);

// The unsaturated stars at 0-based positions.
std::vector<StampStar> UnsaturatedStamps(const std::vector<BrightStar>& stars);

} // namespace engine
