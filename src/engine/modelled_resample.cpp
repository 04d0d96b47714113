#include "engine/modelled_resample.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/star_finder.h"
#include "engine/star_model.h"
#include "platform/step_trace.h"

namespace engine {
namespace {

// Stars fainter than this leave an interpolation error below a third of the noise.
constexpr double kMinPeakSigmas = 25;
// Wider stars are sampled well enough for the interpolation alone.
constexpr double kMaxFwhm = 3.2;
// The largest share of a model's light that the pixels may stray from it.
constexpr double kMaxMisfit = 0.1;

struct Model {
    double x, y;   // 0-based, in the image being drawn on
    double flux;
    StarShape shape;
    double radius; // px
};

// Every model drawn into the image (sign -1 takes them out), on every core: in
// bands of rows twice as tall as the widest model, even bands first, so that no
// two threads draw on one pixel.
void drawAll(std::vector<float>& image, int w, int h, std::vector<Model>& models, double sign) {
    if (models.empty()) return;
    double reach = 0;
    for (const auto& m : models) reach = std::max(reach, m.radius);
    const int band = static_cast<int>(std::ceil(2 * reach)) + 2;
    std::sort(models.begin(), models.end(), [](const Model& a, const Model& b) { return a.y < b.y; });
    const int bands = h / band + 1;
    // first[k]: the first model in band k or later (the last band takes all below and beyond)
    std::vector<std::size_t> first(static_cast<std::size_t>(bands) + 1, models.size());
    for (int k = 1; k < bands; ++k)
        first[static_cast<std::size_t>(k)] = static_cast<std::size_t>(
            std::lower_bound(models.begin(), models.end(), double(k) * band,
                             [](const Model& m, double y) { return m.y < y; }) -
            models.begin());
    first[0] = 0;
    for (int parity = 0; parity < 2; ++parity) {
#pragma omp parallel for schedule(dynamic)
        for (int b = parity; b < bands; b += 2)
            for (std::size_t i = first[static_cast<std::size_t>(b)]; i < first[static_cast<std::size_t>(b) + 1]; ++i) {
                const Model& m = models[i];
                AddStarLight(image, w, h, m.x, m.y, m.flux, m.shape, m.radius, sign);
            }
    }
}

// The target position (FITS) whose source position is (u, v): Newton's method
// from the map's linear part at the target's centre.
bool invert(const PolyMap& map, double u, double v, double cx, double cy, double& x, double& y,
            std::array<double, 4>& jac) {
    auto jacobian = [&](double px, double py) {
        const auto [u0, v0] = map(px, py);
        const auto [u1, v1] = map(px + 1, py);
        const auto [u2, v2] = map(px, py + 1);
        return std::array<double, 4>{u1 - u0, u2 - u0, v1 - v0, v2 - v0};
    };
    x = cx;
    y = cy;
    for (int it = 0; it < 6; ++it) {
        const auto [pu, pv] = map(x, y);
        jac = jacobian(x, y);
        const double det = jac[0] * jac[3] - jac[1] * jac[2];
        if (!(std::abs(det) > 1e-9)) return false;
        const double du = u - pu, dv = v - pv;
        const double dx = (jac[3] * du - jac[1] * dv) / det, dy = (-jac[2] * du + jac[0] * dv) / det;
        x += dx;
        y += dy;
        if (dx * dx + dy * dy < 1e-12) break;
    }
    const auto [pu, pv] = map(x, y);
    return std::hypot(pu - u, pv - v) < 1e-4;
}

} // namespace

ModelledResample ResampleModelled(std::vector<float>& src, const std::vector<float>& noise, int sw, int sh,
                                  const SkyStats& sky, std::optional<double> saturation, const PolyMap& map, int tw,
                                  int th, bool withNoise) {
    platform::StepTrace trace("resample");
    ModelledResample out;
    std::vector<Model> taken, given;
    if (sky.sigma > 0) {
        const auto stars = FindBrightStars(src, sw, sh, sky.level, sky.sigma, kMinPeakSigmas, 100000);
        trace.mark("stars");
        const auto shape = FitStarShape(src, noise, sw, sh, stars, sky.sigma, kMaxFwhm);
        trace.mark("shape");
        if (shape && shape->fwhm() < kMaxFwhm && shape->fwhm() > 0.5) {
            const double fwhm = shape->fwhm();
            // the curvature along the profile's wide axis
            const double q = 0.5 * (shape->a + shape->c) - std::hypot(0.5 * (shape->a - shape->c), shape->b);
            const double norm = (shape->beta - 1) * std::sqrt(shape->a * shape->c - shape->b * shape->b) / M_PI;
            const double tcx = (tw + 1) / 2.0, tcy = (th + 1) / 2.0;
            std::vector<char> ok(stars.size(), 0);
            std::vector<Model> src0(stars.size()), dst0(stars.size());
#pragma omp parallel for schedule(dynamic, 64)
            for (std::size_t k = 0; k < stars.size(); ++k) {
                const BrightStar& s = stars[k];
                if (s.saturated || (saturation && s.peak + s.sky >= 0.95 * *saturation)) continue;
                const double x = s.x - 1, y = s.y - 1;
                const double flux = FitStarFlux(src, sw, sh, x, y, s.sky, *shape, 1.5 * fwhm);
                if (!(flux > 0)) continue;
                // a galaxy's nucleus or a blend is no star: taken out as one it left a
                // deeper, sharper hole for the interpolation than the light it replaced
                if (!(StarMisfit(src, noise, sw, sh, x, y, s.sky, flux, *shape, 1.5 * fwhm, sky.sigma) < kMaxMisfit))
                    continue;
                // out to where the profile falls below a fifth of the sky's noise
                const double ratio = flux * norm / (0.2 * sky.sigma);
                double radius = ratio > 1 && q > 0 ? std::sqrt((std::pow(ratio, 1 / shape->beta) - 1) / q) : 0;
                radius = std::clamp(radius, 2 * fwhm, std::min(8 * fwhm, 25.0));
                if (x - radius < 0 || y - radius < 0 || x + radius > sw - 1 || y + radius > sh - 1) continue;
                double tx, ty;
                std::array<double, 4> jac{};
                if (!invert(map, s.x, s.y, tcx, tcy, tx, ty, jac)) continue;
                const double area = std::abs(jac[0] * jac[3] - jac[1] * jac[2]);
                src0[k] = {x, y, flux, *shape, radius};
                dst0[k] = {tx - 1, ty - 1, flux, shape->through(jac), radius / std::sqrt(area)};
                ok[k] = 1;
            }
            for (std::size_t k = 0; k < stars.size(); ++k)
                if (ok[k]) {
                    taken.push_back(src0[k]);
                    given.push_back(dst0[k]);
                }
        }
    }
    trace.mark("fluxes");
    drawAll(src, sw, sh, taken, -1);
    trace.mark("taken out");
    try {
        out.image = ResampleLanczos3(src, withNoise ? noise : std::vector<float>(), sw, sh, map, tw, th);
    } catch (...) {
        drawAll(src, sw, sh, taken, 1);
        throw;
    }
    trace.mark("interpolated");
    drawAll(src, sw, sh, taken, 1);
    drawAll(out.image.pixels, tw, th, given, 1);
    trace.mark("put back");
    out.starsModelled = static_cast<int>(given.size());
    return out;
}

} // namespace engine
