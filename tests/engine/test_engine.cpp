// The image engine on real files and simulated pairs; products read back with cfitsio.
#include <gtest/gtest.h>

#include <fitsio.h>
#include <turbojpeg.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/history_text.h"
#include "support/subtracted_pair.h"
#include "support/temp_dir.h"
#include "astrometry/detection.h"
#include "engine/application.h"
#include "engine/automation_codes.h"
#include "engine/document.h"
#include "engine/errors.h"
#include "engine/pixel_stats.h"
#include "pair.h"
#include "platform/fits_handle.h"

namespace fs = std::filesystem;

using testsupport::TempDir;

namespace {
const fs::path kReal = VOSPEN_REAL_DATA;
#define REQUIRE_REAL(p) \
    if (!fs::exists(p)) GTEST_SKIP() << "real data folder absent: " << (p)

void expectOpenError(const std::string& path, const char* words) {
    engine::Application app;
    auto d = app.CreateDocument();
    try {
        d->OpenFile(path);
        ADD_FAILURE() << "opened " << path;
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), engine::kOpenFailed);
        EXPECT_NE(e.description().find(words), std::string::npos) << e.description();
    }
    EXPECT_FALSE(d->isOpen());
}

skysim::PairOptions pairOptions(const fs::path& dir, std::uint64_t seed) {
    skysim::PairOptions o;
    o.out = dir.string();
    o.seed = seed;
    o.width = o.height = 800;
    o.density = 4000;
    return o;
}
} // namespace

TEST(EngineOpen, BadFilesAreClearErrors) {
    TempDir t("vospen-engine");
    std::ofstream(t.path / "text.fts") << "this is not a FITS file at all\n";
    expectOpenError((t.path / "text.fts").string(), "text.fts");
    expectOpenError((t.path / "missing.fts").string(), "missing.fts");
    // a 1-D image
    {
        int status = 0;
        fitsfile* raw = nullptr;
        fits_create_file(&raw, ("!" + (t.path / "line.fts").string()).c_str(), &status);
        platform::FitsFile f(raw);
        long n[1] = {100};
        fits_create_img(f.get(), SHORT_IMG, 1, n, &status);
        std::vector<short> v(100, 1);
        fits_write_img(f.get(), TSHORT, 1, 100, v.data(), &status);
    }
    expectOpenError((t.path / "line.fts").string(), "one-dimensional");
    // truncated: a simulated image cut in half
    skysim::PairOptions o = pairOptions(t.path, 1);
    o.width = o.height = 200;
    skysim::WritePair(o, skysim::MakePair(o));
    const auto size = fs::file_size(t.path / "reshot.fts");
    fs::resize_file(t.path / "reshot.fts", size / 2);
    expectOpenError((t.path / "reshot.fts").string(), "reshot.fts");
}

TEST(EngineOpen, RealFilesOfEveryKind) {
    struct Case {
        const char* file;
        int status;
    };
    for (const Case& c : {Case{"dslr/solved.fits", 2}, Case{"dslr/solved.fits.fz", 2}, Case{"dslr/unsolved.fits", 0},
                          Case{"dss/dss.14.29.56-62.41.05.fits.gz", 2}, Case{"headers/uint16.fit", 0},
                          Case{"headers/maximdl_6_18_header.fit", 2},
                          Case{"galaxy-pair/aligned_eso085-030-004.fit", 0}, Case{"wcs/sip-wcs.fits", 2}}) {
        const fs::path p = kReal / c.file;
        REQUIRE_REAL(p);
        engine::Application app;
        auto d = app.CreateDocument();
        d->OpenFile(p.string());
        EXPECT_EQ(d->PlateSolveStatus(), c.status) << c.file;
        EXPECT_GT(d->ImageWidth(), 0);
        if (c.status == 2) {
            EXPECT_NE(d->ImageScale(), 0) << c.file;
            EXPECT_GE(d->CentreRightAscension(), 0);
            EXPECT_LT(d->CentreRightAscension(), 24);
        }
    }
}

