// Point-spread matching, the convolution under it, and the rules that keep a
// difference's artefacts out of the suspicious stars.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>

#include "support/subtracted_pair.h"
#include "astrometry/detection.h"
#include "astrometry/source_shape.h"
#include "engine/application.h"
#include "engine/convolution.h"
#include "engine/document.h"
#include "engine/pixel_stats.h"
#include "engine/kernel_fit.h"
#include "engine/star_width.h"
#include "pair.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 400, kH = 400;

void addGaussian(std::vector<float>& img, double x, double y, double flux, double sigma) {
    const int r = static_cast<int>(std::ceil(5 * sigma));
    for (int j = static_cast<int>(y) - r; j <= static_cast<int>(y) + r; ++j)
        for (int i = static_cast<int>(x) - r; i <= static_cast<int>(x) + r; ++i) {
            if (i < 0 || j < 0 || i >= kW || j >= kH) continue;
            const double d2 = (i - x) * (i - x) + (j - y) * (j - y);
            img[static_cast<std::size_t>(j) * kW + i] +=
                static_cast<float>(flux * std::exp(-0.5 * d2 / (sigma * sigma)) / (2 * M_PI * sigma * sigma));
        }
}

std::string card(const std::string& key, double v) {
    char b[81];
    std::snprintf(b, sizeof b, "%-8s= %20.6f", key.c_str(), v);
    std::string c(b);
    c.resize(80, ' ');
    return c;
}

// A 1024 x 1024 pair without supernovae in a folder of its own.
skysim::PairOptions seeingPair(const fs::path& dir, std::uint64_t seed, double refSeeing, double reshotSeeing) {
    fs::remove_all(dir);
    skysim::PairOptions o;
    o.out = dir.string();
    o.seed = seed;
    o.width = 1024;
    o.height = 1024;
    o.reference.seeing = refSeeing;
    o.reshot.seeing = reshotSeeing;
    o.supernovae = {};
    return o;
}

// A difference of kW x kH pixels of plain noise (sigma 10, its noise image
// saying so), to put sources and defects into.
astrometry::FitsImage noiseDifference(unsigned seed) {
    astrometry::FitsImage img;
    img.width = kW;
    img.height = kH;
    img.noise.assign(kW * kH, 10.f);
    img.pixels.resize(kW * kH);
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0, 10);
    for (auto& v : img.pixels) v = g(rng);
    return img;
}

// The median chi2 per pixel of the difference over the 5 x 5 cores of the
// reshot's bright unsaturated stars, 20 px or more from the edges of a
// `size` x `size` image.
double medianCoreChi2(const engine::Document& sub, const skysim::Pair& pair, int size) {
    std::vector<double> chi;
    for (const auto& s : pair.reshot.stars) {
        if (s.flux < 5000 || s.flux > 60000) continue;
        const int x = static_cast<int>(std::lround(s.x - 1)), y = static_cast<int>(std::lround(s.y - 1));
        if (x < 20 || y < 20 || x >= size - 20 || y >= size - 20) continue;
        double sum = 0;
        int n = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const std::size_t i = static_cast<std::size_t>(y + dy) * size + x + dx;
                if (!std::isfinite(sub.pixels()[i])) continue;
                const double z = sub.pixels()[i] / sub.noise()[i];
                sum += z * z;
                ++n;
            }
        if (n == 25) chi.push_back(sum / n);
    }
    if (chi.empty()) return 1e9;
    std::sort(chi.begin(), chi.end());
    return chi[chi.size() / 2];
}

} // namespace

