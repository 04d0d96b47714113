#pragma once
// Was the candidate on the old sky-survey plate? Its light at the place on the
// plate (through the plate's own solution) against the plate's local noise.
#include <string>

#include "astrometry/fits_image.h"
#include "checks/sky_places.h"

namespace checks {

struct SurveyVerdict {
    double signalToNoise = 0;
    std::string verdict;   // "a source on the plate", "perhaps a faint source", "no source on the plate"
    std::string plateDate; // "1976-03-11" from the plate's DATE-OBS, or its EPOCH
};

// Throws checks::Error: kFileDamaged for a plate without a solution,
// kOutside when the place is not on it.
SurveyVerdict JudgeSurveyPlate(const astrometry::FitsImage& plate, const SkyPlace& place);

} // namespace checks
