// The settings file read by the one reader the window and the tools share.
#include <gtest/gtest.h>

#include <fstream>

#include "settings/vospen_settings.h"
#include "support/temp_dir.h"

namespace {
std::string write(const testsupport::TempDir& t, const std::string& text) {
    const std::string path = (t.path / "VospenConfig.ini").string();
    std::ofstream(path) << text;
    return path;
}
} // namespace

TEST(SettingsFile, EveryKeyReadInDotOrCommaForm) {
    testsupport::TempDir t("vospen-settings");
    const auto path = write(t,
                            "[PinPointBasic]\nPath=/data/ucac2\nCat=2\n"
                            "[Solving]\nCatMaxMag=16,5\nRawFlux=800\nMaxMatchErr=3\nSNRC=3.5\nSNRI=4\nSNRP=6,5\n"
                            "[SurveyScanner]\nBaseFolder=/survey\n[Display]\nInverted=1\nCZoom=0\n"
                            "[DSS]\nServer=http://127.0.0.1:8080\n");
    const auto r = settings::ReadSettings(path);
    EXPECT_FALSE(r.broken);
    const auto& s = r.settings;
    EXPECT_EQ(s.catalog.folder, "/data/ucac2");
    EXPECT_EQ(s.catalog.code, "6");
    EXPECT_EQ(s.catalogPosition, 2);
    EXPECT_DOUBLE_EQ(s.catalog.maxMag, 16.5);
    EXPECT_DOUBLE_EQ(s.minRawFlux, 800);
    EXPECT_DOUBLE_EQ(s.matchToleranceDeg, 3.0 / 3600);
    EXPECT_DOUBLE_EQ(s.snrCatalog, 3.5);
    EXPECT_DOUBLE_EQ(s.snrImages, 4);
    EXPECT_DOUBLE_EQ(s.snrSubtracted, 6.5);
    EXPECT_EQ(s.baseFolder, "/survey");
    EXPECT_TRUE(s.inverted);
    EXPECT_FALSE(s.zoom);
    EXPECT_EQ(s.dssServer, "http://127.0.0.1:8080");
}

TEST(SettingsFile, MissingOrUnreadableValuesTakeTheirDefaultsAndAskForARewrite) {
    testsupport::TempDir t("vospen-settings");
    const auto none = settings::ReadSettings((t.path / "absent.ini").string());
    EXPECT_TRUE(none.broken);
    EXPECT_EQ(none.settings.catalog.folder, "C:\\USNO A2.0");
    EXPECT_EQ(none.settings.catalog.code, "5");
    EXPECT_DOUBLE_EQ(none.settings.catalog.maxMag, 18);
    EXPECT_DOUBLE_EQ(none.settings.snrSubtracted, 5);
    EXPECT_EQ(none.settings.dssServer, settings::kDefaultDssServer);
    EXPECT_TRUE(none.settings.zoom);

    const auto path = write(t, "[PinPointBasic]\nCat=7\n[Solving]\nCatMaxMag=bright\n[Display]\nInverted=2\n");
    const auto bad = settings::ReadSettings(path);
    EXPECT_TRUE(bad.broken);
    EXPECT_EQ(bad.settings.catalog.code, "5"); // a position outside the list: the default one
    EXPECT_DOUBLE_EQ(bad.settings.catalog.maxMag, 18);
    EXPECT_FALSE(bad.settings.inverted);
}

TEST(SettingsFile, TheCallersNumberFormAndPositionMinusOneKeepingTheCode) {
    testsupport::TempDir t("vospen-settings");
    const auto path = write(t, "[PinPointBasic]\nPath=x\nCat=-1\n[Solving]\nCatMaxMag=17\n");
    // a reader that knows only whole numbers, as a strict locale might
    const settings::NumberParser strict = [](const std::string& text, double& v) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::stod(text);
        return true;
    };
    const auto r = settings::ReadSettings(path, strict, settings::ParsePlainWholeNumber, "3");
    EXPECT_EQ(r.settings.catalog.code, "3");
    EXPECT_EQ(r.settings.catalogPosition, -1);
    EXPECT_DOUBLE_EQ(r.settings.catalog.maxMag, 17);
    EXPECT_DOUBLE_EQ(r.settings.snrCatalog, 2.5); // missing: the default, read in "." form whatever the parser
    EXPECT_TRUE(r.broken);
    EXPECT_EQ(settings::CatalogCodeAt(0), "3");
    EXPECT_EQ(settings::CatalogCodeAt(1), "5");
    EXPECT_EQ(settings::CatalogCodeAt(2), "6");
    EXPECT_FALSE(settings::CatalogCodeAt(3).has_value());
}

// A base folder stored empty reads back empty (the scanner then asks for one),
// not as the default folder; a missing key still takes the default.
TEST(SettingsFile, AnEmptyBaseFolderStandsAsStored) {
    testsupport::TempDir t("vospen-settings");
    const auto empty = settings::ReadSettings(write(t, "[SurveyScanner]\nBaseFolder=\n"));
    EXPECT_EQ(empty.settings.baseFolder, "");
    const auto missing = settings::ReadSettings(write(t, "[SurveyScanner]\n"));
    EXPECT_EQ(missing.settings.baseFolder, "C:\\Astronomy\\SNe");
    EXPECT_TRUE(missing.broken);
}
