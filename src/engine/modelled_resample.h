#pragma once
// Resampling an undersampled image: no interpolation can tell where a 2-px
// star's light lies within its pixels (the samples alias), so a resampled
// bright star differs from the same star observed on the new grid by a few per
// cent of its peak, a different amount at each sub-pixel position. The bright
// stars are fitted with the image's own star profile and taken out, the rest is
// interpolated, and each star is put back at its mapped position, integrated
// over the new pixels. Whatever the model misses stays in the interpolated
// rest, so a poor model costs only the gain, never the star.
#include <optional>
#include <vector>

#include "engine/pixel_stats.h"
#include "engine/poly_map.h"
#include "engine/resample.h"

namespace engine {

struct ModelledResample {
    Resampled image;
    int starsModelled = 0; // 0: interpolated as it is (well sampled, or no stars to fit)
};

// As ResampleLanczos3; `source` is changed during the call and given back as
// it was, to the rounding of its floats. Without `withNoise` only the pixels
// are made (the noise still weighs the star fits; ResampleNoise makes it).
ModelledResample ResampleModelled(std::vector<float>& source, const std::vector<float>& noise, int sw, int sh,
                                  const SkyStats& sky, std::optional<double> saturation, const PolyMap& map, int tw,
                                  int th, bool withNoise = true);

} // namespace engine
