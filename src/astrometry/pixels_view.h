#pragma once
// An image's pixels and per-pixel noise held elsewhere, row by row, looked at
// without a copy.
#include <vector>

namespace astrometry {

struct PixelsView {
    const std::vector<float>& pixels;
    const std::vector<float>& noise; // one standard deviation per pixel; may be empty
    int width, height;
};

} // namespace astrometry
