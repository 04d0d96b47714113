#pragma once
// The alignment map: from one image's pixel grid to another's, fitted to the
// plate solutions or to matched stars.
#include <optional>
#include <vector>

#include "astrometry/pattern_match.h"
#include "astrometry/wcs.h"
#include "engine/poly_map.h"

namespace engine {

// The grid a map is normalised on: the target's centre and half its larger side.
struct MapFrame {
    double cx, cy, scale;
    static MapFrame Of(int width, int height);
};

// target pixel -> sky -> source pixel on a 17 x 17 grid over the target,
// fitted with a cubic map; none when the solutions place too few grid points.
std::optional<PolyMap> MapFromPlateSolutions(const astrometry::Wcs& target, const astrometry::Wcs& source, int width,
                                             int height);

struct StarMapFit {
    PolyMap map;
    int stars = 0;   // pairs of the last fit
    double rms = 0;  // px, unweighted
};

// The map fitted to the paired stars, each pair weighted by how well both
// centroids are known, with up to three rounds that drop pairs further than
// 3 rms (at least 0.3 px) from the map. Order 3 from 60 pairs, 2 from 25,
// else 1. None with fewer than six pairs or when the first fit fails.
std::optional<StarMapFit> FitMapToStars(const std::vector<astrometry::P>& target,
                                        const std::vector<double>& targetVariance,
                                        const std::vector<astrometry::P>& source,
                                        const std::vector<double>& sourceVariance, astrometry::Pairs pairs,
                                        const MapFrame& frame);

// The share of the target's pixels (on a 32 x 32 grid) that the map brings
// onto the source's pixels.
double MapOverlap(const PolyMap& map, int targetWidth, int targetHeight, int sourceWidth, int sourceHeight);

// The pixel area of the source under one target pixel at the target's centre.
double MapAreaAtCentre(const PolyMap& map, const MapFrame& frame);

} // namespace engine