TEST(Convolution, MatchesTheDirectSumAndBlanksFootprints) {
    std::mt19937 rng(3);
    std::normal_distribution<float> g(0, 1);
    std::vector<float> img(kW * kH);
    for (auto& v : img) v = g(rng);
    const int half = 4, side = 9;
    std::vector<float> k(side * side);
    for (int v = 0; v < side; ++v)
        for (int u = 0; u < side; ++u)
            k[v * side + u] = static_cast<float>(std::exp(-0.5 * ((u - half - 0.7) * (u - half - 0.7) + (v - half) * (v - half)) / 2.0) +
                                                 0.1 * (u == half + 2 && v == half));
    auto out = engine::ConvolveVarying(img, kW, kH, half, [&](double, double) { return k; }, 1e-6);
    for (int y : {4, 100, 395})
        for (int x : {4, 57, 395}) {
            double direct = 0;
            for (int v = -half; v <= half; ++v)
                for (int u = -half; u <= half; ++u) direct += k[(v + half) * side + u + half] * img[(y + v) * kW + x + u];
            EXPECT_NEAR(out[y * kW + x], direct, 1e-3) << x << "," << y;
        }
    // the edge, where the footprint leaves the image
    EXPECT_TRUE(std::isnan(out[2 * kW + 200]));
    EXPECT_TRUE(std::isnan(out[200 * kW + 397]));
    // an uncovered pixel blanks every output that reaches it, and no more
    img[200 * kW + 200] = NAN;
    auto bad = engine::BlankPixels(img);
    out = engine::ConvolveVarying(img, kW, kH, half, [&](double, double) { return k; });
    const auto spread = engine::DilateMask(bad, kW, kH, half);
    EXPECT_TRUE(spread[(200 + half) * kW + 200 - half]);
    EXPECT_FALSE(spread[(200 + half + 1) * kW + 200]);
    EXPECT_EQ(img[200 * kW + 200], 0.f);
    // pixels left out and given back one by one make the whole convolution again
    img[200 * kW + 200] = 5;
    const auto whole = engine::ConvolveVarying(img, kW, kH, half, [&](double, double) { return k; });
    std::vector<unsigned char> left(img.size(), 0);
    std::vector<std::pair<std::size_t, float>> back;
    for (std::size_t i : {std::size_t(200 * kW + 200), std::size_t(201 * kW + 203), std::size_t(2 * kW + 7)}) {
        left[i] = 1;
        back.emplace_back(i, img[i]);
    }
    auto parts = engine::ConvolveMasked(img, left, kW, kH, half, [&](double, double) { return k; }, false);
    engine::AddSparseConvolution(parts, kW, kH, half, [&](double, double) { return k; }, back);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (std::isfinite(whole[y * kW + x])) {
                ASSERT_NEAR(parts[y * kW + x], whole[y * kW + x], 1e-3) << x << "," << y;
            }
    // tile by tile (the difference's way, with no image of the convolution):
    // the same floats, every pixel that is not NaN given once
    const auto kernelAt = [&](double x, double y) {
        auto varying = k;
        varying[half * side + half] += static_cast<float>(1e-3 * x - 2e-3 * y);
        return varying;
    };
    const auto image = engine::ConvolveMasked(img, left, kW, kH, half, kernelAt, false, 3e-3, 64);
    auto gathered = image;
    engine::AddSparseConvolution(gathered, kW, kH, half, kernelAt, back);
    const engine::SparseConvolution sparse(kW, kH, half, kernelAt, back);
    std::vector<float> tiled(img.size(), NAN);
    std::vector<int> given(img.size(), 0);
    std::mutex lock;
    engine::ConvolveMaskedTiles(
        img, left, kW, kH, half, kernelAt, false, 3e-3,
        [&](int ya, int yb, int xa, int xb, float* v) {
            sparse.addTo(v, ya, yb, xa, xb);
            std::lock_guard<std::mutex> hold(lock);
            for (int y = ya; y < yb; ++y)
                for (int x = xa; x < xb; ++x) {
                    tiled[y * kW + x] = v[(y - ya) * (xb - xa) + (x - xa)];
                    ++given[y * kW + x];
                }
        },
        64);
    for (std::size_t i = 0; i < img.size(); ++i) {
        ASSERT_EQ(given[i], std::isfinite(gathered[i]) ? 1 : 0) << i;
        if (given[i]) {
            ASSERT_EQ(tiled[i], gathered[i]) << i;
        }
    }
}

