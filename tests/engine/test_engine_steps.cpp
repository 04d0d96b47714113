// The engine's steps called alone: what each takes, gives and guarantees.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "astrometry/difference_record.h"
#include "astrometry/fits_image.h"
#include "engine/alignment_map.h"
#include "engine/bad_lines.h"
#include "engine/application.h"
#include "engine/difference_cards.h"
#include "engine/document.h"
#include "engine/errors.h"
#include "engine/flux_scale.h"
#include "engine/image_writers.h"
#include "engine/line_stats.h"
#include "engine/no_data_mask.h"
#include "engine/saturation.h"
#include "engine/sharp_sources.h"
#include "engine/star_finder.h"
#include "engine/star_matching.h"
#include "engine/subtraction.h"
#include "platform/fits_handle.h"
#include "support/files.h"
#include "support/history_text.h"
#include "support/temp_dir.h"

namespace {

std::string card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

// A TAN solution of a 200 x 200 image at 1"/px whose reference pixel is (cx, cy).
astrometry::Wcs tanAt(double cx, double cy) {
    const std::string h = card("CTYPE1  = 'RA---TAN'") + card("CTYPE2  = 'DEC--TAN'") +
                          card("CRVAL1  = 150.0") + card("CRVAL2  = 20.0") + card("CRPIX1  = " + std::to_string(cx)) +
                          card("CRPIX2  = " + std::to_string(cy)) + card("CD1_1   = -0.000277777778") +
                          card("CD1_2   = 0.0") + card("CD2_1   = 0.0") + card("CD2_2   = 0.000277777778");
    return astrometry::Wcs::FromHeader(h, 10);
}

int hduCount(const std::string& path) {
    int status = 0, hdus = 0;
    fitsfile* raw = nullptr;
    fits_open_file(&raw, path.c_str(), READONLY, &status);
    platform::FitsFile f(raw);
    fits_get_num_hdus(f.get(), &hdus, &status);
    return status ? -1 : hdus;
}

void addStar(std::vector<float>& img, int w, double x, double y, double flux, double sigma) {
    const int h = static_cast<int>(img.size()) / w;
    for (int j = std::max(0, int(y) - 12); j < std::min(h, int(y) + 13); ++j)
        for (int i = std::max(0, int(x) - 12); i < std::min(w, int(x) + 13); ++i)
            img[static_cast<std::size_t>(j) * w + i] += static_cast<float>(
                flux / (2 * M_PI * sigma * sigma) * std::exp(-((i - x) * (i - x) + (j - y) * (j - y)) / (2 * sigma * sigma)));
}

// n stars spread evenly over [lo, hi) in x and y.
std::vector<astrometry::P> randomStars(unsigned seed, int n, double lo, double hi) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> at(lo, hi);
    std::vector<astrometry::P> out;
    for (int i = 0; i < n; ++i) {
        const double x = at(rng), y = at(rng);
        out.push_back({x, y});
    }
    return out;
}

} // namespace

