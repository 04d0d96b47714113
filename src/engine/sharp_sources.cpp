#include "engine/sharp_sources.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "astrometry/detection.h"

namespace engine {
namespace {

// The median of the 24 pixels on the square ring 3 px around pixel i.
double ringLevel(const std::vector<float>& pix, std::size_t i, int w, double fallback) {
    float ring[24];
    int n = 0;
    for (int k = -3; k <= 3; ++k) {
        ring[n++] = pix[i + static_cast<std::ptrdiff_t>(-3) * w + k];
        ring[n++] = pix[i + static_cast<std::ptrdiff_t>(3) * w + k];
        if (k > -3 && k < 3) {
            ring[n++] = pix[i + static_cast<std::ptrdiff_t>(k) * w - 3];
            ring[n++] = pix[i + static_cast<std::ptrdiff_t>(k) * w + 3];
        }
    }
    std::nth_element(ring, ring + n / 2, ring + n);
    return std::isfinite(ring[n / 2]) ? ring[n / 2] : fallback;
}

bool isPeak(const std::vector<float>& pix, std::size_t i, int w) {
    const float v = pix[i];
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx || dy) && pix[i + static_cast<std::ptrdiff_t>(dy) * w + dx] > v) return false;
    return true;
}

// Pixel i holds more than 70 % of its 3 x 3 light above `local`: in a sharp
// image a star's width comes close to what the sky's noise lends a hot pixel,
// but not its brightest pixel's share.
bool holdsNearlyAll(const std::vector<float>& pix, std::size_t i, int w, double local) {
    double around3 = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) around3 += pix[i + static_cast<std::ptrdiff_t>(dy) * w + dx] - local;
    return around3 > 0 && (pix[i] - local) / around3 > 0.7;
}

// A lone pixel: a local peak 12 noise units above the ring 3 px out, holding
// nearly all its 3 x 3 light. (x, y) at least 3 px in from the edge.
bool isLonePixel(const std::vector<float>& pix, const std::vector<float>& noise, int x, int y, int w, double sky) {
    const std::size_t i = static_cast<std::size_t>(y) * w + x;
    if (!isPeak(pix, i, w)) return false;
    const double local = ringLevel(pix, i, w, sky);
    return pix[i] - local > 12 * noise[i] && holdsNearlyAll(pix, i, w, local);
}

// The other image's own lone pixel within a pixel of (x, y): a hot pixel of
// the camera shows in both frames at nearly one place when the field barely
// moved, and is no source the patch must keep.
bool otherLonePixel(const SharpSearch& in, int x, int y) {
    int bx = x, by = y;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (in.other[static_cast<std::size_t>(y + dy) * in.width + x + dx] >
                in.other[static_cast<std::size_t>(by) * in.width + bx])
                bx = x + dx, by = y + dy;
    if (bx < 3 || by < 3 || bx >= in.width - 3 || by >= in.height - 3) return false;
    return isLonePixel(in.other, in.otherNoise, bx, by, in.width, in.sky);
}

// The other image shows a source there too (a galaxy's nucleus is sharp as well).
bool otherShowsIt(const std::vector<float>& other, std::size_t i, int w, double light) {
    double there = -1e30;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            there = std::max<double>(there, other[i + static_cast<std::ptrdiff_t>(dy) * w + dx]);
    std::vector<float> around;
    for (int k = -3; k <= 3; ++k) {
        around.push_back(other[i + static_cast<std::ptrdiff_t>(-3) * w + k]);
        around.push_back(other[i + static_cast<std::ptrdiff_t>(3) * w + k]);
    }
    std::nth_element(around.begin(), around.begin() + 7, around.end());
    return std::isfinite(there) && std::isfinite(around[7]) && there - around[7] > 0.1 * light;
}

bool isSharpSource(const SharpSearch& in, int x, int y) {
    const int w = in.width;
    const auto& pix = in.pixels;
    const std::size_t i = static_cast<std::size_t>(y) * w + x;
    const float v = pix[i];
    // bright ones only: a faint one blurs into a spot below any threshold, and a
    // faint new star on a galaxy must not be taken for one
    if (!(v - in.sky > 12 * in.noise[i])) return false;
    if (!isPeak(pix, i, w)) return false;
    // bright above what lies right around it too: a galaxy's noise peak is nearly all in one pixel as well
    const double local = ringLevel(pix, i, w, in.sky);
    if (!(v - local > 12 * in.noise[i])) return false;
    // narrow, or nearly all its light in one pixel
    const bool lone = holdsNearlyAll(pix, i, w, local);
    if (!lone && astrometry::MinorWidth(pix, w, in.height, x, y, local) >= 0.5 * in.starWidth) return false;
    return !otherShowsIt(in.other, i, w, v - local) || (lone && otherLonePixel(in, x, y));
}

