#pragma once
// Point-spread matching of two aligned images: a kernel that turns the sharper
// image into the broader one, fitted by least squares on stamps around stars,
// with the background difference. The kernel is a sum of Gaussians times
// polynomials whose weights vary linearly over the image.
#include <array>
#include <optional>
#include <vector>

namespace engine {

struct MatchingKernel {
    int half = 0;                           // the kernel has (2 half + 1)^2 values
    int width = 0, height = 0;              // of the images it was fitted on
    std::vector<std::vector<double>> terms; // K(x, y) = terms[0] + xn terms[1] + yn terms[2]
    std::array<double, 3> background{};     // the same form
    int stamps = 0;                         // stamps that took part in the last fit
    double chi2PerPixel = 0;                // over those stamps

    // xn, yn: -1..1 over the image
    std::vector<float> at(double x, double y, bool squared = false) const;
    double backgroundAt(double x, double y) const;
    double sumAt(double x, double y) const;
};

struct StampStar {
    double x, y; // 0-based pixel coordinates
};

struct MatchInputs {
    const std::vector<float>* templ = nullptr; // the sharper image, to be convolved
    const std::vector<float>* templNoise = nullptr;
    const std::vector<float>* science = nullptr; // the broader image
    const std::vector<float>* scienceNoise = nullptr;
    int width = 0, height = 0;
    double templSigma = 1, scienceSigma = 1; // Gaussian-equivalent star widths, px
    std::vector<StampStar> stars;            // brightest first
    float templSaturation = 1e30f, scienceSaturation = 1e30f;
};

// Empty when fewer than eight good stamps remain.
std::optional<MatchingKernel> FitMatchingKernel(const MatchInputs& in);

// The Gaussian-equivalent width (sigma, px) of the stars at the given
// positions, from the share of their light in the brightest 3 x 3 pixels.
double StarSigma(const std::vector<float>& pixels, int width, int height, const std::vector<StampStar>& stars,
                 double sky);

} // namespace engine
