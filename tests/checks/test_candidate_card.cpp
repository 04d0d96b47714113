// A candidate's card on a whole run: a simulated pair whose first supernova
// stands where Pallas' orbit puts it at the reshot's mid-exposure, its second
// 2' away; small VSX and TNS extracts in their real layouts; the survey plate.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "checks/orbit_lines.h"
#include "checks/card_words.h"
#include "checks/candidate_card.h"
#include "checks/discovery_report.h"
#include "checks/observation_time.h"
#include "engine/application.h"
#include "engine/document.h"
#include "pair.h"
#include "processing/processing_run.h"
#include "stars/catalog_check_run.h"
#include "stars/star_lines.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using testsupport::kCeres;
using testsupport::kPallas;

// A line of vsx.dat: name at 9, RA at 42, Dec at 52, type at 62, range from 93.
std::string vsxLine(const std::string& name, double ra, double dec, const std::string& type) {
    std::string l(130, ' ');
    const auto put = [&](std::size_t at, const std::string& s) { l.replace(at - 1, s.size(), s); };
    char b[32];
    put(1, "  12345");
    put(9, name);
    put(40, "0");
    std::snprintf(b, sizeof b, "%9.5f", ra);
    put(42, b);
    std::snprintf(b, sizeof b, "%+9.5f", dec);
    put(52, b);
    put(62, type);
    put(94, " 14.200");
    put(102, "V");
    put(111, " 16.800");
    put(119, "V");
    return l;
}

struct Scene {
    testsupport::TempDir dir{"vospen-card"};
    checks::SkyPlace planet, away;
    std::vector<checks::CardCandidate> candidates;
    std::string workFolder;
    stars::CatalogCheckResult checked;
};

void runScene(Scene& sc);

// The pair, the run and the catalog check, once for all the tests here.
Scene& scene() {
    static Scene s;
    static bool made = false;
    if (!made) runScene(s), made = true;
    return s;
}

void runScene(Scene& sc) {
    {
        // the reshot is taken 2026-11-20T21:05:37 for 60 s
        const double t = *checks::MidExposureMjdTT(std::string("DATE-OBS= '2026-11-20T21:05:37'").append(50, ' ') +
                                                     std::string("EXPTIME =                 60.0").append(49, ' '));
        const auto pallas = *checks::ParseOrbitLine(kPallas);
        const auto seen = checks::Observe(pallas, t, checks::EarthPosition(t));
        sc.planet = {seen.ra, seen.dec};
        const double cosDec = std::cos(seen.dec * M_PI / 180);
        sc.away = {seen.ra + 120.0 / 3600 / cosDec, seen.dec};
        skysim::PairOptions o;
        o.out = (sc.dir.path / "pair").string();
        o.seed = 31;
        o.width = 1024;
        o.height = 1024;
        o.ra = seen.ra - 12.0 / 3600 / cosDec; // the galaxy's core 12" west of the planet
        o.dec = seen.dec;
        o.supernovae = {14.5, 15.0};
        o.dss = true;
        o.editField = [&](skysim::Field& f, const skysim::Epoch&, const skysim::Epoch&) {
            f.supernovae[0].ra = sc.planet.ra, f.supernovae[0].dec = sc.planet.dec;
            f.supernovae[1].ra = sc.away.ra, f.supernovae[1].dec = sc.away.dec;
        };
        skysim::WritePair(o, skysim::MakePair(o));
        processing::RunInputs in;
        in.referencePath = o.out + "/reference.fts";
        in.reshotPath = o.out + "/reshot.fts";
        in.catalog = {"5", o.out + "/catalog", 18};
        std::unique_ptr<engine::Application> app;
        std::shared_ptr<engine::Document> ref, reshot, sub;
        const auto r = processing::RunProcessing(in, {app, ref, reshot, sub});
        app->CloseAll();
        sc.workFolder = r.workFolder;
        fs::copy_file(o.out + "/dss.fits", r.workFolder + "DSSPicture.fit");
        sc.checked = stars::RunCatalogCheck(processing::CheckInputs(in, r, 2.5, 5.0 / 3600, 1000));
        for (const auto& c : sc.checked.candidates) sc.candidates.push_back({c.pixelLine, c.text});
    }
}

