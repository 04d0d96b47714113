#include <gtest/gtest.h>

#include "stars/catalog_check.h"

using namespace stars;

TEST(CatalogFilter, BoundsAreInclusiveAndTheWindowIsAnAngle) {
    const double t = 5.0 / 3600;
    // exactly on the declination edge: explained
    EXPECT_TRUE(CatalogExplains(10.0, 20.0 + t, 10.0, 20.0, t));
    EXPECT_FALSE(CatalogExplains(10.0, 20.0 + 1.01 * t, 10.0, 20.0, t));
    // 4" of right-ascension angle at dec 60 is 8" of RA: 8/15 s of time
    const double dRa4 = 4.0 / 3600 / 15 / 0.5;
    EXPECT_TRUE(CatalogExplains(10.0 + dRa4, 60.0, 10.0, 60.0, t));
    // 60" of angle away is not explained (the old window of 15 t hours would have taken it)
    const double dRa60 = 60.0 / 3600 / 15;
    EXPECT_FALSE(CatalogExplains(10.0 + dRa60, 0.0, 10.0, 0.0, t));
    // across 0h
    EXPECT_TRUE(CatalogExplains(23.99999, 0.0, 0.00001, 0.0, t));
}

TEST(CatalogFilter, RemovalMovesTheNextStarUpAndTwoCatalogStarsDropOne) {
    StarList a = {"1.0 10.0 15.0 5000", "2.0 20.0 15.0 5000", "3.0 30.0 15.0 5000", "4.0 40.0 15.0 5000"};
    StarList b = {"1 1 15.0 5000", "2 2 15.0 5000", "3 3 15.0 5000", "4 4 15.0 5000"};
    // the first two are explained (the second by two catalog stars), the fourth too
    const StarList c = {"1.0 10.0 12.0 1", "2.0 20.0 12.0 1", "2.0 20.0001 12.0 1", "4.0 40.0 12.0 1"};
    FilterByCatalog(a, b, c, 1.0 / 3600);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0], "3.0 30.0 15.0 5000");
    EXPECT_EQ(b[0], "3 3 15.0 5000");
}

TEST(CatalogFilter, RawFluxEqualToTheMinimumIsNotListed) {
    const StarList a = {"1.0 10.5 15.0 1000", "2.0 20.25 15.0 1000.5"};
    const StarList b = {"1 1 15.0 1000", "2 2 15.0 1000.5"};
    const auto c = ListCandidates(a, b, 1000);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].pixelLine, "2 2 15.0 1000.5");
    EXPECT_EQ(c[0].text, "RA: 02:00:00 DEC: 20:15:00");
}

TEST(CandidateText, TheExamplesAndTheCarries) {
    EXPECT_EQ(CandidateText("12.3456", "45.1234"), "RA: 12:20:44 DEC: 45:07:24");
    EXPECT_EQ(CandidateText("0", "-12.5"), "RA: 00:00:00 DEC: -12:30:00");
    EXPECT_EQ(CandidateText("0", "-0.5"), "RA: 00:00:00 DEC: -0:30:00");
    EXPECT_EQ(CandidateText("0", "45.99999"), "RA: 00:00:00 DEC: 46:00:00");
    EXPECT_EQ(CandidateText("0", "-45.99999"), "RA: 00:00:00 DEC: -46:00:00");
    EXPECT_EQ(CandidateText("23.99999", "45"), "RA: 00:00:00 DEC: 45:00:00");
    EXPECT_EQ(CandidateText("1.99999", "10.0"), "RA: 02:00:00 DEC: 10:00:00");
}
