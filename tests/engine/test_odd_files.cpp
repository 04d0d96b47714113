// Images of odd shapes and odd header cards, as the engine opens them for the
// windows: a clear message or a sound reading, never a crash.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "engine/application.h"
#include "engine/document.h"
#include "engine/errors.h"

namespace fs = std::filesystem;

using testsupport::TempDir;

namespace {

// An image of `axes` with the given extra cards; pixels count up.
void image(const fs::path& p, std::vector<long> axes, const std::vector<std::string>& cards = {}) {
    int status = 0;
    fitsfile* f = nullptr;
    const std::string name = "!" + p.native();
    fits_create_file(&f, name.c_str(), &status);
    fits_create_img(f, FLOAT_IMG, static_cast<int>(axes.size()), axes.data(), &status);
    for (const auto& c : cards) fits_write_record(f, c.c_str(), &status);
    long n = 1;
    for (long a : axes) n *= a;
    std::vector<float> px(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) px[i] = static_cast<float>(i % 1000);
    if (n > 0) fits_write_img(f, TFLOAT, 1, n, px.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << p;
}

std::string openError(const fs::path& p) {
    engine::Application app;
    auto d = app.CreateDocument();
    try {
        d->OpenFile(p.string());
    } catch (const engine::Error& e) {
        EXPECT_FALSE(d->isOpen());
        return e.description();
    }
    return "opened";
}

std::vector<std::string> tan(const char* crval1 = "150.0") {
    return {"CTYPE1  = 'RA---TAN'", "CTYPE2  = 'DEC--TAN'", std::string("CRVAL1  = ") + crval1, "CRVAL2  = 20.0",
            "CRPIX1  = 32", "CRPIX2  = 32", "CD1_1   = -0.0004", "CD1_2   = 0", "CD2_1   = 0", "CD2_2   = 0.0004"};
}

} // namespace

TEST(OddFiles, ShapesTheEngineRefusesOrReads) {
    TempDir t("vospen-odd");
    image(t.path / "cube3.fits", {64, 48, 3});
    image(t.path / "cube5.fits", {64, 48, 5});
    image(t.path / "empty.fits", {0, 0});
    EXPECT_EQ(openError(t.path / "cube3.fits"), "opened"); // a colour image: the mean of its planes
    EXPECT_NE(openError(t.path / "cube5.fits").find("more than two axes"), std::string::npos);
    EXPECT_NE(openError(t.path / "empty.fits").find("empty"), std::string::npos);
    engine::Application app;
    auto d = app.CreateDocument();
    d->OpenFile((t.path / "cube3.fits").string());
    EXPECT_EQ(d->ImageWidth(), 64);
    EXPECT_EQ(d->ImageHeight(), 48);
}

TEST(OddFiles, PlateSolutionsWcslibRejectsOrWrittenAsStrings) {
    TempDir t("vospen-odd");
    auto cards = tan();
    cards[0] = "CTYPE1  = 'RA---XYZ'"; // no such projection
    cards[1] = "CTYPE2  = 'DEC--XYZ'";
    image(t.path / "unknown.fits", {64, 64}, cards);
    image(t.path / "strings.fits", {64, 64}, tan("'150.0'"));
    image(t.path / "singular.fits", {64, 64}, [] {
        auto c = tan();
        c[6] = "CD1_1   = 0";
        c[9] = "CD2_2   = 0";
        return c;
    }());
    image(t.path / "fine.fits", {64, 64}, tan());
    engine::Application app;
    for (const char* name : {"unknown.fits", "singular.fits"}) {
        auto d = app.CreateDocument();
        d->OpenFile((t.path / name).string());
        EXPECT_EQ(d->PlateSolveStatus(), 0) << name;
        EXPECT_EQ(d->ImageScale(), 0) << name;
    }
    // a number written as a string reads as the person wrote it and counts as the number
    auto s = app.CreateDocument();
    s->OpenFile((t.path / "strings.fits").string());
    EXPECT_EQ(s->ReadHeaderKey("CRVAL1"), "150.0");
    ASSERT_EQ(s->PlateSolveStatus(), 2);
    EXPECT_NEAR(s->CentreRightAscension() * 15, 150.0, 0.1);
    // a solution number that is no number leaves no solution, not one at RA 0
    image(t.path / "text.fits", {64, 64}, tan("'10:00:00'"));
    auto x = app.CreateDocument();
    x->OpenFile((t.path / "text.fits").string());
    EXPECT_EQ(x->PlateSolveStatus(), 0);
    auto f = app.CreateDocument();
    f->OpenFile((t.path / "fine.fits").string());
    EXPECT_EQ(f->PlateSolveStatus(), 2);
    EXPECT_NEAR(f->ImageScale(), 1.44, 1e-6);
}