TEST(PsfMatch, KernelTurnsTheSharperImageIntoTheBroader) {
    std::mt19937 rng(5);
    std::normal_distribution<float> g(0, 1);
    std::uniform_real_distribution<double> u(20, kW - 20);
    std::vector<float> sharp(kW * kH, 100.f), broad(kW * kH, 100.f * 0.8f + 10);
    std::vector<engine::StampStar> stars;
    for (int i = 0; i < 60; ++i) {
        const double x = u(rng), y = u(rng), flux = 20000 + 2000 * i;
        addGaussian(sharp, x, y, flux, 1.0);
        addGaussian(broad, x, y, 0.8 * flux, 1.6);
        stars.push_back({x, y});
    }
    std::vector<float> ns(kW * kH), nb(kW * kH);
    for (std::size_t i = 0; i < sharp.size(); ++i) {
        ns[i] = std::sqrt(sharp[i]);
        nb[i] = std::sqrt(broad[i]);
        sharp[i] += ns[i] * g(rng);
        broad[i] += nb[i] * g(rng);
    }
    EXPECT_LT(engine::StarSigma(sharp, kW, kH, stars, 100), engine::StarSigma(broad, kW, kH, stars, 90));
    engine::MatchInputs in;
    in.templ = &sharp;
    in.templNoise = &ns;
    in.science = &broad;
    in.scienceNoise = &nb;
    in.width = kW;
    in.height = kH;
    in.templSigma = 1.0;
    in.scienceSigma = 1.6;
    in.stars = stars;
    const auto k = engine::FitMatchingKernel(in);
    ASSERT_TRUE(k.has_value());
    EXPECT_GE(k->stamps, 20);
    EXPECT_NEAR(k->sumAt(200, 200), 0.8, 0.03);
    EXPECT_NEAR(k->backgroundAt(200, 200), 10, 3);
    // its width: sqrt(1.6^2 - 1^2) = 1.25 px, from the second moment of the kernel
    const auto kk = k->at(200, 200);
    const int side = 2 * k->half + 1;
    double s = 0, m2 = 0;
    for (int v = 0; v < side; ++v)
        for (int x = 0; x < side; ++x) {
            s += kk[v * side + x];
            m2 += kk[v * side + x] * ((x - k->half) * (x - k->half) + (v - k->half) * (v - k->half));
        }
    EXPECT_NEAR(std::sqrt(m2 / s / 2), 1.25, 0.12);

    // too few stars: no kernel, the caller subtracts plainly
    in.stars.resize(5);
    EXPECT_FALSE(engine::FitMatchingKernel(in).has_value());
}

TEST(DifferenceDetection, HotPixelsAndDipolesAreNotSuspicious) {
    astrometry::FitsImage img = noiseDifference(9);
    addGaussian(img.pixels, 100.3, 100.6, 3000, 1.3);  // a new star: kept
    img.pixels[300 * kW + 100] += 1500;                  // a lone hot pixel
    addGaussian(img.pixels, 300.0, 300.0, 4000, 1.3);    // a star that moved: a dipole
    addGaussian(img.pixels, 302.5, 300.0, -4000, 1.3);
    img.header = card("STARWID", 1.1) + card("PSFSIG", 1.3) + card("NOISECOR", 1.0);
    img.headerCards = 3;
    const auto r = astrometry::DetectStars(img, {});
    int near100 = 0, hot = 0, dipole = 0;
    for (const auto& s : r.stars) {
        if (std::hypot(s.x - 101.3, s.y - 101.6) < 2) ++near100;
        if (std::hypot(s.x - 101, s.y - 301) < 2) ++hot;
        if (std::hypot(s.x - 301, s.y - 301) < 3) ++dipole;
    }
    EXPECT_EQ(near100, 1);
    EXPECT_EQ(hot, 0);
    EXPECT_EQ(dipole, 0);
    EXPECT_GE(r.rejectedSharp, 1);
    EXPECT_GE(r.rejectedDipoles, 1);
}

