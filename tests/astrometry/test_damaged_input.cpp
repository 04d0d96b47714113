// Damaged and hostile files as the fuzzers found them: each reader answers
// with a typed error (or a sound result), never a crash, an overflow or an
// allocation of what a damaged header claims.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "astrometry/catalog.h"
#include "astrometry/errors.h"
#include "astrometry/fits_image.h"
#include "astrometry/wcs.h"
#include "dss_cutout.h"
#include "pair.h"
#include "sky_model.h"
#include "stars/catalog_check.h"
#include "stars/star_lines.h"

namespace fs = std::filesystem;

using testsupport::TempDir;

namespace {

std::string card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

// A header of cards, padded to whole 2880-byte blocks, and `dataBytes` zeros.
void writeFits(const fs::path& p, const std::vector<std::string>& cards, std::size_t dataBytes) {
    std::string h;
    for (const auto& c : cards) h += card(c);
    h += card("END");
    h.resize((h.size() + 2879) / 2880 * 2880, ' ');
    h.append(dataBytes, '\0');
    std::ofstream(p, std::ios::binary) << h;
}

template <class F>
std::string errorOf(F f) {
    try {
        f();
    } catch (const platform::Error& e) {
        return e.description();
    }
    return "no error";
}

} // namespace

TEST(DamagedFits, HugeOrTruncatedImagesAreRefusedBeforeAnyPixelBuffer) {
    TempDir t("vospen-bad");
    const auto big = t.path / "big.fits";
    writeFits(big, {"SIMPLE  = T", "BITPIX  = 16", "NAXIS   = 2", "NAXIS1  = 40000", "NAXIS2  = 40000"}, 2880);
    EXPECT_NE(errorOf([&] { astrometry::ReadFitsImage(big.string()); }).find("too large"), std::string::npos);
    // 20000 x 20000 floats would be 1.6 GB; the file holds one block
    const auto cut = t.path / "cut.fits";
    writeFits(cut, {"SIMPLE  = T", "BITPIX  = -32", "NAXIS   = 2", "NAXIS1  = 20000", "NAXIS2  = 20000"}, 2880);
    EXPECT_NE(errorOf([&] { astrometry::ReadFitsImage(cut.string()); }).find("truncated"), std::string::npos);
    // the header alone is still readable
    EXPECT_EQ(astrometry::ReadFitsHeader(cut.string()).width, 20000);
}

TEST(DamagedFits, PlateSolutionWithAThirdAxisMapsBothWays) {
    std::string h;
    for (const char* c : {"WCSAXES = 3", "CTYPE1  = 'RA---TAN'", "CTYPE2  = 'DEC--TAN'", "CTYPE3  = 'FREQ'",
                          "CRVAL1  = 150.0", "CRVAL2  = 20.0", "CRVAL3  = 1.0", "CRPIX1  = 50", "CRPIX2  = 50",
                          "CRPIX3  = 1", "CDELT1  = -0.0004", "CDELT2  = 0.0004", "CDELT3  = 1"})
        h += card(c);
    const auto wcs = astrometry::Wcs::FromHeader(h, static_cast<int>(h.size() / 80));
    ASSERT_TRUE(wcs.valid());
    double ra = 0, dec = 0, x = 0, y = 0;
    ASSERT_TRUE(wcs.pixelToSky(60, 40, ra, dec));
    ASSERT_TRUE(wcs.skyToPixel(ra, dec, x, y));
    EXPECT_NEAR(x, 60, 1e-6);
    EXPECT_NEAR(y, 40, 1e-6);
    EXPECT_NEAR(wcs.scaleAt(50, 50), 1.44, 1e-6);
    // celestial axes that are not the image's two: no usable solution
    std::string swapped;
    for (const char* c : {"WCSAXES = 3", "CTYPE1  = 'FREQ'", "CTYPE2  = 'RA---TAN'", "CTYPE3  = 'DEC--TAN'",
                          "CRVAL2  = 150.0", "CRVAL3  = 20.0", "CDELT2  = -0.0004", "CDELT3  = 0.0004"})
        swapped += card(c);
    EXPECT_FALSE(astrometry::Wcs::FromHeader(swapped, static_cast<int>(swapped.size() / 80)).valid());
}

TEST(DamagedCatalogs, Ucac2IndexCountingBillionsIsAnError) {
    TempDir t("vospen-bad");
    std::string idx;
    for (int z = 1; z <= 288; ++z)
        for (int j = 1; j <= 240; ++j) {
            const std::uint32_t n = z < 181 ? 0 : (z == 181 && j < 8 ? 1 : 0x7FFFFFFF);
            for (int k = 0; k < 4; ++k) idx.push_back(static_cast<char>(n >> (8 * k)));
        }
    std::ofstream(t.path / "u2index.da", std::ios::binary) << idx;
    std::ofstream(t.path / "z181", std::ios::binary) << std::string(44, '\0');
    EXPECT_NE(errorOf([&] { astrometry::ReadUcac2(t.path.string(), {10, 12, 0.1, 0.4}, 20); }).find("fewer stars"),
              std::string::npos);
}