TEST(EngineHeader, ValuesAsAPersonReadsThem) {
    const fs::path p = kReal / "headers" / "maximdl_6_18_header.fit";
    REQUIRE_REAL(p);
    engine::Application app;
    auto d = app.CreateDocument();
    d->OpenFile(p.string());
    EXPECT_FALSE(d->ReadHeaderKey("OBJECT").empty());
    EXPECT_EQ(d->ReadHeaderKey("OBJECT").back() == ' ', false);
    EXPECT_EQ(d->ReadHeaderKey("OBJECT").find('\''), std::string::npos);
    EXPECT_FALSE(d->ReadHeaderKey("EXPTIME").empty());
    EXPECT_EQ(d->ReadHeaderKey("NO-SUCH"), "");
}

TEST(EngineDss, SurveyPlateSolutionReplacesTheApproximateCards) {
    const fs::path p = kReal / "dss" / "dss.14.29.56-62.41.05.fits.gz";
    REQUIRE_REAL(p);
    engine::Application app;
    auto d = app.CreateDocument();
    d->OpenFile(p.string());
    d->UseSurveyPlateSolution();
    EXPECT_EQ(d->PlateSolveStatus(), 2);
    EXPECT_FALSE(d->header().has("CD1_1"));
    // the centre of a 100 x 100 cut-out is pixel (50.5, 50.5): close to the (50, 50) test value
    EXPECT_NEAR(d->CentreRightAscension() * 15, 217.484, 0.001);
    EXPECT_NEAR(d->CentreDeclination(), -62.6852, 0.001);
    const auto levels = d->MeasureLevels(25, 25, 75, 75);
    EXPECT_LT(levels[0], levels[1]);
    // a picture without the plate keywords says which are missing
    auto plain = app.CreateDocument();
    const fs::path other = kReal / "dslr" / "solved.fits";
    REQUIRE_REAL(other);
    plain->OpenFile(other.string());
    try {
        plain->UseSurveyPlateSolution();
        ADD_FAILURE();
    } catch (const engine::Error& e) {
        EXPECT_NE(e.description().find("PLTRAH"), std::string::npos);
    }
}

namespace {
// Aligns the reference of a simulated pair to its reshot and returns the RMS,
// in pixels, between the aligned reference's stars and the reshot's true positions.
// `solutionOff`: the reference's plate solution moved by that many pixels in x and in y.
double alignmentError(skysim::PairOptions o, bool withSolution, int& matched, double solutionOff = 0) {
    o.solution = withSolution;
    o.cosmicRays = false;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    if (solutionOff != 0) {
        int status = 0;
        fitsfile* raw = nullptr;
        fits_open_file(&raw, (o.out + "/reference.fts").c_str(), READWRITE, &status);
        platform::FitsFile f(raw);
        for (const char* key : {"CRPIX1", "CRPIX2"}) {
            double v = 0;
            fits_read_key_dbl(f.get(), key, &v, nullptr, &status);
            fits_update_key_dbl(f.get(), key, v + solutionOff, 10, nullptr, &status);
        }
        EXPECT_EQ(status, 0);
    }
    engine::Application app;
    auto ref = app.CreateDocument(), reshot = app.CreateDocument();
    ref->OpenFile(o.out + "/reference.fts");
    reshot->OpenFile(o.out + "/reshot.fts");
    reshot->AlignToThis(3, false);
    ref->SaveFile(o.out + "/aligned.fts", 3);
    const auto aligned = astrometry::ReadFitsImage(o.out + "/aligned.fts");
    astrometry::DetectionSettings ds;
    ds.sigma = 5;
    const auto found = astrometry::DetectStars(aligned, ds).stars;
    double sum2 = 0;
    matched = 0;
    for (const auto& t : pair.reshot.stars) {
        // bright, unsaturated, isolated stars that the reference shows too
        if (t.flux < 6000 || t.flux > 400000) continue;
        bool lonely = true;
        for (const auto& u : pair.reshot.stars)
            if (&u != &t && std::hypot(u.x - t.x, u.y - t.y) < 10 && u.flux > 0.01 * t.flux) lonely = false;
        if (!lonely) continue;
        for (const auto& f : found)
            if (std::hypot(f.x - t.x, f.y - t.y) < 1.5) {
                sum2 += std::pow(f.x - t.x, 2) + std::pow(f.y - t.y, 2);
                ++matched;
                break;
            }
    }
    return matched ? std::sqrt(sum2 / matched / 2) : 1e9;
}
// The reshot of one simulated field and the reference of another `dra` degrees
// away, opened: (reshot, reference).
std::pair<std::shared_ptr<engine::Document>, std::shared_ptr<engine::Document>> twoFields(
    engine::Application& app, const fs::path& dir, std::uint64_t seed, double dra, bool solution) {
    skysim::PairOptions a = pairOptions(dir / "a", seed), b = pairOptions(dir / "b", seed + 1);
    a.solution = b.solution = solution;
    b.ra = a.ra + dra;
    skysim::WritePair(a, skysim::MakePair(a));
    skysim::WritePair(b, skysim::MakePair(b));
    auto da = app.CreateDocument(), db = app.CreateDocument();
    da->OpenFile(a.out + "/reshot.fts");
    db->OpenFile(b.out + "/reference.fts");
    return {da, db};
}
} // namespace