// Real cameras' defects that are not one lone pixel: a hot pair, a ray's
// L-shaped track. Their light is too narrow for the point spread, however it
// shares out over their pixels; faint and bright stars stay. Also after a
// plain scaled subtraction, whose record names only the stars' width.
TEST(DifferenceDetection, DefectsNarrowerThanThePointSpreadAreNotSuspicious) {
    for (const bool matched : {true, false}) {
        astrometry::FitsImage img = noiseDifference(21);
        const auto at = [&](int x, int y) -> float& { return img.pixels[static_cast<std::size_t>(y) * kW + x]; };
        // as bright against the noise as those of the real pairs
        at(100, 300) += 135, at(101, 300) += 72, at(100, 301) += 20; // a hot pair
        at(300, 100) += 160, at(299, 101) += 55, at(299, 102) += 30, at(300, 102) += 25; // a ray's track
        addGaussian(img.pixels, 200.4, 200.3, 6000, 1.8);          // a bright new star
        addGaussian(img.pixels, 60.5, 200.5, 450, 1.8);            // a faint one, S/N about 7
        img.header = card("STARWID", 1.8) + card("NOISECOR", 1.0) + (matched ? card("PSFSIG", 1.8) : "");
        img.headerCards = matched ? 3 : 2;
        astrometry::DetectionSettings s;
        s.sigma = 5;
        const auto r = astrometry::DetectStars(img, s);
        const auto near = [&](double x, double y) {
            int n = 0;
            for (const auto& st : r.stars) n += std::hypot(st.x - 1 - x, st.y - 1 - y) < 2.5;
            return n;
        };
        EXPECT_EQ(near(200.4, 200.3), 1) << matched;
        EXPECT_EQ(near(60.5, 200.5), 1) << matched;
        EXPECT_EQ(near(100.5, 300), 0) << matched;
        EXPECT_EQ(near(299.5, 101), 0) << matched;
    }
}

// A space telescope's warm pixels come in clusters, each pixel at another
// level in each frame: three lone pixels within two of each other, which no
// one near-point fits and the point spread only fairly. Near-points on the
// three fit far better; a star does not, nor one beside a hot pixel (the hot
// pixel has its near-point in both models), nor a faint star.
TEST(SourceShape, WarmPixelClustersAreTold) {
    astrometry::FitsImage img = noiseDifference(5);
    const auto at = [&](int x, int y) -> float& { return img.pixels[static_cast<std::size_t>(y) * kW + x]; };
    at(100, 300) += 160, at(102, 301) += 110, at(100, 302) += 90; // a warm cluster
    addGaussian(img.pixels, 200.3, 200.6, 3000, 1.6);              // a star, S/N about 40
    at(203, 197) += 600;                                           // a hot pixel beside it
    addGaussian(img.pixels, 300.0, 100.0, 3000, 1.6);              // the same star alone
    addGaussian(img.pixels, 60.5, 200.5, 600, 1.6);                // a faint one, S/N about 8
    const astrometry::ShapeStamp stamp{img.pixels, img.noise, kW, kH};
    const auto cluster = [&](int x, int y) { return astrometry::ClusterPreference(stamp, x, y, 1.6); };
    EXPECT_GT(cluster(100, 300), 25);
    EXPECT_LT(cluster(200, 201), 0);
    EXPECT_LT(cluster(300, 100), 0);
    EXPECT_LT(cluster(60, 200), 25);
}

