#include "engine/star_finder.h"

#include <algorithm>
#include <cmath>

namespace engine {

std::vector<BrightStar> FindBrightStars(const std::vector<float>& pix, int w, int h, double sky,
                                        double noise, double sigmas, std::size_t maxStars) {
    const float threshold = static_cast<float>(sky + sigmas * noise);
    const int border = 8;
    float top = -1e30f;
    for (float v : pix)
        if (v > top) top = v;
    std::vector<std::vector<BrightStar>> perRow(static_cast<std::size_t>(std::max(h, 0)));
#pragma omp parallel for schedule(dynamic, 64)
    for (int y = border; y < h - border; ++y) {
        const float* row = pix.data() + static_cast<std::size_t>(y) * w;
        for (int x = border; x < w - border; ++x) {
            const float v = row[x];
            if (!(v > threshold)) continue;
            // a strict local maximum over 5 x 5 (ties broken towards the lower index)
            bool peak = true;
            for (int dy = -2; dy <= 2 && peak; ++dy) {
                const float* r = row + static_cast<std::ptrdiff_t>(dy) * w;
                for (int dx = -2; dx <= 2; ++dx) {
                    if (!dx && !dy) continue;
                    const float o = r[x + dx];
                    if (o > v || (o == v && (dy < 0 || (dy == 0 && dx < 0)))) {
                        peak = false;
                        break;
                    }
                }
            }
            if (!peak) continue;
            // hot pixels and cosmic rays: a lone pixel, its neighbours far below it
            const float nb = (row[x - 1] + row[x + 1] + row[x - w] + row[x + w]) * 0.25f;
            if (nb - sky < 0.2 * (v - sky)) continue;
            // centroid and flux over 7 x 7 with the sky from the ring around it
            double s = 0, sx = 0, sy = 0, ring = 0;
            int ringN = 0;
            for (int dy = -7; dy <= 7; ++dy)
                for (int dx = -7; dx <= 7; ++dx) {
                    const int r2 = dx * dx + dy * dy;
                    const float o = row[static_cast<std::ptrdiff_t>(dy) * w + x + dx];
                    if (!std::isfinite(o)) continue;
                    if (r2 >= 36 && r2 <= 49) {
                        ring += o;
                        ++ringN;
                    }
                }
            const double local = ringN ? ring / ringN : sky;
            for (int dy = -5; dy <= 5; ++dy)
                for (int dx = -5; dx <= 5; ++dx) {
                    if (dx * dx + dy * dy > 25) continue;
                    const float o = row[static_cast<std::ptrdiff_t>(dy) * w + x + dx];
                    if (!std::isfinite(o)) continue;
                    const double val = o - local;
                    s += val;
                    if (std::abs(dx) <= 2 && std::abs(dy) <= 2 && val > 0) {
                        sx += val * dx;
                        sy += val * dy;
                    }
                }
            double wsum = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const double val = row[static_cast<std::ptrdiff_t>(dy) * w + x + dx] - local;
                    if (val > 0) wsum += val;
                }
            if (s <= 0 || wsum <= 0) continue;
            perRow[y].push_back({x + 1 + sx / wsum, y + 1 + sy / wsum, s, v - local, v >= top - 0.5f && top > 1000});
        }
    }
    std::vector<BrightStar> out;
    for (auto& r : perRow) out.insert(out.end(), r.begin(), r.end());
    std::sort(out.begin(), out.end(), [](const BrightStar& a, const BrightStar& b) {
        return a.flux != b.flux ? a.flux > b.flux : (a.y != b.y ? a.y < b.y : a.x < b.x);
    });
    if (out.size() > maxStars) out.resize(maxStars);
    return out;
}

} // namespace engine
