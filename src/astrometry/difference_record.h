#pragma once
// What a difference image carries from its subtraction to the star search: a
// record written into its FITS header by the subtraction (engine) and read
// from there here, since the search opens the file by its path.
#include <optional>

#include "astrometry/fits_image.h"

namespace astrometry {

// The header keys of the record. STARWID marks a difference: an image that
// carries it is one, and none other is.
inline constexpr const char* kStarWidthKey = "STARWID";
inline constexpr const char* kApertureCorrectionKey = "APCORR";
inline constexpr const char* kPsfSigmaKey = "PSFSIG";
inline constexpr const char* kNoiseCorrelationKey = "NOISECOR";
inline constexpr const char* kFluxScaleKey = "FLUXSCAL";
inline constexpr const char* kZeroPointKey = "MAGZERO";
inline constexpr const char* kZeroPointErrorKey = "MAGZERR";

struct DifferenceRecord {
    // The minor width of the stars of the image whose point spread the
    // difference has, px (its own bright sources are residuals, not stars); 0: unknown.
    double starWidth = 0;
    // Whole light of a star over its light in a difference's aperture; 0: unknown.
    double apertureCorrection = 0;
    // The Gaussian-equivalent sigma of the point spread, px, for the detection filter; 0: unknown.
    double psfSigma = 0;
    // How much more noise the filtered pixels hold than independent pixels of
    // the noise image would give (the noise is partly convolved); 0: unknown.
    double noiseCorrelation = 0;
    double fluxScale = 1; // applied to the image subtracted
    std::optional<double> zeroPoint; // magnitude = zero-point - 2.5 log10(ADU)
    std::optional<double> zeroPointError; // its standard error, mag
};

// The record of a difference; none for any other image.
std::optional<DifferenceRecord> ReadDifferenceRecord(const FitsImage& image);

// A difference's sources are measured within 2 px, the sky from the ring to 5
// px: they are faint, and the 3 px of other images held half as much noise
// again as light for them (docs/difference-imaging.md).
inline constexpr double kDifferenceInnerAperture = 2, kDifferenceOuterAperture = 5;

} // namespace astrometry
