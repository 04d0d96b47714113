#include "engine/difference_cards.h"

namespace engine {

void WriteDifferenceRecord(HeaderCards& h, const astrometry::DifferenceRecord& r, const std::string& history) {
    using namespace astrometry;
    h.set(kStarWidthKey, r.starWidth, "minor width of the stars, px");
    if (r.apertureCorrection > 0) h.set(kApertureCorrectionKey, r.apertureCorrection, "whole light over light within 2 px");
    if (r.psfSigma > 0) h.set(kPsfSigmaKey, r.psfSigma, "Gaussian-equivalent sigma of the stars, px");
    h.set(kNoiseCorrelationKey, r.noiseCorrelation, "filtered noise over that of independent pixels");
    h.history(history);
    h.set(kFluxScaleKey, r.fluxScale, "flux scale applied to the subtracted image");
    if (r.zeroPoint) h.set(kZeroPointKey, *r.zeroPoint, "magnitude = MAGZERO - 2.5 log10(ADU)");
    if (r.zeroPoint && r.zeroPointError) h.set(kZeroPointErrorKey, *r.zeroPointError, "standard error of MAGZERO, mag");
}

} // namespace engine
