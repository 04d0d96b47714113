#pragma once
// Measured over expected noise of a difference: the robust scatter of
// difference / noise over its pixels (every seventh), 1 when the noise image
// tells the truth.
#include <algorithm>
#include <cmath>
#include <vector>

#include "astrometry/fits_image.h"

namespace bench {

inline double MeasuredOverExpectedNoise(const astrometry::FitsImage& d) {
    auto median = [](std::vector<double> v) {
        if (v.empty()) return double(NAN);
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(0.5 * (v.size() - 1))];
    };
    std::vector<double> z;
    for (std::size_t i = 0; i < d.pixels.size() && i < d.noise.size(); i += 7)
        if (std::isfinite(d.pixels[i]) && d.noise[i] > 0) z.push_back(d.pixels[i] / d.noise[i]);
    const double med = median(z);
    for (auto& v : z) v = std::abs(v - med);
    return 1.4826 * median(z);
}

} // namespace bench
