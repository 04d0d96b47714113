// The simulator's products, read back with cfitsio and wcslib (not with the
// simulator's own code), and its catalogs checked byte by byte.
#include <gtest/gtest.h>

#include <fitsio.h>
#include <wcslib/wcshdr.h>
#include <wcslib/wcs.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/files.h"
#include <fstream>
#include <map>
#include <sstream>

#include "gsc_regions.h"
#include "pair.h"
#include "platform/fits_handle.h"

namespace fs = std::filesystem;

namespace {

std::int32_t be32(const std::string& b, std::size_t o) {
    return static_cast<std::int32_t>((std::uint32_t(std::uint8_t(b[o])) << 24) |
                                     (std::uint32_t(std::uint8_t(b[o + 1])) << 16) |
                                     (std::uint32_t(std::uint8_t(b[o + 2])) << 8) |
                                     std::uint32_t(std::uint8_t(b[o + 3])));
}
template <typename T>
T le(const std::string& b, std::size_t o) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t(std::uint8_t(b[o + i])) << (8 * i);
    return static_cast<T>(v);
}

struct Star {
    double ra, dec, mag;
};

// The USNO records of every zone file of a folder.
std::vector<Star> readUsno(const fs::path& folder) {
    std::vector<Star> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() != ".cat") continue;
        const std::string b = testsupport::Slurp(e.path());
        for (std::size_t o = 0; o + 12 <= b.size(); o += 12) {
            const std::int32_t w = std::abs(be32(b, o + 8));
            out.push_back({be32(b, o) / 360000.0, be32(b, o + 4) / 360000.0 - 90, (w % 1000) / 10.0});
        }
    }
    return out;
}

struct Wcs {
    wcsprm* wcs = nullptr;
    int nwcs = 0;
    explicit Wcs(const fs::path& file) {
        int status = 0;
        fitsfile* raw = nullptr;
        fits_open_file(&raw, file.c_str(), READONLY, &status);
        platform::FitsFile f(raw);
        char* header = nullptr;
        int nkeys = 0;
        fits_hdr2str(f.get(), 1, nullptr, 0, &header, &nkeys, &status);
        int nrej = 0;
        wcspih(header, nkeys, WCSHDR_all, 0, &nrej, &nwcs, &wcs);
        fits_free_memory(header, &status);
        wcsset(wcs);
    }
    ~Wcs() { wcsvfree(&nwcs, &wcs); }
    bool toPixel(double ra, double dec, double& x, double& y) const {
        double world[2] = {ra, dec}, phi, theta, img[2], pix[2];
        int stat = 0;
        if (wcss2p(wcs, 1, 2, world, &phi, &theta, img, pix, &stat)) return false;
        x = pix[0];
        y = pix[1];
        return true;
    }
};

class Simulated : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("vospen-skysim-" + std::to_string(::getpid()));
        options.out = dir.string();
        options.width = 640;
        options.height = 512;
        options.seed = 42;
        options.supernovae = {15.0};
        options.density = 4000;
        pair = skysim::MakePair(options);
        skysim::WritePair(options, pair);
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }
    static inline fs::path dir;
    static inline skysim::PairOptions options;
    static inline skysim::Pair pair;
};

TEST_F(Simulated, CatalogStarsLandOnTheImageStarsThroughThePlateSolution) {
    const Wcs wcs(dir / "reshot.fts");
    ASSERT_EQ(wcs.nwcs, 1);
    const auto catalog = readUsno(dir / "catalog");
    ASSERT_GT(catalog.size(), 100u);
    double sum2 = 0;
    int matched = 0;
    for (const auto& truth : pair.reshot.stars) {
        if (truth.mag > 17) continue;
        // the catalog entry nearest to this star's true sky position
        const Star* best = nullptr;
        double bestD = 1e9;
        for (const auto& c : catalog) {
            const double d = std::hypot((c.ra - truth.ra) * std::cos(truth.dec * M_PI / 180),
                                        c.dec - truth.dec) * 3600;
            if (d < bestD) {
                bestD = d;
                best = &c;
            }
        }
        if (!best || bestD > 2) continue;
        double x, y;
        ASSERT_TRUE(wcs.toPixel(best->ra, best->dec, x, y));
        const double dx = (x - truth.x) * options.scale, dy = (y - truth.y) * options.scale;
        sum2 += dx * dx + dy * dy;
        ++matched;
        EXPECT_NEAR(best->mag, truth.mag, 1.0);
    }
    ASSERT_GT(matched, 30);
    const double rms = std::sqrt(sum2 / matched / 2); // per coordinate
    EXPECT_GT(rms, 0.1);
    EXPECT_LT(rms, 0.4);
}

