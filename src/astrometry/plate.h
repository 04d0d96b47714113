#pragma once
// The astrometric engine's plate: one FITS image, its stars and the catalog
// stars on it.
#include <optional>
#include <string>

#include "astrometry/detection_cache.h"
#include "astrometry/fits_image.h"
#include "astrometry/star_collection.h"
#include "astrometry/wcs.h"

namespace astrometry {

class Plate {
public:
    // settings, as the callers set them before a search
    double SigmaAboveMean = 2.5;
    double ArcsecPerPixelHoriz = 0;
    double ArcsecPerPixelVert = 0;
    int InnerAperture = 3;
    int OuterAperture = 6;
    std::string Catalog = "5";
    std::string CatalogPath;
    double CatalogMaximumMagnitude = 18;

    void AttachFITS(const std::string& path);
    void DetachFITS();
    bool attached() const { return attached_; }

    // Image stars: detected, measured, placed on the sky through the plate
    // solution (right ascension and declination 0 without one). RawFlux is the
    // inner-aperture flux less the annulus sky, scaled by the aperture
    // correction that the image's bright isolated stars show (1 when there are
    // too few), so that it stands for a star's whole light in ADU.
    // Magnitudes: the header's MAGZERO when there is one, else a zero-point
    // fitted against the catalog stars of the plate when it has a plate
    // solution and the catalog serves the field, else 25 - 2.5 log10(RawFlux).
    void FindImageStars();
    // What FindImageStars asks of a search, from the settings above.
    DetectionSettings ImageStarSettings() const;
    // Catalog stars inside the image, not fainter than CatalogMaximumMagnitude,
    // at their pixel positions through the plate solution. Their RawFlux is the
    // flux a star of that magnitude gives at the plate's zero-point (MAGZERO,
    // else 25). Needs a plate solution.
    void FindCatalogStars();

    StarCollection& ImageStars() { return imageStars_; }
    StarCollection& CatalogStars() { return catalogStars_; }

    // what the last search found out
    double zeroPoint() const { return zeroPoint_; }
    int rejectedSharp() const { return rejectedSharp_; }
    double backgroundLevel() const { return backgroundLevel_; }
    double apertureCorrection() const { return apertureCorrection_; }
    bool hasSolution() const { return wcs_.valid(); }
    // The pixels are read on first need: a search already made of this very
    // file (same state, same settings) needs only the header.
    const FitsImage& image() const;
    const Wcs& wcs() const { return wcs_; }

private:
    void requireAttached() const;
    std::vector<struct CatalogStar> catalogOnImage(double margin) const;

    mutable FitsImage image_;
    std::string path_;
    std::optional<FileState> state_;
    mutable std::optional<FileState> pixelState_;
    mutable bool pixelsRead_ = false;
    Wcs wcs_;
    bool attached_ = false;
    StarCollection imageStars_, catalogStars_;
    double zeroPoint_ = 25;
    int rejectedSharp_ = 0;
    double backgroundLevel_ = 0;
    double apertureCorrection_ = 1;
};

} // namespace astrometry
