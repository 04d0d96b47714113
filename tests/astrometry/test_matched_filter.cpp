// The difference's detection images against the filter written out in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "astrometry/matched_filter.h"

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
