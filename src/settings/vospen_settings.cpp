#include "settings/vospen_settings.h"

#include <cerrno>
#include <cstdlib>

#include "platform/profile_file.h"

namespace settings {
namespace {

const SettingDefault& defaultOf(const char* key) {
    for (const auto& d : kSettingDefaults)
        if (std::string(d.key) == key) return d;
    return kSettingDefaults[0];
}

struct Reader {
    const std::string& file;
    const NumberParser& number;
    const WholeNumberParser& whole;
    bool broken = false;

    // a value stored empty stands as it is (a base folder not yet chosen)
    std::string stored(const char* section, const char* key) {
        if (auto v = platform::ReadProfileValue(file, section, key)) return *v;
        broken = true;
        return defaultOf(key).text;
    }
    std::string text(const char* section, const char* key) {
        std::string v = platform::ReadProfileString(file, section, key);
        if (!v.empty()) return v;
        broken = true;
        return defaultOf(key).text;
    }
    double value(const char* section, const char* key) {
        double v = 0;
        if (number(platform::ReadProfileString(file, section, key), v)) return v;
        broken = true;
        // defaults are written with "."
        ParsePlainNumber(defaultOf(key).text, v);
        return v;
    }
    bool onOff(const char* key) {
        int v = 0;
        if (whole(platform::ReadProfileString(file, "Display", key), v) && (v == 0 || v == 1)) return v == 1;
        broken = true;
        return std::string(defaultOf(key).text) == "1";
    }
};

} // namespace

std::optional<std::string> CatalogCodeAt(int position) {
    switch (position) {
    case 0: return "3"; // GSC ACT
    case 1: return "5"; // USNO A2
    case 2: return "6"; // UCAC 2
    default: return std::nullopt;
    }
}

bool ParsePlainNumber(const std::string& text, double& value) {
    std::string v = text;
    for (char& c : v)
        if (c == ',') c = '.'; // written in a comma locale
    char* end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end) return false;
    value = d;
    return true;
}

bool ParsePlainWholeNumber(const std::string& text, int& value) {
    double d = 0;
    if (!ParsePlainNumber(text, d) || d != static_cast<int>(d)) return false;
    value = static_cast<int>(d);
    return true;
}

ReadSettingsResult ReadSettings(const std::string& file, const NumberParser& number, const WholeNumberParser& whole,
                                const std::string& previousCode) {
    ReadSettingsResult r;
    Settings& s = r.settings;
    Reader read{file, number, whole};
    s.catalog.folder = read.text("PinPointBasic", "Path");
    int position = 1;
    if (!whole(platform::ReadProfileString(file, "PinPointBasic", "Cat"), position) || position < -1 ||
        position >= kCatalogListSize) {
        position = 1;
        read.broken = true;
    }
    s.catalogPosition = position;
    s.catalog.code = CatalogCodeAt(position).value_or(previousCode);
    s.catalog.maxMag = read.value("Solving", "CatMaxMag");
    s.minRawFlux = read.value("Solving", "RawFlux");
    s.matchToleranceDeg = read.value("Solving", "MaxMatchErr") / 3600.0;
    s.snrCatalog = read.value("Solving", "SNRC");
    s.snrImages = read.value("Solving", "SNRI");
    s.snrSubtracted = read.value("Solving", "SNRP");
    s.baseFolder = read.stored("SurveyScanner", "BaseFolder");
    s.inverted = read.onOff("Inverted");
    s.zoom = read.onOff("CZoom");
    // optional, not one of the eleven: read, never written
    const std::string server = platform::ReadProfileString(file, "DSS", "Server");
    if (!server.empty()) s.dssServer = server;
    s.orbitFile = platform::ReadProfileString(file, "Checks", "MPCORB");
    s.variableStarFile = platform::ReadProfileString(file, "Checks", "VSX");
    s.transientFile = platform::ReadProfileString(file, "Checks", "TNS");
    double radius = 0;
    if (number(platform::ReadProfileString(file, "Checks", "MinorPlanetRadius"), radius) && radius > 0 && radius <= 3600)
        s.minorPlanetRadius = radius;
    r.broken = read.broken;
    return r;
}

} // namespace settings