// A detector's noisy rows: the left half scatters twice as much as the noise
// image says. Sources there are judged against that scatter: its noise peaks
// and a source of S/N 8 (on the noise image) go, a bright one stays; the same
// faint source in the quiet half stays.
TEST(DifferenceDetection, SourcesAreJudgedAgainstTheScatterAroundThem) {
    astrometry::FitsImage img = noiseDifference(13);
    std::mt19937 rng(14);
    std::normal_distribution<float> extra(0, 10 * std::sqrt(3.f));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW / 2; ++x) img.pixels[static_cast<std::size_t>(y) * kW + x] += extra(rng);
    const double sigma = 1.5, unit = 10 * std::sqrt(4 * M_PI * sigma * sigma); // flux of S/N 1
    addGaussian(img.pixels, 100.4, 100.3, 8 * unit, sigma);
    addGaussian(img.pixels, 100.6, 300.2, 40 * unit, sigma);
    addGaussian(img.pixels, 300.4, 100.3, 8 * unit, sigma);
    img.header = card("STARWID", 1.2) + card("PSFSIG", sigma) + card("NOISECOR", 1.0);
    img.headerCards = 3;
    astrometry::DetectionSettings s;
    s.sigma = 5;
    const auto r = astrometry::DetectStars(img, s);
    int noisyHalf = 0, faintNoisy = 0, bright = 0, faintQuiet = 0;
    for (const auto& st : r.stars) {
        const double x = st.x - 1, y = st.y - 1;
        noisyHalf += x < kW / 2 - 10;
        faintNoisy += std::hypot(x - 100.4, y - 100.3) < 2;
        bright += std::hypot(x - 100.6, y - 300.2) < 2;
        faintQuiet += std::hypot(x - 300.4, y - 100.3) < 2;
    }
    EXPECT_EQ(faintNoisy, 0);
    EXPECT_EQ(bright, 1);
    EXPECT_EQ(faintQuiet, 1);
    EXPECT_LE(noisyHalf, 2); // the bright source, perhaps one noise peak of 10 sigma
    EXPECT_GT(r.rejectedNoisy, 10);
}

// How many of the sources (0-based places) a 5 sigma search of the difference
// finds within 2 px; and how many sources it finds in all.
std::pair<int, std::size_t> searchAt(const astrometry::FitsImage& img, const std::vector<std::pair<double, double>>& at) {
    astrometry::DetectionSettings s;
    s.sigma = 5;
    const auto r = astrometry::DetectStars(img, s);
    int found = 0;
    for (const auto& [x, y] : at)
        for (const auto& st : r.stars)
            if (std::hypot(st.x - 1 - x, st.y - 1 - y) < 2) {
                ++found;
                break;
            }
    return {found, r.stars.size()};
}

TEST(DifferenceDetection, FaintSourcesJustAboveTheThresholdAreFound) {
    // 49 sources of optimal S/N 5.5 (a PSF-weighted measurement) on noise of 10,
    // a threshold of 5: half of them and more must be found, and the noise alone next to nothing
    astrometry::FitsImage img;
    img.width = kW;
    img.height = kH;
    img.noise.assign(kW * kH, 10.f);
    std::mt19937 rng(21);
    std::normal_distribution<float> g(0, 10);
    img.pixels.resize(kW * kH);
    for (auto& v : img.pixels) v = g(rng);
    const auto noiseOnly = img.pixels;
    const double sigma = 1.3, flux = 5.5 * 10 * std::sqrt(4 * M_PI * sigma * sigma);
    std::vector<std::pair<double, double>> at;
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 7; ++i) at.emplace_back(35 + 55 * i + 0.37 * j, 35 + 55 * j + 0.29 * i);
    for (const auto& [x, y] : at) addGaussian(img.pixels, x, y, flux, sigma);
    img.header = card("STARWID", 1.1) + card("PSFSIG", sigma) + card("NOISECOR", 1.0);
    img.headerCards = 3;
    EXPECT_GE(searchAt(img, at).first, 27) << "of 49"; // half and more (three pixels above the threshold found 20)
    img.pixels = noiseOnly;
    EXPECT_LE(searchAt(img, {}).second, 1u);
}

