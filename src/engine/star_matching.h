#pragma once
// Star matching: the stars of two images that are the same star, for the
// alignment map.
#include <vector>

#include "astrometry/pattern_match.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"
#include "engine/poly_map.h"

namespace engine {

// The unsaturated bright stars of an image (FITS pixels), each with how well
// its centroid is known (a variance, px^2).
struct MatchableStars {
    std::vector<astrometry::P> at;
    std::vector<double> variance;
};

MatchableStars FindMatchableStars(const Image& image, const SkyStats& sky);

// Pairs (index in `target`, index in `source`) of stars that `map` (target
// pixel -> source pixel, the plate solutions' prediction) brings within 4 px.
// Where too few pair up (fewer than six, or than a fifth of the smaller list),
// the two solutions disagree: the shift most stars agree on within `reach` px
// is added to the prediction, and `shift` receives it.
astrometry::Pairs PairByMap(const std::vector<astrometry::P>& target, const std::vector<astrometry::P>& source,
                            const PolyMap& map, double reach, astrometry::P* shift = nullptr);

// Pairs found without a prediction, by triangle patterns and a refined affine
// map; empty when fewer than six stars share a pattern. `width`, `height`: the
// target's size, which sets the pattern's smallest side.
astrometry::Pairs PairByTriangles(const std::vector<astrometry::P>& target, const std::vector<astrometry::P>& source,
                                  int width, int height);

} // namespace engine
