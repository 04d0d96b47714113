#include "engine/aperture.h"

#include <algorithm>
#include <cmath>

#include "astrometry/detection.h"

namespace engine {

double ApertureFlux(const std::vector<float>& pix, int w, int h, double x, double y, double r, double rin,
                    double rout) {
    const double cx = x - 1, cy = y - 1;
    const int x0 = std::max(0, static_cast<int>(cx - rout)), x1 = std::min(w - 1, static_cast<int>(cx + rout) + 1);
    const int y0 = std::max(0, static_cast<int>(cy - rout)), y1 = std::min(h - 1, static_cast<int>(cy + rout) + 1);
    std::vector<float> ring;
    double sum = 0;
    int n = 0;
    for (int yy = y0; yy <= y1; ++yy)
        for (int xx = x0; xx <= x1; ++xx) {
            const float v = pix[static_cast<std::size_t>(yy) * w + xx];
            if (!std::isfinite(v)) continue;
            const double d = std::hypot(xx - cx, yy - cy);
            if (d <= r) {
                sum += v;
                ++n;
            } else if (d >= rin && d <= rout) {
                ring.push_back(v);
            }
        }
    if (ring.empty() || n == 0) return 0;
    std::nth_element(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2), ring.end());
    return sum - n * ring[ring.size() / 2];
}

ApertureMeasure MeasureAperture(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h, double x,
                                double y, double r, double rin, double rout) {
    ApertureMeasure m;
    if (noise.size() != pix.size()) return m;
    const double cx = x - 1, cy = y - 1;
    if (cx - rout < 0 || cy - rout < 0 || cx + rout > w - 1 || cy + rout > h - 1) return m;
    const int x0 = static_cast<int>(cx - rout), x1 = static_cast<int>(cx + rout) + 1;
    const int y0 = static_cast<int>(cy - rout), y1 = static_cast<int>(cy + rout) + 1;
    std::vector<float> ring;
    double sum = 0, var = 0, ringVar = 0;
    int n = 0;
    for (int yy = y0; yy <= y1; ++yy)
        for (int xx = x0; xx <= x1; ++xx) {
            const std::size_t i = static_cast<std::size_t>(yy) * w + xx;
            const double d = std::hypot(xx - cx, yy - cy);
            const bool usable = std::isfinite(pix[i]) && std::isfinite(noise[i]);
            if (d <= r) {
                if (!usable) return m;
                sum += pix[i];
                var += double(noise[i]) * noise[i];
                ++n;
            } else if (d >= rin && d <= rout && usable) {
                ring.push_back(pix[i]);
                ringVar += double(noise[i]) * noise[i];
            }
        }
    if (ring.size() < 8 || n == 0) return m;
    std::nth_element(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2), ring.end());
    const double k = double(n) / ring.size();
    m.flux = sum - n * ring[ring.size() / 2];
    // a median's variance is pi/2 times the mean's
    m.variance = var + k * k * 1.5708 * ringVar;
    return m;
}

} // namespace engine

namespace engine {

double ApertureCorrection(const std::vector<float>& pix, int w, int h,
                          const std::vector<std::pair<double, double>>& stars) {
    std::vector<double> ratios;
    for (const auto& [x, y] : stars) {
        if (x < 20 || y < 20 || x > w - 20 || y > h - 20) continue;
        // the inner light as the search will measure the difference's
        // candidates (the ring's mean, exact pixel overlap): a median ring and
        // whole pixels gave a correction a few per cent off theirs
        const double inner = astrometry::SourceLight(pix, w, h, x, y, astrometry::kDifferenceInnerAperture,
                                                     astrometry::kDifferenceOuterAperture);
        const double whole = ApertureFlux(pix, w, h, x, y, 9, 11, 16);
        if (inner > 0 && whole > 0 && std::isfinite(inner)) ratios.push_back(whole / inner);
    }
    if (ratios.size() < 5) return 0;
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    return ratios[ratios.size() / 2];
}

} // namespace engine
