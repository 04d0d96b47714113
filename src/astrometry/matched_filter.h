#pragma once
// The detection images of a difference with a noise image, the two that SEP's
// matched filter makes, made here instead: SEP runs its filter as a full 2-D
// kernel on one core (2.3 s for 16 megapixels); the filter is a Gaussian, so
// two passes of rows and columns on every core give the same in a tenth.
#include <functional>
#include <vector>

namespace astrometry {

struct FilteredImages {
    // sum(f x) / sum(f): what SEP's deblending and centroids see
    std::vector<float> smoothed;
    // sum(f x / v) / sqrt(sum(f^2 / v)), v the variance: which pixels belong
    // to a source; 0 where no pixel under the filter has a noise
    std::vector<float> snr;
};

// The image is given a row at a time: `rows(y, values, noise)` fills `width`
// values of row y and their noise (called from several threads at once), so
// that the caller needs no whole copy of what it hands in. `row`: the
// filter's row (the filter is its outer product with itself). Pixels outside
// the image take no part; neither do those whose noise is not a positive
// finite number (their value is taken as 0 for `smoothed`).
using RowSource = std::function<void(int y, float* values, float* noise)>;
FilteredImages MatchedFilter(const RowSource& rows, int width, int height, const std::vector<float>& row);

// SEP given `smoothed` as the image finds the pixels where snr > threshold
// when given this as the noise at a threshold relative to it: smoothed / snr
// where both are positive, a threshold just under `smoothed` where a pixel
// above it in S/N is not above 0 in `smoothed`, and far above elsewhere.
// Computed into `snr`; returns how many pixels are above the threshold.
long long SnrAsNoise(const std::vector<float>& smoothed, std::vector<float>& snr, double threshold);

// Where the extraction may cut the image in two (before SnrAsNoise): the
// first row of the lower part, nearest the middle, such that it and the row
// before it are quiet (no pixel within 1 % of the threshold in S/N: no
// rounding can put one above it). 0 where the middle half has no such place.
int QuietCut(const std::vector<float>& snr, int width, int height, double threshold);

} // namespace astrometry
