#include "checks/galaxy_nucleus.h"

#include <algorithm>
#include <cmath>

#include "checks/image_measures.h"
#include "engine/pixel_stats.h"

namespace checks {
namespace {

constexpr int kBin = 4;

// The image in 4 x 4 means, blank pixels left out: a galaxy's core stands out
// of its noise there, and the search over it costs a sixteenth. `top`: the
// image's highest pixel, found on the way.
std::vector<float> binned(const astrometry::FitsImage& im, int& bw, int& bh, float& top) {
    bw = im.width / kBin;
    bh = im.height / kBin;
    std::vector<float> b(static_cast<std::size_t>(bw) * bh, NAN);
    float highest = -INFINITY;
#pragma omp parallel for schedule(static) reduction(max : highest)
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            double sum = 0;
            int n = 0;
            for (int y = by * kBin; y < by * kBin + kBin; ++y)
                for (int x = bx * kBin; x < bx * kBin + kBin; ++x) {
                    const float v = im.pixels[static_cast<std::size_t>(y) * im.width + x];
                    if (std::isfinite(v)) sum += v, ++n, highest = std::max(highest, v);
                }
            if (n) b[static_cast<std::size_t>(by) * bw + bx] = static_cast<float>(sum / n);
        }
    top = highest;
    return b;
}

// The light-weighted centre within `r` px of (x, y), above `sky`.
PixelPlace centroid(const astrometry::FitsImage& im, double x, double y, double r, double sky) {
    double sx = 0, sy = 0, s = 0;
    for (int py = static_cast<int>(y - 1 - r); py <= static_cast<int>(y - 1 + r); ++py)
        for (int px = static_cast<int>(x - 1 - r); px <= static_cast<int>(x - 1 + r); ++px) {
            if (px < 0 || py < 0 || px >= im.width || py >= im.height) continue;
            const double v = im.pixels[static_cast<std::size_t>(py) * im.width + px] - sky;
            if (!(v > 0)) continue;
            sx += v * (px + 1), sy += v * (py + 1), s += v;
        }
    return s > 0 ? PixelPlace{sx / s, sy / s} : PixelPlace{x, y};
}

// The highest pixel within a FWHM of c.
double peakNear(const astrometry::FitsImage& im, const PixelPlace& c, double fwhm) {
    float best = -INFINITY;
    const int r = static_cast<int>(std::ceil(fwhm));
    for (int py = static_cast<int>(c.y) - 1 - r; py <= static_cast<int>(c.y) - 1 + r; ++py)
        for (int px = static_cast<int>(c.x) - 1 - r; px <= static_cast<int>(c.x) - 1 + r; ++px)
            if (px >= 0 && py >= 0 && px < im.width && py < im.height)
                best = std::max(best, im.pixels[static_cast<std::size_t>(py) * im.width + px]);
    return best;
}

} // namespace

std::optional<PixelPlace> FindNucleus(const astrometry::FitsImage& reshot, double psfSigma,
                                      const std::vector<PixelPlace>& stars) {
    int bw = 0, bh = 0;
    if (reshot.width < 4 * kBin || reshot.height < 4 * kBin) return std::nullopt;
    float top = -INFINITY; // a saturated star's level, or above
    const auto b = binned(reshot, bw, bh, top);
    const double sigma = std::max(psfSigma, 0.8), fwhm = 2.3548 * sigma;
    // a star's light within 3 FWHM: a wider aperture takes in its neighbours
    const double whole = std::max(8.0, 3 * fwhm);
    const engine::SkyStats field = engine::MeasureSky(reshot.pixels);
    const double binNoise = std::max(field.sigma / kBin, 1e-6);
    struct Peak {
        PixelPlace at;
        double light;
    };
    std::optional<Peak> best;
    // local maxima of the central half, highest first
    std::vector<std::pair<float, int>> maxima;
    for (int by = bh / 4; by < bh - bh / 4; ++by)
        for (int bx = bw / 4; bx < bw - bw / 4; ++bx) {
            const float v = b[static_cast<std::size_t>(by) * bw + bx];
            if (!(v > field.level + 5 * binNoise)) continue;
            bool top = true;
            for (int dy = -1; dy <= 1 && top; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dx || dy) && b[static_cast<std::size_t>(by + dy) * bw + bx + dx] > v) top = false;
            if (top) maxima.push_back({v, by * bw + bx});
        }
    std::sort(maxima.begin(), maxima.end(), [](const auto& a, const auto& c) { return a.first > c.first; });
    if (maxima.size() > 60) maxima.resize(60);
    for (const auto& [v, at] : maxima) {
        const double x = (at % bw) * kBin + kBin / 2.0 + 0.5, y = (at / bw) * kBin + kBin / 2.0 + 0.5;
        const PixelPlace c = centroid(reshot, x, y, 2 * fwhm, field.level);
        const bool star = std::any_of(stars.begin(), stars.end(),
                                      [&](const PixelPlace& s) { return std::hypot(s.x - c.x, s.y - c.y) < 2 * fwhm; });
        if (star) continue;
        const double peak = peakNear(reshot, c, fwhm);
        if (peak >= 0.95 * top) continue; // a saturated star's flat top is no core
        const auto core = MeasureAperture(reshot, c.x, c.y, fwhm, whole * 1.5, whole * 2);
        const auto all = MeasureAperture(reshot, c.x, c.y, whole, whole * 1.5, whole * 2);
        // within a FWHM a star holds 80-94 % of its light within 3 (its wings,
        // its Gaussian); a galaxy's core far less. A faint star's share is as
        // likely low as high in the noise: a core must stand out by 30 sigma.
        if (!(all.flux > 30 * all.error) || core.flux / all.flux > 0.7) continue;
        // and a galaxy goes on past its core: the ring from 2 to 4 FWHM lies
        // above the field's sky by 3 % of the core's height (a star's wings
        // reach about 1 %; the median passes over a neighbour, and a close
        // pair of stars has no light there)
        const RingSky ring = MeasureRing(reshot, c.x, c.y, 2 * fwhm, 4 * fwhm);
        const double height = peak - field.level, above = ring.level - field.level;
        if (!(above > 0.03 * height) || !(above > 5 * 1.25 * field.sigma / std::sqrt(std::max(ring.pixels, 1)))) continue;
        if (!best || all.flux > best->light) best = Peak{c, all.flux};
    }
    if (!best) return std::nullopt;
    return best->at;
}

} // namespace checks
