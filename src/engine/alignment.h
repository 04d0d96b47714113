#pragma once
// Alignment: one image resampled onto another's pixel grid. The map starts
// from both plate solutions where they exist and is refined by matched stars
// (triangle patterns when there are no solutions); Lanczos-3 resampling, with
// an undersampled image's bright stars modelled.
#include <string>

#include "astrometry/wcs.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

// An image as a step of the alignment sees it.
struct SolvedImage {
    const Image& image;
    SkyStats sky;
    const astrometry::Wcs& wcs;
};

struct Alignment {
    int stars = 0;      // pairs the map was fitted on; 0: by the plate solutions alone
    double rms = 0;     // px, of that fit
    int modelledStars = 0;
    double solutionsOff = 0; // px by which the plate solutions disagreed, where the stars said so
    bool byTriangles = false; // the stars paired by triangle patterns
    bool starsFailed = false; // asked to align on stars, too few paired up: the plate solutions alone
};

// Resamples `source` onto `target`'s grid in place (pixels, noise, size,
// intensity scale and saturation level follow; its sky must be measured
// anew). Mode: AlignMode. Throws Error(kAlignFailed) when neither the
// solutions nor the stars give a map. The header is left to TakeAlignment.
Alignment AlignImage(const SolvedImage& target, Image& source, const SkyStats& sourceSky,
                     const astrometry::Wcs& sourceWcs, int mode);

// `source`'s header takes `target`'s plate solution and, with an alignment,
// the history line that says how it was aligned.
void TakeSolution(Image& source, const Image& target);
void TakeAlignment(Image& source, const Image& target, const Alignment& how);

} // namespace engine
