#include "engine/star_matching.h"

#include <algorithm>
#include <cmath>
#include <optional>

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

namespace {

bool enoughPairs(std::size_t pairs, std::size_t a, std::size_t b) {
    return pairs >= 6 && pairs * 5 >= std::min(a, b);
}

// The displacement that most (predicted, source) star pairs within `reach`
// share: a vote over 2-px cells, refined by the mean of the votes in the winning
// cell and its neighbours. None when no cell holds six votes.
std::optional<astrometry::P> commonShift(const std::vector<astrometry::P>& predicted,
                                         const std::vector<astrometry::P>& source, double reach) {
    const double cell = 2;
    const int n = static_cast<int>(std::ceil(reach / cell)), side = 2 * n + 1;
    std::vector<int> votes(static_cast<std::size_t>(side) * side, 0);
    auto cellOf = [&](double d) { return static_cast<int>(std::floor(d / cell + 0.5)) + n; };
    for (const auto& p : predicted)
        for (const auto& s : source) {
            const double dx = s.x - p.x, dy = s.y - p.y;
            if (std::abs(dx) > reach || std::abs(dy) > reach) continue;
            const int i = cellOf(dx), j = cellOf(dy);
            if (i >= 0 && j >= 0 && i < side && j < side) ++votes[static_cast<std::size_t>(j) * side + i];
        }
    const auto best = std::max_element(votes.begin(), votes.end());
    if (best == votes.end() || *best < 6) return std::nullopt;
    const int bi = static_cast<int>((best - votes.begin()) % side), bj = static_cast<int>((best - votes.begin()) / side);
    double sx = 0, sy = 0;
    int count = 0;
    for (const auto& p : predicted)
        for (const auto& s : source) {
            const double dx = s.x - p.x, dy = s.y - p.y;
            if (std::abs(cellOf(dx) - bi) <= 1 && std::abs(cellOf(dy) - bj) <= 1) {
                sx += dx;
                sy += dy;
                ++count;
            }
        }
    return astrometry::P{sx / count, sy / count};
}

} // namespace

astrometry::Pairs PairByMap(const std::vector<astrometry::P>& target, const std::vector<astrometry::P>& source,
                            const PolyMap& map, double reach, astrometry::P* shift) {
    std::vector<astrometry::P> predicted;
    for (const auto& p : target) {
        const auto [u, v] = map(p.x, p.y);
        predicted.push_back({u, v});
    }
    const astrometry::Affine identity{{1, 0, 0, 1}, {0, 0}};
    astrometry::Pairs pairs = astrometry::PairUp(predicted, source, identity, 4.0);
    if (enoughPairs(pairs.size(), target.size(), source.size())) return pairs;
    const auto d = commonShift(predicted, source, reach);
    if (!d) return pairs;
    const astrometry::Affine moved{{1, 0, 0, 1}, {d->x, d->y}};
    astrometry::Pairs shifted = astrometry::PairUp(predicted, source, moved, 4.0);
    if (shifted.size() <= pairs.size()) return pairs;
    if (shift) *shift = *d;
    return shifted;
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
