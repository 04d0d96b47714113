#include "astrometry/difference_record.h"

namespace astrometry {

std::optional<DifferenceRecord> ReadDifferenceRecord(const FitsImage& image) {
    const auto width = image.number(kStarWidthKey);
    if (!width) return std::nullopt;
    DifferenceRecord r;
    r.starWidth = *width;
    r.apertureCorrection = image.number(kApertureCorrectionKey).value_or(0);
    r.psfSigma = image.number(kPsfSigmaKey).value_or(0);
    r.noiseCorrelation = image.number(kNoiseCorrelationKey).value_or(0);
    r.fluxScale = image.number(kFluxScaleKey).value_or(1);
    r.zeroPoint = image.number(kZeroPointKey);
    r.zeroPointError = image.number(kZeroPointErrorKey);
    return r;
}

} // namespace astrometry
