// The difference's detection images against the filter written out in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "astrometry/matched_filter.h"

extern "C" {
#include <sep.h>
}

namespace {

struct Direct {
    double smoothed, snr;
};

// The 2-D sums as the definition gives them, pixel by pixel.
Direct direct(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h,
              const std::vector<float>& row, int x, int y) {
    const int half = static_cast<int>(row.size() / 2);
    double sumF = 0, plain = 0, num = 0, den = 0;
    for (int v = -half; v <= half; ++v)
        for (int u = -half; u <= half; ++u) {
            const double f = double(row[u + half]) * row[v + half];
            sumF += f;
            const int xx = x + u, yy = y + v;
            if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
            const std::size_t i = static_cast<std::size_t>(yy) * w + xx;
            const double n = noise[i], p = std::isfinite(pix[i]) ? pix[i] : 0;
            plain += f * p;
            if (n > 0 && n < 1e20 && std::isfinite(pix[i])) {
                num += f * p / (n * n);
                den += f * f / (n * n);
            }
        }
    return {plain / sumF, den > 0 ? num / std::sqrt(den) : 0};
}

// The whole image handed in row by row, as the search hands in a difference.
astrometry::FilteredImages filterWhole(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h,
                                       const std::vector<float>& row) {
    return astrometry::MatchedFilter(
        [&](int y, float* values, float* n) {
            const std::size_t o = static_cast<std::size_t>(y) * w;
            std::copy(pix.begin() + o, pix.begin() + o + w, values);
            std::copy(noise.begin() + o, noise.begin() + o + w, n);
        },
        w, h, row);
}

} // namespace

// Bands of rows, image edges, blank pixels (NaN, no noise, infinite noise)
// and a noise that changes from pixel to pixel: the two passes give what the
// full sums give.
TEST(MatchedFilter, TwoPassesGiveTheFullSumsEverywhere) {
    const int w = 53, h = 71; // neither a multiple of the band
    std::mt19937 rng(3);
    std::normal_distribution<float> g(0, 1);
    std::uniform_real_distribution<float> n(0.5f, 4.0f);
    std::vector<float> pix(w * h), noise(w * h);
    for (std::size_t i = 0; i < pix.size(); ++i) {
        noise[i] = n(rng);
        pix[i] = noise[i] * g(rng);
    }
    pix[5 * w + 7] += 60; // a source near the corner
    pix[40 * w + 26] = NAN;
    noise[41 * w + 26] = 0;
    noise[42 * w + 26] = 1e30f;
    for (int x = 0; x < w; ++x) noise[33 * w + x] = 1e30f; // a blanked row across a band's edge
    for (const double sigma : {0.0, 1.3, 2.6}) {
        std::vector<float> row = {1, 2, 1};
        if (sigma > 0) {
            const int half = static_cast<int>(std::ceil(2 * sigma));
            row.clear();
            for (int x = -half; x <= half; ++x) row.push_back(static_cast<float>(std::exp(-0.5 * x * x / (sigma * sigma))));
        }
        const auto f = filterWhole(pix, noise, w, h, row);
        double worst = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Direct d = direct(pix, noise, w, h, row, x, y);
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                worst = std::max({worst, std::abs(f.smoothed[i] - d.smoothed), std::abs(f.snr[i] - d.snr)});
            }
        EXPECT_LT(worst, 1e-4) << "sigma " << sigma;
    }
}

// Given as the noise at a relative threshold, the S/N picks exactly the
// pixels above it, whatever the sign of the smoothed image there.
TEST(MatchedFilter, TheNoiseGivenToTheSearchPicksThePixelsAboveTheThreshold) {
    const double t = 5;
    std::vector<float> smoothed = {3, 3, -2, 0, 0, 4, -1, 2, 1e-6f};
    std::vector<float> snr = {6, 4, 7, 6, 0, -3, -8, 5.01f, 5.2f};
    const auto before = snr;
    astrometry::SnrAsNoise(smoothed, snr, t);
    for (std::size_t i = 0; i < snr.size(); ++i)
        EXPECT_EQ(smoothed[i] > static_cast<float>(t) * snr[i], before[i] > t) << i;
}

