// The catalog readers on hand-made files with the formats' own check values,
// on the real GSC region file, and on simulated catalog folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "astrometry/catalog.h"
#include "astrometry/errors.h"
#include "catalog_entries.h"

namespace fs = std::filesystem;
using astrometry::SkyBox;

using testsupport::TempDir;

namespace {

void put32(std::string& b, std::int32_t v, bool big) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(u >> (8 * (big ? 3 - i : i))));
}

// A USNO zone file of (ra deg, dec deg, packed word) records with its .acc.
void usnoZone(const fs::path& dir, const std::string& name, std::vector<std::tuple<double, double, std::int32_t>> recs,
              bool big = true, bool withAcc = true) {
    std::sort(recs.begin(), recs.end());
    std::string cat;
    int counts[96] = {};
    for (auto [ra, dec, w] : recs) {
        put32(cat, static_cast<std::int32_t>(std::lround(ra * 360000)), big);
        put32(cat, static_cast<std::int32_t>(std::lround((dec + 90) * 360000)), big);
        put32(cat, w, big);
        ++counts[static_cast<int>(ra / 3.75)];
    }
    std::ofstream(dir / (name + ".cat"), std::ios::binary) << cat;
    if (!withAcc) return;
    std::ofstream acc(dir / (name + ".acc"));
    long start = 1;
    for (int b = 0; b < 96; ++b) {
        char line[64];
        std::snprintf(line, sizeof line, "%5.2f %11ld %9d\r\n", b * 0.25, start, counts[b]); // CR LF copy
        acc << line;
        start += counts[b];
    }
}

std::vector<astrometry::CatalogStar> sorted(std::vector<astrometry::CatalogStar> v) {
    std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.ra < b.ra; });
    return v;
}

} // namespace

TEST(UsnoA2, PackedMagnitudesAndBothByteOrders) {
    for (bool big : {true, false}) {
        TempDir t("vospen-cat");
        // 1 081 150 162: Q=1, field 081, B=15.0, R=16.2; the negative word is ACT-correlated.
        usnoZone(t.path, "ZONE1050", {{150.0, 21.0, 1081150162}, {150.01, 21.01, -81150162},
                                      {150.02, 21.02, 81150999}}, big);
        const auto stars = sorted(astrometry::ReadUsnoA2(t.path.string(), {149, 151, 20, 22}, 30));
        ASSERT_EQ(stars.size(), 2u) << "a red value above 25.0 mag is no magnitude";
        EXPECT_DOUBLE_EQ(stars[0].mag, 16.2);
        EXPECT_DOUBLE_EQ(stars[1].mag, 16.2);
        EXPECT_NEAR(stars[0].ra, 150.0, 1e-7);
        EXPECT_NEAR(stars[0].dec, 21.0, 1e-7);
        EXPECT_EQ(astrometry::ReadUsnoA2(t.path.string(), {149, 151, 20, 22}, 16.0).size(), 0u);
    }
}

TEST(UsnoA2, BoxesAcrossZeroHoursAndAcrossAZoneEdge) {
    TempDir t("vospen-cat");
    usnoZone(t.path, "zone1050", {{359.9, 21, 1150160}, {0.05, 21, 1150160}, {180, 21, 1150160}});
    usnoZone(t.path, "zone1125", {{0.02, 22.6, 1150160}, {359.95, 23, 1150160}});
    const auto wrap = astrometry::ReadUsnoA2(t.path.string(), {359.8, 0.2, 20.5, 23.5}, 20);
    EXPECT_EQ(wrap.size(), 4u); // both ends of 0h, both zones, not the star at 180 deg
    // without the accelerator the zone is searched by bisection
    fs::remove(t.path / "zone1050.acc");
    EXPECT_EQ(astrometry::ReadUsnoA2(t.path.string(), {359.8, 0.2, 20.5, 21.5}, 20).size(), 2u);
}

TEST(CatalogFolders, MissingEmptyOrForeignFoldersAreClearErrors) {
    TempDir t("vospen-cat");
    auto expectError = [](auto fn, const char* words) {
        try {
            fn();
            ADD_FAILURE() << "no error";
        } catch (const astrometry::Error& e) {
            EXPECT_EQ(e.number(), astrometry::kCatalogError);
            EXPECT_NE(e.description().find(words), std::string::npos) << e.description();
        }
    };
    const SkyBox box{10, 11, 20, 21};
    expectError([&] { astrometry::ReadUsnoA2((t.path / "nope").string(), box, 20); }, "does not exist");
    expectError([&] { astrometry::ReadUsnoA2(t.path.string(), box, 20); }, "zone1050.cat");
    expectError([&] { astrometry::ReadUcac2(t.path.string(), box, 20); }, "u2index.da");
    expectError([&] { astrometry::ReadGscAct(t.path.string(), box, 20); }, "regions.tbl");
    expectError([&] { astrometry::ReadCatalog("9", t.path.string(), box, 20); }, "Unknown catalog");
    std::ofstream(t.path / "zone1050.cat") << "not twelve";
    expectError([&] { astrometry::ReadUsnoA2(t.path.string(), box, 20); }, "12-byte");
}