TEST(DifferenceRecordStep, WrittenOnceReadOnceThroughTheFile) {
    testsupport::TempDir t("vospen-steps");
    const std::string path = (t.path / "d.fts").string();
    astrometry::DifferenceRecord r;
    r.starWidth = 1.25;
    r.apertureCorrection = 1.4;
    r.psfSigma = 1.1;
    r.noiseCorrelation = 1.8;
    r.fluxScale = 0.93;
    r.zeroPoint = 24.5;
    engine::HeaderCards h(card("OBJECT  = 'NGC 2903'"));
    engine::WriteDifferenceRecord(h, r, "Subtracted x.fts scaled by 0.93");
    // the history line sits between the search's cards and the scale, as products always had it
    const std::string all = h.block();
    EXPECT_LT(all.find("NOISECOR"), all.find("HISTORY"));
    EXPECT_LT(all.find("HISTORY"), all.find("FLUXSCAL"));
    std::vector<float> pixels(16, 1.f), noise(16, 2.f);
    engine::WriteFloatFits(path, pixels, 4, 4, h, &noise);
    const auto back = astrometry::ReadDifferenceRecord(astrometry::ReadFitsImage(path));
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(back->starWidth, 1.25, 1e-9);
    EXPECT_NEAR(back->apertureCorrection, 1.4, 1e-9);
    EXPECT_NEAR(back->psfSigma, 1.1, 1e-9);
    EXPECT_NEAR(back->noiseCorrelation, 1.8, 1e-9);
    EXPECT_NEAR(back->fluxScale, 0.93, 1e-9);
    ASSERT_TRUE(back->zeroPoint.has_value());
    EXPECT_NEAR(*back->zeroPoint, 24.5, 1e-9);

    // unknown values are not written; the mark of a difference always is
    astrometry::DifferenceRecord bare;
    engine::HeaderCards h2;
    engine::WriteDifferenceRecord(h2, bare, "scaled");
    EXPECT_TRUE(h2.has("STARWID"));
    EXPECT_FALSE(h2.has("PSFSIG"));
    EXPECT_FALSE(h2.has("MAGZERO"));

    // an image without the mark is no difference, whatever else it carries
    engine::HeaderCards plain(card("FLUXSCAL=                  1.0") + card("MAGZERO =                 25.0"));
    engine::WriteFloatFits((t.path / "p.fts").string(), pixels, 4, 4, plain, nullptr);
    EXPECT_FALSE(astrometry::ReadDifferenceRecord(astrometry::ReadFitsImage((t.path / "p.fts").string())));
}

// The products go through a file driver of our own with large writes: the
// file must be the one cfitsio's own driver writes, byte for byte, across
// its buffer's end, with the noise extension after the image.
TEST(ProductFilesStep, WrittenInLargeBlocksTheBytesAreCfitsiosOwn) {
    testsupport::TempDir t("vospen-steps");
    const int w = 701, h = 433; // 1.2 MB a plane: over the megabyte held, not whole 2880-byte blocks
    std::vector<float> pixels(static_cast<std::size_t>(w) * h), noise(pixels.size());
    std::mt19937 rng(5);
    std::normal_distribution<float> g(500, 30);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = g(rng);
        noise[i] = std::sqrt(std::abs(pixels[i]));
    }
    pixels[1234] = std::numeric_limits<float>::quiet_NaN();
    const engine::HeaderCards header(card("OBJECT  = 'NGC 2903'") + card("EXPTIME =                 60.0"));
    const std::string ours = (t.path / "ours.fts").string(), theirs = (t.path / "theirs.fts").string();
    engine::WriteFloatFits(ours, pixels, w, h, header, &noise);

    int status = 0;
    fitsfile* raw = nullptr;
    fits_create_file(&raw, ("!" + theirs).c_str(), &status);
    platform::FitsFile f(raw);
    long axes[2] = {w, h};
    fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
    for (std::string c : header.userCards()) fits_write_record(f.get(), c.c_str(), &status);
    fits_write_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
    fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
    fits_write_key_str(f.get(), "EXTNAME", "NOISE", "one standard deviation per pixel, ADU", &status);
    fits_write_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(noise.size()), noise.data(), &status);
    f.reset();
    ASSERT_EQ(status, 0);
    const std::string a = testsupport::Slurp(ours), b = testsupport::Slurp(theirs);
    EXPECT_EQ(a.size() % 2880, 0u);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    EXPECT_EQ(hduCount(ours), 2);
}

TEST(DifferenceRecordStep, AReopenedDifferenceKeepsItsNoiseWhenSavedAgain) {
    testsupport::TempDir t("vospen-steps");
    const std::string path = (t.path / "d.fts").string(), again = (t.path / "again.fts").string();
    engine::HeaderCards h;
    engine::WriteDifferenceRecord(h, astrometry::DifferenceRecord{}, "scaled");
    std::vector<float> pixels(64 * 64), noise(64 * 64, 3.f);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<float>(i % 7); // not one value
    engine::WriteFloatFits(path, pixels, 64, 64, h, &noise);
    engine::Application app;
    auto d = app.CreateDocument();
    d->OpenFile(path);
    d->SaveFile(again, engine::kFileFitsFloat);
    EXPECT_EQ(hduCount(again), 2); // the search thresholds against it
    EXPECT_FLOAT_EQ(astrometry::ReadFitsImage(again).noise[100], 3.f);
    // a plain image saved: no noise extension
    engine::WriteFloatFits((t.path / "p.fts").string(), pixels, 64, 64, engine::HeaderCards(), nullptr);
    d->OpenFile((t.path / "p.fts").string());
    d->SaveFile(again, engine::kFileFitsFloat);
    EXPECT_EQ(hduCount(again), 1);
}

