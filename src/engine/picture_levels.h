#pragma once
// Picture levels: the stretch of a JPEG product, so that pictures blinked
// against each other compare like with like.
#include <array>

#include "engine/image.h"
#include "engine/image_writers.h"
#include "engine/pixel_stats.h"

namespace engine {

// The sky's dark end (3 sigma below it) and the bright end (the 99.8th
// percentile, at least 20 sigma above the sky) of a rectangle (0-based,
// inclusive, clamped to the image).
std::array<double, 2> MeasureLevels(const Image& image, int left, int top, int right, int bottom);

// The one rule for every picture that is blinked against another: from 3
// sigma below the sky to 100 above it (a difference: around zero).
Stretch ProductStretch(const SkyStats& sky, bool difference);

} // namespace engine
