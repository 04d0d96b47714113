// Detection thresholds against the per-pixel noise of a NOISE extension.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <cmath>
#include <filesystem>

#include "astrometry/detection.h"
#include "astrometry/plate.h"
#include "platform/fits_handle.h"
#include "random.h"

namespace fs = std::filesystem;

namespace {
// Pure noise: sigma 5, and 150 in a square where a bright star's residual would
// be; optionally with the NOISE extension that says so.
std::string writeNoise(const fs::path& path, bool withNoise) {
    const int w = 400, h = 300;
    std::vector<float> pix(w * h), noise(w * h);
    skysim::Random rnd(3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool core = x > 150 && x < 230 && y > 100 && y < 180;
            const float s = core ? 150.f : 5.f;
            noise[y * w + x] = s;
            pix[y * w + x] = static_cast<float>(100 + s * rnd.normal());
        }
    int status = 0;
    fitsfile* raw = nullptr;
    fits_create_file(&raw, ("!" + path.string()).c_str(), &status);
    platform::FitsFile f(raw);
    long axes[2] = {w, h};
    fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
    fits_write_img(f.get(), TFLOAT, 1, w * h, pix.data(), &status);
    if (withNoise) {
        fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
        fits_write_key_str(f.get(), "EXTNAME", "NOISE", "one standard deviation per pixel", &status);
        fits_write_img(f.get(), TFLOAT, 1, w * h, noise.data(), &status);
    }
    EXPECT_EQ(status, 0);
    return path.string();
}
} // namespace

TEST(NoiseImage, ThresholdFollowsThePerPixelNoise) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-noise-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    astrometry::DetectionSettings s;
    s.sigma = 5;
    const auto with = astrometry::ReadFitsImage(writeNoise(dir / "with.fts", true));
    ASSERT_EQ(with.noise.size(), with.pixels.size());
    EXPECT_LE(astrometry::DetectStars(with, s).stars.size(), 1u);
    const auto without = astrometry::ReadFitsImage(writeNoise(dir / "without.fts", false));
    EXPECT_TRUE(without.noise.empty());
    // one global noise figure: the noisy square is full of false stars
    EXPECT_GT(astrometry::DetectStars(without, s).stars.size(), 20u);
    EXPECT_NEAR(astrometry::BackgroundLevel((dir / "with.fts").string()), 100, 5);
    fs::remove_all(dir);
}
