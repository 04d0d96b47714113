#include "engine/star_matching.h"

#include <algorithm>
#include <cmath>

#include "engine/star_width.h"
#include "engine/star_finder.h"

namespace engine {
namespace {

// How well a star's centroid is known, up to a factor common to the image: the
// variance of its light over its light squared, the variance from the noise
// image (sky and the star's own photons) in the 5 x 5 pixels around it.
double centroidVariance(const BrightStar& s, const std::vector<float>& noise, int w, int h, double skySigma) {
    const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
    double v = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const int x = std::clamp(cx + dx, 0, w - 1), y = std::clamp(cy + dy, 0, h - 1);
            const double n = noise.empty() ? skySigma : noise[static_cast<std::size_t>(y) * w + x];
            v += std::isfinite(n) ? n * n : skySigma * skySigma;
        }
    return v / std::max(s.flux * s.flux, 1e-9);
}

// The stars' Gaussian width (sigma, px) from the first forty unsaturated ones; 1 without.
double starsSigma(const std::vector<BrightStar>& stars, const Image& image, double level) {
    std::vector<StampStar> at;
    for (const auto& s : stars)
        if (!s.saturated && at.size() < 40) at.push_back({s.x - 1, s.y - 1});
    const double sigma = StarSigma(image.pixels, image.width, image.height, at, level);
    return sigma > 0 ? sigma : 1.0;
}

} // namespace

MatchableStars FindMatchableStars(const Image& image, const SkyStats& sky) {
    const auto stars = FindBrightStars(image.pixels, image.width, image.height, sky.level, sky.sigma, 6, 300);
    // a centroid's variance is about 2 sigma^2 / SNR^2 (sigma: the stars' Gaussian width)
    const double k = 2 * std::pow(starsSigma(stars, image, sky.level), 2);
    MatchableStars m;
    for (const auto& s : stars)
        if (!s.saturated) {
            m.at.push_back({s.x, s.y});
            m.variance.push_back(k * centroidVariance(s, image.noise, image.width, image.height, sky.sigma));
        }
    return m;
}

astrometry::Pairs PairByMap(const std::vector<astrometry::P>& target, const std::vector<astrometry::P>& source,
                            const PolyMap& map) {
    std::vector<astrometry::P> predicted;
    for (const auto& p : target) {
        const auto [u, v] = map(p.x, p.y);
        predicted.push_back({u, v});
    }
    const astrometry::Affine identity{{1, 0, 0, 1}, {0, 0}};
    return astrometry::PairUp(predicted, source, identity, 4.0);
}

astrometry::Pairs PairByTriangles(const std::vector<astrometry::P>& target, const std::vector<astrometry::P>& source,
                                  int width, int height) {
    astrometry::Pairs pairs;
    if (target.size() < 4 || source.size() < 4) return pairs;
    astrometry::Affine aff{};
    const std::size_t n = astrometry::MatchByTriangles(target, source, std::min(width, height) / 25.0, 3.0, 0.25, aff);
    if (n < 6) return pairs;
    for (double tol : {4.0, 2.5, 2.0}) {
        pairs = astrometry::PairUp(target, source, aff, tol);
        if (!astrometry::FitAffine(target, source, pairs, aff)) break;
    }
    return pairs;
}

} // namespace engine
