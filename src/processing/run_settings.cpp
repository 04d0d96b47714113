#include "processing/run_settings.h"

#include <cstdlib>

#include "platform/profile_file.h"

namespace processing {
namespace {
double number(const std::string& ini, const char* section, const char* key, double fallback) {
    std::string v = platform::ReadProfileString(ini, section, key);
    for (char& c : v)
        if (c == ',') c = '.'; // written in a comma locale
    char* end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    return (v.empty() || *end) ? fallback : d;
}
} // namespace

std::string CatalogCodeOf(int p) { return p == 0 ? "3" : (p == 2 ? "6" : "5"); }

RunSettings ReadRunSettings(const std::string& ini) {
    RunSettings s;
    s.catalogPath = platform::ReadProfileString(ini, "PinPointBasic", "Path");
    if (s.catalogPath.empty()) s.catalogPath = "C:\\USNO A2.0";
    s.catalogIndex = static_cast<int>(number(ini, "PinPointBasic", "Cat", 1));
    s.catalogCode = CatalogCodeOf(s.catalogIndex);
    s.catalogMaxMag = number(ini, "Solving", "CatMaxMag", 18);
    s.minRawFlux = number(ini, "Solving", "RawFlux", 1000);
    s.matchToleranceDeg = number(ini, "Solving", "MaxMatchErr", 5) / 3600.0;
    s.snrCatalog = number(ini, "Solving", "SNRC", 2.5);
    s.snrImages = number(ini, "Solving", "SNRI", 2.5);
    s.snrSubtracted = number(ini, "Solving", "SNRP", 5);
    return s;
}

} // namespace processing
