#include "engine/line_stats.h"

#include <algorithm>
#include <cstddef>

namespace engine {
namespace {

// The median and the interquartile range; `v` is reordered.
LineStats quartiles(std::vector<float>& v) {
    if (v.size() < 8) return {};
    // the median splits the line: each quartile is then looked for in its half
    const auto k = [&](std::size_t i) { return v.begin() + static_cast<std::ptrdiff_t>(i); };
    const std::size_t m = v.size() / 2, i3 = 3 * v.size() / 4, i1 = v.size() / 4;
    std::nth_element(v.begin(), k(m), v.end());
    std::nth_element(k(m + 1), k(i3), v.end());
    std::nth_element(v.begin(), k(i1), k(m));
    return {double(v[m]), double(v[i3]) - double(v[i1]), static_cast<int>(v.size())};
}

} // namespace

LineStats RowStats(const std::vector<float>& p, int w, int y) {
    std::vector<float> v;
    const int step = std::max(1, w / 256);
    const float* row = p.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; x += step)
        if (std::isfinite(row[x])) v.push_back(row[x]);
    return quartiles(v);
}

std::vector<LineStats> ColumnStats(const std::vector<float>& p, int w, int h) {
    const int step = std::max(1, h / 256);
    std::vector<std::vector<float>> samples(static_cast<std::size_t>(w));
    for (int y = 0; y < h; y += step) {
        const float* row = p.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x)
            if (std::isfinite(row[x])) samples[x].push_back(row[x]);
    }
    std::vector<LineStats> out(static_cast<std::size_t>(w));
#pragma omp parallel for schedule(static)
    for (int x = 0; x < w; ++x) out[x] = quartiles(samples[x]);
    return out;
}

} // namespace engine
