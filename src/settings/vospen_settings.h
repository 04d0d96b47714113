#pragma once
// The settings of VospenConfig.ini as one record, read by one reader for the
// window and every command-line tool: its eleven keys with their defaults and
// the optional sky-survey server.
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "astrometry/catalog.h"

namespace settings {

inline constexpr const char* kConfigFileName = "VospenConfig.ini";
inline constexpr const char* kDefaultDssServer = "https://archive.stsci.edu";

struct SettingDefault {
    const char* section;
    const char* key;
    const char* text;
};

// In the order the defaults are written.
inline constexpr std::array<SettingDefault, 11> kSettingDefaults{{
    {"PinPointBasic", "Path", "C:\\USNO A2.0"},
    {"PinPointBasic", "Cat", "1"},
    {"Solving", "CatMaxMag", "18"},
    {"Solving", "RawFlux", "1000"},
    {"Solving", "MaxMatchErr", "5"},
    {"Solving", "SNRC", "2.5"},
    {"Solving", "SNRI", "2.5"},
    {"Solving", "SNRP", "5"},
    {"SurveyScanner", "BaseFolder", "C:\\Astronomy\\SNe"},
    {"Display", "Inverted", "0"},
    {"Display", "CZoom", "1"},
}};

// The "Catalog" list: GSC ACT, USNO A2, UCAC 2.
inline constexpr int kCatalogListSize = 3;
// The catalog code of a list position; none for a position outside the list.
std::optional<std::string> CatalogCodeAt(int position);

struct Settings {
    astrometry::CatalogSettings catalog{"5", "C:\\USNO A2.0", 18};
    int catalogPosition = 1;         // in the "Catalog" list; -1 keeps the code
    double minRawFlux = 1000;        // ADU
    double matchToleranceDeg = 5.0 / 3600;
    double snrCatalog = 2.5, snrImages = 2.5, snrSubtracted = 5;
    std::string baseFolder = "C:\\Astronomy\\SNe";
    bool inverted = false, zoom = true;
    std::string dssServer = kDefaultDssServer;
    // [Checks], optional and never written: the local files of a candidate's checks
    std::string orbitFile, variableStarFile, transientFile; // MPCORB=, VSX=, TNS=
    double minorPlanetRadius = 30;                           // arc-seconds
};

// How the reader reads numbers: the window in the user's locale, the tools in
// "." or "," form. False for a value that is not one.
using NumberParser = std::function<bool(const std::string& text, double& value)>;
using WholeNumberParser = std::function<bool(const std::string& text, int& value)>;
bool ParsePlainNumber(const std::string& text, double& value);
bool ParsePlainWholeNumber(const std::string& text, int& value);

struct ReadSettingsResult {
    Settings settings;
    // A key was missing or unreadable and took its default: the file wants rewriting.
    bool broken = false;
};

// Every readable value is taken; an unreadable one takes its default. A
// missing file reads as all defaults (broken). The catalog position -1 keeps
// `previousCode`.
ReadSettingsResult ReadSettings(const std::string& file, const NumberParser& number = ParsePlainNumber,
                                const WholeNumberParser& whole = ParsePlainWholeNumber,
                                const std::string& previousCode = "5");

} // namespace settings
