#pragma once
// The one place a difference's record is written into its header cards.
#include <string>

#include "astrometry/difference_record.h"
#include "engine/header_cards.h"

namespace engine {

// STARWID, APCORR (when known), PSFSIG (when known), NOISECOR, the history
// line, FLUXSCAL and MAGZERO (when known), in that order.
void WriteDifferenceRecord(HeaderCards& header, const astrometry::DifferenceRecord& record,
                           const std::string& history);

} // namespace engine
