// Resampling undersampled images: the star profile fitted to an image, bright
// stars taken out before interpolation and put back on the new grid, and the
// weighted map between the grids.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/modelled_resample.h"
#include "engine/poly_map.h"
#include "engine/resample.h"
#include "engine/star_finder.h"
#include "engine/star_model.h"

namespace {

constexpr int kN = 384;
constexpr double kSky = 500;

struct Star {
    double x, y, flux; // 0-based pixel centres of the source
};

// A circular Moffat integrated over each pixel by a fine midpoint grid: a
// renderer of its own, so that the engine's profile is checked, not restated.
void renderMoffat(std::vector<float>& img, double x, double y, double flux, double fwhm, double beta) {
    const double alpha = fwhm / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
    const double norm = flux * (beta - 1) / (M_PI * alpha * alpha);
    const int r = static_cast<int>(std::ceil(8 * fwhm));
    for (int j = static_cast<int>(y) - r; j <= static_cast<int>(y) + r; ++j)
        for (int i = static_cast<int>(x) - r; i <= static_cast<int>(x) + r; ++i) {
            if (i < 0 || j < 0 || i >= kN || j >= kN) continue;
            const int sub = std::hypot(i - x, j - y) < 2 * fwhm + 1 ? 12 : 3;
            double v = 0;
            for (int b = 0; b < sub; ++b)
                for (int a = 0; a < sub; ++a) {
                    const double dx = i + (a + 0.5) / sub - 0.5 - x, dy = j + (b + 0.5) / sub - 0.5 - y;
                    v += std::pow(1 + (dx * dx + dy * dy) / (alpha * alpha), -beta);
                }
            img[static_cast<std::size_t>(j) * kN + i] += static_cast<float>(norm * v / (sub * sub));
        }
}

// target (FITS) -> source (FITS): a turn of 0.3 degrees and a fractional shift
struct Geometry {
    double angle = 0.3 * M_PI / 180, sx = 0.37, sy = -0.21, c = (kN + 1) / 2.0;
    std::pair<double, double> toSource(double x, double y) const {
        const double dx = x - c, dy = y - c;
        return {c + std::cos(angle) * dx - std::sin(angle) * dy + sx, c + std::sin(angle) * dx + std::cos(angle) * dy + sy};
    }
    std::pair<double, double> toTarget(double u, double v) const {
        const double du = u - c - sx, dv = v - c - sy;
        return {c + std::cos(angle) * du + std::sin(angle) * dv, c - std::sin(angle) * du + std::cos(angle) * dv};
    }
    engine::PolyMap map() const {
        std::vector<std::pair<double, double>> t, s;
        for (int j = 0; j <= 8; ++j)
            for (int i = 0; i <= 8; ++i) {
                t.emplace_back(1 + i * (kN - 1) / 8.0, 1 + j * (kN - 1) / 8.0);
                s.push_back(toSource(t.back().first, t.back().second));
            }
        engine::PolyMap m;
        m.fit(t, s, 1, c, c, kN / 2.0);
        return m;
    }
};

struct Field {
    std::vector<Star> stars;
    std::vector<float> source, target; // the same sky seen on both grids, no noise
};

Field makeField(double fwhm, double beta, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    Field f;
    f.source.assign(static_cast<std::size_t>(kN) * kN, static_cast<float>(kSky));
    f.target = f.source;
    const Geometry g;
    // a grid of stars 24 px apart at random sub-pixel places, peaks of 1 000 to 40 000 ADU
    for (int j = 0; j < 14; ++j)
        for (int i = 0; i < 14; ++i) {
            const double x = 36 + 24 * i + u(rng), y = 36 + 24 * j + u(rng);
            const double flux = 1.2 * fwhm * fwhm * std::exp(std::log(1000.0) + u(rng) * std::log(40.0));
            f.stars.push_back({x, y, flux});
            renderMoffat(f.source, x, y, flux, fwhm, beta);
            const auto [tx, ty] = g.toTarget(x + 1, y + 1);
            renderMoffat(f.target, tx - 1, ty - 1, flux, fwhm, beta);
        }
    return f;
}

// rms and worst error within 2 px of the bright stars, in units of each star's peak
std::pair<double, double> coreError(const std::vector<float>& got, const Field& f) {
    const Geometry g;
    double sum = 0, worst = 0;
    int n = 0;
    for (const auto& s : f.stars) {
        const auto [tx, ty] = g.toTarget(s.x + 1, s.y + 1);
        const int cx = static_cast<int>(std::lround(tx - 1)), cy = static_cast<int>(std::lround(ty - 1));
        double peak = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                peak = std::max(peak, f.target[static_cast<std::size_t>(cy + dy) * kN + cx + dx] - kSky);
        if (peak < 5000) continue;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const std::size_t k = static_cast<std::size_t>(cy + dy) * kN + cx + dx;
                const double e = (got[k] - f.target[k]) / peak;
                sum += e * e;
                worst = std::max(worst, std::abs(e));
                ++n;
            }
    }
    return {std::sqrt(sum / std::max(n, 1)), worst};
}

