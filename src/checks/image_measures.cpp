#include "checks/image_measures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/pixel_stats.h"

namespace checks {
namespace {

double median(std::vector<double>& v) {
    if (v.empty()) return 0;
    auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

template <typename Each>
void around(const astrometry::FitsImage& im, double x, double y, double reach, Each each) {
    const int x0 = static_cast<int>(std::floor(x - 1 - reach)), x1 = static_cast<int>(std::ceil(x - 1 + reach));
    const int y0 = static_cast<int>(std::floor(y - 1 - reach)), y1 = static_cast<int>(std::ceil(y - 1 + reach));
    for (int py = std::max(0, y0); py <= std::min(im.height - 1, y1); ++py)
        for (int px = std::max(0, x0); px <= std::min(im.width - 1, x1); ++px)
            each(static_cast<std::size_t>(py) * im.width + px, std::hypot(px + 1 - x, py + 1 - y));
}

} // namespace

RingSky MeasureRing(const astrometry::FitsImage& image, double x, double y, double inner, double outer) {
    std::vector<double> v;
    around(image, x, y, outer, [&](std::size_t i, double r) {
        if (r >= inner && r <= outer && std::isfinite(image.pixels[i])) v.push_back(image.pixels[i]);
    });
    RingSky s;
    s.pixels = static_cast<int>(v.size());
    if (v.empty()) return s;
    s.level = median(v);
    for (auto& p : v) p = std::abs(p - s.level);
    s.sigma = 1.4826 * median(v);
    return s;
}

ApertureLight MeasureAperture(const astrometry::FitsImage& image, double x, double y, double radius, double inner,
                              double outer) {
    const RingSky sky = MeasureRing(image, x, y, inner, outer);
    ApertureLight a;
    double variance = 0;
    const bool noise = image.noise.size() == image.pixels.size();
    around(image, x, y, radius, [&](std::size_t i, double r) {
        if (r > radius) return;
        if (!std::isfinite(image.pixels[i]) || (noise && !(image.noise[i] > 0 && image.noise[i] < 1e20f))) {
            a.blank = true;
            return;
        }
        a.flux += image.pixels[i] - sky.level;
        variance += noise ? double(image.noise[i]) * image.noise[i] : sky.sigma * sky.sigma;
        ++a.pixels;
    });
    // the ring's median is itself uncertain: its share over the aperture
    if (sky.pixels > 0) variance += a.pixels * a.pixels * sky.sigma * sky.sigma * 1.57 / sky.pixels;
    a.error = std::sqrt(variance);
    return a;
}

ApertureLight MeasureApertureOnSlope(const astrometry::FitsImage& image, double x, double y, double radius,
                                     double inner, double outer) {
    struct Sample {
        double dx, dy, v;
    };
    std::vector<Sample> ring;
    around(image, x, y, outer, [&](std::size_t i, double r) {
        if (r >= inner && r <= outer && std::isfinite(image.pixels[i]))
            ring.push_back({static_cast<double>(i % image.width) + 1 - x, static_cast<double>(i / image.width) + 1 - y,
                            image.pixels[i]});
    });
    ApertureLight a;
    if (ring.size() < 10) return a;
    // plane v = c + gx dx + gy dy; the ring is symmetric about the centre, so
    // the three sums part: c is the mean, each slope its own ratio
    double c = 0, gx = 0, gy = 0, sigma = 0;
    std::vector<bool> keep(ring.size(), true);
    for (int pass = 0; pass < 3; ++pass) {
        double n = 0, sv = 0, sxx = 0, sxv = 0, syy = 0, syv = 0;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            if (!keep[k]) continue;
            const auto& s = ring[k];
            n += 1, sv += s.v, sxx += s.dx * s.dx, sxv += s.dx * s.v, syy += s.dy * s.dy, syv += s.dy * s.v;
        }
        if (n < 10) break;
        c = sv / n, gx = sxx > 0 ? sxv / sxx : 0, gy = syy > 0 ? syv / syy : 0;
        std::vector<double> dev;
        for (const auto& s : ring) dev.push_back(std::abs(s.v - c - gx * s.dx - gy * s.dy));
        std::vector<double> sorted = dev;
        sigma = 1.4826 * median(sorted);
        for (std::size_t k = 0; k < ring.size(); ++k) keep[k] = dev[k] <= 3 * sigma;
    }
    double kept = 0;
    for (bool k : keep) kept += k;
    around(image, x, y, radius, [&](std::size_t i, double r) {
        if (r > radius) return;
        if (!std::isfinite(image.pixels[i])) {
            a.blank = true;
            return;
        }
        const double dx = static_cast<double>(i % image.width) + 1 - x, dy = static_cast<double>(i / image.width) + 1 - y;
        a.flux += image.pixels[i] - (c + gx * dx + gy * dy);
        ++a.pixels;
    });
    a.error = sigma * std::sqrt(a.pixels + (kept > 0 ? a.pixels * a.pixels / kept : 0));
    return a;
}

double TypicalPixelNoise(const astrometry::FitsImage& image) {
    std::vector<double> v;
    const std::size_t step = std::max<std::size_t>(1, image.pixels.size() / 100000);
    if (image.noise.size() == image.pixels.size()) {
        for (std::size_t i = 0; i < image.noise.size(); i += step)
            if (image.noise[i] > 0 && image.noise[i] < 1e20f) v.push_back(image.noise[i]);
        return median(v);
    }
    return engine::PixelNoise(image.pixels, image.width, engine::MeasureSky(image.pixels));
}

} // namespace checks
