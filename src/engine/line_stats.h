#pragma once
// The level and scatter of an image's rows and columns, from a sample of each
// line: for finding lines without data and lines at another level.
#include <cmath>
#include <vector>

namespace engine {

// The median and interquartile range of up to 256 finite values of a line,
// and how many there were; NaN with fewer than 8.
struct LineStats {
    double median = NAN, iqr = NAN;
    int count = 0;
};

// Of row y; without `spread` the iqr is left NaN (the median costs half).
LineStats RowStats(const std::vector<float>& pixels, int width, int y, bool spread = true);

// Of every column, from up to 256 rows read whole (a column read down the
// image misses the cache at every pixel).
std::vector<LineStats> ColumnStats(const std::vector<float>& pixels, int width, int height);

} // namespace engine
