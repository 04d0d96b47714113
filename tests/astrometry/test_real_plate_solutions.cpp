// Plate solutions of real files of other observatories, through our wcslib
// wrapper; skipped where the real-data folder is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "astrometry/fits_image.h"
#include "astrometry/star_collection.h"
#include "astrometry/wcs.h"

namespace fs = std::filesystem;

namespace {
const fs::path kReal = VOSPEN_REAL_DATA;

#define REQUIRE_REAL(p)                                                            \
    if (!fs::exists(p)) GTEST_SKIP() << "real data folder absent: " << (p)

astrometry::Wcs wcsOf(const fs::path& p) {
    const auto img = astrometry::ReadFitsHeader(p.string());
    return astrometry::Wcs::FromHeader(img.header, img.headerCards);
}

astrometry::Wcs wcsOfRawHeader(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string h = s.str();
    h.resize(h.size() / 80 * 80);
    return astrometry::Wcs::FromHeader(h, static_cast<int>(h.size() / 80));
}
} // namespace

TEST(RealPlateSolutions, DssPlateSolutionReproducesTheTestVector) {
    const fs::path file = kReal / "dss" / "dss.14.29.56-62.41.05.fits.gz";
    REQUIRE_REAL(file);
    const auto wcs = wcsOf(file); // the file also carries an approximate TAN: it must not win
    ASSERT_TRUE(wcs.valid());
    struct V {
        double p, q, ra, dec;
    };
    for (const V& v : {V{50, 50, 217.48416404700, -62.68540557528}, V{1, 1, 217.53322326597, -62.70913991133},
                       V{100, 100, 217.43418363256, -62.66116956121}}) {
        double ra, dec;
        ASSERT_TRUE(wcs.pixelToSky(v.p, v.q, ra, dec));
        EXPECT_NEAR(ra, v.ra, 1e-6);
        EXPECT_NEAR(dec, v.dec, 1e-6);
    }
    double p, q;
    ASSERT_TRUE(wcs.skyToPixel(217.483333333, -62.684722222, p, q));
    EXPECT_NEAR(p, 50.846493, 1e-4);
    EXPECT_NEAR(q, 51.425328, 1e-4);
}

TEST(RealPlateSolutions, DssKeywordsWithoutStandardCards) {
    const fs::path file = kReal / "dss" / "ned_dss_m1_query_images.fits";
    REQUIRE_REAL(file);
    const auto wcs = wcsOf(file);
    ASSERT_TRUE(wcs.valid());
    double ra, dec;
    ASSERT_TRUE(wcs.pixelToSky(89, 89, ra, dec));
    EXPECT_NEAR(ra, 83.633, 0.05); // M1
    EXPECT_NEAR(dec, 22.014, 0.05);
}

TEST(RealPlateSolutions, SipTpvAndOldPcCards) {
    for (const char* name : {"sip-wcs.fits", "sip-wcs-ccdproc.fit"}) {
        const fs::path file = kReal / "wcs" / name;
        REQUIRE_REAL(file);
        const auto wcs = wcsOf(file);
        ASSERT_TRUE(wcs.valid()) << name;
        double ra, dec, x, y;
        ASSERT_TRUE(wcs.pixelToSky(30, 20, ra, dec));
        ASSERT_TRUE(wcs.skyToPixel(ra, dec, x, y));
        EXPECT_NEAR(x, 30, 1e-6);
        EXPECT_NEAR(y, 20, 1e-6);
    }
    for (const char* name : {"tpvonly.hdr", "siponly.hdr", "defunct_keywords.hdr"}) {
        const fs::path file = kReal / "wcs" / name;
        REQUIRE_REAL(file);
        const auto wcs = wcsOfRawHeader(file);
        ASSERT_TRUE(wcs.valid()) << name;
        double ra, dec, x, y;
        ASSERT_TRUE(wcs.pixelToSky(100, 200, ra, dec)) << name;
        ASSERT_TRUE(wcs.skyToPixel(ra, dec, x, y)) << name;
        EXPECT_NEAR(x, 100, 1e-5) << name;
        EXPECT_NEAR(y, 200, 1e-5) << name;
        EXPECT_GT(std::abs(wcs.scaleAt(100, 200)), 0.01) << name;
    }
}

TEST(RealPlateSolutions, ImagesWithoutASolutionHaveNone) {
    for (const char* name : {"galaxy-pair/aligned_eso085-030-004.fit", "dslr/unsolved.fits"}) {
        const fs::path file = kReal / name;
        REQUIRE_REAL(file);
        EXPECT_FALSE(wcsOf(file).valid()) << name;
    }
    const fs::path fz = kReal / "dslr" / "solved.fits.fz";
    REQUIRE_REAL(fz);
    const auto img = astrometry::ReadFitsImage(fz.string()); // tile-compressed
    EXPECT_EQ(img.width, 700);
    EXPECT_TRUE(astrometry::Wcs::FromHeader(img.header, img.headerCards).valid());
}

TEST(StarSorting, DeterministicWithTiesBrokenByPosition) {
    astrometry::StarCollection c;
    c.add({1, 1, 15.0, 100, 50, 20});
    c.add({1, 1, 14.0, 300, 10, 30});
    c.add({1, 1, 15.0, 100, 40, 20});
    c.add({1, 1, 15.0, 100, 45, 10});
    c.Sort(1, 0);
    EXPECT_EQ(c[0].Magnitude, 14.0);
    EXPECT_EQ(c[1].Y, 10); // ties: y, then x
    EXPECT_EQ(c[2].x, 40);
    EXPECT_EQ(c[3].x, 50);
    c.Sort(4, 1);
    EXPECT_EQ(c[0].RawFlux, 300);
    EXPECT_EQ(c[1].Y, 10);
}
