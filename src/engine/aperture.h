#pragma once
#include <cmath>
#include <utility>
#include <vector>

namespace engine {

// Flux in a circle of radius r about (x, y) (FITS pixels) less the median sky
// of the ring between rin and rout; NaN pixels are left out.
double ApertureFlux(const std::vector<float>& pix, int w, int h, double x, double y, double r, double rin,
                    double rout);

struct ApertureMeasure {
    double flux = NAN, variance = NAN;
};

// The same with its variance from the noise image (one sigma per pixel); the
// flux is NaN where a pixel within r is blank, which would take light away.
ApertureMeasure MeasureAperture(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h, double x,
                                double y, double r, double rin, double rout);

} // namespace engine

namespace engine {

// The median ratio of whole light (radius 9) to the light in a difference's
// aperture (as detection measures a difference's sources) of the given stars
// (FITS pixels); 0 with fewer than five usable stars.
double ApertureCorrection(const std::vector<float>& pix, int w, int h, const std::vector<std::pair<double, double>>& stars);

} // namespace engine
