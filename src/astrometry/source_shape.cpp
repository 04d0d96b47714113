#include "astrometry/source_shape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include <Eigen/Dense>

namespace astrometry {
namespace {

constexpr int kHalf = 3, kSide = 2 * kHalf + 1;

struct Pixel {
    double value, weight; // 1 / variance
    int dx, dy;
};

// The share of a Gaussian's light that falls between a - 0.5 and a + 0.5.
double pixelShare(double a, double sigma) {
    const double s = std::sqrt(2.0) * sigma;
    return 0.5 * (std::erf((a + 0.5) / s) - std::erf((a - 0.5) / s));
}

// The weighted least-squares chi2 of amplitude x profile + background.
double fitChi2(const std::vector<Pixel>& px, double cx, double cy, double sigma) {
    std::array<double, kSide> sx{}, sy{};
    for (int k = 0; k < kSide; ++k) {
        sx[k] = pixelShare(k - kHalf - cx, sigma);
        sy[k] = pixelShare(k - kHalf - cy, sigma);
    }
    double spp = 0, sp = 0, s1 = 0, spd = 0, sd = 0, sdd = 0;
    for (const auto& p : px) {
        const double m = sx[p.dx + kHalf] * sy[p.dy + kHalf], w = p.weight;
        spp += w * m * m, sp += w * m, s1 += w, spd += w * m * p.value, sd += w * p.value, sdd += w * p.value * p.value;
    }
    const double det = spp * s1 - sp * sp;
    double a = det > 0 ? (spd * s1 - sp * sd) / det : 0;
    double b = det > 0 ? (spp * sd - sp * spd) / det : sd / s1;
    if (a < 0) a = 0, b = sd / s1; // a source is light, not a dip
    return sdd - 2 * a * spd - 2 * b * sd + a * a * spp + 2 * a * b * sp + b * b * s1;
}

// The best chi2 over centres within half a pixel of the brightest pixel.
double bestChi2(const std::vector<Pixel>& px, double sigma) {
    double best = std::numeric_limits<double>::infinity();
    for (double cy = -0.5; cy <= 0.5; cy += 0.25)
        for (double cx = -0.5; cx <= 0.5; cx += 0.25) best = std::min(best, fitChi2(px, cx, cy, sigma));
    return best;
}

// The stamp's usable pixels around the brightest pixel within one of (px, py);
// fewer than 15 (beside a blanked area) cannot tell a lone pixel from a spread of light.
std::vector<Pixel> stampPixels(const ShapeStamp& stamp, int px, int py) {
    const auto at = [&](int x, int y) {
        const bool inside = x >= 0 && y >= 0 && x < stamp.width && y < stamp.height;
        const float v = inside ? stamp.pixels[static_cast<std::size_t>(y) * stamp.width + x] : NAN;
        return std::isfinite(v) ? v : -std::numeric_limits<float>::infinity();
    };
    // the search's peak can lie a pixel off the brightest one
    const int x0 = px, y0 = py;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (at(x0 + dx, y0 + dy) > at(px, py)) px = x0 + dx, py = y0 + dy;
    std::vector<Pixel> pixels;
    pixels.reserve(kSide * kSide);
    for (int dy = -kHalf; dy <= kHalf; ++dy)
        for (int dx = -kHalf; dx <= kHalf; ++dx) {
            const int x = px + dx, y = py + dy;
            if (x < 0 || y < 0 || x >= stamp.width || y >= stamp.height) continue;
            const std::size_t i = static_cast<std::size_t>(y) * stamp.width + x;
            const double n = stamp.noise[i], v = stamp.pixels[i];
            if (!(n > 0 && n < 1e20) || !std::isfinite(v)) continue;
            pixels.push_back({v, 1 / (n * n), dx, dy});
        }
    if (pixels.size() < 15) pixels.clear();
    return pixels;
}

// chi2 of the weighted least-squares fit of the columns' sum to the pixels;
// a column that adds nothing (rank deficient) takes no part.
double linearChi2(const std::vector<Pixel>& px, const std::vector<std::vector<double>>& columns) {
    Eigen::MatrixXd a(px.size(), columns.size());
    Eigen::VectorXd b(px.size());
    for (std::size_t k = 0; k < px.size(); ++k) {
        const double root = std::sqrt(px[k].weight);
        b(static_cast<Eigen::Index>(k)) = root * px[k].value;
        for (std::size_t i = 0; i < columns.size(); ++i)
            a(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(i)) = root * columns[i][k];
    }
    const Eigen::VectorXd x = a.colPivHouseholderQr().solve(b);
    return (a * x - b).squaredNorm();
}

} // namespace

double ClusterPreference(const ShapeStamp& stamp, int px, int py, double psfSigma) {
    if (!(psfSigma > 0.3)) return 0;
    const std::vector<Pixel> pixels = stampPixels(stamp, px, py);
    if (pixels.empty()) return 0;
    // the two pixels of highest S/N besides the centre carry a near-point in
    // both models, so that a hot pixel or a ray beside a star costs neither
    std::vector<std::size_t> others;
    std::size_t centre = pixels.size();
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i].dx == 0 && pixels[i].dy == 0) centre = i;
        else others.push_back(i);
    }
    if (centre == pixels.size() || others.size() < 2) return 0;
    const auto snr = [&](std::size_t i) { return pixels[i].value * std::sqrt(pixels[i].weight); };
    std::partial_sort(others.begin(), others.begin() + 2, others.end(),
                      [&](std::size_t a, std::size_t b) { return snr(a) > snr(b); });
    const double narrow = std::min(0.33, psfSigma / 3);
    const auto nearPoint = [&](const Pixel& at, double cx, double cy, double sigma) {
        std::vector<double> column(pixels.size());
        for (std::size_t k = 0; k < pixels.size(); ++k)
            column[k] = pixelShare(pixels[k].dx - at.dx - cx, sigma) * pixelShare(pixels[k].dy - at.dy - cy, sigma);
        return column;
    };
    const std::vector<double> one(pixels.size(), 1.0);
    std::vector<std::vector<double>> columns = {nearPoint(pixels[centre], 0, 0, narrow),
                                                nearPoint(pixels[others[0]], 0, 0, narrow),
                                                nearPoint(pixels[others[1]], 0, 0, narrow), one};
    const double cluster = linearChi2(pixels, columns);
    // the point spread at its best centre within half a pixel, with the same two
    double spread = std::numeric_limits<double>::infinity();
    for (double cy = -0.5; cy <= 0.5; cy += 0.25)
        for (double cx = -0.5; cx <= 0.5; cx += 0.25) {
            columns[0] = nearPoint(pixels[centre], cx, cy, psfSigma);
            spread = std::min(spread, linearChi2(pixels, columns));
        }
    return spread - cluster;
}

double SharpnessPreference(const ShapeStamp& stamp, int px, int py, double psfSigma) {
    if (!(psfSigma > 0.3)) return 0;
    const std::vector<Pixel> pixels = stampPixels(stamp, px, py);
    if (pixels.empty()) return 0;
    // a third of the point spread, at most a third of a pixel: light in one pixel or two
    const double narrow = std::min(0.33, psfSigma / 3);
    return bestChi2(pixels, psfSigma) - bestChi2(pixels, narrow);
}

} // namespace astrometry
