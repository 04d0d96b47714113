#include "checks/survey_verdict.h"

#include <cstdio>

#include "astrometry/wcs.h"
#include "checks/errors.h"
#include "checks/image_measures.h"
#include "checks/observation_time.h"

namespace checks {
namespace {

// The survey's headers write "dd/mm/yy" (the century 19); others ISO dates.
std::string plateDate(const std::string& header) {
    const std::string date = HeaderText(header, "DATE-OBS");
    int d = 0, m = 0, y = 0;
    char b[32];
    if (date.size() == 8 && std::sscanf(date.c_str(), "%d/%d/%d", &d, &m, &y) == 3) {
        std::snprintf(b, sizeof b, "%04d-%02d-%02d", 1900 + y, m, d);
        return b;
    }
    if (!date.empty()) return date.substr(0, 10);
    const std::string epoch = HeaderText(header, "EPOCH");
    return epoch.empty() ? "" : "epoch " + epoch;
}

} // namespace

SurveyVerdict JudgeSurveyPlate(const astrometry::FitsImage& plate, const SkyPlace& place) {
    const auto wcs = astrometry::Wcs::FromHeader(plate.header, plate.headerCards);
    if (!wcs.valid()) throw Error(kFileDamaged, "The sky-survey plate has no plate solution");
    double x = 0, y = 0;
    if (!wcs.skyToPixel(place.ra, place.dec, x, y) || x < 6 || y < 6 || x > plate.width - 5 || y > plate.height - 5)
        throw Error(kOutside, "The candidate lies outside the sky-survey plate");
    // the plates' stars are 2-3 px across: an aperture of 2.5 px, the sky from 6 to 12
    const auto light = MeasureApertureOnSlope(plate, x, y, 2.5, 5, 9);
    SurveyVerdict v;
    v.signalToNoise = light.error > 0 ? light.flux / light.error : 0;
    v.verdict = v.signalToNoise >= 5   ? "a source on the plate"
                : v.signalToNoise >= 3 ? "perhaps a faint source"
                                       : "no source on the plate";
    v.plateDate = plateDate(plate.header);
    return v;
}

} // namespace checks