TEST(ReadImageStep, AnImageWithoutDataIsRefusedWithItsReason) {
    testsupport::TempDir t("vospen-steps");
    engine::Application app;
    auto d = app.CreateDocument();
    for (const float v : {0.f, 1234.f, std::numeric_limits<float>::quiet_NaN()}) {
        const std::string path = (t.path / "blank.fts").string();
        engine::WriteFloatFits(path, std::vector<float>(100 * 80, v), 100, 80, engine::HeaderCards(), nullptr);
        try {
            d->OpenFile(path);
            ADD_FAILURE() << "opened an image of one value " << v;
        } catch (const engine::Error& e) {
            EXPECT_EQ(e.number(), engine::kOpenFailed);
            EXPECT_NE(e.description().find("blank.fts holds no image data"), std::string::npos) << e.description();
        }
    }
}

TEST(NoDataMaskStep, BlanksAndSaturationGrowByTheReachButPatchedPixelsDoNot) {
    const int w = 20, h = 20;
    std::vector<float> templ(w * h, 100.f), science(w * h, 100.f);
    templ[5 * w + 5] = std::numeric_limits<float>::quiet_NaN();
    templ[15 * w + 15] = std::numeric_limits<float>::infinity();
    templ[2 * w + 17] = std::numeric_limits<float>::quiet_NaN(); // given back by a patch
    science[10 * w + 2] = 5000;                                   // saturated in the science image
    science[17 * w + 6] = std::numeric_limits<float>::quiet_NaN(); // no data in the science image
    const auto noData = engine::NoDataMask(templ);
    EXPECT_EQ(noData[5 * w + 5], 1);
    EXPECT_EQ(noData[15 * w + 15], 1);
    EXPECT_EQ(noData[0], 0);
    std::vector<unsigned char> given(w * h, 0);
    given[2 * w + 17] = 1;
    const auto m = engine::UnusableMask(templ, science, noData, given, 1e9f, 4000.f, w, h, 2);
    EXPECT_EQ(m[7 * w + 7], 1);   // 2 px from the blank
    EXPECT_EQ(m[8 * w + 8], 0);   // 3 px
    EXPECT_EQ(m[12 * w + 4], 1);  // around the saturated pixel
    EXPECT_EQ(m[2 * w + 17], 0);  // patched: usable
    EXPECT_EQ(m[19 * w + 8], 1);  // 2 px from the science image's blank
    EXPECT_EQ(m[0], 0);
}

// The image is passed in blocks of eight where nothing is bright: a star is
// found at every column of a block, in the last part-block of a row, and the
// brightest one is saturated whatever NaN lies about.
TEST(StarFinderStep, AStarAtEveryColumnOfABlockIsFoundTheBrightestSaturated) {
    const int w = 203, h = 60;
    std::vector<float> p(static_cast<std::size_t>(w) * h, 100.f);
    p[5] = p[w * h - 1] = NAN;
    std::vector<int> columns;
    for (int x = 9; x < w - 9; x += 17) columns.push_back(x); // every offset of a block
    columns.push_back(w - 10);                                // the last part-block, the brightest
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const int cx = columns[k], cy = 15 + 30 * static_cast<int>(k % 2);
        for (int y = cy - 4; y <= cy + 4; ++y)
            for (int x = cx - 4; x <= cx + 4; ++x)
                p[static_cast<std::size_t>(y) * w + x] +=
                    static_cast<float>((k + 1 < columns.size() ? 2000 : 3000) *
                                       std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 4.0));
    }
    // a threshold just under the faintest peak: only the peaks are above it
    const auto stars = engine::FindBrightStars(p, w, h, 100, 5, 360, 100);
    ASSERT_EQ(stars.size(), columns.size());
    std::vector<int> found;
    for (const auto& s : stars) found.push_back(static_cast<int>(std::lround(s.x - 1)));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, columns);
    EXPECT_TRUE(stars.front().saturated);
    EXPECT_FALSE(stars.back().saturated);
}

