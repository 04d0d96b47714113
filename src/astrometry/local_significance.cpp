#include "astrometry/local_significance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace astrometry {
namespace {

// value / noise of a usable pixel inside the image, or false.
bool ratioAt(const PixelsView& v, int x, int y, double& value, double& noise) {
    if (x < 0 || y < 0 || x >= v.width || y >= v.height) return false;
    const std::size_t i = static_cast<std::size_t>(y) * v.width + x;
    value = v.pixels[i];
    noise = v.noise[i];
    return std::isfinite(value) && noise > 0 && noise < 1e20;
}

double medianOf(std::vector<double>& v) {
    auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

double LocalScatter(const PixelsView& view, int px, int py, double inner, double outer) {
    if (view.noise.empty()) return 0;
    std::vector<double> z;
    const int r = static_cast<int>(std::ceil(outer));
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const double d = std::hypot(dx, dy);
            double value = 0, noise = 0;
            if (d >= inner && d <= outer && ratioAt(view, px + dx, py + dy, value, noise)) z.push_back(value / noise);
        }
    if (z.size() < 100) return 0;
    const double med = medianOf(z);
    for (auto& v : z) v = std::abs(v - med);
    return 1.4826 * medianOf(z);
}

double GaussianSnr(const PixelsView& view, int px, int py, double sigma) {
    if (view.noise.empty() || !(sigma > 0)) return 0;
    const int r = static_cast<int>(std::ceil(3 * sigma));
    double signal = 0, variance = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            double value = 0, noise = 0;
            if (!ratioAt(view, px + dx, py + dy, value, noise)) continue;
            const double g = std::exp(-0.5 * (dx * dx + dy * dy) / (sigma * sigma));
            signal += g * value;
            variance += g * g * noise * noise;
        }
    return variance > 0 ? signal / std::sqrt(variance) : 0;
}

} // namespace astrometry
