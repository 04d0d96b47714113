#include "engine/picture_levels.h"

#include <algorithm>

namespace engine {

std::array<double, 2> MeasureLevels(const Image& image, int left, int top, int right, int bottom) {
    left = std::clamp(left, 0, image.width - 1);
    right = std::clamp(right, left, image.width - 1);
    top = std::clamp(top, 0, image.height - 1);
    bottom = std::clamp(bottom, top, image.height - 1);
    std::vector<float> area;
    area.reserve(static_cast<std::size_t>(right - left + 1) * (bottom - top + 1));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) area.push_back(image.pixels[static_cast<std::size_t>(y) * image.width + x]);
    const SkyStats sky = MeasureSky(area);
    const double bright = SampledPercentile(area, 0.998);
    return {sky.level - 3 * sky.sigma, std::max(bright, sky.level + 20 * sky.sigma)};
}

Stretch ProductStretch(const SkyStats& sky, bool difference) {
    Stretch s;
    s.difference = difference;
    s.low = difference ? -3 * sky.sigma : sky.level - 3 * sky.sigma;
    s.high = difference ? 100 * sky.sigma : sky.level + 100 * sky.sigma;
    return s;
}

} // namespace engine
