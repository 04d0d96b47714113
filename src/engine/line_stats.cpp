#include "engine/line_stats.h"

#include <algorithm>
#include <cstddef>

namespace engine {
namespace {

// The median and the interquartile range of [b, e), which is reordered.
LineStats quartiles(float* b, float* e, bool spread = true) {
    const std::size_t n = static_cast<std::size_t>(e - b);
    if (n < 8) return {};
    // the median splits the line: each quartile is then looked for in its half
    const std::size_t m = n / 2, i3 = 3 * n / 4, i1 = n / 4;
    std::nth_element(b, b + m, e);
    if (!spread) return {double(b[m]), NAN, static_cast<int>(n)};
    std::nth_element(b + m + 1, b + i3, e);
    std::nth_element(b, b + i1, b + m);
    return {double(b[m]), double(b[i3]) - double(b[i1]), static_cast<int>(n)};
}

} // namespace

LineStats RowStats(const std::vector<float>& p, int w, int y, bool spread) {
    std::vector<float> v;
    const int step = std::max(1, w / 256);
    const float* row = p.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; x += step)
        if (std::isfinite(row[x])) v.push_back(row[x]);
    return quartiles(v.data(), v.data() + v.size(), spread);
}

std::vector<LineStats> ColumnStats(const std::vector<float>& p, int w, int h) {
    const int step = std::max(1, h / 256), rows = (h + step - 1) / step;
    constexpr int kTile = 64; // columns gathered together: a few cache lines of each row
    std::vector<LineStats> out(static_cast<std::size_t>(w));
#pragma omp parallel
    {
        // each column's sample in a block of its own, filled row by row
        std::vector<float> samples(static_cast<std::size_t>(kTile) * rows);
        int counts[kTile];
#pragma omp for schedule(static)
        for (int x0 = 0; x0 < w; x0 += kTile) {
            const int n = std::min(kTile, w - x0);
            std::fill(counts, counts + n, 0);
            for (int y = 0; y < h; y += step) {
                const float* row = p.data() + static_cast<std::size_t>(y) * w + x0;
                for (int i = 0; i < n; ++i)
                    if (std::isfinite(row[i])) samples[static_cast<std::size_t>(i) * rows + counts[i]++] = row[i];
            }
            for (int i = 0; i < n; ++i) {
                float* b = samples.data() + static_cast<std::size_t>(i) * rows;
                out[x0 + i] = quartiles(b, b + counts[i]);
            }
        }
    }
    return out;
}

} // namespace engine
