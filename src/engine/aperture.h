#pragma once
#include <vector>

namespace engine {

// Flux in a circle of radius r about (x, y) (FITS pixels) less the median sky
// of the ring between rin and rout; NaN pixels are left out.
double ApertureFlux(const std::vector<float>& pix, int w, int h, double x, double y, double r, double rin,
                    double rout);

} // namespace engine
