#pragma once
// Bad lines: whole columns or rows at another level than their neighbours (a
// hot or cold column of the sensor, a row's readout offset). Each frame has
// its own, at its own place after the alignment, and the subtraction would
// leave each as a line of suspicious stars.
#include <vector>

#include "engine/line_stats.h"

namespace engine {

// Evens out each column and row whose median lies more than max(0.5 sky
// sigma, 8 standard errors) from the median of the lines 2 and 4 away on
// either side (a colour mosaic's lines of one filter): the difference is taken
// off all its pixels. Returns how many lines. `columns`: the columns'
// statistics of these pixels when the caller has them (MarkNoData does).
int EvenOutBadLines(std::vector<float>& pixels, int width, int height, double skySigma,
                    const std::vector<LineStats>* columns = nullptr);

} // namespace engine
