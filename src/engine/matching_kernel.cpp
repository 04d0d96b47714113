#include "engine/matching_kernel.h"

namespace engine {

std::vector<float> MatchingKernel::at(double x, double y, bool squared) const {
    const double xn = width > 1 ? 2 * x / (width - 1) - 1 : 0, yn = height > 1 ? 2 * y / (height - 1) - 1 : 0;
    const double p[3] = {1, xn, yn};
    std::vector<float> k(terms.empty() ? 0 : terms[0].size());
    for (std::size_t i = 0; i < k.size(); ++i) {
        double v = 0;
        for (std::size_t s = 0; s < terms.size(); ++s) v += p[s] * terms[s][i];
        k[i] = static_cast<float>(squared ? v * v : v);
    }
    return k;
}

double MatchingKernel::backgroundAt(double x, double y) const {
    const double xn = width > 1 ? 2 * x / (width - 1) - 1 : 0, yn = height > 1 ? 2 * y / (height - 1) - 1 : 0;
    return background[0] + xn * background[1] + yn * background[2];
}

double MatchingKernel::sumAt(double x, double y) const {
    double s = 0;
    for (float v : at(x, y)) s += v;
    return s;
}

} // namespace engine
