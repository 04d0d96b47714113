#pragma once
// Where a run's cards come from: the settings' [Checks] files, the orbits'
// cache beside the settings, the run's work folder and the catalog check's stars.
#include <string>
#include <vector>

#include "checks/candidate_card.h"
#include "settings/vospen_settings.h"

namespace checks {

// `catalogSkyLines`: the catalog check's list C (RA hours, Dec degrees first).
CardSources CardSourcesFor(const settings::Settings& settings, const std::string& workFolder,
                           const std::vector<std::string>& catalogSkyLines);

} // namespace checks
