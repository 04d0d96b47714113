#pragma once
// Is a source of a difference significant against the scatter of the
// difference around it? A detector's noisy rows or corner, or a region thick
// with defects, scatters more than the noise image says; a source there is
// judged against what its surroundings show.
#include "astrometry/pixels_view.h"

namespace astrometry {

// The robust standard deviation of pixel / noise over the ring from `inner`
// to `outer` px around (px, py) (0-based); 0 with fewer than 100 usable
// pixels. A noise of 1e20 and above marks a blank pixel.
double LocalScatter(const PixelsView& view, int px, int py, double inner, double outer);

// The S/N of a Gaussian of `sigma` px fitted in amplitude at (px, py): the
// matched filter's S/N for that one place.
double GaussianSnr(const PixelsView& view, int px, int py, double sigma);

} // namespace astrometry
