#include "engine/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/big_buffers.h"

namespace engine {
namespace {

constexpr int kSteps = 1024; // fractional positions in the weight table
constexpr int kNode = 16;    // the map is evaluated exactly on a grid this coarse

// weights[f][k]: tap k (offset k - 2 from the floor) for fraction f / kSteps,
// normalised; two zero taps pad a row to eight for the vector units.
using Taps = std::array<float, 8>;
const std::vector<Taps>& weightTable() {
    static const std::vector<Taps> table = [] {
        std::vector<Taps> t(kSteps + 1);
        auto lanczos = [](double x) {
            if (x == 0) return 1.0;
            if (std::abs(x) >= 3) return 0.0;
            const double px = M_PI * x;
            return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
        };
        for (int f = 0; f <= kSteps; ++f) {
            const double frac = double(f) / kSteps;
            double sum = 0;
            for (int k = 0; k < 6; ++k) sum += lanczos(frac - (k - 2));
            for (int k = 0; k < 6; ++k) t[f][k] = static_cast<float>(lanczos(frac - (k - 2)) / sum);
            t[f][6] = t[f][7] = 0;
        }
        return t;
    }();
    return table;
}

// Interpolation averages neighbouring noise: the Lanczos weights at a fraction
// f leave sqrt(sum of their squares) of it, per axis.
const std::vector<float>& noiseKept() {
    static const std::vector<float> kept = [] {
        const auto& table = weightTable();
        std::vector<float> k(table.size());
        for (std::size_t f = 0; f < table.size(); ++f) {
            double s2 = 0;
            for (float w : table[f]) s2 += double(w) * w;
            k[f] = static_cast<float>(std::sqrt(s2));
        }
        return k;
    }();
    return kept;
}

// Source position (0-based) and pixel area at the grid's nodes.
struct Node {
    double u, v, area;
};

struct Job {
    const float* src;
    const float* noise; // may be null
    int sw, sh, tw;
    const Taps* table;
    const float* kept;
};

// Every tap by itself: near the edges (edge pixels replicated) and where a
// blank pixel lies among the 36. NaN where the nearest source pixel is blank.
float slowTap(const Job& j, double u, double v, int iu, int iv, const Taps& wu, const Taps& wv) {
    double acc = 0, wsum = 0;
    for (int r = 0; r < 6; ++r) {
        const int yy = std::clamp(iv - 2 + r, 0, j.sh - 1);
        for (int i = 0; i < 6; ++i) {
            const int xx = std::clamp(iu - 2 + i, 0, j.sw - 1);
            const float s = j.src[static_cast<std::size_t>(yy) * j.sw + xx];
            if (std::isfinite(s)) {
                acc += wv[r] * wu[i] * s;
                wsum += wv[r] * wu[i];
            }
        }
    }
    const int nu = std::clamp(static_cast<int>(std::lround(u)), 0, j.sw - 1);
    const int nv = std::clamp(static_cast<int>(std::lround(v)), 0, j.sh - 1);
    if (!std::isfinite(j.src[static_cast<std::size_t>(nv) * j.sw + nu]) || wsum < 0.5)
        return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(acc / wsum);
}

// One target row; `nodes` holds the row's positions at every kNode-th pixel.
template <bool kPixels, bool kNoise>
__attribute__((always_inline)) inline void resampleRowOf(const Job& j, const Node* nodes, float* out, float* noiseOut) {
    if constexpr (!kPixels) out = nullptr;
    if constexpr (!kNoise) noiseOut = nullptr;
    typedef float V8 __attribute__((vector_size(32)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int x0 = 0, k = 0; x0 < j.tw; x0 += kNode, ++k) {
        const Node& a = nodes[k];
        const Node& b = nodes[k + 1];
        const double du = (b.u - a.u) / kNode, dv = (b.v - a.v) / kNode, darea = (b.area - a.area) / kNode;
        const int x1 = std::min(x0 + kNode, j.tw);
        for (int x = x0; x < x1; ++x) {
            const double t = x - x0;
            const double u = a.u + du * t, v = a.v + dv * t;
            const float area = static_cast<float>(a.area + darea * t);
            // pixel centres at whole numbers
            if (!(u >= -0.5 && v >= -0.5 && u <= j.sw - 0.5 && v <= j.sh - 0.5)) {
                if (out) out[x] = nan;
                if (noiseOut) noiseOut[x] = nan;
                continue;
            }
            const int iu = static_cast<int>(std::floor(u)), iv = static_cast<int>(std::floor(v));
            const int fu = static_cast<int>((u - iu) * kSteps + 0.5), fv = static_cast<int>((v - iv) * kSteps + 0.5);
            const Taps& wu = j.table[fu];
            const Taps& wv = j.table[fv];
            float value = nan;
            if (out && iu >= 2 && iv >= 2 && iu + 5 < j.sw && iv + 3 < j.sh) {
                // the common case: six rows of eight, no test per tap; the
                // rows weighted down the column first, then across
                V8 w, row, acc{};
                const float* s = j.src + static_cast<std::size_t>(iv - 2) * j.sw + (iu - 2);
                for (int r = 0; r < 6; ++r, s += j.sw) {
                    std::memcpy(&row, s, sizeof row);
                    acc += wv[r] * row;
                }
                std::memcpy(&w, wu.data(), sizeof w);
                acc *= w;
                value = ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
            }
            if (out) out[x] = (std::isfinite(value) ? value : slowTap(j, u, v, iu, iv, wu, wv)) * area;
            if (!noiseOut) continue;
            const double cu = std::clamp(u, 0.0, j.sw - 1.0), cv = std::clamp(v, 0.0, j.sh - 1.0);
            int nu = static_cast<int>(cu), nv = static_cast<int>(cv);
            if (nu > j.sw - 2) nu = std::max(0, j.sw - 2);
            if (nv > j.sh - 2) nv = std::max(0, j.sh - 2);
            const float gu = static_cast<float>(cu - nu), gv = static_cast<float>(cv - nv);
            const float* p0 = j.noise + static_cast<std::size_t>(nv) * j.sw + nu;
            const float* p1 = j.sh > 1 ? p0 + j.sw : p0;
            const int dx = j.sw > 1 ? 1 : 0;
            // the noise of a sum over `area` source pixels of independent noise
            const float scale = j.kept[fu] * j.kept[fv] * std::sqrt(area);
            noiseOut[x] = scale * ((1 - gv) * ((1 - gu) * p0[0] + gu * p0[dx]) + gv * ((1 - gu) * p1[0] + gu * p1[dx]));
        }
    }
}

// One target row, either plane or both; the planes alone are built apart so
// that neither carries the other's tests. Built for the wider vector units
// too and picked at run time, since the package cannot assume them.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void resampleRow(const Job& j, const Node* nodes,
                                                                                float* out, float* noiseOut) {
    if (out && noiseOut) resampleRowOf<true, true>(j, nodes, out, noiseOut);
    else if (out) resampleRowOf<true, false>(j, nodes, out, nullptr);
    else resampleRowOf<false, true>(j, nodes, nullptr, noiseOut);
}

// Either plane may be left out (null source, empty out): one row pass makes
// both or either, each pixel the same either way.
Resampled resample(const float* src, const float* noise, int sw, int sh, const PolyMap& map, int tw, int th) {
    const bool withPixels = src != nullptr, withNoise = noise != nullptr;
    const Job job{src, noise, sw, sh, tw, weightTable().data(), noiseKept().data()};
    // The map is smooth: exact on a coarse grid, bilinear between, which costs
    // far less than the polynomial at every pixel.
    const int nx = (tw + kNode - 1) / kNode + 1, ny = (th + kNode - 1) / kNode + 1;
    std::vector<Node> grid(static_cast<std::size_t>(nx) * ny);
#pragma omp parallel for schedule(static)
    for (int gy = 0; gy < ny; ++gy)
        for (int gx = 0; gx < nx; ++gx) {
            const double x = gx * kNode + 1.0, y = gy * kNode + 1.0; // FITS coordinates
            const auto [u, v] = map(x, y);
            const auto [ux, vx] = map(x + 1, y);
            const auto [uy, vy] = map(x, y + 1);
            grid[static_cast<std::size_t>(gy) * nx + gx] = {u - 1, v - 1,
                                                            std::abs((ux - u) * (vy - v) - (vx - v) * (uy - u))};
        }
    Resampled out;
    if (withPixels) platform::ResizeFast(out.pixels, static_cast<std::size_t>(tw) * th);
    if (withNoise) platform::ResizeFast(out.noise, static_cast<std::size_t>(tw) * th);
#pragma omp parallel
    {
        std::vector<Node> row(static_cast<std::size_t>(nx));
#pragma omp for schedule(dynamic, 16)
        for (int y = 0; y < th; ++y) {
            const int gy = y / kNode;
            const double f = double(y - gy * kNode) / kNode;
            const Node* a = &grid[static_cast<std::size_t>(gy) * nx];
            const Node* b = a + nx;
            for (int k = 0; k < nx; ++k)
                row[k] = {a[k].u + f * (b[k].u - a[k].u), a[k].v + f * (b[k].v - a[k].v),
                          a[k].area + f * (b[k].area - a[k].area)};
            resampleRow(job, row.data(), withPixels ? out.pixels.data() + static_cast<std::size_t>(y) * tw : nullptr,
                        withNoise ? out.noise.data() + static_cast<std::size_t>(y) * tw : nullptr);
        }
    }
    return out;
}

} // namespace

Resampled ResampleLanczos3(const std::vector<float>& src, const std::vector<float>& noise, int sw, int sh,
                           const PolyMap& map, int tw, int th) {
    const bool withNoise = noise.size() == src.size() && !noise.empty();
    return resample(src.data(), withNoise ? noise.data() : nullptr, sw, sh, map, tw, th);
}

std::vector<float> ResampleNoise(const std::vector<float>& noise, int sw, int sh, const PolyMap& map, int tw, int th) {
    if (noise.empty()) return {};
    return resample(nullptr, noise.data(), sw, sh, map, tw, th).noise;
}

} // namespace engine
