#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "survey.h"

namespace fs = std::filesystem;

TEST(SurveyTree, HoldsEveryCaseTheScannerMeets) {
    skysim::SurveyOptions o;
    o.out = (fs::temp_directory_path() / ("vospen-survey-" + std::to_string(::getpid()))).string();
    o.width = 160;
    o.height = 120;
    o.targets = 4;
    skysim::WriteSurvey(o);
    const fs::path base = fs::path(o.out) / "survey";
    std::set<std::string> targets;
    for (const auto& e : fs::directory_iterator(base))
        if (e.is_directory()) targets.insert(e.path().filename().string());
    EXPECT_EQ(targets.size(), 4u);
    EXPECT_TRUE(fs::exists(base / "survey-log.txt"));                 // a stray file
    EXPECT_FALSE(fs::exists(base / "NGC7331" / "reference"));         // first scan fills it
    EXPECT_TRUE(fs::exists(base / "M51" / "reference"));              // filled earlier
    EXPECT_TRUE(fs::is_directory(base / "M51" / "notes"));            // not numbered
    EXPECT_TRUE(fs::exists(base / "M51" / "target.txt"));
    int inFirst = 0;
    std::set<fs::file_time_type> times;
    for (const auto& e : fs::directory_iterator(base / "NGC2903" / "1")) {
        ++inFirst;
        times.insert(fs::last_write_time(e.path()));
    }
    EXPECT_EQ(inFirst, 3);
    EXPECT_EQ(times.size(), 3u); // distinct last-modified times
    // an image with its reference's own time stamp
    const fs::path ref = *fs::directory_iterator(base / "NGC4565" / "reference");
    const fs::path same = *fs::directory_iterator(base / "NGC4565" / "7");
    EXPECT_EQ(fs::last_write_time(ref), fs::last_write_time(same));
    EXPECT_TRUE(fs::exists(fs::path(o.out) / "catalog" / "tables" / "regions.tbl"));
    EXPECT_TRUE(fs::exists(fs::path(o.out) / "truth.json"));
    fs::remove_all(o.out);
}
