#include "engine/star_width.h"

#include <algorithm>
#include <cmath>

#include "astrometry/detection.h"
#include "engine/aperture.h"
#include "engine/pixel_stats.h"

namespace engine {
namespace {

// The brightest pixel next to (px, py), followed twice.
void climbToPeak(const std::vector<float>& pix, int w, int& px, int& py) {
    for (int pass = 0; pass < 2; ++pass) {
        int bx = px, by = py;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (pix[static_cast<std::size_t>(py + dy) * w + px + dx] > pix[static_cast<std::size_t>(by) * w + bx]) {
                    bx = px + dx;
                    by = py + dy;
                }
        px = bx;
        py = by;
    }
}

// The centred Gaussian's sigma whose brightest 3 x 3 pixels hold `frac` of
// its light: erf(1.5 / (sqrt(2) s))^2 = frac.
double sigmaOfCoreShare(double frac) {
    double lo = 0.05, hi = 20;
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double e = std::erf(1.5 / (std::sqrt(2.0) * mid));
        (e * e > frac ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

} // namespace

double StarSigma(const std::vector<float>& pix, int w, int h, const std::vector<StampStar>& stars, double sky) {
    std::vector<double> sigmas;
    for (const auto& s : stars) {
        int px = static_cast<int>(std::lround(s.x)), py = static_cast<int>(std::lround(s.y));
        if (px < 12 || py < 12 || px >= w - 12 || py >= h - 12) continue;
        climbToPeak(pix, w, px, py);
        double core = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) core += pix[static_cast<std::size_t>(py + dy) * w + px + dx] - sky;
        const double total = ApertureFlux(pix, w, h, px + 1.0, py + 1.0, 7, 8, 11);
        if (!(total > 0) || !(core > 0) || !std::isfinite(core)) continue;
        sigmas.push_back(sigmaOfCoreShare(std::clamp(core / total, 1e-3, 0.999)));
    }
    return sigmas.size() >= 3 ? MedianOf(sigmas) : 0;
}

double MedianStarWidth(const Image& image, const std::vector<StampStar>& stars, double sky) {
    std::vector<double> widths;
    for (const auto& s : stars)
        widths.push_back(astrometry::MinorWidth(image.pixels, image.width, image.height,
                                                static_cast<int>(std::lround(s.x)), static_cast<int>(std::lround(s.y)), sky));
    return widths.size() >= 5 ? MedianOf(widths) : 0;
}

std::vector<StampStar> UnsaturatedStamps(const std::vector<BrightStar>& stars) {
    std::vector<StampStar> at;
    for (const auto& s : stars)
        if (!s.saturated) at.push_back({s.x - 1, s.y - 1});
    return at;
}

} // namespace engine
