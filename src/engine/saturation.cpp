#include "engine/saturation.h"

#include <cmath>
#include <limits>

#include "engine/pixel_stats.h"

namespace engine {

std::optional<double> FindSaturation(const std::vector<float>& pixels) {
    const float top = Brightest(pixels, -std::numeric_limits<float>::infinity());
    const float* p = pixels.data();
    const long long n = static_cast<long long>(pixels.size());
    long long atTop = 0;
    const float near = top - 1e-4f * std::abs(top);
#pragma omp parallel for reduction(+ : atTop) schedule(static)
    for (long long i = 0; i < n; ++i) atTop += p[i] >= near;
    if (atTop >= 3 && top > 1000) return top;
    return std::nullopt;
}

float SaturationThreshold(std::optional<double> saturation, double sky) {
    if (!saturation) return std::numeric_limits<float>::infinity();
    return static_cast<float>(sky + 0.75 * (*saturation - sky));
}

} // namespace engine