// A cold defect: a pixel 5 noise units below what lies 3 px around it, with no
// light near it in either image. The sky has no dips; convolved, a cold pixel
// or cluster of the template becomes a star-wide positive spot in the
// difference. Light within 3 px (a star's resampling rings, a star in the
// other image) leaves it alone.
bool isColdDefect(const SharpSearch& in, int x, int y) {
    const int w = in.width;
    const std::size_t i = static_cast<std::size_t>(y) * w + x;
    const float v = in.pixels[i];
    if (!(in.sky - v > 5 * in.noise[i])) return false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx || dy) && !(in.pixels[i + static_cast<std::ptrdiff_t>(dy) * w + dx] >= v)) return false;
    const double local = ringLevel(in.pixels, i, w, in.sky);
    if (!(local - v > 5 * in.noise[i])) return false;
    const double otherLocal = ringLevel(in.other, i, w, NAN);
    if (!std::isfinite(otherLocal)) return false;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const std::size_t j = i + static_cast<std::ptrdiff_t>(dy) * w + dx;
            if (!(in.pixels[j] - local < 5 * in.noise[j]) || !(in.other[j] - otherLocal < 5 * in.otherNoise[j]))
                return false;
        }
    return true;
}

std::vector<std::size_t> findSharpSources(const SharpSearch& in) {
    std::vector<std::size_t> hits;
#pragma omp parallel
    {
        std::vector<std::size_t> mine;
#pragma omp for schedule(static)
        for (int y = 3; y < in.height - 3; ++y)
            for (int x = 3; x < in.width - 3; ++x)
                if (isSharpSource(in, x, y) || isColdDefect(in, x, y))
                    mine.push_back(static_cast<std::size_t>(y) * in.width + x);
#pragma omp critical
        hits.insert(hits.end(), mine.begin(), mine.end());
    }
    // in image order: a footprint leaves out what an earlier one marked, so
    // the order in which the threads finished must not decide it
    std::sort(hits.begin(), hits.end());
    return hits;
}

// The source's bright pixels around its peak and one more ring, and the dips
// below the sky that resampling rings around a ray, a pixel or two out.
std::vector<std::size_t> footprint(const SharpSearch& in, std::size_t i, const std::vector<unsigned char>& marks) {
    const int w = in.width, h = in.height, x = static_cast<int>(i % w), y = static_cast<int>(i / w);
    std::vector<std::size_t> blank;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const int xx = x + dx, yy = y + dy;
            if (xx < 1 || yy < 1 || xx >= w - 1 || yy >= h - 1) continue;
            const std::size_t j = static_cast<std::size_t>(yy) * w + xx;
            if (std::abs(dx) <= 1 && std::abs(dy) <= 1) blank.push_back(j);
            else if (in.sky - in.pixels[j] > 3 * in.noise[j]) blank.push_back(j);
            else if (!marks[j] && in.pixels[j] - in.sky > 3 * in.noise[j])
                for (int ey = -1; ey <= 1; ++ey)
                    for (int ex = -1; ex <= 1; ++ex) blank.push_back(j + static_cast<std::ptrdiff_t>(ey) * w + ex);
        }
    return blank;
}

