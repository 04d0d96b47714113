#pragma once
// Plate solving of an image with hints: its bright stars matched against the
// catalog stars around the hinted centre.
#include "astrometry/catalog.h"
#include "astrometry/plate_solver.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

// The solve; a catalog that cannot be read comes back as the result's reason.
// `scaleX`, `scaleY`: arc-seconds per pixel (their mean magnitude is the hint).
astrometry::SolveResult SolveImagePlate(const Image& image, const SkyStats& sky, double raHours, double decDeg,
                                        double scaleX, double scaleY, const astrometry::CatalogSettings& catalog);

// The new solution's cards in place of the old ones, with a history line.
void TakeNewSolution(Image& image, const astrometry::PlateSolution& solution);

} // namespace engine