TEST(Ucac2, HandMadeIndexAndRecords) {
    TempDir t("vospen-cat");
    fs::create_directories(t.path / "u2");
    // zone 223 covers 21.0 to 21.5 deg; two stars near 0h, one at 10 deg
    auto rec = [](double ra, double dec, int mag) {
        std::string r;
        put32(r, static_cast<std::int32_t>(std::lround(ra * 3.6e6)), false);
        put32(r, static_cast<std::int32_t>(std::lround(dec * 3.6e6)), false);
        r.push_back(static_cast<char>(mag & 0xFF));
        r.push_back(static_cast<char>(mag >> 8));
        r.push_back(static_cast<char>(-107)); // e_RAm stored -127: 20 mas
        r.resize(44, '\0');
        return r;
    };
    std::ofstream(t.path / "u2" / "z223", std::ios::binary)
        << rec(0.5, 21.2, 1591) + rec(10.0, 21.3, 1234) + rec(359.8, 21.1, 1400);
    std::string idx;
    for (int z = 1; z <= 288; ++z)
        for (int j = 1; j <= 240; ++j) {
            int n = 0;
            if (z == 223) n = j < 7 ? 1 : (j < 240 ? 2 : 3);
            if (z > 223) n = 3;
            put32(idx, n, false);
        }
    std::ofstream(t.path / "u2" / "u2index.da", std::ios::binary) << idx;
    const auto all = sorted(astrometry::ReadUcac2(t.path.string(), {359.5, 11, 21.0, 21.4}, 20));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_DOUBLE_EQ(all[0].mag, 15.91);
    EXPECT_NEAR(all[2].ra, 359.8, 1e-6);
    EXPECT_EQ(astrometry::ReadUcac2(t.path.string(), {5, 11, 21.0, 21.4}, 20).size(), 1u);
    EXPECT_EQ(astrometry::ReadUcac2(t.path.string(), {359.5, 11, 21.0, 21.4}, 13).size(), 1u);
}

TEST(GscAct, TheRealRegionFile) {
    const fs::path real = fs::path(VOSPEN_REAL_DATA) / "gsc" / "0908.gsc";
    if (!fs::exists(real)) GTEST_SKIP() << "real data folder absent: " << real;
    const auto region = astrometry::ReadGscRegionFile(real.string());
    EXPECT_EQ(region.rows, 1424);
    EXPECT_EQ(region.stars.size(), 1283u);
    // GSC 0908-00001 was measured twice: 213.51543/14.30576 and 213.51547/14.30527, equal errors
    EXPECT_NEAR(region.stars[0].ra, 213.51545, 1e-6);
    EXPECT_NEAR(region.stars[0].dec, 14.305515, 1e-6);
    EXPECT_NEAR(region.stars[0].mag, 13.67, 1e-6);
    for (const auto& s : region.stars) {
        EXPECT_GE(s.ra, 211.9);
        EXPECT_LE(s.ra, 214.5);
        EXPECT_GE(s.dec, 12.49);
        EXPECT_LE(s.dec, 15.01);
    }
}

TEST(AllThreeReaders, SimulatedFolderAgreesWithWhatWasWritten) {
    TempDir t("vospen-cat");
    std::vector<skysim::CatalogEntry> entries;
    for (int i = 0; i < 400; ++i) // around 0h and across the 22.5 deg zone edge of USNO and GSC
        entries.push_back({std::fmod(359.0 + 0.005 * i, 360.0), 22.0 + 0.0025 * i, 10 + 0.01 * i, 11 + 0.01 * i});
    skysim::WriteUsnoA2(t.path.string(), entries);
    skysim::WriteUcac2(t.path.string(), entries);
    skysim::WriteGscAct(t.path.string(), entries, 3);
    const SkyBox box{359.5, 0.5, 22.2, 22.8};
    std::size_t expected = 0;
    for (const auto& e : entries)
        if ((e.ra >= 359.5 || e.ra <= 0.5) && e.dec >= 22.2 && e.dec <= 22.8) ++expected;
    ASSERT_GT(expected, 100u);
    for (const char* code : {"5", "6", "3"}) {
        const auto got = astrometry::ReadCatalog(code, t.path.string(), box, 30);
        EXPECT_EQ(got.size(), expected) << "catalog " << code;
        for (const auto& s : got) {
            EXPECT_TRUE(s.ra >= 359.5 - 1e-4 || s.ra <= 0.5 + 1e-4) << code;
            EXPECT_GE(s.dec, 22.2 - 1e-4);
        }
    }
}