TEST(SaturationStep, AFlatTopOfSeveralPixelsIsSaturationALoneHotPixelIsNot) {
    std::vector<float> p(1000, 500.f);
    p[10] = 60000;
    EXPECT_FALSE(engine::FindSaturation(p).has_value());
    p[11] = p[12] = 60000;
    ASSERT_TRUE(engine::FindSaturation(p).has_value());
    EXPECT_DOUBLE_EQ(*engine::FindSaturation(p), 60000);
    EXPECT_FLOAT_EQ(engine::SaturationThreshold(60000.0, 1000), 1000 + 0.75f * 59000);
    EXPECT_TRUE(std::isinf(engine::SaturationThreshold(std::nullopt, 1000)));
    std::vector<float> faint(1000, 10.f);
    EXPECT_FALSE(engine::FindSaturation(faint).has_value()); // below any camera's full well
}

TEST(AlignmentMapStep, PlateSolutionsGiveTheShiftBetweenTheGrids) {
    const auto target = tanAt(100, 100), source = tanAt(110, 95);
    const auto map = engine::MapFromPlateSolutions(target, source, 200, 200);
    ASSERT_TRUE(map.has_value());
    for (const auto& [x, y] : {std::pair{1.0, 1.0}, std::pair{100.0, 100.0}, std::pair{190.0, 30.0}}) {
        const auto [u, v] = (*map)(x, y);
        EXPECT_NEAR(u, x + 10, 1e-3);
        EXPECT_NEAR(v, y - 5, 1e-3);
    }
    EXPECT_FALSE(engine::MapFromPlateSolutions(astrometry::Wcs(), source, 200, 200).has_value());
}

TEST(AlignmentMapStep, StarsRefineTheMapAndAWrongPairIsClipped) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> at(10, 990);
    std::vector<astrometry::P> a, b;
    astrometry::Pairs pairs;
    for (int i = 0; i < 40; ++i) {
        const double x = at(rng), y = at(rng);
        a.push_back({x, y});
        // a small rotation and a shift
        b.push_back({0.9999 * x - 0.01 * y + 3.5, 0.01 * x + 0.9999 * y - 2.25});
        pairs.emplace_back(i, i);
    }
    b[7] = {b[7].x + 6, b[7].y}; // a blend or a moved star
    const std::vector<double> var(a.size(), 1e-4);
    const auto fit = engine::FitMapToStars(a, var, b, var, pairs, engine::MapFrame::Of(1000, 1000));
    ASSERT_TRUE(fit.has_value());
    EXPECT_EQ(fit->stars, 39);
    EXPECT_LT(fit->rms, 1e-3);
    const auto [u, v] = fit->map(500, 500);
    EXPECT_NEAR(u, 0.9999 * 500 - 0.01 * 500 + 3.5, 1e-3);
    EXPECT_NEAR(v, 0.01 * 500 + 0.9999 * 500 - 2.25, 1e-3);
    // too few pairs: no map
    EXPECT_FALSE(engine::FitMapToStars(a, var, b, var, astrometry::Pairs(pairs.begin(), pairs.begin() + 5),
                                       engine::MapFrame::Of(1000, 1000)));
}

TEST(StarMatchingStep, TrianglesPairStarsWithoutAPrediction) {
    const std::vector<astrometry::P> a = randomStars(11, 30, 20, 780);
    std::vector<astrometry::P> b;
    // the other image: turned by 90 degrees and shifted, in another order
    for (int i = 29; i >= 0; --i) b.push_back({800 - a[i].y + 12, a[i].x - 7});
    const auto pairs = engine::PairByTriangles(a, b, 800, 800);
    ASSERT_GE(pairs.size(), 25u);
    for (const auto& [i, j] : pairs) EXPECT_EQ(j, 29 - i);
    EXPECT_TRUE(engine::PairByTriangles({a.begin(), a.begin() + 3}, b, 800, 800).empty());
}

