// The hinted solver on simulated fields: any rotation, mirrored, hints 5' and
// 5 % off, checked against the simulator's own sky positions.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "astrometry/plate_solver.h"
#include "astrometry/wcs.h"
#include "pair.h"
#include "random.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    bool solved;
    double rmsArcsec; // solution against the true sky positions
    std::string reason;
};

Outcome solveOne(std::uint64_t seed, const fs::path& dir, int size = 768) {
    skysim::Random rnd(seed, 77);
    skysim::PairOptions o;
    o.out = (dir / std::to_string(seed)).string();
    o.seed = seed;
    o.width = o.height = size;
    o.ra = rnd.uniform(0, 360);
    o.dec = rnd.uniform(-60, 70);
    o.mirror = rnd.uniform() < 0.5;
    o.reference.rotation = rnd.uniform(0, 360);
    o.sip = rnd.uniform() < 0.3;
    const auto pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    const auto image = astrometry::ReadFitsImage(o.out + "/reference.fts");

    // hints: 5 arcmin away in a random direction, scale 5 % off
    const double angle = rnd.uniform(0, 2 * M_PI);
    double hra, hdec;
    skysim::FromStandardCoordinates(pair.referenceEpoch.ra, pair.referenceEpoch.dec, 5.0 / 60 * std::sin(angle),
                                    5.0 / 60 * std::cos(angle), hra, hdec);
    astrometry::SolveHints hints{hra / 15, hdec, o.scale * (rnd.uniform() < 0.5 ? 0.95 : 1.05)};
    astrometry::SolveSettings settings;
    settings.catalog.folder = o.out + "/catalog";
    const auto r = astrometry::SolveImage(image, hints, settings);
    Outcome out{r.solved, 0, r.reason};
    if (r.solved)
        out.reason = "matched " + std::to_string(r.solution.matched) + ", fit rms " +
                     std::to_string(r.solution.rmsArcsec) + (r.solution.sip ? ", sip" : "") +
                     (o.sip ? " (image has sip)" : "");
    if (!r.solved) return out;
    double sum2 = 0;
    int n = 0;
    for (const auto& s : pair.reference.stars) {
        double ra, dec;
        r.solution.pixelToSky(s.x, s.y, ra, dec);
        const double d = std::hypot((ra - s.ra) * std::cos(s.dec * M_PI / 180), dec - s.dec) * 3600;
        sum2 += d * d;
        ++n;
    }
    out.rmsArcsec = std::sqrt(sum2 / n);
    // the cards read back through wcslib give the same positions
    const std::string cards = r.solution.headerCards();
    const auto wcs = astrometry::Wcs::FromHeader(cards, static_cast<int>(cards.size() / 80));
    EXPECT_TRUE(wcs.valid());
    double ra1, dec1, ra2, dec2;
    r.solution.pixelToSky(10, 20, ra1, dec1);
    wcs.pixelToSky(10, 20, ra2, dec2);
    EXPECT_NEAR(ra1, ra2, 1e-7);
    EXPECT_NEAR(dec1, dec2, 1e-7);
    EXPECT_EQ(wcs.scaleAt(384, 384) < 0, o.mirror);
    return out;
}

} // namespace

TEST(PlateSolver, SolvesRotatedMirroredFieldsFromRoughHints) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-solve-" + std::to_string(::getpid()));
    int solved = 0;
    const int fields = 24;
    for (int seed = 1; seed <= fields; ++seed) {
        const Outcome o = solveOne(seed, dir);
        EXPECT_TRUE(o.solved) << "seed " << seed << ": " << o.reason;
        if (!o.solved) continue;
        ++solved;
        EXPECT_LT(o.rmsArcsec, 0.3) << "seed " << seed << ": " << o.reason;
    }
    EXPECT_EQ(solved, fields);
    fs::remove_all(dir);
}

TEST(PlateSolver, FailsWithAReason) {
    std::vector<astrometry::DetectedStar> none;
    auto r = astrometry::SolvePlate(none, 100, 100, {}, {10, 20, 1.5});
    EXPECT_FALSE(r.solved);
    EXPECT_NE(r.reason.find("Too few stars"), std::string::npos);
    // a field far from the catalog's stars
    std::vector<astrometry::DetectedStar> stars;
    for (int i = 0; i < 30; ++i) stars.push_back({10.0 + 37 * (i % 7), 5.0 + 29 * i % 300, 1000.0 - i, 10, 100, false});
    std::vector<astrometry::CatalogStar> cat;
    for (int i = 0; i < 30; ++i) cat.push_back({150.0 + 0.01 * (i % 5), 20.0 + 0.013 * i, 12});
    r = astrometry::SolvePlate(stars, 400, 400, cat, {0.1, -40, 1.5});
    EXPECT_FALSE(r.solved);
    EXPECT_FALSE(r.reason.empty());
}
