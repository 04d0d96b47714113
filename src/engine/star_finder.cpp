#include "engine/star_finder.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>

#include "engine/pixel_stats.h"

namespace engine {
namespace {

// Whether any of the eight values from p is above t (NaN is not).
bool anyAbove(const float* p, float t) {
    const __m128 t4 = _mm_set1_ps(t);
    const int low = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(p), t4));
    const int high = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(p + 4), t4));
    return (low | high) != 0;
}

// The first moment in a small box is pulled towards the brightest pixel by an
// amount that depends on where in the pixel the star lies and on the seeing,
// so that two images' stars disagree by a tenth of a pixel. A Gaussian-
// weighted centroid, iterated, has no such pull (the windowed centroid of
// SExtractor): it is what the alignment and the kernel's stamps are fitted to.
void refineCentroids(const std::vector<float>& pix, int w, int h, std::vector<BrightStar>& stars) {
    std::vector<double> moments;
    for (const auto& s : stars)
        if (!s.saturated && moments.size() < 50) moments.push_back(StarSecondMoment(pix, w, s));
    if (moments.size() < 3) return;
    std::nth_element(moments.begin(), moments.begin() + static_cast<std::ptrdiff_t>(moments.size() / 2), moments.end());
    // the second moment within the box underestimates a star's; the window is
    // the star's own sigma, within reason
    const double sigma = std::clamp(std::sqrt(moments[moments.size() / 2]) * 1.15, 0.7, 6.0);
    const int r = static_cast<int>(std::ceil(4 * sigma));
    const double inv2s2 = 1 / (2 * sigma * sigma);
#pragma omp parallel for schedule(static)
    for (long long k = 0; k < static_cast<long long>(stars.size()); ++k) {
        BrightStar& s = stars[static_cast<std::size_t>(k)];
        if (s.saturated) continue;
        double x = s.x - 1, y = s.y - 1; // 0-based
        bool ok = true;
        for (int it = 0; it < 16 && ok; ++it) {
            const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
            if (cx - r < 0 || cy - r < 0 || cx + r >= w || cy + r >= h) {
                ok = false;
                break;
            }
            double sw = 0, sx = 0, sy = 0;
            for (int dy = -r; dy <= r; ++dy) {
                const float* row = pix.data() + static_cast<std::size_t>(cy + dy) * w;
                const double ey = cy + dy - y;
                for (int dx = -r; dx <= r; ++dx) {
                    const double ex = cx + dx - x, d2 = ex * ex + ey * ey;
                    if (d2 > r * r) continue;
                    const float o = row[cx + dx];
                    if (!std::isfinite(o)) {
                        ok = false;
                        continue;
                    }
                    const double v = (o - s.sky) * std::exp(-d2 * inv2s2);
                    sw += v;
                    sx += v * ex;
                    sy += v * ey;
                }
            }
            if (!ok || !(sw > 0)) {
                ok = false;
                break;
            }
            const double mx = 2 * sx / sw, my = 2 * sy / sw;
            x += mx;
            y += my;
            if (mx * mx + my * my < 1e-8) break;
        }
        // a neighbour or a blank pixel took it away: the first moment stays
        if (ok && std::hypot(x + 1 - s.x, y + 1 - s.y) < 1.0) {
            s.x = x + 1;
            s.y = y + 1;
        }
    }
}

} // namespace

double StarSecondMoment(const std::vector<float>& pix, int w, const BrightStar& s) {
    const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
    double m = 0, m2 = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const float o = pix[static_cast<std::size_t>(cy + dy) * w + cx + dx];
            const double v = o - s.sky;
            if (!(v > 0)) continue;
            const double ex = cx + dx + 1 - s.x, ey = cy + dy + 1 - s.y;
            m += v;
            m2 += v * (ex * ex + ey * ey);
        }
    return m > 0 ? m2 / m / 2 : 0;
}

std::vector<BrightStar> FindBrightStars(const std::vector<float>& pix, int w, int h, double sky,
                                        double noise, double sigmas, std::size_t maxStars) {
    const float threshold = static_cast<float>(sky + sigmas * noise);
    const int border = 8;
    const float top = Brightest(pix, -1e30f);
    std::vector<std::vector<BrightStar>> perRow(static_cast<std::size_t>(std::max(h, 0)));
#pragma omp parallel for schedule(dynamic, 64)
    for (int y = border; y < h - border; ++y) {
        const float* row = pix.data() + static_cast<std::size_t>(y) * w;
        int block = border; // most of an image is below the threshold: passed eight at a time
        for (int x = border; x < w - border; ++x) {
            if (x == block && (block += 8) <= w - border && !anyAbove(row + x, threshold)) {
                x = block - 1;
                continue;
            }
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
            perRow[y].push_back({x + 1 + sx / wsum, y + 1 + sy / wsum, s, v - local, v >= top - 0.5f && top > 1000, local});
        }
    }
    std::vector<BrightStar> out;
    for (auto& r : perRow) out.insert(out.end(), r.begin(), r.end());
    std::sort(out.begin(), out.end(), [](const BrightStar& a, const BrightStar& b) {
        return a.flux != b.flux ? a.flux > b.flux : (a.y != b.y ? a.y < b.y : a.x < b.x);
    });
    if (out.size() > maxStars) out.resize(maxStars);
    refineCentroids(pix, w, h, out);
    return out;
}

std::vector<std::pair<double, double>> UnsaturatedPositions(const std::vector<BrightStar>& stars) {
    std::vector<std::pair<double, double>> at;
    for (const auto& s : stars)
        if (!s.saturated) at.emplace_back(s.x, s.y);
    return at;
}

} // namespace engine
