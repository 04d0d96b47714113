#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "pair.h"
#include "stars/star_lines.h"

namespace fs = std::filesystem;
using namespace stars;

TEST(StarLineText, NumbersAsTheListsAndMarkersReadThem) {
    EXPECT_EQ(WholeNumber(1023.6), "1024");
    EXPECT_EQ(WholeNumber(1023.4), "1023");
    EXPECT_EQ(WholeNumber(99999.0), "99999"); // no digit grouping
    EXPECT_EQ(OneDecimal(15.26), "15.3");
    EXPECT_EQ(OneDecimal(15.0), "15.0");
    EXPECT_EQ(OneDecimal(-0.5), "-0.5");
    EXPECT_EQ(PlainNumber(-0.5), "-0.5");
    EXPECT_EQ(PlainNumber(9.53612345678901234), "9.53612345678901");
    EXPECT_EQ(PlainNumber(2500.0), "2500");
    EXPECT_EQ(PlainNumber(1.5e-7), "0.00000015");
    EXPECT_EQ(PlainNumber(-2.5e-5), "-0.000025");
    EXPECT_EQ(PlainNumber(1.23456789012345678e17), "123456789012346000");
}

TEST(StarLineText, DotInACommaLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE"))
        GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(PlainNumber(2.5), "2.5");
    EXPECT_EQ(OneDecimal(15.26), "15.3");
    std::setlocale(LC_ALL, "C");
}

TEST(StarLineExtraction, SameRequestSameLinesAndSkyMatchesPixelOrder) {
    skysim::PairOptions o;
    o.out = (fs::temp_directory_path() / ("vospen-lines-" + std::to_string(::getpid()))).string();
    o.width = o.height = 384;
    o.seed = 5;
    skysim::WritePair(o, skysim::MakePair(o));
    ExtractionRequest q;
    q.file = o.out + "/reshot.fts";
    q.threshold = 5;
    q.catalog.code = "5";
    q.catalog.folder = o.out + "/catalog";
    StarList a, b, sky;
    ExtractionFailure f;
    ASSERT_TRUE(ExtractStarLines(q, a, f)) << f.description;
    ASSERT_TRUE(ExtractStarLines(q, b, f));
    q.lineKind = 0;
    ASSERT_TRUE(ExtractStarLines(q, sky, f));
    ASSERT_GT(a.size(), 5u);
    EXPECT_EQ(a, b);
    ASSERT_EQ(sky.size(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        // same star: same magnitude and raw flux fields
        EXPECT_EQ(a[i].substr(a[i].find(' ', a[i].find(' ') + 1)),
                  sky[i].substr(sky[i].find(' ', sky[i].find(' ') + 1)));
    }
    // brightest first with (1, 0) and with (4, 1)
    q.lineKind = 1;
    q.sortKey = 4;
    q.sortDirection = 1;
    StarList byFlux;
    ASSERT_TRUE(ExtractStarLines(q, byFlux, f));
    EXPECT_EQ(byFlux.front(), a.front());

    // catalog stars need a plate solution and a catalog
    q.starKind = 0;
    StarList cat;
    ASSERT_TRUE(ExtractStarLines(q, cat, f));
    EXPECT_GT(cat.size(), 5u);
    q.catalog.folder = o.out + "/missing";
    StarList none;
    EXPECT_FALSE(ExtractStarLines(q, none, f));
    EXPECT_EQ(f.number, 1003);
    EXPECT_NE(f.description.find("does not exist"), std::string::npos);
    q.file = o.out + "/nothing.fts";
    EXPECT_FALSE(ExtractStarLines(q, none, f));
    EXPECT_EQ(f.number, 1001);
    fs::remove_all(o.out);
}