TEST_F(Simulated, StarsAreInThePixelsWhereTheTruthSaysAndTheSupernovaOnlyInTheReshot) {
    auto pixel = [](const skysim::Image& img, double x, double y) {
        const int ix = static_cast<int>(std::lround(x)) - 1, iy = static_cast<int>(std::lround(y)) - 1;
        return double(img.pixels[static_cast<std::size_t>(iy) * img.width + ix]);
    };
    auto localSky = [&](const skysim::Image& img, double x, double y) {
        return pixel(img, x + 25, y); // beside, not on, the star
    };
    ASSERT_EQ(pair.reshot.supernovae.size(), 1u);
    const auto& sn = pair.reshot.supernovae[0];
    EXPECT_GT(pixel(pair.reshot, sn.x, sn.y) - localSky(pair.reshot, sn.x, sn.y), 600);
    double rx, ry;
    ASSERT_TRUE(pair.reference.plate.skyToPixel(sn.ra, sn.dec, rx, ry));
    const double refExcess = pixel(pair.reference, rx, ry) - localSky(pair.reference, rx, ry);
    EXPECT_LT(refExcess, 400); // only the galaxy's light
    int bright = 0;
    for (const auto& s : pair.reference.stars) {
        if (s.mag > 14 || s.x < 30 || s.y < 30 || s.x > 610 || s.y > 480) continue;
        EXPECT_GT(pixel(pair.reference, s.x, s.y), 1000 + pair.referenceEpoch.sky + 500);
        ++bright;
    }
    EXPECT_GT(bright, 0);
}

TEST_F(Simulated, ImagesAreSixteenBitWithBzeroAndAPlateSolution) {
    int status = 0;
    fitsfile* raw = nullptr;
    fits_open_file(&raw, (dir / "reference.fts").c_str(), READONLY, &status);
    ASSERT_EQ(status, 0);
    platform::FitsFile f(raw);
    int bitpix = 0;
    fits_get_img_type(f.get(), &bitpix, &status);
    EXPECT_EQ(bitpix, 16);
    double bzero = 0;
    fits_read_key_dbl(f.get(), "BZERO", &bzero, nullptr, &status);
    EXPECT_EQ(bzero, 32768.0);
    char value[FLEN_VALUE];
    for (const char* k : {"OBJECT", "DATE-OBS", "EXPTIME", "XBINNING", "YBINNING", "FILTER",
                          "CTYPE1", "CTYPE2", "CRVAL1", "CRPIX1", "CD1_1", "CD2_2"}) {
        fits_read_keyword(f.get(), k, value, nullptr, &status);
        EXPECT_EQ(status, 0) << k;
        status = 0;
    }
}

