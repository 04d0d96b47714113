// The checks' text formats read and written: the transient list's quoted CSV
// and sexagesimal places, the variable-star index's ranges, and what a report
// and a region file say.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "checks/discovery_report.h"
#include "checks/errors.h"
#include "checks/transients.h"
#include "checks/variable_stars.h"

namespace fs = std::filesystem;

namespace {

fs::path scratchFile(const std::string& name, const std::string& text) {
    const fs::path p = fs::temp_directory_path() / ("vospen-formats-" + std::to_string(getpid())) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
    return p;
}

} // namespace

TEST(TransientList, QuotedFieldsColumnsInAnyOrderAndSexagesimalPlaces) {
    const auto f = checks::CsvFields(R"("a,b","c""d",e,)");
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0], "a,b");
    EXPECT_EQ(f[1], "c\"d");
    EXPECT_EQ(f[2], "e");
    EXPECT_EQ(f[3], "");

    // the columns named by the header row, wherever they stand
    const auto path = scratchFile("tns.csv",
                                  "\"2026-12-01 00:00:00\"\n"
                                  "\"declination\",\"reporters\",\"name\",\"ra\",\"name_prefix\",\"type\",\"discoverydate\"\n"
                                  "\"-01:02:03.0\",\"A, B and \"\"C\"\"\",\"2026abc\",\"12:34:56.70\",\"SN\",\"SN II\",\"2026-11-30\"\n"
                                  "\"10.0\",\"x\",\"2026short\"\n"
                                  "\"45\",\"x\",\"2026far\",\"10\",\"AT\",\"\",\"\"\n");
    const checks::SkyPlace at{(12 + 34 / 60.0 + 56.7 / 3600) * 15, -(1 + 2 / 60.0 + 3 / 3600.0)};
    const auto found = checks::FindTransients(path.string(), {at}, 10);
    ASSERT_EQ(found.near[0].size(), 1u);
    EXPECT_EQ(found.near[0][0].name, "SN 2026abc");
    EXPECT_EQ(found.near[0][0].type, "SN II");
    EXPECT_LT(found.near[0][0].separation, 0.01);
    EXPECT_EQ(found.damagedLines, 1u); // the short line
    fs::remove_all(path.parent_path());
}

TEST(VariableStarIndex, RangesAmplitudesAndLimits) {
    std::string line(130, ' ');
    const auto put = [&](std::size_t at, const std::string& s) { line.replace(at - 1, s.size(), s); };
    put(9, "SS Cyg");
    put(42, "325.67854");
    put(52, "+43.58608");
    put(62, "UGSS");
    put(94, " 7.700");
    put(102, "V");
    put(109, "(");
    put(111, " 4.400");
    put(119, "V");
    const auto v = checks::ParseVariableStarLine(line);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->name, "SS Cyg");
    EXPECT_EQ(v->type, "UGSS");
    EXPECT_EQ(v->range, "7.700 (4.400) V");
    EXPECT_NEAR(v->place.dec, 43.58608, 1e-9);
    put(93, "<");
    put(109, " ");
    put(110, ">");
    EXPECT_EQ(checks::ParseVariableStarLine(line)->range, "<7.700 - >4.400 V");
    put(42, "   n/a   ");
    EXPECT_FALSE(checks::ParseVariableStarLine(line));
}

// What the discovery form asks, from a card made by hand.
TEST(DiscoveryReport, SaysWhatTheFormAsksAndMarksTheCandidates) {
    checks::CardSet set;
    set.facts = {"NGC 2903", "2026-11-20T21:06:07.0", "2025-10-02T22:10:44.0", "SkySim 0.35 m", "CCD 16", "Clear", 60};
    checks::CandidateCard c;
    c.candidate = {"754 521 15.0 11791.5", "RA: 09:32:11 DEC: 21:30:12"};
    c.place = {143.044118, 21.503329};
    c.photometry.value = checks::Photometry{15.003, 0.036, 18.53, 18.46, "Clear"};
    c.nucleus.value = checks::NucleusOffset{{143.042, 21.5007}, 7.2, -9.7, 12.1};
    c.minorPlanets.reason = "No orbit file (MPCORB= in [Checks]) is named";
    c.variableStars.value = std::vector<checks::VariableStar>{};
    c.transients.value = std::vector<checks::KnownTransient>{};
    c.survey.reason = "No sky-survey plate in the work folder";
    set.cards.push_back(c);
    const std::string r = checks::DiscoveryReportText(set);
    for (const char* want : {"Discovery time (UTC): 2026-11-20T21:06:07.0", "RA  09:32:10.588 = 143.04412 deg",
                             "Dec +21:30:11.98 = 21.50333 deg", "Magnitude: 15.00 +/- 0.04 Clear",
                             "Limiting magnitude (5 sigma): 18.5",
                             "Last non-detection: 2025-10-02T22:10:44.0, limiting magnitude 18.5",
                             "Offset from the nucleus: 7.2\" E, 9.7\" S", "Telescope: SkySim 0.35 m",
                             "Exposure: 60.0 s", "Minor planets: not checked: No orbit file",
                             "Variable stars: none"})
        EXPECT_NE(r.find(want), std::string::npos) << want << "\n" << r;
    const std::string reg = checks::RegionFileText(set);
    EXPECT_EQ(reg, "# Region file format: DS9 version 4.1\nglobal color=green width=1\nfk5\n"
                   "circle(143.044118,21.503329,5\") # text={C1}\n");
    // an unwritable folder is told, not passed over
    EXPECT_THROW(checks::WriteDiscoveryReport("/proc/vospen-report", set), checks::Error);
}
