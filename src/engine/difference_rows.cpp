#include "engine/difference_rows.h"

#include <algorithm>
#include <limits>

namespace engine {

RowLine KernelRowLine(const MatchingKernel& kernel, const double (&sums)[3], int y, int w, int h) {
    const double yn = h > 1 ? 2.0 * y / (h - 1) - 1 : 0, dx = w > 1 ? 2.0 / (w - 1) : 0, x0 = w > 1 ? -1 : 0;
    RowLine l;
    l.bg0 = static_cast<float>(kernel.background[0] + x0 * kernel.background[1] + yn * kernel.background[2]);
    l.dbg = static_cast<float>(dx * kernel.background[1]);
    l.k0 = static_cast<float>(sums[0] + x0 * sums[1] + yn * sums[2]);
    l.dk = static_cast<float>(dx * sums[1]);
    return l;
}

// In float and without branches, on the wider vector units where there are.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void DifferenceRow(
    float* pix, const float* convolved, const float* other, const unsigned char* saturated, int x0, int x1,
    RowLine l, bool convolveOther) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    if (convolveOther) {
        for (int x = x0; x < x1; ++x) {
            const float d = pix[x] - convolved[x - x0] - (l.bg0 + x * l.dbg);
            pix[x] = saturated[x] ? nan : d;
        }
    } else {
        for (int x = x0; x < x1; ++x) {
            const float k = std::max(0.05f, l.k0 + x * l.dk);
            const float d = (convolved[x - x0] + (l.bg0 + x * l.dbg) - other[x]) / k;
            pix[x] = saturated[x] ? nan : d;
        }
    }
}

__attribute__((target_clones("arch=x86-64-v3", "default"))) void DifferenceNoiseRow(
    float* noise, const float* convolvedVariance, const float* otherNoise, const unsigned char* saturated, int x0,
    int x1, RowLine l, bool convolveOther) {
    if (convolveOther) {
        for (int x = x0; x < x1; ++x) {
            const float v = __builtin_sqrtf(noise[x] * noise[x] + convolvedVariance[x - x0]);
            noise[x] = saturated[x] ? noise[x] : v;
        }
    } else {
        for (int x = x0; x < x1; ++x) {
            const float k = std::max(0.05f, l.k0 + x * l.dk);
            const float v = __builtin_sqrtf(convolvedVariance[x - x0] + otherNoise[x] * otherNoise[x]) / k;
            noise[x] = saturated[x] ? noise[x] : v;
        }
    }
}

} // namespace engine