TEST(SkysimOptions, SipAndNoSolutionHeaders) {
    skysim::PairOptions o;
    o.out = (fs::temp_directory_path() / ("vospen-skysim-sip-" + std::to_string(::getpid()))).string();
    o.width = o.height = 128;
    o.sip = true;
    skysim::WritePair(o, skysim::MakePair(o));
    {
        const Wcs wcs(fs::path(o.out) / "reshot.fts");
        ASSERT_EQ(wcs.nwcs, 1);
        EXPECT_NE(std::strstr(wcs.wcs->ctype[0], "TAN"), nullptr);
        EXPECT_NE(wcs.wcs->lin.dispre, nullptr); // SIP distortion recognised
    }
    o.sip = false;
    o.solution = false;
    skysim::WritePair(o, skysim::MakePair(o));
    int status = 0;
    fitsfile* raw = nullptr;
    fits_open_file(&raw, (fs::path(o.out) / "reshot.fts").c_str(), READONLY, &status);
    platform::FitsFile f(raw);
    char value[FLEN_VALUE];
    fits_read_keyword(f.get(), "CTYPE1", value, nullptr, &status);
    EXPECT_EQ(status, KEY_NO_EXIST);
    fs::remove_all(o.out);
}

TEST(SkysimDeterminism, SameSeedSamePixelsOtherSeedOthers) {
    skysim::PairOptions o;
    o.width = 200;
    o.height = 150;
    o.seed = 7;
    o.supernovae = {16};
    const auto a = skysim::MakePair(o), b = skysim::MakePair(o);
    EXPECT_EQ(a.reference.pixels, b.reference.pixels);
    EXPECT_EQ(a.reshot.pixels, b.reshot.pixels);
    EXPECT_EQ(a.field.stars.size(), b.field.stars.size());
    o.seed = 8;
    const auto c = skysim::MakePair(o);
    EXPECT_NE(a.reshot.pixels, c.reshot.pixels);
}

// ---- catalog formats ----------------------------------------------------

TEST_F(Simulated, UsnoZoneFilesAndAccelerators) {
    int zones = 0;
    for (const auto& e : fs::directory_iterator(dir / "catalog")) {
        if (e.path().extension() != ".cat") continue;
        ++zones;
        const std::string name = e.path().stem().string();
        ASSERT_EQ(name.substr(0, 4), "zone");
        const int spd10 = std::stoi(name.substr(4));
        EXPECT_EQ(spd10 % 75, 0);
        const std::string cat = testsupport::Slurp(e.path());
        ASSERT_EQ(cat.size() % 12, 0u);
        std::ifstream acc(fs::path(e.path()).replace_extension(".acc"));
        std::string line;
        long expectStart = 1, total = 0;
        int lines = 0;
        while (std::getline(acc, line)) {
            ASSERT_EQ(line.size(), 29u); // 30 bytes with the line feed
            std::istringstream s(line);
            double hours;
            long start, count;
            s >> hours >> start >> count;
            EXPECT_DOUBLE_EQ(hours, lines * 0.25);
            EXPECT_EQ(start, expectStart);
            for (long r = start; r < start + count; ++r) {
                const double raDeg = be32(cat, (r - 1) * 12) / 360000.0;
                EXPECT_GE(raDeg, hours * 15);
                EXPECT_LT(raDeg, hours * 15 + 3.75);
            }
            expectStart += count;
            total += count;
            ++lines;
        }
        EXPECT_EQ(lines, 96);
        EXPECT_EQ(total * 12, static_cast<long>(cat.size()));
        for (std::size_t o = 0; o + 12 <= cat.size(); o += 12) {
            const double spd = be32(cat, o + 4) / 360000.0;
            EXPECT_GE(spd * 10, spd10);
            EXPECT_LT(spd * 10, spd10 + 75);
            if (o) {
                EXPECT_GE(be32(cat, o), be32(cat, o - 12)); // sorted by RA
            }
        }
    }
    EXPECT_GT(zones, 0);
}