TEST(EngineAlign, StarsLandOnTheReshotsStarsWithAndWithoutSolutions) {
    TempDir t("vospen-engine");
    struct Case {
        double dra, ddec, rot;
        bool mirror, solution;
    };
    int k = 0;
    for (const Case& c : {Case{6, -4, 37, false, true}, Case{-8, 5, 181, true, true}, Case{4, 3, -12, false, false},
                          Case{-3, -7, 95, true, false}}) {
        const int i = k++;
        skysim::PairOptions o = pairOptions(t.path / std::to_string(i), 20 + i);
        o.reference.offsetRa = c.dra;
        o.reference.offsetDec = c.ddec;
        o.reference.rotation = c.rot;
        o.mirror = c.mirror;
        o.reference.seeing = 3.0;
        o.reshot.seeing = 3.0;
        int matched = 0;
        const double rms = alignmentError(o, c.solution, matched);
        EXPECT_GT(matched, 8) << k;
        EXPECT_LT(rms, 0.05) << "case " << k << ": " << rms << " px over " << matched << " stars";
    }
}

TEST(EngineAlign, SolutionsThatDisagreeByTensOfPixelsAreRefinedByTheStars) {
    TempDir t("vospen-engine");
    skysim::PairOptions o = pairOptions(t.path, 41);
    o.reference.offsetRa = 5;
    o.reference.rotation = 20;
    o.reference.seeing = o.reshot.seeing = 3.0;
    int matched = 0;
    const double rms = alignmentError(o, true, matched, 25); // 35 px apart
    EXPECT_GT(matched, 8);
    EXPECT_LT(rms, 0.05) << rms << " px over " << matched << " stars";
}

// A reference of another telescope and camera: half or twice the reshot's
// pixel scale, another size, turned a quarter, no GAIN card.
TEST(EngineAlign, AReferenceOfAnotherTelescopeLandsOnTheReshotsStars) {
    TempDir t("vospen-engine");
    struct Case {
        double scale;
        int width, height;
    };
    int k = 0;
    for (const Case& c : {Case{3.0, 450, 400}, Case{0.75, 1500, 1400}}) {
        skysim::PairOptions o = pairOptions(t.path / std::to_string(k), 60 + k);
        o.reference.scale = c.scale;
        o.reference.width = c.width;
        o.reference.height = c.height;
        o.reference.rotation = 90;
        o.reference.noGain = o.reshot.noGain = true;
        o.reference.seeing = o.reshot.seeing = 3.0;
        int matched = 0;
        const double rms = alignmentError(o, true, matched);
        EXPECT_GT(matched, 8) << c.scale;
        EXPECT_LT(rms, 0.1) << c.scale << ": " << rms << " px over " << matched << " stars";
        ++k;
    }
}

// Asked to align on stars where too few pair up (a field of a galaxy alone):
// the plate solutions do it, and the history says the stars could not refine them.
TEST(EngineAlign, WhenTheStarsCannotRefineTheSolutionsTheHistorySaysSo) {
    TempDir t("vospen-engine");
    skysim::PairOptions o = pairOptions(t.path, 71);
    o.density = 0;
    skysim::WritePair(o, skysim::MakePair(o));
    engine::Application app;
    auto ref = app.CreateDocument(), reshot = app.CreateDocument();
    ref->OpenFile(o.out + "/reference.fts");
    reshot->OpenFile(o.out + "/reshot.fts");
    reshot->AlignToThis(engine::kAlignByStars, false);
    const std::string history = testsupport::HistoryText(ref->header().block());
    EXPECT_NE(history.find("by the plate solutions alone: too few stars paired up"), std::string::npos) << history;
}

