#pragma once
// Known variable stars near a candidate, from a local copy of the AAVSO
// International Variable Star Index as the CDS distributes it (catalog B/vsx:
// vsx.dat, plain or gzip).
#include <optional>
#include <string>
#include <vector>

#include "checks/sky_places.h"

namespace checks {

struct VariableStar {
    std::string name, type, range; // range: "7.60 - 8.10 V", "12.1 (0.50) CV"
    SkyPlace place;
    double separation = 0; // from the candidate, arc-seconds
};

// One line in the ReadMe's byte layout; none for a line that does not read.
std::optional<VariableStar> ParseVariableStarLine(const std::string& line);

struct VariableStarsNear {
    std::vector<std::vector<VariableStar>> near; // per place, nearest first
    std::size_t damagedLines = 0;
};

// Throws checks::Error for a file missing, or one in which no line reads.
VariableStarsNear FindVariableStars(const std::string& path, const std::vector<SkyPlace>& places, double radiusArcsec);

} // namespace checks
