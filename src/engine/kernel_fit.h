#pragma once
// Kernel fit: the matching kernel that turns the sharper image into the
// broader one, fitted by least squares on stamps around stars, with the
// background difference. The kernel is a sum of Gaussians times polynomials
// whose weights vary linearly over the image.
#include <optional>
#include <vector>

#include "engine/matching_kernel.h"

namespace engine {

struct MatchInputs {
    const std::vector<float>* templ = nullptr; // the sharper image, to be convolved
    const std::vector<float>* templNoise = nullptr;
    const std::vector<float>* science = nullptr; // the broader image
    const std::vector<float>* scienceNoise = nullptr;
    int width = 0, height = 0;
    double templSigma = 1, scienceSigma = 1; // Gaussian-equivalent star widths, px
    std::vector<StampStar> stars;            // brightest first
    float templSaturation = 1e30f, scienceSaturation = 1e30f;
};

// At most 180 stamps, a few per cell of a 6 x 6 grid, of stars the template
// shows at high signal-to-noise, clear of blanks and saturation; stamps the
// kernel does not explain are dropped over up to four fits. Empty when fewer
// than eight good stamps remain.
std::optional<MatchingKernel> FitMatchingKernel(const MatchInputs& in);

} // namespace engine