// The extraction cuts the image in two at quiet rows and searches the halves
// at once: SEP must find in the halves what it finds in the whole, in the same
// order, with sources crowded around the middle (the cut goes round them).
TEST(MatchedFilter, SepFindsInTheHalvesAtAQuietCutWhatItFindsInTheWhole) {
    const int w = 300, h = 400;
    std::mt19937 rng(11);
    std::normal_distribution<float> g(0, 1);
    std::uniform_real_distribution<double> at(3, w - 3), flux(30, 600);
    std::vector<float> pix(static_cast<std::size_t>(w) * h), noise(pix.size(), 1.f);
    for (auto& v : pix) v = g(rng);
    const auto star = [&](double cx, double cy, double f) {
        for (int y = std::max(0, int(cy) - 8); y < std::min(h, int(cy) + 9); ++y)
            for (int x = std::max(0, int(cx) - 8); x < std::min(w, int(cx) + 9); ++x)
                pix[static_cast<std::size_t>(y) * w + x] +=
                    static_cast<float>(f / (2 * M_PI * 2.25) * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 4.5));
    };
    for (int k = 0; k < 16; ++k) star(at(rng), 3 + (h - 6) * (k / 16.0), flux(rng));
    for (int k = 0; k < 30; ++k) star(at(rng), h / 2 + (k % 7) - 3, flux(rng)); // crowding the middle
    const std::vector<float> row = {0.11f, 0.32f, 0.61f, 0.88f, 1.0f, 0.88f, 0.61f, 0.32f, 0.11f};
    auto f = filterWhole(pix, noise, w, h, row);
    const double threshold = 5;
    const int cut = astrometry::QuietCut(f.snr, w, h, threshold);
    ASSERT_GT(cut, h / 4);
    ASSERT_LT(cut, 3 * h / 4);
    for (int y : {cut - 1, cut})
        for (int x = 0; x < w; ++x) ASSERT_LT(f.snr[static_cast<std::size_t>(y) * w + x], threshold);
    astrometry::SnrAsNoise(f.smoothed, f.snr, threshold);
    const auto extract = [&](int y0, int y1) {
        const std::size_t o = static_cast<std::size_t>(y0) * w;
        sep_image im{};
        im.data = f.smoothed.data() + o;
        im.noise = f.snr.data() + o;
        im.dtype = im.ndtype = SEP_TFLOAT;
        im.noise_type = SEP_NOISE_STDDEV;
        im.w = w;
        im.h = y1 - y0;
        sep_catalog* cat = nullptr;
        EXPECT_EQ(sep_extract(&im, static_cast<float>(threshold), SEP_THRESH_REL, 1, nullptr, 0, 0, SEP_FILTER_CONV,
                              32, 0.005, 0, 1.0, &cat),
                  0);
        std::vector<std::array<double, 3>> found;
        for (int i = 0; i < cat->nobj; ++i) found.push_back({cat->x[i], cat->y[i] + y0, double(cat->npix[i])});
        sep_catalog_free(cat);
        return found;
    };
    const auto whole = extract(0, h);
    auto halves = extract(0, cut);
    const auto lower = extract(cut, h);
    halves.insert(halves.end(), lower.begin(), lower.end());
    EXPECT_GT(whole.size(), 30u);
    // the same sources in the same order; a half's centroids are summed from
    // its own first row, so they agree to rounding only
    ASSERT_EQ(halves.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_NEAR(halves[i][0], whole[i][0], 1e-9) << "source " << i;
        EXPECT_NEAR(halves[i][1], whole[i][1], 1e-9) << "source " << i;
        EXPECT_EQ(halves[i][2], whole[i][2]) << "source " << i;
    }
}
