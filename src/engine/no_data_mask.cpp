#include "engine/no_data_mask.h"

#include "engine/convolution.h"
#include "platform/big_buffers.h"

namespace engine {

std::vector<unsigned char> NoDataMask(const std::vector<float>& pixels) {
    std::vector<unsigned char> mask;
    platform::ResizeFast(mask, pixels.size());
    // raw pointers: a byte store could alias a vector's own pointer and stop the vector units
    unsigned char* b = mask.data();
    const float* p = pixels.data();
    const long long n = static_cast<long long>(mask.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) b[i] = !(p[i] - p[i] == 0.f); // not finite
    return mask;
}

std::vector<unsigned char> UnusableMask(const std::vector<float>& templ, const std::vector<float>& science,
                                        const std::vector<unsigned char>& noData,
                                        const std::vector<unsigned char>& given, float tSat, float sSat, int width,
                                        int height, int radius) {
    std::vector<unsigned char> mask;
    platform::ResizeFast(mask, templ.size());
    unsigned char* m = mask.data();
    const unsigned char *b = noData.data(), *g = given.data();
    const float *tp = templ.data(), *sp = science.data();
    const long long n = static_cast<long long>(mask.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) m[i] = (((tp[i] >= tSat) | b[i]) & !g[i]) | (sp[i] >= sSat);
    // one dilation for both: a blank footprint two pixels wider costs nothing that matters
    return DilateMask(mask, width, height, radius);
}

} // namespace engine