TEST(DifferenceDetection, FaintUndersampledSourcesAreFound) {
    // Undersampled (Moffat, FWHM 1.9 px) at an optimal S/N of 5.5 on the pixels:
    // the matched filter's peak tops 5 sigma about two times in three, its
    // neighbours lie up to a third lower. Asking for two pixels above the
    // threshold found about half; the noise alone gives a peak above 5 sigma
    // now and then.
    const int w = 1200, h = 1200, grid = 24;
    const double fwhm = 1.9, beta = 3, noise = 10, alpha = fwhm / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
    astrometry::FitsImage img;
    img.width = w;
    img.height = h;
    img.noise.assign(static_cast<std::size_t>(w) * h, static_cast<float>(noise));
    img.header = card("STARWID", 0.85) + card("PSFSIG", 1.09) + card("NOISECOR", 1.0);
    img.headerCards = 3;
    std::mt19937 rng(11);
    std::normal_distribution<float> g(0, static_cast<float>(noise));
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    img.pixels.resize(img.noise.size());
    for (auto& v : img.pixels) v = g(rng);
    auto noiseOnly = img;
    for (auto& v : noiseOnly.pixels) v = g(rng);
    std::vector<std::pair<double, double>> at;
    for (int gy = 0; gy < grid; ++gy)
        for (int gx = 0; gx < grid; ++gx) {
            const double cx = 25 + 50 * gx + u(rng), cy = 25 + 50 * gy + u(rng);
            const long px = std::lround(cx), py = std::lround(cy);
            // the light each pixel collects, and the flux that makes the S/N 5.5
            const auto share = skysim::MoffatShares(cx - px, cy - py, alpha, beta, 8);
            double sum2 = 0;
            for (double v : share) sum2 += v * v;
            const double flux = 5.5 * noise / std::sqrt(sum2);
            std::size_t k = 0;
            for (int y = -8; y <= 8; ++y)
                for (int x = -8; x <= 8; ++x, ++k)
                    img.pixels[static_cast<std::size_t>(py + y) * w + px + x] += static_cast<float>(flux * share[k]);
            at.emplace_back(cx, cy);
        }
    EXPECT_GT(searchAt(img, at).first, 0.57 * at.size()) << "of " << at.size();
    EXPECT_LE(searchAt(noiseOnly, {}).second, 4u);
}

TEST(MatchedSubtraction, BroaderSeeingLeavesNoiseAtTheStars) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-psf-" + std::to_string(::getpid()));
    auto o = seeingPair(dir, 41, 2.4, 3.6);
    o.reference.transparency = 1.0;
    o.reshot.transparency = 0.85;
    o.cosmicRays = false;
    o.hotPixels = false;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    // the residual at bright stars with and without matching
    auto residual = [&](bool matching) {
        testsupport::SubtractedPair run(o.out, matching);
        if (matching) {
            EXPECT_NEAR(run.sub->lastFluxScale(), 0.85, 0.02);
        }
        return medianCoreChi2(*run.sub, pair, 1024);
    };
    const double plain = residual(false), matched = residual(true);
    // a ring at every star without; close to the noise with (bright stars keep
    // a little of their light in the residual: alignment to a few hundredths of a pixel)
    EXPECT_GT(plain, 5.0);
    EXPECT_LT(matched, 3.0);
    EXPECT_LT(matched * 4, plain);
    fs::remove_all(dir);
}

// A small cut-out with too few stars for a fitted kernel: the sharper image
// is still matched, by a Gaussian from the two point spreads' widths, and
// the stars leave noise, not rings.
TEST(MatchedSubtraction, ASmallFieldIsMatchedFromTheStarsWidths) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-psf-small-" + std::to_string(::getpid()));
    auto o = seeingPair(dir, 1, 2.5, 4.5);
    o.width = o.height = 384;
    o.density = 6000;
    o.maxOffsetArcmin = 0.3;
    o.galaxy = false;
    o.reference.transparency = 1.0;
    o.reshot.transparency = 0.85;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    testsupport::SubtractedPair run(o.out);
    EXPECT_NEAR(run.sub->lastFluxScale(), 0.85, 0.03);
    EXPECT_LT(medianCoreChi2(*run.sub, pair, 384), 3.0);
    fs::remove_all(dir);
}

