#include "engine/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace engine {
namespace {

constexpr int kSteps = 1024; // fractional positions in the weight table

// weights[f][k]: tap k (offset k - 2 from the floor) for fraction f / kSteps, normalised.
const std::vector<std::array<float, 6>>& weightTable() {
    static const std::vector<std::array<float, 6>> table = [] {
        std::vector<std::array<float, 6>> t(kSteps + 1);
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
        }
        return t;
    }();
    return table;
}

// The map is smooth: evaluate it exactly every few pixels along a row and
// interpolate between, which costs far less than the polynomial at every pixel.
// `fn` also gets the local area of a target pixel in source pixels.
template <typename Fn>
void forEachRowPosition(const PolyMap& map, int tw, int y, Fn&& fn) {
    constexpr int kStride = 16;
    auto [u0, v0] = map(1.0, y + 1.0);
    for (int x0 = 0; x0 < tw; x0 += kStride) {
        const int x1 = std::min(x0 + kStride, tw);
        auto [u1, v1] = map(x1 + 1.0, y + 1.0);
        const auto [uy, vy] = map(x0 + 1.0, y + 2.0);
        const double du = (u1 - u0) / (x1 - x0), dv = (v1 - v0) / (x1 - x0);
        const double area = std::abs(du * (vy - v0) - dv * (uy - u0));
        for (int x = x0; x < x1; ++x) fn(x, u0 + du * (x - x0) - 1.0, v0 + dv * (x - x0) - 1.0, area);
        u0 = u1;
        v0 = v1;
    }
}

} // namespace

std::vector<float> ResampleLanczos3(const std::vector<float>& src, int sw, int sh, const PolyMap& map,
                                    int tw, int th) {
    const auto& table = weightTable();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> out(static_cast<std::size_t>(tw) * th, nan);
#pragma omp parallel for schedule(dynamic, 16)
    for (int y = 0; y < th; ++y) {
        float* row = out.data() + static_cast<std::size_t>(y) * tw;
        forEachRowPosition(map, tw, y, [&](int x, double u, double v, double area) {
            // 0-based source position; pixel centres at whole numbers. Values are
            // scaled by the pixel area so that a star keeps its flux.
            if (!(u >= -0.5 && v >= -0.5 && u <= sw - 0.5 && v <= sh - 0.5)) return;
            const int iu = static_cast<int>(std::floor(u)), iv = static_cast<int>(std::floor(v));
            const auto& wu = table[static_cast<int>((u - iu) * kSteps + 0.5)];
            const auto& wv = table[static_cast<int>((v - iv) * kSteps + 0.5)];
            double acc = 0, wsum = 0;
            bool inside = iu >= 2 && iv >= 2 && iu + 3 < sw && iv + 3 < sh;
            if (inside) {
                // the common case: no blank pixel among the 36, no test per tap
                float acc6 = 0;
                for (int j = 0; j < 6; ++j) {
                    const float* s = src.data() + static_cast<std::size_t>(iv - 2 + j) * sw + (iu - 2);
                    const float line = wu[0] * s[0] + wu[1] * s[1] + wu[2] * s[2] + wu[3] * s[3] +
                                       wu[4] * s[4] + wu[5] * s[5];
                    acc6 += wv[j] * line;
                }
                if (std::isfinite(acc6)) {
                    row[x] = static_cast<float>(acc6 * area);
                    return;
                }
                for (int j = 0; j < 6; ++j) {
                    const float* s = src.data() + static_cast<std::size_t>(iv - 2 + j) * sw + (iu - 2);
                    double line = 0, lw = 0;
                    for (int i = 0; i < 6; ++i) {
                        if (std::isfinite(s[i])) {
                            line += wu[i] * s[i];
                            lw += wu[i];
                        }
                    }
                    acc += wv[j] * line;
                    wsum += wv[j] * lw;
                }
            } else { // near the edge: replicate the edge pixels
                for (int j = 0; j < 6; ++j) {
                    const int yy = std::clamp(iv - 2 + j, 0, sh - 1);
                    for (int i = 0; i < 6; ++i) {
                        const int xx = std::clamp(iu - 2 + i, 0, sw - 1);
                        const float s = src[static_cast<std::size_t>(yy) * sw + xx];
                        if (std::isfinite(s)) {
                            acc += wv[j] * wu[i] * s;
                            wsum += wv[j] * wu[i];
                        }
                    }
                }
            }
            const int nu = std::clamp(static_cast<int>(std::lround(u)), 0, sw - 1);
            const int nv = std::clamp(static_cast<int>(std::lround(v)), 0, sh - 1);
            if (!std::isfinite(src[static_cast<std::size_t>(nv) * sw + nu]) || wsum < 0.5) return;
            row[x] = static_cast<float>(acc / wsum * area);
        });
    }
    return out;
}

std::vector<float> ResampleBilinear(const std::vector<float>& src, int sw, int sh, const PolyMap& map,
                                    int tw, int th) {
    // Interpolation averages neighbouring noise: the Lanczos weights at a
    // fraction f leave sqrt(sum of their squares) of it, per axis.
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
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> out(static_cast<std::size_t>(tw) * th, nan);
#pragma omp parallel for schedule(dynamic, 16)
    for (int y = 0; y < th; ++y) {
        float* row = out.data() + static_cast<std::size_t>(y) * tw;
        forEachRowPosition(map, tw, y, [&](int x, double u, double v, double area) {
            // noise of a sum over `area` source pixels of independent noise
            const float noiseScale = static_cast<float>(std::sqrt(area));
            if (!(u >= -0.5 && v >= -0.5 && u <= sw - 0.5 && v <= sh - 0.5)) return;
            const double cu = std::clamp(u, 0.0, sw - 1.0), cv = std::clamp(v, 0.0, sh - 1.0);
            int iu = static_cast<int>(cu), iv = static_cast<int>(cv);
            if (iu > sw - 2) iu = std::max(0, sw - 2);
            if (iv > sh - 2) iv = std::max(0, sh - 2);
            const float fu = static_cast<float>(cu - iu), fv = static_cast<float>(cv - iv);
            const float* p0 = src.data() + static_cast<std::size_t>(iv) * sw + iu;
            const float* p1 = sh > 1 ? p0 + sw : p0;
            const int dx = sw > 1 ? 1 : 0;
            const float smooth = kept[static_cast<int>((u - std::floor(u)) * kSteps + 0.5)] *
                                 kept[static_cast<int>((v - std::floor(v)) * kSteps + 0.5)];
            row[x] = smooth * noiseScale * ((1 - fv) * ((1 - fu) * p0[0] + fu * p0[dx]) + fv * ((1 - fu) * p1[0] + fu * p1[dx]));
        });
    }
    return out;
}

} // namespace engine