TEST(EngineAlign, NoCommonStarsFailsQuicklyWithAReason) {
    TempDir t("vospen-engine");
    engine::Application app;
    const auto [da, db] = twoFields(app, t.path, 3, 30, false);
    const auto start = std::chrono::steady_clock::now();
    try {
        da->AlignToThis(3, false);
        ADD_FAILURE() << "aligned two different fields";
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), engine::kAlignFailed);
        EXPECT_NE(e.description().find("no stars in common"), std::string::npos) << e.description();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)); // generous; bench says more
    EXPECT_THROW(da->AlignToThis(1, false), engine::Error); // mode 1 needs both solutions
}

TEST(EngineAlign, FieldsThatDoNotOverlapAreRefusedWithTheShare) {
    TempDir t("vospen-engine");
    engine::Application app;
    const auto [da, db] = twoFields(app, t.path, 5, 1, true); // a degree apart, both solved
    for (int mode : {engine::kAlignByStars, engine::kAlignByPlateSolutions}) {
        try {
            da->AlignToThis(mode, false);
            ADD_FAILURE() << "aligned two fields a degree apart";
        } catch (const engine::Error& e) {
            EXPECT_EQ(e.number(), engine::kAlignFailed);
            EXPECT_NE(e.description().find("The images do not overlap: 0 % of reshot.fts's field lies on reference.fts"),
                      std::string::npos)
                << e.description();
        }
    }
    EXPECT_EQ(db->ImageWidth(), 800); // left as it was
}

TEST(EngineSubtract, EqualSeeingPairLeavesOnlyNoise) {
    TempDir t("vospen-engine");
    skysim::PairOptions o = pairOptions(t.path, 31);
    // stars enough for the flux scale to a few tenths of a per cent: it is
    // measured in apertures wide enough for the wings, where the sky's noise counts
    o.width = o.height = 1200;
    o.reference.seeing = o.reshot.seeing = 3.0;
    o.reference.transparency = 0.8;
    o.reshot.transparency = 0.95;
    o.cosmicRays = false;
    o.hotPixels = false;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    testsupport::SubtractedPair run(o.out);
    const auto& sub = run.sub;
    EXPECT_NEAR(sub->lastFluxScale(), 0.95 / 0.8, 0.005 * 0.95 / 0.8);
    const engine::SkyStats diff = engine::MeasureSky(sub->pixels());
    EXPECT_LT(std::abs(diff.level), 0.1 * diff.sigma);
    // the noise image describes the difference's scatter
    double n = 0;
    int count = 0;
    for (std::size_t i = 0; i < sub->noise().size(); i += 97)
        if (std::isfinite(sub->noise()[i])) {
            n += sub->noise()[i];
            ++count;
        }
    EXPECT_NEAR(n / count, diff.sigma, 0.25 * diff.sigma);
    ASSERT_TRUE(sub->zeroPoint().has_value());

    // products: float FITS with NOISE and MAGZERO, JPEG, unknown types refused
    sub->SaveFile(o.out + "/Subtracted.fts", 3);
    sub->SaveFile(o.out + "/Subtracted.jpg", 6);
    EXPECT_THROW(sub->SaveFile(o.out + "/x.bmp", 5), engine::Error);
    int status = 0;
    fitsfile* raw = nullptr;
    fits_open_file(&raw, (o.out + "/Subtracted.fts").c_str(), READONLY, &status);
    ASSERT_EQ(status, 0);
    platform::FitsFile f(raw);
    int bitpix = 0, hdus = 0;
    fits_get_img_type(f.get(), &bitpix, &status);
    EXPECT_EQ(bitpix, -32);
    double mz = 0;
    fits_read_key_dbl(f.get(), "MAGZERO", &mz, nullptr, &status);
    EXPECT_NEAR(mz, pair.reshotEpoch.zeroPoint + 2.5 * std::log10(pair.reshotEpoch.transparency * 60), 0.1);
    char object[FLEN_VALUE];
    fits_read_key_str(f.get(), "OBJECT", object, nullptr, &status);
    EXPECT_STREQ(object, "NGC 2903");
    fits_get_num_hdus(f.get(), &hdus, &status);
    EXPECT_EQ(hdus, 2);
    EXPECT_EQ(status, 0);
    const auto readBack = astrometry::ReadFitsImage(o.out + "/Subtracted.fts");
    EXPECT_EQ(readBack.noise.size(), readBack.pixels.size());

    std::ifstream jf(o.out + "/Subtracted.jpg", std::ios::binary);
    std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(jf)), {});
    std::unique_ptr<void, int (*)(tjhandle)> tj(tjInitDecompress(), tjDestroy);
    int w = 0, h = 0, sub2 = 0, cs = 0;
    ASSERT_EQ(tjDecompressHeader3(tj.get(), jpeg.data(), jpeg.size(), &w, &h, &sub2, &cs), 0);
    EXPECT_EQ(w, o.width);
    EXPECT_EQ(h, o.height);
}