TEST(FluxScaleStep, TheStarsRatioAndOneWithoutStarsEnough) {
    const int w = 300, h = 300;
    engine::Image image, other;
    image.width = other.width = w;
    image.height = other.height = h;
    image.pixels.assign(w * h, 100.f);
    other.pixels.assign(w * h, 100.f);
    std::vector<engine::BrightStar> stars;
    for (int i = 0; i < 7; ++i) {
        const double x = 30 + 35 * i, y = 40 + 30 * i;
        addStar(image.pixels, w, x - 1, y - 1, 12000, 1.5);
        addStar(other.pixels, w, x - 1, y - 1, 10000, 1.5);
        stars.push_back({x, y, 12000, 500, false});
    }
    EXPECT_NEAR(engine::ApertureFluxScale(image, other, stars), 1.2, 0.01);
    stars.resize(4);
    EXPECT_EQ(engine::ApertureFluxScale(image, other, stars), 1.0);
}

TEST(NoDataMaskStep, ZeroFilledBlocksAndAnUnexposedEdgeAreLeftOutNotStarsOrSaturation) {
    const int w = 200, h = 120;
    std::mt19937 rng(3);
    std::normal_distribution<float> sky(1000, 30), dark(600, 3);
    std::vector<float> p(w * h);
    for (auto& v : p) v = sky(rng);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 20; ++x) p[static_cast<std::size_t>(y) * w + x] = dark(rng); // an overscan strip
    for (int y = 50; y < 70; ++y)
        for (int x = 100; x < 140; ++x) p[static_cast<std::size_t>(y) * w + x] = 0; // a zero-filled block
    for (int y = 0; y < h; ++y) p[static_cast<std::size_t>(y) * w + 170] = 0;   // a dead column
    for (int x = 60; x < 80; ++x) p[30 * w + x] = 65535;                           // a saturated bleed
    const auto marked = engine::MarkNoData(p, w, h);
    EXPECT_EQ(marked, 20 * h + 40 * 20 + h);
    EXPECT_TRUE(std::isnan(p[5 * w + 3]));
    EXPECT_TRUE(std::isnan(p[60 * w + 120]));
    EXPECT_TRUE(std::isnan(p[10 * w + 170]));
    EXPECT_EQ(p[30 * w + 70], 65535); // brighter than the field: saturation, not missing data
    EXPECT_FALSE(std::isnan(p[60 * w + 99]));
    EXPECT_FALSE(std::isnan(p[5 * w + 21]));
    // an image without such areas is left alone
    std::vector<float> clean(w * h);
    for (auto& v : clean) v = sky(rng);
    EXPECT_EQ(engine::MarkNoData(clean, w, h), 0);
}

TEST(StarMatchingStep, SolutionsThatDisagreeByTensOfPixelsStillPairTheStars) {
    const std::vector<astrometry::P> a = randomStars(5, 150, 0, 1000);
    std::vector<astrometry::P> b;
    for (const auto& p : a) b.push_back({p.x + 23.4, p.y - 17.2}); // where the stars really are
    for (const auto& p : randomStars(6, 40, 0, 1000)) b.push_back(p); // stars of the other image only
    const engine::PolyMap identity = engine::PolyMap::Identity();
    astrometry::P shift{0, 0};
    const auto pairs = engine::PairByMap(a, b, identity, 64, &shift);
    EXPECT_GE(pairs.size(), 140u);
    for (const auto& [i, j] : pairs) EXPECT_EQ(i, j);
    EXPECT_NEAR(shift.x, 23.4, 0.5);
    EXPECT_NEAR(shift.y, -17.2, 0.5);
    // within the 4-px window no shift is sought
    astrometry::P none{0, 0};
    std::vector<astrometry::P> near;
    for (const auto& p : a) near.push_back({p.x + 1.5, p.y});
    EXPECT_EQ(engine::PairByMap(a, near, identity, 64, &none).size(), a.size());
    EXPECT_EQ(none.x, 0);
}

