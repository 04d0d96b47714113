// The galaxy's nucleus: found where a galaxy is; a field of stars alone, a
// close pair of stars or a saturated star has none.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "checks/galaxy_nucleus.h"

namespace {

constexpr int kSize = 400;

astrometry::FitsImage skyOnly(unsigned seed) {
    astrometry::FitsImage im;
    im.width = im.height = kSize;
    im.pixels.resize(kSize * kSize);
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(100, 5);
    for (auto& v : im.pixels) v = noise(rng);
    return im;
}

void add(astrometry::FitsImage& im, double x, double y, const std::function<double(double)>& profile, double reach) {
    for (int py = static_cast<int>(y - reach); py <= static_cast<int>(y + reach); ++py)
        for (int px = static_cast<int>(x - reach); px <= static_cast<int>(x + reach); ++px)
            if (px >= 0 && py >= 0 && px < kSize && py < kSize)
                im.pixels[static_cast<std::size_t>(py) * kSize + px] +=
                    static_cast<float>(profile(std::hypot(px + 1 - x, py + 1 - y)));
}

void star(astrometry::FitsImage& im, double x, double y, double peak) {
    add(im, x, y, [&](double r) { return peak * std::pow(1 + r * r / (3.3 * 3.3), -2.5); }, 25);
}

} // namespace

TEST(GalaxyNucleus, FoundOnlyWhereAGalaxyIs) {
    auto im = skyOnly(3);
    star(im, 200, 210, 3000);                        // bright stars near the centre
    star(im, 170, 230, 20000);
    star(im, 230, 180, 400), star(im, 236, 184, 380); // a close pair
    star(im, 190, 170, 90000);
    for (int dy = -1; dy <= 1; ++dy)                   // saturated: a flat top
        for (int dx = -1; dx <= 1; ++dx) im.pixels[static_cast<std::size_t>(169 + dy) * kSize + 189 + dx] = 65535;
    EXPECT_FALSE(checks::FindNucleus(im, 1.5, {}));

    // a bulge and disc, fainter at its core than the stars
    add(im, 215.3, 195.6, [](double r) { return 900 * std::exp(-r / 4.0) + 150 * std::exp(-r / 25.0); }, 150);
    const auto n = checks::FindNucleus(im, 1.5, {});
    ASSERT_TRUE(n);
    EXPECT_NEAR(n->x, 215.3, 1.0);
    EXPECT_NEAR(n->y, 195.6, 1.0);
}
