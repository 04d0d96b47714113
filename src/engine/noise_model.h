#pragma once
// The noise model: a per-pixel noise estimate for an image that carries none.
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

// image.noise = sqrt(pixel noise^2 + photons above the sky / gain), the pixel
// noise measured from neighbouring sky pixels; NaN where the pixel is NaN.
void ModelNoise(Image& image, const SkyStats& sky);

} // namespace engine