// A hot pixel of the camera shows in both frames at nearly one place when the
// field barely moved: the template's is still patched (the other image's lone
// pixel is no source to keep). A sharp peak on a star of the other image is
// not touched. A cold clump is patched (convolved it would be a positive
// spot); a dip beside a star, where resampling rings, is not.
TEST(SharpSourcesStep, AHotPixelInBothFramesIsPatchedOneOnAStarIsNot) {
    const int w = 120, h = 120;
    std::vector<float> templ(w * h), other(w * h), noise(w * h, 10.f), otherNoise(w * h, 10.f);
    std::mt19937 rng(3);
    std::normal_distribution<float> g(0, 10);
    for (std::size_t i = 0; i < templ.size(); ++i) templ[i] = 1000 + g(rng), other[i] = 1000 + g(rng);
    const auto star = [&](std::vector<float>& img, double x, double y, double flux) {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const double d2 = (i - x) * (i - x) + (j - y) * (j - y);
                img[static_cast<std::size_t>(j) * w + i] += static_cast<float>(flux * std::exp(-d2 / 8) / (8 * M_PI));
            }
    };
    templ[40 * w + 40] += 3000, other[40 * w + 41] += 2500; // the camera's hot pixel, the field moved 0.4 px
    templ[80 * w + 80] += 3000;                               // a ray on a star that only the other image shows
    star(other, 80.3, 80.2, 40000);
    // a cold clump of the template, and a dip as deep beside a star (a resampling ring)
    templ[20 * w + 90] -= 70, templ[20 * w + 91] -= 40, templ[21 * w + 90] -= 30;
    star(templ, 30.0, 95.0, 40000);
    templ[95 * w + 32] -= 70;
    std::vector<unsigned char> marks(templ.size(), 0);
    const engine::SharpSearch in{templ, noise, other, otherNoise, w, h, 1000, 1.5};
    EXPECT_EQ(engine::MarkSharpSources(in, marks), 2);
    EXPECT_EQ(marks[40 * w + 40], 1);
    EXPECT_EQ(marks[80 * w + 80], 0);
    EXPECT_EQ(marks[20 * w + 90], 1);
    EXPECT_EQ(marks[21 * w + 90], 1) << "the clump's other pixels go with it";
    EXPECT_EQ(marks[95 * w + 32], 0);
}

// The noise model of each image can miss (a fixed pattern both frames share, a
// colour mosaic counted as noise, pixels that are not counts): the difference's
// noise image is scaled to its own scatter, and its history says so. One that
// tells the truth is left alone.
TEST(SubtractionStep, TheDifferencesNoiseIsScaledToItsMeasuredScatter) {
    const int w = 300, h = 300;
    for (const double claimed : {10.0, 25.0}) { // the true per-image noise is 10 ADU
        std::mt19937 rng(5);
        std::normal_distribution<float> g(0, 10);
        engine::Image a, b;
        for (engine::Image* img : {&a, &b}) {
            img->width = w, img->height = h;
            img->pixels.resize(w * h);
            for (auto& v : img->pixels) v = 1000 + g(rng);
            img->noise.assign(w * h, static_cast<float>(claimed));
        }
        engine::SubtractionSettings settings;
        settings.psfMatching = false;
        const engine::SkyStats sky{1000, 10};
        engine::SubtractImages(a, sky, tanAt(150, 150), b, sky, settings);
        std::vector<double> z;
        for (std::size_t i = 0; i < a.pixels.size(); ++i) z.push_back(std::abs(a.pixels[i] / a.noise[i]));
        std::nth_element(z.begin(), z.begin() + z.size() / 2, z.end());
        EXPECT_NEAR(1.4826 * z[z.size() / 2], 1.0, 0.1) << claimed;
        const std::string history = testsupport::HistoryText(a.header.block());
        const bool said = history.find("noise scaled by") != std::string::npos;
        EXPECT_EQ(said, claimed != 10.0) << claimed;
    }
}