checks::CardSources sources(const Scene& s) {
    checks::CardSources src;
    src.workFolder = s.workFolder;
    const fs::path files = s.dir.path / "files";
    fs::create_directories(files);
    std::ofstream(files / "MPCORB.DAT") << "MPCORB header\n" << std::string(80, '-') << "\n"
                                        << kCeres << "\n" << kPallas << "\n";
    std::ofstream(files / "vsx.dat") << vsxLine("V0001 Test", s.away.ra, s.away.dec + 4.0 / 3600, "RRAB") << "\n"
                                     << "damaged line\n"
                                     << vsxLine("V0002 Far", s.away.ra, s.away.dec + 0.01, "EA") << "\n";
    std::ofstream(files / "tns.csv")
        << "\"2026-11-21 00:00:00\"\n"
        << "\"objid\",\"name_prefix\",\"name\",\"ra\",\"declination\",\"type\",\"reporters\",\"discoverydate\",\"discoverymag\"\n"
        << "\"1\",\"SN\",\"2026xyz\",\"" << s.planet.ra << "\",\"" << s.planet.dec
        << "\",\"SN Ia\",\"A. Hunter, B. Seeker\",\"2026-11-19 03:00:00\",\"15.1\"\n"
        << "\"2\",\"AT\",\"2026bad\",\"not a number\",\"1\",\"\",\"\",\"\",\"\"\n";
    src.orbitFile = (files / "MPCORB.DAT").string();
    src.variableStarFile = (files / "vsx.dat").string();
    src.transientFile = (files / "tns.csv").string();
    src.orbitCache = (files / "MinorPlanets.cache").string();
    return src;
}

// The card of the candidate nearest `p`.
const checks::CandidateCard* cardAt(const checks::CardSet& set, const checks::SkyPlace& p) {
    for (const auto& c : set.cards)
        if (checks::SeparationArcsec(c.place, p) < 3) return &c;
    return nullptr;
}

} // namespace

TEST(CandidateCard, NamesThePlanetTheVariableAndTheTransientWhereTheyAre) {
    Scene& s = scene();
    ASSERT_GE(s.candidates.size(), 2u);
    const auto src = sources(s);
    for (int pass = 0; pass < 2; ++pass) { // the second from the orbits' cache
        const auto set = checks::BuildCards(s.candidates, src);
        const auto* onPlanet = cardAt(set, s.planet);
        const auto* away = cardAt(set, s.away);
        ASSERT_TRUE(onPlanet && away);
        ASSERT_TRUE(onPlanet->minorPlanets.value) << onPlanet->minorPlanets.reason;
        ASSERT_EQ(onPlanet->minorPlanets.value->size(), 1u);
        EXPECT_EQ((*onPlanet->minorPlanets.value)[0].name, "(2) Pallas");
        EXPECT_LT((*onPlanet->minorPlanets.value)[0].separation, 2.0);
        ASSERT_TRUE(away->minorPlanets.value);
        EXPECT_TRUE(away->minorPlanets.value->empty());
        EXPECT_TRUE(fs::exists(src.orbitCache));

        ASSERT_TRUE(away->variableStars.value) << away->variableStars.reason;
        ASSERT_EQ(away->variableStars.value->size(), 1u);
        EXPECT_EQ((*away->variableStars.value)[0].name, "V0001 Test");
        EXPECT_EQ((*away->variableStars.value)[0].range, "14.200 - 16.800 V");
        EXPECT_EQ(away->variableStars.damagedLines, 1u);
        EXPECT_TRUE(onPlanet->variableStars.value->empty());

        ASSERT_TRUE(onPlanet->transients.value) << onPlanet->transients.reason;
        ASSERT_EQ(onPlanet->transients.value->size(), 1u);
        EXPECT_EQ((*onPlanet->transients.value)[0].name, "SN 2026xyz");
        EXPECT_EQ((*onPlanet->transients.value)[0].discoveryDate, "2026-11-19 03:00:00");
        EXPECT_EQ(onPlanet->transients.damagedLines, 1u);
        EXPECT_TRUE(away->transients.value->empty());
    }
}