TEST(DamagedCatalogs, GscTablesWithWideTextOrMissingRowsAreErrors) {
    TempDir t("vospen-bad");
    auto table = [&](const fs::path& p, const char* signForm) {
        int status = 0;
        fitsfile* f = nullptr;
        fits_create_file(&f, ("!" + p.string()).c_str(), &status);
        const char* names[] = {"GSC_ID", "RA_DEG", "DEC_DEG", "POS_ERR", "MAG", "MAG_ERR", "CLASS", "DECSI"};
        const char* forms[] = {"F6.0", "F9.5", "F9.5", "F5.1", "F5.2", "F4.2", "F2.0", signForm};
        fits_create_tbl(f, ASCII_TBL, 3, 8, const_cast<char**>(names), const_cast<char**>(forms), nullptr, "GSC",
                        &status);
        for (int r = 1; r <= 3; ++r) {
            double v[7] = {double(r), 10.0 + r * 0.01, 2.0, 0.2, 12.5, 0.1, 0};
            for (int c = 0; c < 7; ++c) fits_write_col(f, TDOUBLE, c + 1, r, 1, 1, &v[c], &status);
            const char* sign[] = {"-------------------------------------"};
            fits_write_col(f, TSTRING, 8, r, 1, 1, sign, &status);
        }
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    };
    const auto wide = t.path / "wide.gsc";
    table(wide, "A40");
    EXPECT_EQ(astrometry::ReadGscRegionFile(wide.string()).stars.size(), 3u);
    // a header claiming a billion rows in a file of three
    std::string bytes;
    {
        std::ifstream in(wide, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto at = bytes.find("NAXIS2  =", 2880);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 30, card("NAXIS2  =           1000000000").substr(0, 30));
    std::ofstream(t.path / "rows.gsc", std::ios::binary) << bytes;
    EXPECT_NE(errorOf([&] { astrometry::ReadGscRegionFile((t.path / "rows.gsc").string()); }).find("damaged"),
              std::string::npos);
}

TEST(DamagedStarLines, NumbersAreReadStrictlyAndTextsStayBounded) {
    double v[4];
    EXPECT_TRUE(stars::LineNumbers("12.5\t-3 +4.0 100", v, 4));
    EXPECT_DOUBLE_EQ(v[1], -3);
    EXPECT_DOUBLE_EQ(v[2], 4);
    EXPECT_FALSE(stars::LineNumbers("12abc 3", v, 2));
    EXPECT_FALSE(stars::LineNumbers("nan 3", v, 2));
    EXPECT_FALSE(stars::LineNumbers("1e999 3", v, 2));
    EXPECT_FALSE(stars::LineNumbers("12", v, 2));
    EXPECT_EQ(stars::CandidateText("1e300", "1.5").substr(0, 4), "RA: ");
    EXPECT_EQ(stars::CandidateText("1e300", "1.5").size(), std::string("RA: 00:00:00 DEC: 1:30:00").size());
    EXPECT_EQ(stars::CandidateText("inf", "99999999999999999999999.5"),
              "RA: 00:00:00 DEC: 99999999999999999999999:30:00");
    EXPECT_EQ(stars::CandidateText("25.5", "-9223372036854775808.99999"),
              "RA: 01:30:00 DEC: -9223372036854775807:00:00");
    EXPECT_EQ(stars::CandidateText("nan", ".5e30"), "RA: 00:00:00 DEC: :00:00");
}

TEST(DamagedFits, SurveyPlateKeywordsAreUsedWholeOrNotAtAll) {
    TempDir t("vospen-bad");
    skysim::FieldOptions fo;
    fo.ra = 150;
    fo.dec = 20;
    fo.halfSizeDeg = 0.2;
    const auto field = skysim::MakeField(fo);
    skysim::DssOptions o;
    o.ra = 150;
    o.dec = 20;
    const auto path = (t.path / "dss.fits").string();
    skysim::WriteDssCutout(path, field, o);
    const auto img = astrometry::ReadFitsHeader(path);
    ASSERT_TRUE(astrometry::Wcs::FromHeader(img.header, img.headerCards).valid());
    // AMDY7 missing, then AMDX3 not a number: the approximate TAN cards remain
    for (const char* key : {"AMDY7   ", "AMDX3   "}) {
        std::string h = img.header;
        const auto at = h.find(key);
        ASSERT_NE(at, std::string::npos);
        if (std::string(key) == "AMDY7   ") h.replace(at, 8, "COMMENT ");
        else h.replace(at + 10, 20, "            'broken'");
        const auto wcs = astrometry::Wcs::FromHeader(h, img.headerCards);
        ASSERT_TRUE(wcs.valid()) << key;
        double ra = 0, dec = 0;
        ASSERT_TRUE(wcs.pixelToSky(img.width / 2.0, img.height / 2.0, ra, dec));
        EXPECT_NEAR(ra, 150, 0.05);
        EXPECT_NEAR(dec, 20, 0.05);
    }
}

// cfitsio copies a column name that is not a quoted string into a fixed
// buffer unchecked; the fuzzer's cases are the last two (a blank ends the
// text; a complex value runs on to a parenthesis in the comment).
TEST(DamagedCatalogs, AHeaderValueFillingItsWholeFieldIsRefusedBeforeCfitsio) {
    TempDir t("vospen-bad");
    const auto p = t.path / "0001.gsc";
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, ("!" + p.string()).c_str(), &status);
    const char* names[] = {"GSC_ID"};
    const char* forms[] = {"F6.0"};
    fits_create_tbl(f, ASCII_TBL, 1, 1, const_cast<char**>(names), const_cast<char**>(forms), nullptr, "GSC", &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0);
    std::string original;
    {
        std::ifstream in(p, std::ios::binary);
        original.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto at = original.find("TTYPE1  =");
    ASSERT_NE(at, std::string::npos);
    for (const auto& bad : {"TTYPE1  = " + std::string(70, 'x'), "TTYPE1  =" + std::string(70, '='),
                            std::string("TTYPE1  =(( 'GSC_ID  '           / Right Ascension - Decimal Degrees (0 to 360)")}) {
        auto bytes = original;
        bytes.replace(at, 80, card(bad));
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_NE(errorOf([&] { astrometry::ReadGscRegionFile(p.string()); }).find("damaged"), std::string::npos) << bad;
        EXPECT_NE(errorOf([&] { astrometry::ReadFitsImage(p.string()); }).find("damaged"), std::string::npos) << bad;
    }
}

// cfitsio divides by a tile-compressed image's tile sizes without a check: a
// tile size that is no number (the fuzzer's: a second ZTILE1 holding a text)
// or zero is refused, the file as cfitsio writes it is read.
TEST(DamagedFits, CompressedImagesWithUnusableTilesAreRefusedBeforeCfitsio) {
    TempDir t("vospen-bad");
    const auto p = t.path / "image.fz";
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, ("!" + p.string() + "[compress R]").c_str(), &status);
    long axes[2] = {24, 16};
    fits_create_img(f, SHORT_IMG, 2, axes, &status);
    std::vector<short> pixels(24 * 16, 100);
    fits_write_img(f, TSHORT, 1, pixels.size(), pixels.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(astrometry::ReadFitsImage(p.string()).width, 24);
    std::string original;
    {
        std::ifstream in(p, std::ios::binary);
        original.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto name = original.find("ZNAME1  =");
    const auto tile = original.find("ZTILE2  =");
    ASSERT_NE(name, std::string::npos);
    ASSERT_NE(tile, std::string::npos);
    for (const auto& [at, bad] : {std::pair{name, std::string("ZTILE1  = 'BLOCKSIZE'")},
                                  std::pair{tile, std::string("ZTILE2  =                    0")}}) {
        auto bytes = original;
        bytes.replace(at, 80, card(bad));
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_NE(errorOf([&] { astrometry::ReadFitsImage(p.string()); }).find("damaged"), std::string::npos) << bad;
    }
}

TEST(DamagedFits, OldNcpProjectionIsStillRead) {
    std::string h;
    for (const char* c : {"CTYPE1  = 'RA---NCP'", "CTYPE2  = 'DEC--NCP'", "CRVAL1  = 150.0", "CRVAL2  = 60.0",
                          "CRPIX1  = 50", "CRPIX2  = 50", "CDELT1  = -0.0004", "CDELT2  = 0.0004"})
        h += card(c);
    const auto wcs = astrometry::Wcs::FromHeader(h, static_cast<int>(h.size() / 80));
    ASSERT_TRUE(wcs.valid());
    double ra = 0, dec = 0;
    ASSERT_TRUE(wcs.pixelToSky(50, 50, ra, dec));
    EXPECT_NEAR(ra, 150, 1e-9);
    EXPECT_NEAR(dec, 60, 1e-9);
}

// A FIFO or a folder in place of a catalog file or an image is named for what
// it is, at once (opening a FIFO would block the program for good); so is a
// catalog folder that cannot be listed.
TEST(DamagedCatalogs, AFifoOrFolderInPlaceOfAFileIsNamedNotOpened) {
    TempDir t("vospen-fifo");
    ::alarm(20); // a blocked open() ends the test instead of the run
    const astrometry::SkyBox box = astrometry::BoxAround(143.0, 21.5, 0.1); // USNO zone 1050
    for (const bool fifo : {true, false}) {
        const fs::path folder = t.path / (fifo ? "fifo" : "folder");
        fs::create_directories(folder);
        const fs::path zone = folder / "zone1050.cat";
        if (fifo) ASSERT_EQ(::mkfifo(zone.c_str(), 0644), 0);
        else fs::create_directories(zone);
        const std::string why = errorOf([&] { astrometry::ReadCatalog("5", folder.string(), box, 18); });
        EXPECT_NE(why.find("zone1050.cat is not a regular file"), std::string::npos) << why;
        EXPECT_EQ(why.find("12-byte records"), std::string::npos) << why;
    }
    const fs::path image = t.path / "image.fts";
    ASSERT_EQ(::mkfifo(image.c_str(), 0644), 0);
    const std::string why = errorOf([&] { astrometry::ReadFitsImage(image.string()); });
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    ::alarm(0);
}

// Plate solutions that wcslib would take but that map no sky: the two axes
// parallel (a rank-1 CD), a reference point or a scale beyond any telescope.
TEST(DamagedFits, DegeneratePlateSolutionsAreNoSolutions) {
    const auto solution = [](const char* crval1, const char* cd11, const char* cd21, const char* cd22) {
        std::string h;
        for (const std::string& c : {std::string("CTYPE1  = 'RA---TAN'"), std::string("CTYPE2  = 'DEC--TAN'"),
                                    "CRVAL1  = " + std::string(crval1), std::string("CRVAL2  = 20.0"),
                                    std::string("CRPIX1  = 50"), std::string("CRPIX2  = 50"),
                                    "CD1_1   = " + std::string(cd11), std::string("CD1_2   = 0.0002"),
                                    "CD2_1   = " + std::string(cd21), "CD2_2   = " + std::string(cd22)})
            h += card(c);
        return astrometry::Wcs::FromHeader(h, static_cast<int>(h.size() / 80)).valid();
    };
    EXPECT_TRUE(solution("150.0", "-0.0004", "0.0", "0.0004"));
    EXPECT_FALSE(solution("150.0", "0.0004", "0.0008", "0.0004")) << "rank 1: the second row twice the first";
    EXPECT_FALSE(solution("1E30", "-0.0004", "0.0", "0.0004"));
    EXPECT_FALSE(solution("150.0", "1E30", "0.0", "0.0004"));
    EXPECT_FALSE(solution("150.0", "-1E-12", "0.0", "1E-12")) << "a scale below 0.001 arcsec";
}

// Catalog files damaged in ways their sizes do not show: a USNO-A2.0 zone cut
// at a record's end (its accelerator counts more), a UCAC2 zone of random
// bytes of the right size (records outside the RA bins and band the index
// places them in). Both were read silently, with a part of the stars or
// invented ones.
TEST(DamagedCatalogs, ZonesCutShortOrOfRandomBytesAreErrors) {
    TempDir t("vospen-zones");
    skysim::PairOptions o;
    o.out = (t.path / "pair").string();
    o.width = o.height = 64;
    o.density = 3000;
    skysim::WritePair(o, skysim::MakePair(o));
    const fs::path catalog = t.path / "pair" / "catalog";
    const astrometry::SkyBox box = astrometry::BoxAround(o.ra, o.dec, 0.2);
    ASSERT_FALSE(astrometry::ReadCatalog("5", catalog.string(), box, 20).empty());
    ASSERT_FALSE(astrometry::ReadCatalog("6", catalog.string(), box, 20).empty());

    const fs::path usno = catalog / "zone1050.cat";
    fs::resize_file(usno, fs::file_size(usno) / 24 * 12); // half the records, whole ones
    const std::string cut = errorOf([&] { astrometry::ReadCatalog("5", catalog.string(), box, 20); });
    EXPECT_NE(cut.find("cut short"), std::string::npos) << cut;

    const fs::path ucac = catalog / "z224";
    std::string noise(fs::file_size(ucac), '\0');
    std::mt19937 rng(4);
    for (auto& c : noise) c = static_cast<char>(rng());
    std::ofstream(ucac, std::ios::binary | std::ios::trunc) << noise;
    const std::string random = errorOf([&] { astrometry::ReadCatalog("6", catalog.string(), box, 20); });
    EXPECT_NE(random.find("astray"), std::string::npos) << random;
}
