#include "astrometry/source_shape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace astrometry {
namespace {

constexpr int kHalf = 3, kSide = 2 * kHalf + 1;

struct Pixel {
    double value, weight; // 1 / variance
    int dx, dy;
};

// The share of a Gaussian's light that falls between a - 0.5 and a + 0.5.
double pixelShare(double a, double sigma) {
    const double s = std::sqrt(2.0) * sigma;
    return 0.5 * (std::erf((a + 0.5) / s) - std::erf((a - 0.5) / s));
}

// The weighted least-squares chi2 of amplitude x profile + background.
double fitChi2(const std::vector<Pixel>& px, double cx, double cy, double sigma) {
    std::array<double, kSide> sx{}, sy{};
    for (int k = 0; k < kSide; ++k) {
        sx[k] = pixelShare(k - kHalf - cx, sigma);
        sy[k] = pixelShare(k - kHalf - cy, sigma);
    }
    double spp = 0, sp = 0, s1 = 0, spd = 0, sd = 0, sdd = 0;
    for (const auto& p : px) {
        const double m = sx[p.dx + kHalf] * sy[p.dy + kHalf], w = p.weight;
        spp += w * m * m, sp += w * m, s1 += w, spd += w * m * p.value, sd += w * p.value, sdd += w * p.value * p.value;
    }
    const double det = spp * s1 - sp * sp;
    double a = det > 0 ? (spd * s1 - sp * sd) / det : 0;
    double b = det > 0 ? (spp * sd - sp * spd) / det : sd / s1;
    if (a < 0) a = 0, b = sd / s1; // a source is light, not a dip
    return sdd - 2 * a * spd - 2 * b * sd + a * a * spp + 2 * a * b * sp + b * b * s1;
}

// The best chi2 over centres within half a pixel of the brightest pixel.
double bestChi2(const std::vector<Pixel>& px, double sigma) {
    double best = std::numeric_limits<double>::infinity();
    for (double cy = -0.5; cy <= 0.5; cy += 0.25)
        for (double cx = -0.5; cx <= 0.5; cx += 0.25) best = std::min(best, fitChi2(px, cx, cy, sigma));
    return best;
}

} // namespace

double SharpnessPreference(const ShapeStamp& stamp, int px, int py, double psfSigma) {
    if (!(psfSigma > 0.3)) return 0;
    const auto at = [&](int x, int y) {
        const bool inside = x >= 0 && y >= 0 && x < stamp.width && y < stamp.height;
        const float v = inside ? stamp.pixels[static_cast<std::size_t>(y) * stamp.width + x] : NAN;
        return std::isfinite(v) ? v : -std::numeric_limits<float>::infinity();
    };
    // the search's peak can lie a pixel off the brightest one
    const int x0 = px, y0 = py;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (at(x0 + dx, y0 + dy) > at(px, py)) px = x0 + dx, py = y0 + dy;
    std::vector<Pixel> pixels;
    pixels.reserve(kSide * kSide);
    for (int dy = -kHalf; dy <= kHalf; ++dy)
        for (int dx = -kHalf; dx <= kHalf; ++dx) {
            const int x = px + dx, y = py + dy;
            if (x < 0 || y < 0 || x >= stamp.width || y >= stamp.height) continue;
            const std::size_t i = static_cast<std::size_t>(y) * stamp.width + x;
            const double n = stamp.noise[i], v = stamp.pixels[i];
            if (!(n > 0 && n < 1e20) || !std::isfinite(v)) continue;
            pixels.push_back({v, 1 / (n * n), dx, dy});
        }
    // beside a blanked area: enough to tell a lone pixel from a spread of light
    if (pixels.size() < 15) return 0;
    // a third of the point spread, at most a third of a pixel: light in one pixel or two
    const double narrow = std::min(0.33, psfSigma / 3);
    return bestChi2(pixels, psfSigma) - bestChi2(pixels, narrow);
}

} // namespace astrometry