TEST(EngineSolve, WithoutACatalogTheStatusIsOneWithAReason) {
    TempDir t("vospen-engine");
    skysim::PairOptions o = pairOptions(t.path, 41);
    skysim::WritePair(o, skysim::MakePair(o));
    engine::Application app;
    app.SetCatalog("5", (t.path / "nothing").string(), 18);
    auto d = app.CreateDocument();
    d->OpenFile(o.out + "/reshot.fts");
    EXPECT_EQ(d->PlateSolveStatus(), 2);
    d->StartPlateSolve(d->CentreRightAscension(), d->CentreDeclination(), 1.5, 1.5);
    EXPECT_EQ(d->PlateSolveStatus(), 1);
    EXPECT_NE(d->lastSolveReason().find("does not exist"), std::string::npos);
    app.SetCatalog("5", o.out + "/catalog", 18);
    d->StartPlateSolve(d->CentreRightAscension() + 0.002, d->CentreDeclination() + 0.03, 1.55, 1.55);
    EXPECT_EQ(d->PlateSolveStatus(), 2) << d->lastSolveReason();
    app.CloseAll();
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(app.openDocuments(), 0u);
}

TEST(EngineDss, SimulatedSurveyPictureLandsOnTheReshotsStars) {
    TempDir t("vospen-engine");
    skysim::PairOptions o = pairOptions(t.path, 51);
    o.dss = true;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    engine::Application app;
    auto image = app.CreateDocument(), survey = app.CreateDocument();
    image->OpenFile(o.out + "/reshot.fts");
    survey->OpenFile(o.out + "/dss.fits");
    survey->UseSurveyPlateSolution();
    const auto levels = survey->MeasureLevels(survey->ImageWidth() / 4, survey->ImageHeight() / 4,
                                              3 * survey->ImageWidth() / 4, 3 * survey->ImageHeight() / 4);
    image->AlignToThis(1, false);
    survey->SetStretchLevels(0, 1.0f, 2, 2, levels[1], levels[0]);
    survey->SaveFile(o.out + "/DSSPicture.jpg", 6);
    survey->SaveFile(o.out + "/aligned-dss.fts", 3);
    EXPECT_EQ(survey->ImageWidth(), image->ImageWidth());
    const auto aligned = astrometry::ReadFitsImage(o.out + "/aligned-dss.fts");
    astrometry::DetectionSettings ds;
    ds.sigma = 10;
    const auto found = astrometry::DetectStars(aligned, ds).stars;
    int near = 0, bright = 0;
    for (const auto& s : pair.reshot.stars) {
        if (s.mag > 15 || s.x < 20 || s.y < 20 || s.x > 780 || s.y > 780) continue;
        ++bright;
        for (const auto& f : found)
            if (std::hypot(f.x - s.x, f.y - s.y) < 1.0) {
                ++near;
                break;
            }
    }
    ASSERT_GT(bright, 3);
    EXPECT_GE(near, bright * 8 / 10) << near << " of " << bright;
    EXPECT_TRUE(fs::exists(o.out + "/DSSPicture.jpg"));
}