// equal pixel for pixel, blank where the other is blank
bool sameImage(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::isfinite(a[i]) != std::isfinite(b[i]) || (std::isfinite(a[i]) && a[i] != b[i])) return false;
    return true;
}

std::vector<float> noiseFor(const std::vector<float>& img) {
    std::vector<float> n(img.size());
    for (std::size_t i = 0; i < img.size(); ++i) n[i] = std::sqrt(100.0f + std::max(img[i] - 0.0f, 0.0f) / 1.5f);
    return n;
}

} // namespace

TEST(StarModel, FitsTheProfileOfUndersampledStars) {
    for (double beta : {2.5, 4.0}) {
        const Field f = makeField(1.9, beta, 5);
        const auto stars = engine::FindBrightStars(f.source, kN, kN, kSky, 10, 25, 1000);
        const auto shape = engine::FitStarShape(f.source, noiseFor(f.source), kN, kN, stars, 10);
        ASSERT_TRUE(shape) << beta;
        EXPECT_NEAR(shape->fwhm(), 1.9, 0.03) << beta;
        EXPECT_NEAR(shape->beta, beta, 0.1 * beta);
        EXPECT_NEAR(shape->b, 0, 0.02 * shape->a);
        EXPECT_NEAR(shape->a / shape->c, 1, 0.02);
    }
}

TEST(StarModel, ShapeSeenThroughAMapIsWhatTheInterpolationShows) {
    // a broad elliptical star, well sampled, so plain interpolation is exact
    // enough to check the turned, mirrored and stretched profile against
    engine::StarShape s;
    const double ax = 1 / (8.0 * 8.0), ay = 1 / (5.0 * 5.0), t = 0.5;
    s.a = ax * std::cos(t) * std::cos(t) + ay * std::sin(t) * std::sin(t);
    s.c = ax * std::sin(t) * std::sin(t) + ay * std::cos(t) * std::cos(t);
    s.b = (ax - ay) * std::sin(t) * std::cos(t);
    s.beta = 3;
    std::vector<float> source(static_cast<std::size_t>(kN) * kN, 0.f);
    engine::AddStarLight(source, kN, kN, 190.3, 180.6, 1e6, s, 60);
    // target -> source: mirrored, turned 90 degrees, pixels 2 % larger
    const std::array<double, 4> j{0, 1.02, 1.02, 0};
    std::vector<std::pair<double, double>> tp, sp;
    for (int y = 1; y <= kN; y += 40)
        for (int x = 1; x <= kN; x += 40) {
            tp.emplace_back(x, y);
            sp.emplace_back(191.3 + j[0] * (x - 180) + j[1] * (y - 170), 181.6 + j[2] * (x - 180) + j[3] * (y - 170));
        }
    engine::PolyMap map;
    ASSERT_TRUE(map.fit(tp, sp, 1, kN / 2.0, kN / 2.0, kN / 2.0));
    const auto moved = engine::ResampleLanczos3(source, {}, kN, kN, map, kN, kN);
    std::vector<float> expected(source.size(), 0.f);
    engine::AddStarLight(expected, kN, kN, 179, 169, 1e6, s.through(j), 60);
    double peak = 0, worst = 0, sumGot = 0, sumWant = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) peak = std::max(peak, double(expected[i]));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!std::isfinite(moved.pixels[i])) continue; // beyond the source's edge
        worst = std::max(worst, std::abs(moved.pixels[i] - expected[i]) / peak);
        sumGot += moved.pixels[i];
        sumWant += expected[i];
    }
    EXPECT_LT(worst, 0.005);
    // the interpolation's own flux error on pixels 2 % larger is a quarter per cent
    EXPECT_NEAR(sumGot / sumWant, 1, 0.004);
}

