#pragma once
// Robust sky statistics from a sample of the pixels.
#include <vector>

namespace engine {

struct SkyStats {
    double level = 0; // sigma-clipped median, ADU
    double sigma = 0; // robust standard deviation, ADU
};

// From about `samples` pixels spread over the image; NaN pixels are skipped.
SkyStats MeasureSky(const std::vector<float>& pixels, std::size_t samples = 200000);

// The noise of one pixel of a raw image, from the differences of neighbouring
// sky pixels, so that a gradient across the sky does not count as noise.
double PixelNoise(const std::vector<float>& pixels, int width, const SkyStats& sky, std::size_t samples = 200000);

// out[i] = sqrt(var0 + max(0, pixels[i] - sky) / gain), NaN for a NaN pixel:
// the noise of a raw pixel, sky noise plus the photon noise above the sky.
void PhotonNoise(const std::vector<float>& pixels, std::vector<float>& out, double var0, double sky, double gain);

// The brightest pixel, at least `floor`; NaN never counts.
float Brightest(const std::vector<float>& pixels, float floor);

// The mean of the values within three robust standard deviations of their
// median (the median itself when they are too few).
double ClippedMean(std::vector<double> values);

// The inverse-variance weighted mean of values with their standard errors,
// after those more than four errors from the weighted median are left out (a
// new or variable star among the stars of a flux ratio); each error is taken
// as at least `floor` of its value, so that a few very bright ones do not
// decide alone. NaN for no values.
double RobustWeightedMean(const std::vector<double>& values, const std::vector<double>& errors, double floor);

// The median of a few values (a copy is reordered); 0 for none.
double MedianOf(std::vector<double> values);

// The value below which `fraction` of the sampled pixels lie.
double SampledPercentile(const std::vector<float>& pixels, double fraction, std::size_t samples = 200000);

} // namespace engine
