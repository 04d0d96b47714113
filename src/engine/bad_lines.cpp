#include "engine/bad_lines.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/line_stats.h"

namespace engine {
namespace {

// Each line's offset from the lines 2 and 4 away on either side (of a colour
// mosaic's same filter: its lines alternate in level); 0 where it is within
// the noise of its median or there are too few lines to tell.
std::vector<double> lineOffsets(const std::vector<LineStats>& lines, double sigma) {
    const int n = static_cast<int>(lines.size());
    std::vector<double> offsets(lines.size(), 0);
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(lines[i].median)) continue;
        std::vector<double> near;
        for (int d : {-4, -2, 2, 4})
            if (i + d >= 0 && i + d < n && std::isfinite(lines[i + d].median)) near.push_back(lines[i + d].median);
        if (near.size() < 2) continue;
        std::sort(near.begin(), near.end());
        const double level = near.size() % 2 ? near[near.size() / 2]
                                              : 0.5 * (near[near.size() / 2 - 1] + near[near.size() / 2]);
        const double offset = lines[i].median - level;
        // the median of n samples scatters by 1.25 sigma / sqrt(n)
        const double error = 1.2533 * sigma / std::sqrt(double(lines[i].count));
        if (std::abs(offset) > std::max(0.5 * sigma, 8 * error)) offsets[i] = offset;
    }
    return offsets;
}

} // namespace

int EvenOutBadLines(std::vector<float>& p, int w, int h, double sigma, const std::vector<LineStats>* stats) {
    if (w < 5 || h < 5 || !(sigma > 0)) return 0;
    const bool given = stats && stats->size() == static_cast<std::size_t>(w);
    const std::vector<double> columns = lineOffsets(given ? *stats : ColumnStats(p, w, h), sigma);
    std::vector<LineStats> rowStats(static_cast<std::size_t>(h));
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) rowStats[y] = RowStats(p, w, y, false); // the offsets need the medians only
    const std::vector<double> rows = lineOffsets(rowStats, sigma);
    const auto bad = [](double o) { return o != 0; };
    const int count = static_cast<int>(std::count_if(columns.begin(), columns.end(), bad) +
                                       std::count_if(rows.begin(), rows.end(), bad));
    if (!count) return 0;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        float* row = p.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) row[x] -= static_cast<float>(columns[x] + rows[y]);
    }
    return count;
}

} // namespace engine