TEST(ModelledResample, BrightUndersampledStarsLandAsObservedOnTheNewGrid) {
    const Field f = makeField(1.9, 3, 9);
    auto source = f.source;
    const auto noise = noiseFor(source);
    const auto map = Geometry().map();
    const auto plain = engine::ResampleLanczos3(source, noise, kN, kN, map, kN, kN);
    const auto modelled = engine::ResampleModelled(source, noise, kN, kN, {kSky, 10}, std::nullopt, map, kN, kN);
    EXPECT_GT(modelled.starsModelled, 150);
    const auto [plainRms, plainWorst] = coreError(plain.pixels, f);
    const auto [rms, worst] = coreError(modelled.image.pixels, f);
    std::printf("core error of bright stars, in units of their peak: interpolated %.4f rms %.4f worst; "
                "modelled %.4f rms %.4f worst\n",
                plainRms, plainWorst, rms, worst);
    EXPECT_GT(plainWorst, 0.02); // what the interpolation alone leaves
    EXPECT_LT(rms, plainRms / 20);
    EXPECT_LT(worst, 0.01);
    // the noise image goes through as before, and the source is given back
    EXPECT_TRUE(sameImage(modelled.image.noise, plain.noise));
    for (std::size_t i = 0; i < source.size(); ++i) ASSERT_NEAR(source[i], f.source[i], 0.02f) << i;
    // one plane at a time (the alignment's way) makes the same two planes
    const auto pixelsOnly =
        engine::ResampleModelled(source, noise, kN, kN, {kSky, 10}, std::nullopt, map, kN, kN, false);
    EXPECT_TRUE(pixelsOnly.image.noise.empty());
    EXPECT_TRUE(sameImage(pixelsOnly.image.pixels, modelled.image.pixels));
    EXPECT_TRUE(sameImage(engine::ResampleNoise(noise, kN, kN, map, kN, kN), plain.noise));
}

TEST(ModelledResample, LeavesWellSampledSaturatedAndBlankStarsToTheInterpolation) {
    const auto map = Geometry().map();
    {
        // 4-px stars: the interpolation alone is good enough
        Field f = makeField(4.0, 3, 11);
        const auto out = engine::ResampleModelled(f.source, {}, kN, kN, {kSky, 10}, std::nullopt, map, kN, kN);
        EXPECT_EQ(out.starsModelled, 0);
        EXPECT_TRUE(sameImage(out.image.pixels, engine::ResampleLanczos3(f.source, {}, kN, kN, map, kN, kN).pixels));
    }
    Field f = makeField(1.9, 3, 13);
    const auto all = engine::ResampleModelled(f.source, {}, kN, kN, {kSky, 10}, std::nullopt, map, kN, kN);
    // a saturation level below the brightest stars, and a blank pixel beside one
    f.source[static_cast<std::size_t>(std::lround(f.stars[20].y) + 1) * kN + std::lround(f.stars[20].x)] = NAN;
    const auto fewer = engine::ResampleModelled(f.source, {}, kN, kN, {kSky, 10}, kSky + 10000, map, kN, kN);
    EXPECT_LT(fewer.starsModelled, all.starsModelled - 10);
    EXPECT_GT(fewer.starsModelled, 100);
    // the blank pixel stays blank on the new grid, and nothing else is lost
    int blank = 0;
    for (float v : fewer.image.pixels) blank += !std::isfinite(v);
    int blankPlain = 0;
    for (float v : engine::ResampleLanczos3(f.source, {}, kN, kN, map, kN, kN).pixels) blankPlain += !std::isfinite(v);
    EXPECT_EQ(blank, blankPlain);
}

