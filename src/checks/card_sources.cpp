#include "checks/card_sources.h"

#include <sstream>

#include "checks/text_fields.h"
#include "platform/app_folder.h"

namespace checks {

CardSources CardSourcesFor(const settings::Settings& settings, const std::string& workFolder,
                           const std::vector<std::string>& catalogSkyLines) {
    CardSources s;
    s.workFolder = workFolder;
    s.orbitFile = settings.orbitFile;
    s.variableStarFile = settings.variableStarFile;
    s.transientFile = settings.transientFile;
    s.minorPlanetRadius = settings.minorPlanetRadius;
    s.orbitCache = platform::ApplicationFolder() + "/MinorPlanets.cache";
    for (const auto& line : catalogSkyLines) {
        std::istringstream in(line);
        std::string ra, dec;
        double h = 0, d = 0;
        if (in >> ra >> dec && PlainNumber(ra, h) && PlainNumber(dec, d)) s.catalogStars.push_back({h * 15, d});
    }
    return s;
}

} // namespace checks