// A hot column and a cold row of the sensor are evened out; a sky gradient,
// bright stars and a colour mosaic's alternating lines are not touched.
// A camera's whole numbers repeat often; only runs of 16 or more of one
// value at no more than the sky are missing data, wherever they start.
TEST(NoDataMaskStep, RunsOfSixteenAreFoundAtEveryOffsetShorterOnesAreNot) {
    const int w = 203, h = 157;
    std::mt19937 rng(11);
    std::normal_distribution<float> sky(1000, 3);
    std::vector<float> p(static_cast<std::size_t>(w) * h);
    for (auto& v : p) v = std::round(sky(rng));
    long long expected = 0;
    for (int k = 0; k < 24; ++k) {
        // 14 to 17 long, starting at every offset of a block, along the rows
        // on the left and down the columns on the right
        const int length = 14 + k % 4, y = 3 + 6 * k, x = 1 + 3 * k;
        for (int i = 0; i < length; ++i) p[static_cast<std::size_t>(y) * w + x + i] = 0;
        const int cx = 130 + 2 * k, cy = 1 + 5 * k;
        for (int i = 0; i < length; ++i) p[static_cast<std::size_t>(cy + i) * w + cx] = 7;
        if (length >= 16) expected += 2 * length;
    }
    for (int x = w - 16; x < w; ++x) p[static_cast<std::size_t>(h - 1) * w + x] = 0; // to the last pixel
    for (int y = h - 16; y < h; ++y) p[static_cast<std::size_t>(y) * w + w - 1] = 0;
    expected += 31;
    for (int x = 40; x < 90; ++x) p[static_cast<std::size_t>(2) * w + x] = 60000; // brighter than the sky
    EXPECT_EQ(engine::MarkNoData(p, w, h), expected);
}

// The median and quartiles are those of the sorted line.
TEST(BadLinesStep, ALinesStatisticsAreThoseOfItsSortedSample) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0, 100);
    for (const int w : {8, 9, 31, 256, 257}) {
        std::vector<float> row(static_cast<std::size_t>(w));
        for (auto& v : row) v = std::round(u(rng));
        const auto stats = engine::RowStats(row, w, 0);
        std::vector<float> sorted = row;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        EXPECT_EQ(stats.median, sorted[n / 2]) << w;
        EXPECT_EQ(stats.iqr, double(sorted[3 * n / 4]) - double(sorted[n / 4])) << w;
    }
}

TEST(BadLinesStep, AHotColumnAndAColdRowAreEvenedOutStarsAndGradientsAreNot) {
    const int w = 400, h = 300;
    std::vector<float> p(static_cast<std::size_t>(w) * h);
    std::mt19937 rng(8);
    std::normal_distribution<float> g(0, 20);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float v = 1000 + 0.3f * x + 0.2f * y + g(rng); // a gradient of the sky
            for (const auto& [sx, sy, f] : {std::tuple{100.3, 150.6, 50000.0}, std::tuple{250.0, 80.0, 400000.0}})
                v += static_cast<float>(f * std::exp(-((x - sx) * (x - sx) + (y - sy) * (y - sy)) / 8) / (8 * M_PI));
            p[static_cast<std::size_t>(y) * w + x] = v;
        }
    const std::vector<float> clean = p;
    for (int y = 0; y < h; ++y) p[static_cast<std::size_t>(y) * w + 200] += 300; // hot column
    for (int x = 0; x < w; ++x) p[static_cast<std::size_t>(120) * w + x] -= 60;  // cold row
    EXPECT_EQ(engine::EvenOutBadLines(p, w, h, 20), 2);
    double worst = 0;
    for (std::size_t i = 0; i < p.size(); ++i) worst = std::max(worst, double(std::abs(p[i] - clean[i])));
    EXPECT_LT(worst, 12) << "evened out to within the noise of a line's median";
    // a colour mosaic: lines of alternating level, each like its own filter's
    std::vector<float> mosaic = clean;
    for (std::size_t i = 0; i < mosaic.size(); ++i) mosaic[i] += (i % w) % 2 ? 15.f : -15.f;
    const std::vector<float> asTaken = mosaic;
    EXPECT_EQ(engine::EvenOutBadLines(mosaic, w, h, 20), 0);
    EXPECT_EQ(mosaic, asTaken);
}
