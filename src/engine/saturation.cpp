#include "engine/saturation.h"

#include <cmath>
#include <limits>

namespace engine {

std::optional<double> FindSaturation(const std::vector<float>& pixels) {
    float top = -std::numeric_limits<float>::infinity();
    const float* p = pixels.data();
    const long long n = static_cast<long long>(pixels.size());
#pragma omp parallel for reduction(max : top) schedule(static)
    for (long long i = 0; i < n; ++i)
        if (p[i] > top) top = p[i];
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
