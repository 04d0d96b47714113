#pragma once
// The subtraction with point-spread matching: the sharper of two aligned
// images is convolved towards the other (never the other way, which would
// amplify noise) with a kernel fitted on the stars of both, and the two are
// subtracted in the first image's units.
#include <optional>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/pixel_stats.h"
#include "engine/star_finder.h"

namespace engine {

struct MatchedSubtraction {
    std::string how;        // for the history line
    double fluxScale = 1;   // applied to `other`
    double starWidth = 0;   // of the broader image's stars, px; 0: unknown
    double psfSigma = 0;    // Gaussian-equivalent sigma of the broader image's stars, px
    double apertureCorrection = 0; // measured on the broader image; 0: unknown
};

// image = image - other, both on one grid, each with its noise; the noise of
// both carried into image.noise; pixels without data or near saturation NaN.
// None, with `image` unchanged, when the pair cannot be matched (no noise,
// fewer than eight good stars, a kernel flux outside 0.05..20).
std::optional<MatchedSubtraction> SubtractMatched(Image& image, const SkyStats& sky, const Image& other,
                                                  const SkyStats& otherSky, const std::vector<BrightStar>& stars);

} // namespace engine
