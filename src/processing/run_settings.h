#pragma once
// The settings a run without windows needs, read from VospenConfig.ini as the
// window reads them (numbers in "." or "," form).
#include <string>

namespace processing {

struct RunSettings {
    std::string catalogPath;
    int catalogIndex = 1;
    std::string catalogCode = "5";
    double catalogMaxMag = 18;
    double minRawFlux = 1000;
    double matchToleranceDeg = 5.0 / 3600;
    double snrCatalog = 2.5, snrImages = 2.5, snrSubtracted = 5;
};

RunSettings ReadRunSettings(const std::string& iniFile);
std::string CatalogCodeOf(int listPosition); // 0 "3", 1 "5", 2 "6"

} // namespace processing
