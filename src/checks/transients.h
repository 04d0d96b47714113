#pragma once
// Transients already reported near a candidate, from a local copy of the
// Transient Name Server's daily CSV of public objects (plain or gzip): a time
// stamp on its first line, then a header row naming the columns.
#include <string>
#include <vector>

#include "checks/sky_places.h"

namespace checks {

struct KnownTransient {
    std::string name, type, discoveryDate, discoveryMag; // "SN 2025abc", "SN Ia", ...
    SkyPlace place;
    double separation = 0; // from the candidate, arc-seconds
};

// The fields of one CSV line: commas inside quotes kept, "" read as ".
std::vector<std::string> CsvFields(const std::string& line);

struct TransientsNear {
    std::vector<std::vector<KnownTransient>> near; // per place, nearest first
    std::size_t damagedLines = 0;
};

// Throws checks::Error for a file missing, or one without the header row
// (name, ra, declination among its columns).
TransientsNear FindTransients(const std::string& path, const std::vector<SkyPlace>& places, double radiusArcsec);

} // namespace checks
