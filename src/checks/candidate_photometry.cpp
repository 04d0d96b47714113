#include "checks/candidate_photometry.h"

#include <cmath>

#include "astrometry/difference_record.h"
#include "checks/errors.h"
#include "checks/image_measures.h"
#include "checks/observation_time.h"

namespace checks {

double LimitingMagnitude(double zeroPoint, double pixelNoise, double psfSigma) {
    const double flux = 5 * pixelNoise * std::sqrt(4 * M_PI * psfSigma * psfSigma);
    return zeroPoint - 2.5 * std::log10(flux);
}

Photometry MeasurePhotometry(const astrometry::FitsImage& difference, const astrometry::FitsImage& reshot,
                             const astrometry::FitsImage& reference, double x, double y) {
    const auto record = astrometry::ReadDifferenceRecord(difference);
    if (!record || !record->zeroPoint)
        throw Error(kNoZeroPoint, "The difference has no zero-point (no catalog covers the field)");
    const double zp = *record->zeroPoint, zpError = record->zeroPointError.value_or(0);
    // the search's own aperture and ring, and its aperture correction
    const auto light = MeasureAperture(difference, x, y, astrometry::kDifferenceInnerAperture,
                                       astrometry::kDifferenceInnerAperture, astrometry::kDifferenceOuterAperture);
    if (!(light.flux > 0)) throw Error(kNotFound, "No light above the sky at the candidate in the difference");
    const double correction = record->apertureCorrection >= 1 ? record->apertureCorrection : 1;
    Photometry p;
    p.magnitude = zp - 2.5 * std::log10(light.flux * correction);
    p.error = std::hypot(1.0857 * light.error / light.flux, zpError);
    // both images' stars have about the difference's point spread (the sharper
    // one was matched to it); the reference in the reshot's units through the flux scale
    const double sigma = record->psfSigma > 0 ? record->psfSigma : std::max(record->starWidth, 1.0);
    p.reshotLimit = LimitingMagnitude(zp, TypicalPixelNoise(reshot), sigma);
    const double scale = record->fluxScale > 0 ? record->fluxScale : 1;
    p.referenceLimit = LimitingMagnitude(zp - 2.5 * std::log10(scale), TypicalPixelNoise(reference), sigma);
    p.filter = HeaderText(reshot.header, "FILTER");
    return p;
}

} // namespace checks