TEST_F(Simulated, Ucac2ZonesAndIndex) {
    const std::string index = testsupport::Slurp(dir / "catalog" / "u2index.da");
    ASSERT_EQ(index.size(), 288u * 240 * 4);
    auto nx = [&](int z, int j) { return le<std::int32_t>(index, ((z - 1) * 240 + (j - 1)) * 4); };
    int files = 0;
    std::int32_t previous = 0;
    for (int z = 1; z <= 288; ++z) {
        for (int j = 1; j <= 240; ++j) {
            EXPECT_GE(nx(z, j), previous);
            previous = nx(z, j);
        }
        char name[8];
        std::snprintf(name, sizeof name, "z%03d", z);
        const fs::path file = dir / "catalog" / name;
        const std::int32_t inZone = nx(z, 240) - (z > 1 ? nx(z - 1, 240) : 0);
        if (!fs::exists(file)) {
            EXPECT_EQ(inZone, 0);
            continue;
        }
        ++files;
        const std::string recs = testsupport::Slurp(file);
        ASSERT_EQ(recs.size(), static_cast<std::size_t>(inZone) * 44);
        const std::int32_t n0 = z > 1 ? nx(z - 1, 240) : 0;
        for (std::int32_t r = 0; r < inZone; ++r) {
            const auto ra = le<std::int32_t>(recs, r * 44), de = le<std::int32_t>(recs, r * 44 + 4);
            EXPECT_EQ((de + 324000000) / 1800000 + 1, z);
            const int bin = ra / 5400000 + 1;
            const std::int32_t first = bin == 1 ? 1 : nx(z, bin - 1) - n0 + 1, last = nx(z, bin) - n0;
            EXPECT_GE(r + 1, first);
            EXPECT_LE(r + 1, last);
            const auto mag = le<std::int16_t>(recs, r * 44 + 8);
            EXPECT_GT(mag, 500);
            EXPECT_LT(mag, 2000);
            const int eRa = static_cast<std::int8_t>(recs[r * 44 + 10]) + 127;
            EXPECT_EQ(eRa, 20);
        }
    }
    EXPECT_GT(files, 0);
}

namespace {
std::map<std::string, std::string> cards(const std::string& bytes, std::size_t from,
                                         std::size_t& dataStart) {
    std::map<std::string, std::string> out;
    for (std::size_t o = from;; o += 80) {
        const std::string card = bytes.substr(o, 80);
        const std::string key = card.substr(0, 8);
        if (key == "END     ") {
            dataStart = (o / 2880 + 1) * 2880;
            return out;
        }
        if (card.size() > 10 && card[8] == '=') {
            std::string v = card.substr(10);
            const auto open = v.find('\'');
            const auto close = open == std::string::npos ? 0 : v.find('\'', open + 1);
            const auto slash = v.find(" /", close == std::string::npos ? 0 : close);
            if (slash != std::string::npos) v = v.substr(0, slash);
            while (!v.empty() && v.back() == ' ') v.pop_back();
            out[key] = v.substr(v.find_first_not_of(' '));
        }
    }
}
} // namespace

TEST_F(Simulated, GscRegionFilesReadLikeTheRealOne) {
    const fs::path real = fs::path(VOSPEN_REAL_DATA) / "gsc" / "0908.gsc";
    if (!fs::exists(real)) GTEST_SKIP() << "real data folder absent: " << real;
    const std::string r = testsupport::Slurp(real);
    std::size_t realExt = 0, realData = 0;
    const auto realPrimary = cards(r, 0, realExt);
    const auto realTable = cards(r, realExt, realData);
    EXPECT_EQ(realData, 8640u);

    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "catalog")) {
        if (e.path().extension() != ".gsc") continue;
        ++files;
        const int region = std::stoi(e.path().stem().string());
        const auto& grid = skysim::GscRegionGrid();
        EXPECT_EQ(e.path().parent_path().filename().string(), grid[region - 1].folder);
        const std::string s = testsupport::Slurp(e.path());
        EXPECT_EQ(s.size() % 2880, 0u);
        std::size_t ext = 0, data = 0;
        const auto primary = cards(s, 0, ext);
        const auto table = cards(s, ext, data);
        for (const char* k : {"SIMPLE  ", "BITPIX  ", "NAXIS   ", "EXTEND  ", "FILETYPE"})
            EXPECT_EQ(primary.at(k), realPrimary.at(k)) << k;
        for (const auto& [k, v] : realTable) {
            if (k == "NAXIS2  " || k == "EXTNAME ") continue;
            ASSERT_TRUE(table.count(k)) << k;
            EXPECT_EQ(table.at(k), v) << k;
        }
        char ext5[32];
        std::snprintf(ext5, sizeof ext5, "'GSC_REGION_%05d'", region);
        EXPECT_EQ(table.at("EXTNAME "), ext5);
        const long rows = std::stol(table.at("NAXIS2  "));
        for (long i = 0; i < rows; ++i) {
            const std::string row = s.substr(data + i * 45, 45);
            const double ra = std::stod(row.substr(5, 9)), dec = std::stod(row.substr(14, 9));
            EXPECT_GE(ra, grid[region - 1].raLo - 0.001);
            EXPECT_LE(ra, grid[region - 1].raHi + 0.001);
            EXPECT_GE(dec, grid[region - 1].decLo - 0.001);
            EXPECT_LE(dec, grid[region - 1].decHi + 0.001);
            EXPECT_TRUE(row[44] == 'T' || row[44] == 'F');
        }
        // cfitsio reads it as an ASCII table
        int status = 0;
        fitsfile* raw = nullptr;
        fits_open_file(&raw, (e.path().string() + "[1]").c_str(), READONLY, &status);
        platform::FitsFile f(raw);
        long n = 0;
        fits_get_num_rows(f.get(), &n, &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(n, rows);
    }
    EXPECT_GT(files, 0);
}

