// The galaxy's nucleus: found where a galaxy is; a field of stars alone, a
// close pair of stars or a saturated star has none. The survey plate's verdict
// on a real plate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>

#include "astrometry/wcs.h"
#include "checks/galaxy_nucleus.h"
#include "checks/survey_verdict.h"

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

// A real survey plate: a star of the plate is a source on it, the sky between
// stars is none, and the plate's date is read from its "dd/mm/yy".
TEST(SurveyVerdict, ARealPlateShowsItsStarsAndNotItsSky) {
    const std::filesystem::path plateFile = std::filesystem::path(VOSPEN_REAL_DATA) / "dss" / "dss.14.29.56-62.41.05.fits.gz";
    if (!std::filesystem::exists(plateFile)) GTEST_SKIP() << "no real data at " << plateFile;
    const auto plate = astrometry::ReadFitsImage(plateFile.string());
    const auto wcs = astrometry::Wcs::FromHeader(plate.header, plate.headerCards);
    ASSERT_TRUE(wcs.valid());
    // the brightest pixel of the middle, and a pixel at the plate's median level far from it
    std::vector<float> sorted = plate.pixels;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const float median = sorted[sorted.size() / 2];
    for (auto& v : sorted) v = std::abs(v - median);
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const float high = median + 3 * 1.4826f * sorted[sorted.size() / 2];
    int bx = 0, by = 0, sx = -1, sy = -1;
    float best = -1e30f;
    for (int y = 20; y < plate.height - 20; ++y)
        for (int x = 20; x < plate.width - 20; ++x) {
            const float v = plate.pixels[static_cast<std::size_t>(y) * plate.width + x];
            if (v > best) best = v, bx = x, by = y;
        }
    for (int y = 20; y < plate.height - 20 && sx < 0; y += 3)
        for (int x = 20; x < plate.width - 20; x += 3) {
            bool quiet = true; // no pixel 4 px around 3 sigma above the median
            for (int dy = -4; dy <= 4 && quiet; ++dy)
                for (int dx = -4; dx <= 4; ++dx)
                    if (plate.pixels[static_cast<std::size_t>(y + dy) * plate.width + x + dx] > high) quiet = false;
            if (quiet && std::hypot(x - bx, y - by) > 15) {
                sx = x, sy = y;
                break;
            }
        }
    ASSERT_GE(sx, 0);
    double ra = 0, dec = 0;
    ASSERT_TRUE(wcs.pixelToSky(bx + 1, by + 1, ra, dec));
    const auto star = checks::JudgeSurveyPlate(plate, {ra, dec});
    EXPECT_EQ(star.verdict, "a source on the plate");
    EXPECT_EQ(star.plateDate, "1976-03-11");
    ASSERT_TRUE(wcs.pixelToSky(sx + 1, sy + 1, ra, dec));
    EXPECT_EQ(checks::JudgeSurveyPlate(plate, {ra, dec}).verdict, "no source on the plate");
}