// 1 (patch) where the other image shows nothing under the footprint either
// (its own lone pixel at the place, `otherLone`, does not count); 2 (blank)
// beside a star, where a patch drawn from the star's fainter edge would leave
// half of the star in the difference.
unsigned char footprintMark(const SharpSearch& in, std::size_t i, const std::vector<std::size_t>& blank,
                            bool otherLone) {
    const int w = in.width, h = in.height, x = static_cast<int>(i % w), y = static_cast<int>(i / w);
    std::vector<float> ring;
    for (int k = -5; k <= 5; ++k)
        for (const auto& [dx, dy] : {std::pair{k, -5}, std::pair{k, 5}, std::pair{-5, k}, std::pair{5, k}}) {
            const int xx = x + dx, yy = y + dy;
            if (xx >= 0 && yy >= 0 && xx < w && yy < h) ring.push_back(in.other[static_cast<std::size_t>(yy) * w + xx]);
        }
    if (ring.size() < 8) return 2;
    std::nth_element(ring.begin(), ring.begin() + ring.size() / 2, ring.end());
    const double level = ring[ring.size() / 2];
    double excess = 0, var = 0;
    for (std::size_t j : blank) {
        if (otherLone && std::abs(static_cast<int>(j % w) - x) <= 2 && std::abs(static_cast<int>(j / w) - y) <= 2)
            continue;
        excess += in.other[j] - level;
        var += double(in.otherNoise[j]) * in.otherNoise[j];
    }
    return std::isfinite(excess) && std::isfinite(var) && excess <= 3 * std::sqrt(var) ? 1 : 2;
}

} // namespace

int MarkSharpSources(const SharpSearch& in, std::vector<unsigned char>& marks) {
    if (!(in.starWidth > 0)) return 0;
    const std::vector<std::size_t> hits = findSharpSources(in);
    for (std::size_t i : hits) {
        const auto blank = footprint(in, i, marks);
        const int x = static_cast<int>(i % in.width), y = static_cast<int>(i / in.width);
        const unsigned char mark = footprintMark(in, i, blank, otherLonePixel(in, x, y));
        for (std::size_t j : blank) marks[j] = std::max(marks[j], mark);
    }
    return static_cast<int>(hits.size());
}

namespace {

// The patch of one marked pixel from its nearest usable neighbour in each of
// eight directions; false where none can stand in for it.
bool patchOf(const std::vector<float>& pix, const std::vector<float>& noise, const std::vector<unsigned char>& blank,
             int w, int h, double sky, std::size_t i, float& value, float& variance) {
    static const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
    double sum = 0, weights = 0, var = 0;
    for (const auto& d : dirs) {
        for (int step = 1; step <= 8; ++step) {
            const int xx = x + d[0] * step, yy = y + d[1] * step;
            if (xx < 0 || yy < 0 || xx >= w || yy >= h) break;
            const std::size_t j = static_cast<std::size_t>(yy) * w + xx;
            if (blank[j]) continue;
            if (!std::isfinite(pix[j]) || !std::isfinite(noise[j])) break;
            const double wt = 1.0 / (step * std::hypot(d[0], d[1]));
            sum += wt * pix[j];
            var += wt * double(noise[j]) * noise[j];
            weights += wt;
            break;
        }
    }
    if (weights <= 0) return false;
    // the neighbours' variance twice, and a fifth of the light above the sky, for a ray that struck a star
    const double mean = sum / weights, above = 0.2 * std::max(0.0, mean - sky);
    value = static_cast<float>(mean);
    variance = static_cast<float>(2 * var / weights + above * above);
    return true;
}

} // namespace

Patch PatchSharpSources(const std::vector<float>& pix, const std::vector<float>& noise,
                        std::vector<unsigned char>& sharp, const std::vector<unsigned char>& blank, int w, int h,
                        double sky) {
    // a contiguous share of the image per thread, joined in image order
    std::vector<Patch> shares;
#pragma omp parallel
    {
#pragma omp single
        shares.resize(static_cast<std::size_t>(omp_get_num_threads()));
        const std::size_t t = static_cast<std::size_t>(omp_get_thread_num()), n = shares.size();
        Patch& mine = shares[t];
        for (std::size_t i = sharp.size() * t / n, end = sharp.size() * (t + 1) / n; i < end; ++i) {
            float value = 0, variance = 0;
            if (sharp[i] == 1 && patchOf(pix, noise, blank, w, h, sky, i, value, variance)) {
                mine.values.emplace_back(i, value);
                mine.variances.emplace_back(i, variance);
            } else {
                sharp[i] = 0;
            }
        }
    }
    Patch p;
    for (const Patch& share : shares) {
        p.values.insert(p.values.end(), share.values.begin(), share.values.end());
        p.variances.insert(p.variances.end(), share.variances.begin(), share.variances.end());
    }
    return p;
}

} // namespace engine
