#pragma once
#include <utility>
#include <vector>

namespace engine {

// Flux in a circle of radius r about (x, y) (FITS pixels) less the median sky
// of the ring between rin and rout; NaN pixels are left out.
double ApertureFlux(const std::vector<float>& pix, int w, int h, double x, double y, double r, double rin,
                    double rout);

} // namespace engine

namespace engine {

// The median ratio of whole light (radius 9) to the light in a difference's
// aperture (as detection measures a difference's sources) of the given stars
// (FITS pixels); 0 with fewer than five usable stars.
double ApertureCorrection(const std::vector<float>& pix, int w, int h, const std::vector<std::pair<double, double>>& stars);

} // namespace engine
