// Known minor planets near a candidate: the orbit file's columns, the two-body
// orbit and the view from the Earth, against figures computed independently
// (orbit_reference.py beside this file).
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include <zlib.h>

#include "checks/orbit_lines.h"
#include "checks/card_words.h"
#include "checks/errors.h"
#include "checks/minor_planets.h"
#include "checks/observer_site.h"
#include "checks/orbit_cache.h"
#include "checks/observation_time.h"

namespace fs = std::filesystem;

namespace {

using testsupport::kCeres;
using testsupport::kPallas;

std::string card(const std::string& key, const std::string& value) {
    std::string c = key;
    c.resize(8, ' ');
    c += "= " + value;
    c.resize(80, ' ');
    return c;
}

fs::path scratch(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("vospen-checks-" + std::to_string(getpid())) / name;
    fs::create_directories(p.parent_path());
    return p;
}

void writeGzip(const fs::path& path, const std::string& text) {
    gzFile f = gzopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
}

} // namespace

TEST(MinorPlanets, CeresAtItsEpochAndFromTheEarth) {
    std::string name;
    const auto ceres = checks::ParseOrbitLine(kCeres, &name);
    ASSERT_TRUE(ceres);
    EXPECT_EQ(name, "(1) Ceres");
    EXPECT_EQ(ceres->epochMjd, 60800); // 2025 May 5
    EXPECT_NEAR(ceres->h, 3.34, 1e-6);
    const auto p = checks::EclipticPosition(*ceres, 60800);
    EXPECT_NEAR(p[0], 2.771132, 2e-6);
    EXPECT_NEAR(p[1], -0.96407, 1e-5);
    EXPECT_NEAR(p[2], -0.54103, 1e-5);

    // 2025-08-20 03:00 UTC, astropy's Earth and a Kepler solution of its own:
    // RA 20.317603, Dec -6.538321, 2.210554 AU
    const std::string header = card("DATE-OBS", "'2025-08-20T02:59:00'") + card("EXPTIME", "120.0");
    const auto t = checks::MidExposureMjdTT(header);
    ASSERT_TRUE(t);
    EXPECT_EQ(checks::UtcText(*t).substr(0, 19), "2025-08-20T03:00:00");
    const auto s = checks::Observe(*ceres, *t, checks::EarthPosition(*t));
    EXPECT_LT(std::hypot((s.ra - 20.317603) * std::cos(s.dec * M_PI / 180), s.dec + 6.538321) * 3600, 1.0);
    EXPECT_NEAR(s.distance, 2.210554, 1e-5);
    EXPECT_GT(s.vMagnitude, 7.5); // Ceres two months before opposition: about V 8
    EXPECT_LT(s.vMagnitude, 9.0);
    EXPECT_GT(s.motion, 5);       // a main-belt planet: tens of "/h
    EXPECT_LT(s.motion, 60);
}

TEST(MinorPlanets, OnlyThoseWithinTheRadiusAreNamed) {
    checks::OrbitFile file;
    for (const auto& line : {kCeres, kPallas}) {
        std::string name;
        file.orbits.push_back(*checks::ParseOrbitLine(line, &name));
        file.names.push_back(name);
    }
    const double t = 60907.125; // 2025-08-20 03:00 TT
    const auto at = checks::Observe(file.orbits[0], t, checks::EarthPosition(t));
    const double off = 120.0 / 3600 / std::cos(at.dec * M_PI / 180); // 2' east
    const auto near = checks::MinorPlanetsNear(file, t, {{at.ra, at.dec}, {at.ra + off, at.dec}, {0, 0}}, 30);
    ASSERT_EQ(near.size(), 3u);
    ASSERT_EQ(near[0].size(), 1u);
    EXPECT_EQ(near[0][0].name, "(1) Ceres");
    EXPECT_LT(near[0][0].separation, 0.01);
    EXPECT_TRUE(near[1].empty());
    EXPECT_TRUE(near[2].empty());
}

