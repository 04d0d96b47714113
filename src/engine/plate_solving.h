#pragma once
// Plate solving of an image with hints: its bright stars matched against the
// catalog stars around the hinted centre.
#include "astrometry/catalog.h"
#include "astrometry/plate_solver.h"
#include "astrometry/wcs.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

struct PlateSolveHints {
    double raHours, decDeg;
    double scaleX, scaleY; // arc-seconds per pixel; their mean magnitude is the hint
};

struct PlateSolveOutcome {
    astrometry::SolveResult result;
    bool catalogMissing = false; // no catalog folder covers the field (or it holds no star there)
};

// The solve against the catalog; a catalog that cannot be read comes back as
// the result's reason.
PlateSolveOutcome SolveImagePlate(const Image& image, const SkyStats& sky, const PlateSolveHints& hints,
                                  const astrometry::CatalogSettings& catalog);

// The solve against the stars of another image that has a plate solution
// (their sky positions through it), for a field no catalog covers: an aligned
// reference against the reshot it was aligned to.
astrometry::SolveResult SolveAgainstImage(const Image& image, const SkyStats& sky, const PlateSolveHints& hints,
                                          const Image& solved, const SkyStats& solvedSky,
                                          const astrometry::Wcs& solvedWcs);

// The new solution's cards in place of the old ones, with a history line
// that names what it was solved against.
void TakeNewSolution(Image& image, const astrometry::PlateSolution& solution, const std::string& against);

} // namespace engine
