#pragma once
// Subtraction: one aligned image from another, matched in point spread,
// background and flux scale, with the record the star search of the
// difference needs.
#include <string>

#include "astrometry/catalog.h"
#include "astrometry/difference_record.h"
#include "astrometry/wcs.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

struct SubtractionSettings {
    astrometry::CatalogSettings catalog; // for the zero-point; an empty folder: none
    bool psfMatching = true;             // off only to measure what it costs and gives
};

struct Subtraction {
    astrometry::DifferenceRecord record; // also written into image.header
    SkyStats sky;                        // of the difference: level 0
};

// image = image - other (same grid): point-spread matched where the pair
// allows it, else scaled by the stars' aperture flux ratio; then the remaining
// background offset taken out. The noise of both is carried into image.noise.
// `image`'s sky and solution: as it was before; `other` is left as it was.
Subtraction SubtractImages(Image& image, const SkyStats& sky, const astrometry::Wcs& wcs, const Image& other,
                           const SkyStats& otherSky, const SubtractionSettings& settings);

} // namespace engine
