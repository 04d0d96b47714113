#include "checks/image_measures.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

double TypicalPixelNoise(const astrometry::FitsImage& image) {
    std::vector<double> v;
    const std::size_t step = std::max<std::size_t>(1, image.pixels.size() / 100000);
    if (image.noise.size() == image.pixels.size()) {
        for (std::size_t i = 0; i < image.noise.size(); i += step)
            if (image.noise[i] > 0 && image.noise[i] < 1e20f) v.push_back(image.noise[i]);
        return median(v);
    }
    // neighbours' differences: a gradient of the sky is no noise
    for (std::size_t i = 0; i + 1 < image.pixels.size(); i += step)
        if (std::isfinite(image.pixels[i]) && std::isfinite(image.pixels[i + 1]))
            v.push_back(image.pixels[i + 1] - image.pixels[i]);
    if (v.empty()) return 0;
    const double mid = median(v);
    for (auto& d : v) d = std::abs(d - mid);
    return 1.4826 * median(v) / std::sqrt(2.0);
}

} // namespace checks
