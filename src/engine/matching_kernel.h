#pragma once
// The matching kernel: what turns the sharper of two aligned images into the
// broader one, a kernel whose values vary linearly over the image, with the
// difference of the two backgrounds.
#include <array>
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

} // namespace engine