// Offset from the core 12" west of the first supernova, its magnitude against
// the truth, the old plate without it.
TEST(CandidateCard, NucleusOffsetMagnitudeAndThePlate) {
    Scene& s = scene();
    checks::CardSources none;
    none.workFolder = s.workFolder;
    const auto set = checks::BuildCards(s.candidates, none);
    const auto* c = cardAt(set, s.planet);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->nucleus.value) << c->nucleus.reason;
    EXPECT_NEAR(c->nucleus.value->east, 12, 1.5);
    EXPECT_NEAR(c->nucleus.value->north, 0, 1.5);
    ASSERT_TRUE(c->photometry.value) << c->photometry.reason;
    EXPECT_NEAR(c->photometry.value->magnitude, 14.5, 0.15);
    EXPECT_GT(c->photometry.value->error, 0);
    EXPECT_LT(c->photometry.value->error, 0.1);
    EXPECT_GT(c->photometry.value->reshotLimit, 17);
    EXPECT_GT(c->photometry.value->referenceLimit, 17);
    ASSERT_TRUE(c->survey.value) << c->survey.reason;
    EXPECT_EQ(c->survey.value->verdict, "no source on the plate");
    // while a catalog star of the field is on it
    const auto plate = astrometry::ReadFitsImage(s.workFolder + "DSSPicture.fit");
    int shown = 0, tried = 0;
    for (const auto& line : s.checked.catalog) {
        double v[3];
        if (!stars::LineNumbers(line, v, 3) || v[2] > 16 || tried == 5) continue;
        ++tried;
        shown += checks::JudgeSurveyPlate(plate, {v[0] * 15, v[1]}).verdict == "a source on the plate";
    }
    EXPECT_GT(tried, 2);
    EXPECT_EQ(shown, tried);
    EXPECT_EQ(set.facts.discoveryTime.substr(0, 19), "2026-11-20T21:06:07");
    // no files named: each check says so, the others are made
    EXPECT_FALSE(c->minorPlanets.value);
    EXPECT_NE(c->minorPlanets.reason.find("MPCORB"), std::string::npos);
    EXPECT_NE(c->transients.reason.find("TNS"), std::string::npos);
}

TEST(CandidateCard, MissingAndDamagedFilesAreToldOnTheCard) {
    Scene& s = scene();
    auto src = sources(s);
    src.orbitFile = (s.dir.path / "nowhere.dat").string();
    src.orbitCache.clear();
    std::ofstream(s.dir.path / "files" / "vsx.dat") << "nothing of the index\n";
    fs::remove(s.workFolder + "DSSPicture.fit");
    const auto set = checks::BuildCards(s.candidates, src);
    ASSERT_FALSE(set.cards.empty());
    const auto& c = set.cards[0];
    EXPECT_FALSE(c.minorPlanets.value);
    EXPECT_NE(c.minorPlanets.reason.find("does not exist"), std::string::npos);
    EXPECT_FALSE(c.variableStars.value);
    EXPECT_NE(c.variableStars.reason.find("no line of the VSX format"), std::string::npos);
    EXPECT_TRUE(c.transients.value);
    EXPECT_FALSE(c.survey.value);
    EXPECT_TRUE(c.photometry.value);
    // the report and the region file say the same
    const auto report = checks::DiscoveryReportText(set);
    EXPECT_NE(report.find("Minor planets: not checked:"), std::string::npos);
    EXPECT_NE(report.find(checks::RaText(c.place.ra)), std::string::npos);
    EXPECT_NE(checks::RegionFileText(set).find("circle("), std::string::npos);
    const auto json = checks::CardJson(c);
    EXPECT_NE(json.find("\"minorPlanets\": {\"made\": false, \"reason\": "), std::string::npos);
}
