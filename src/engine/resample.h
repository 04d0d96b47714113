#pragma once
// Resampling an image and its noise image onto another pixel grid through a
// map, with a Lanczos-3 kernel from a precomputed weight table, on every core.
#include <vector>

#include "engine/poly_map.h"

namespace engine {

struct Resampled {
    std::vector<float> pixels, noise;
};

// `map` gives, for each target pixel (FITS coordinates), the source position.
// Values are scaled by the area of a target pixel in source pixels, so that
// fluxes (and the sky per pixel) keep their meaning on the new grid.
// Target pixels whose source position lies outside the source image, or on a
// blank source pixel, become NaN: no star can be found there.
// The noise image (may be empty) goes through the same map bilinearly (it is
// smooth where it matters and must not ring), scaled by the square root of the
// pixel area and by what the Lanczos interpolation at that position leaves of
// the noise.
Resampled ResampleLanczos3(const std::vector<float>& source, const std::vector<float>& noise, int sw, int sh,
                           const PolyMap& map, int tw, int th);

// The noise image alone, as ResampleLanczos3 makes it: resampled after the
// pixels, each plane's source can be given back before the next is made.
std::vector<float> ResampleNoise(const std::vector<float>& noise, int sw, int sh, const PolyMap& map, int tw, int th);

} // namespace engine