TEST(ModelledResample, LeavesAGalaxysNucleusToTheInterpolation) {
    // a galaxy's bulge among the stars, as the seeing shows it: brighter and
    // broader than a star, so that a star's profile fitted to it would leave a
    // sharp hole deeper than the light it replaced
    Field f = makeField(1.9, 3, 17);
    const Geometry g;
    const double gx = 191.2, gy = 203.7;
    auto galaxy = [](std::vector<float>& img, double x, double y) {
        for (int k = 0; k < 7; ++k) // a cusp: Moffat light of ever wider profiles
            renderMoffat(img, x, y, 40000.0 * (k + 1), 1.9 * (1 + k), 3);
    };
    galaxy(f.source, gx, gy);
    const auto [tx, ty] = g.toTarget(gx + 1, gy + 1);
    galaxy(f.target, tx - 1, ty - 1);
    const auto map = g.map();
    const auto plain = engine::ResampleLanczos3(f.source, {}, kN, kN, map, kN, kN);
    const auto modelled = engine::ResampleModelled(f.source, {}, kN, kN, {kSky, 10}, std::nullopt, map, kN, kN);
    double ePlain = 0, eModelled = 0;
    for (int j = -4; j <= 4; ++j)
        for (int i = -4; i <= 4; ++i) {
            const std::size_t k = static_cast<std::size_t>(std::lround(ty - 1) + j) * kN + std::lround(tx - 1) + i;
            ePlain += std::pow(plain.pixels[k] - f.target[k], 2);
            eModelled += std::pow(modelled.image.pixels[k] - f.target[k], 2);
        }
    EXPECT_LE(std::sqrt(eModelled), 1.05 * std::sqrt(ePlain) + 1);
}

TEST(PolyMap, PairsWeightedByTheirCentroidsPrecision) {
    // a few bright stars known to 0.005 px among many faint ones known to 0.15 px
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(0, 2000);
    std::normal_distribution<double> g(0, 1);
    std::vector<std::pair<double, double>> t, s;
    std::vector<double> w;
    auto truth = [](double x, double y) {
        return std::pair<double, double>{3.2 + 1.001 * x + 0.002 * y + 1e-7 * x * y, -4.1 - 0.002 * x + 0.999 * y};
    };
    for (int i = 0; i < 240; ++i) {
        const double x = u(rng), y = u(rng), sigma = i < 30 ? 0.005 : 0.15;
        const auto [a, b] = truth(x, y);
        t.emplace_back(x, y);
        s.emplace_back(a + sigma * g(rng), b + sigma * g(rng));
        w.push_back(1 / (sigma * sigma));
    }
    engine::PolyMap equal, weighted;
    ASSERT_TRUE(equal.fit(t, s, 3, 1000, 1000, 1000));
    ASSERT_TRUE(weighted.fit(t, s, 3, 1000, 1000, 1000, w));
    double eEqual = 0, eWeighted = 0;
    int n = 0;
    for (double y = 100; y < 2000; y += 200)
        for (double x = 100; x < 2000; x += 200, ++n) {
            const auto [a, b] = truth(x, y);
            const auto p = equal(x, y), q = weighted(x, y);
            eEqual += std::pow(p.first - a, 2) + std::pow(p.second - b, 2);
            eWeighted += std::pow(q.first - a, 2) + std::pow(q.second - b, 2);
        }
    eEqual = std::sqrt(eEqual / n);
    eWeighted = std::sqrt(eWeighted / n);
    EXPECT_LT(eWeighted, 0.006);
    EXPECT_LT(eWeighted, eEqual / 2);
}
