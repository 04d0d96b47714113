#include "engine/convolution.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace engine {
namespace {

// acc[i] += k * src[i]; the hot loop of the convolution, built for the wider
// vector units too and picked at run time, since the package cannot assume them.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void accumulate(float* acc, const float* src,
                                                                               float k, int n) {
    for (int i = 0; i < n; ++i) acc[i] += k * src[i];
}

} // namespace

std::vector<unsigned char> DilateMask(const std::vector<unsigned char>& mask, int w, int h, int r) {
    if (r <= 0) return mask;
    std::vector<unsigned char> rows(mask.size(), 0), out(mask.size(), 0);
    // running counts along rows, then along columns
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const unsigned char* m = &mask[static_cast<std::size_t>(y) * w];
        unsigned char* o = &rows[static_cast<std::size_t>(y) * w];
        int count = 0;
        for (int x = 0; x < std::min(r, w); ++x) count += m[x];
        for (int x = 0; x < w; ++x) {
            if (x + r < w) count += m[x + r];
            if (x - r - 1 >= 0) count -= m[x - r - 1];
            o[x] = count > 0;
        }
    }
#pragma omp parallel for schedule(static)
    for (int x0 = 0; x0 < w; x0 += 64) {
        const int x1 = std::min(w, x0 + 64);
        std::vector<int> count(static_cast<std::size_t>(x1 - x0), 0);
        for (int y = 0; y < std::min(r, h); ++y)
            for (int x = x0; x < x1; ++x) count[x - x0] += rows[static_cast<std::size_t>(y) * w + x];
        for (int y = 0; y < h; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (y + r < h) count[x - x0] += rows[static_cast<std::size_t>(y + r) * w + x];
                if (y - r - 1 >= 0) count[x - x0] -= rows[static_cast<std::size_t>(y - r - 1) * w + x];
                out[static_cast<std::size_t>(y) * w + x] = count[x - x0] > 0;
            }
        }
    }
    return out;
}

std::vector<float> ConvolveVarying(const std::vector<float>& in, int w, int h, int half, const KernelAt& kernelAt,
                                   int tile) {
    const std::size_t n = in.size();
    const int side = 2 * half + 1;
    // NaN pixels take part as zeros; their footprint is made NaN afterwards
    std::vector<float> src(in);
    std::vector<unsigned char> bad(n, 0);
    bool anyBad = false;
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(src[i])) {
            src[i] = 0;
            bad[i] = 1;
            anyBad = true;
        }
    std::vector<float> out(n, std::numeric_limits<float>::quiet_NaN());
    const int tilesX = (w + tile - 1) / tile, tilesY = (h + tile - 1) / tile;
    // the kernels first: the caller's function need not be thread-safe
    std::vector<std::vector<float>> kernels(static_cast<std::size_t>(tilesX) * tilesY);
    for (int ty = 0; ty < tilesY; ++ty)
        for (int tx = 0; tx < tilesX; ++tx) {
            const double cx = (tx * tile + std::min(w, tx * tile + tile) - 1) * 0.5;
            const double cy = (ty * tile + std::min(h, ty * tile + tile) - 1) * 0.5;
            kernels[static_cast<std::size_t>(ty) * tilesX + tx] = kernelAt(cx, cy);
        }
#pragma omp parallel
    {
        std::vector<float> acc(static_cast<std::size_t>(tile));
#pragma omp for collapse(2) schedule(dynamic)
        for (int ty = 0; ty < tilesY; ++ty)
            for (int tx = 0; tx < tilesX; ++tx) {
                const auto& k = kernels[static_cast<std::size_t>(ty) * tilesX + tx];
                const int xa = std::max(tx * tile, half), xb = std::min(tx * tile + tile, w - half);
                const int ya = std::max(ty * tile, half), yb = std::min(ty * tile + tile, h - half);
                if (xa >= xb) continue;
                const int len = xb - xa;
                for (int y = ya; y < yb; ++y) {
                    std::fill(acc.begin(), acc.begin() + len, 0.f);
                    for (int v = -half; v <= half; ++v) {
                        const float* row = &src[static_cast<std::size_t>(y + v) * w];
                        const float* kr = &k[static_cast<std::size_t>(v + half) * side];
                        for (int u = -half; u <= half; ++u)
                            if (kr[u + half] != 0.f) accumulate(acc.data(), row + xa + u, kr[u + half], len);
                    }
                    std::copy(acc.begin(), acc.begin() + len, out.begin() + static_cast<std::ptrdiff_t>(y) * w + xa);
                }
            }
    }
    if (anyBad) {
        const auto spread = DilateMask(bad, w, h, half);
        for (std::size_t i = 0; i < n; ++i)
            if (spread[i]) out[i] = std::numeric_limits<float>::quiet_NaN();
    }
    return out;
}

} // namespace engine