TEST(MatchedSubtraction, RaysAndHotPixelsOfTheConvolvedImageCostNoDifferencePixels) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-rays-" + std::to_string(::getpid()));
    // the reshot is the sharper, with the rays: it is the one convolved
    auto o = seeingPair(dir, 43, 3.2, 2.4);
    o.reshot.exptime = 300; // rays come with time
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    engine::Application app;
    app.SetCatalog("5", o.out + "/catalog", 18);
    auto ref = app.CreateDocument(), reshot = app.CreateDocument();
    ref->OpenFile(o.out + "/reference.fts");
    reshot->OpenFile(o.out + "/reshot.fts");
    reshot->AlignToThis(3, false);
    auto sub = reshot->DuplicateDocument();
    sub->SubtractDocument(*ref);
    // each ray and hot pixel used to blank a square as wide as the kernel and
    // more; now only saturated stars and the uncovered border do
    long long blank = 0, inside = 0;
    for (int y = 60; y < 964; ++y)
        for (int x = 60; x < 964; ++x, ++inside) blank += !std::isfinite(sub->pixels()[static_cast<std::size_t>(y) * 1024 + x]);
    ASSERT_GT(pair.reshot.cosmicRays.size(), 30u);
    EXPECT_LT(double(blank) / inside, 0.002) << blank;
    // and what the patches leave is noise, not sources
    sub->SaveFile(o.out + "/sub.fts", 3);
    astrometry::DetectionSettings s;
    s.sigma = 5;
    const auto found = astrometry::DetectStars(astrometry::ReadFitsImage(o.out + "/sub.fts"), s);
    EXPECT_LE(found.stars.size(), 3u);
    fs::remove_all(dir);
}

// The flux scale decides how much of a galaxy's bulge is left: the bulge is
// light from all around, so it needs the stars' whole light, wings and all,
// and new stars must not count among the stars.
TEST(MatchedSubtraction, BulgeOfASharperReshotIsNotOverSubtracted) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-psf-bulge-" + std::to_string(::getpid()));
    auto o = seeingPair(dir, 47, 2.8, 2.0); // the reshot sharper: it is the one convolved
    o.reference.transparency = 1.0;
    o.reshot.transparency = 0.9;
    o.reference.offsetRa = 1.2;
    o.reference.offsetDec = 1.6;
    o.reference.rotation = 0.5;
    o.cosmicRays = false;
    o.hotPixels = false;
    o.supernovae = {16.0, 16.5, 17.0, 15.5, 16.2, 16.8, 15.8, 17.2};
    o.editField = [](skysim::Field& f, const skysim::Epoch&, const skysim::Epoch&) {
        f.galaxy->bulgeMag = 10.0;
        f.galaxy->bulgeRe = 20;
    };
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    testsupport::SubtractedPair run(o.out);
    const auto& sub = run.sub;
    EXPECT_NEAR(sub->lastFluxScale(), 0.9, 0.004 * 0.9);

    double gx = 0, gy = 0;
    ASSERT_TRUE(pair.reshot.plate.skyToPixel(pair.field.galaxy->ra, pair.field.galaxy->dec, gx, gy));
    const double sky = engine::MeasureSky(run.reshot->pixels()).level;
    double left = 0, light = 0;
    for (int y = static_cast<int>(gy) - 16; y <= static_cast<int>(gy) + 16; ++y)
        for (int x = static_cast<int>(gx) - 16; x <= static_cast<int>(gx) + 16; ++x) {
            if (std::hypot(x - (gx - 1), y - (gy - 1)) > 15) continue;
            bool nearNew = false; // a new star's light is no part of the bulge
            for (const auto& s : pair.reshot.supernovae) nearNew |= std::hypot(x - (s.x - 1), y - (s.y - 1)) < 7;
            if (nearNew) continue;
            const std::size_t i = static_cast<std::size_t>(y) * 1024 + x;
            ASSERT_TRUE(std::isfinite(sub->pixels()[i]));
            left += sub->pixels()[i];
            light += run.reshot->pixels()[i] - sky;
        }
    // it was 1.2 % too little with the stars' light within 2.5 FWHM and the new stars counted
    EXPECT_LT(std::abs(left / light), 0.005) << left << " of " << light;
    fs::remove_all(dir);
}