// The file's header before the dashed line is skipped, a damaged line is counted
// and skipped, gzip reads as the plain file does; a missing or empty file says why.
TEST(MinorPlanets, OrbitFilesPlainGzipDamagedAndMissing) {
    const std::string text = "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)\n\nDes'n     H     G   Epoch     M\n"
                             "-------------------------------------------------------------------------------\n" +
                             kCeres + "\n" + kCeres.substr(0, 60) + "\n\n" + kPallas + "\n";
    const fs::path plain = scratch("MPCORB.DAT"), gz = scratch("MPCORB.DAT.gz");
    std::ofstream(plain) << text;
    writeGzip(gz, text);
    for (const auto& p : {plain, gz}) {
        const auto f = checks::ReadOrbitFile(p.string());
        ASSERT_EQ(f.orbits.size(), 2u) << p;
        EXPECT_EQ(f.names[1], "(2) Pallas");
        EXPECT_EQ(f.damagedLines, 1u);
    }
    const auto fails = [](const std::string& path) {
        try {
            checks::ReadOrbitFile(path);
        } catch (const checks::Error& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(fails(""), checks::kNoFileNamed);
    EXPECT_EQ(fails(scratch("none.dat").string()), checks::kFileMissing);
    std::ofstream(scratch("other.dat")) << "name,ra,declination\nSN 2025a,1,2\n";
    EXPECT_EQ(fails(scratch("other.dat").string()), checks::kFileDamaged);
    fs::remove_all(plain.parent_path());
}

// The window runs in the user's locale; the files keep "." decimals.
TEST(MinorPlanets, FilesReadTheSameInACommaDecimalLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    const auto ceres = checks::ParseOrbitLine(kCeres);
    const auto t = checks::MidExposureMjdTT(card("DATE-OBS", "'2025-08-20T02:59:00.5'") + card("EXPTIME", "119.0"));
    std::setlocale(LC_NUMERIC, before.c_str());
    ASSERT_TRUE(ceres && t);
    EXPECT_NEAR(ceres->semiMajorAxis, 2.7660512, 1e-6);
    EXPECT_EQ(checks::UtcText(*t).substr(0, 19), "2025-08-20T03:00:00");
}

// A report's places: seconds rounded with their carry, the sign with the degrees.
TEST(CardWords, SexagesimalPlaces) {
    EXPECT_EQ(checks::RaText(143.044118), "09:32:10.588");
    EXPECT_EQ(checks::RaText(359.9999999), "00:00:00.000");
    EXPECT_EQ(checks::RaText(14.9999999), "01:00:00.000");
    EXPECT_EQ(checks::DecText(21.503329), "+21:30:11.98");
    EXPECT_EQ(checks::DecText(-0.5), "-00:30:00.00");
    EXPECT_EQ(checks::DecText(-89.9999999), "-90:00:00.00");
}

// The orbits' cache: made at the first read, used while the file stays as it
// is, made anew when the file changes or the copy is damaged.
TEST(MinorPlanets, TheCacheFollowsTheFile) {
    const fs::path file = scratch("cache/MPCORB.DAT"), cache = scratch("cache/MinorPlanets.cache");
    std::ofstream(file) << kCeres << "\n";
    EXPECT_EQ(checks::LoadOrbits(file.string(), cache.string()).orbits.size(), 1u);
    ASSERT_TRUE(fs::exists(cache));
    const auto size = fs::file_size(cache);
    EXPECT_EQ(checks::LoadOrbits(file.string(), cache.string()).names[0], "(1) Ceres");
    fs::resize_file(cache, size - 7); // damaged: read from the file again
    EXPECT_EQ(checks::LoadOrbits(file.string(), cache.string()).orbits.size(), 1u);
    EXPECT_EQ(fs::file_size(cache), size);
    std::ofstream(file, std::ios::app) << kPallas << "\n"; // the file changed
    const auto both = checks::LoadOrbits(file.string(), cache.string());
    ASSERT_EQ(both.orbits.size(), 2u);
    EXPECT_EQ(both.names[1], "(2) Pallas");
    EXPECT_NEAR(both.orbits[1].inclination, 34.92905, 1e-4);
    fs::remove_all(file.parent_path());
}

// A made-up planet 0.05 AU away at opposition: from the LCO site at Cerro
// Tololo it stands 2.6' from where the Earth's centre sees it. Both places
// against astropy's Earth and site (orbit_reference.py beside this file).
TEST(MinorPlanets, ACloseOneIsSeenFromTheSite) {
    checks::Orbit o;
    o.h = 20;
    o.epochMjd = 61000;
    o.meanAnomaly = 58.565159f;
    o.eccentricity = 0.0001f;
    o.meanMotion = 0.93197558f;
    o.semiMajorAxis = 1.0380056f;
    const double t = 61000.3;
    const auto arcsec = [](const checks::Sighting& s, double ra, double dec) {
        return checks::SeparationArcsec({s.ra, s.dec}, {ra, dec});
    };
    const auto centre = checks::Observe(o, t, checks::EarthPosition(t));
    EXPECT_LT(arcsec(centre, 56.329988, 19.899661), 1.0);
    const std::string header = card("OBSGEO-X", "1815196.768") + card("OBSGEO-Y", "-5213898.987") +
                               card("OBSGEO-Z", "-3187566.098");
    const auto site = checks::ObserverSite(header);
    ASSERT_TRUE(site);
    const auto topo = checks::Observe(o, t, checks::ObserverPosition(t, *site));
    EXPECT_LT(arcsec(topo, 56.300371, 19.933453), 1.0);
    EXPECT_GT(arcsec(topo, centre.ra, centre.dec), 150);
    EXPECT_NEAR(topo.distance, 0.049989, 2e-6);

    // the same site as latitude, east longitude and height, in degrees or "d m s"
    for (const std::string& h : {card("SITELAT", "'-30 10 03.73'") + card("SITELONG", "'-70 48 16.76'") +
                                     card("SITEELEV", "2201"),
                                 card("LATITUDE", "-30.1677035") + card("LONGITUD", "-70.804655") +
                                     card("HEIGHT", "2201.0")}) {
        const auto other = checks::ObserverSite(h);
        ASSERT_TRUE(other) << h;
        EXPECT_LT(std::hypot((*other)[0] - (*site)[0], (*other)[1] - (*site)[1], (*other)[2] - (*site)[2]), 200) << h;
    }
    EXPECT_FALSE(checks::ObserverSite(card("SITELAT", "'north'") + card("SITELONG", "'3 43'")));
    EXPECT_FALSE(checks::ObserverSite(card("OBJECT", "'M31'")));
}
