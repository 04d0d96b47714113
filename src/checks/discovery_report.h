#pragma once
// What a discoverer sends on: a report text with what the Transient Name
// Server's discovery form asks for each candidate, and a DS9 region file that
// marks the candidates on any image of the field.
#include <string>

#include "checks/candidate_card.h"

namespace checks {

std::string DiscoveryReportText(const CardSet& set);
std::string RegionFileText(const CardSet& set);

// DIR/DiscoveryReport.txt and DIR/Candidates.reg, the folder made when
// needed. Throws checks::Error (kFileMissing) when they cannot be written.
void WriteDiscoveryReport(const std::string& dir, const CardSet& set);

} // namespace checks