TEST(GscRegions, GridMatchesTheFolderRangesAndTilesTheSky) {
    const auto& grid = skysim::GscRegionGrid();
    ASSERT_EQ(grid.size(), 9537u);
    std::map<std::string, std::pair<int, int>> ranges;
    double area = 0;
    for (const auto& g : grid) {
        auto& r = ranges.try_emplace(g.folder, g.number, g.number).first->second;
        r.second = g.number;
        area += (g.raHi - g.raLo) * (std::sin(g.decHi * M_PI / 180) - std::sin(g.decLo * M_PI / 180)) *
                180 / M_PI;
    }
    EXPECT_NEAR(area, 41252.96, 0.1);
    EXPECT_EQ(ranges["n0000"], std::make_pair(1, 593));
    EXPECT_EQ(ranges["n0730"], std::make_pair(594, 1177));
    EXPECT_EQ(ranges["n4500"], std::make_pair(3246, 3651));
    EXPECT_EQ(ranges["n8230"], std::make_pair(4615, 4662));
    EXPECT_EQ(ranges["s0000"], std::make_pair(4663, 5259));
    EXPECT_EQ(ranges["s3730"], std::make_pair(7523, 8021));
    EXPECT_EQ(ranges["s8230"], std::make_pair(9490, 9537));
}

TEST_F(Simulated, RegionsTableRowsAndTheSouthernSwap) {
    const std::string t = testsupport::Slurp(dir / "catalog" / "tables" / "regions.tbl");
    std::size_t ext = 0, data = 0;
    cards(t, 0, ext);
    const auto table = cards(t, ext, data);
    EXPECT_EQ(table.at("NAXIS1  "), "48");
    EXPECT_EQ(table.at("NAXIS2  "), "9537");
    EXPECT_EQ(table.at("TTYPE8  "), "'DECSI_LO'");
    const auto row = [&](int region) { return t.substr(data + (region - 1) * 48, 48); };
    EXPECT_EQ(std::stoi(row(1).substr(0, 5)), 1);
    EXPECT_EQ(row(1)[31], '+');
    // A southern region touching the equator: "-" even for 0 deg; LO is the equator side.
    const std::string s = row(4663);
    EXPECT_EQ(s[31], '-');
    EXPECT_EQ(std::stoi(s.substr(32, 2)), 0);
    EXPECT_GT(std::stoi(s.substr(41, 2)) * 60 + std::stod(s.substr(44, 4)), 0);
    // The last region of a band ends at 24h, written as 0h.
    const std::string last = row(593);
    EXPECT_EQ(last.substr(19, 11), " 0  0  0.00");
}

} // namespace
