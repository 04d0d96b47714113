#pragma once
// Source shape in a difference: is a source the point spread, or something
// far sharper (a hot pixel or pair, a cosmic ray's track, a cold defect of the
// image subtracted)? Judged by how much better a near-point model fits its
// pixels than the point spread does, so a faint source, where the noise cannot
// tell the two apart, is kept.
#include "astrometry/pixels_view.h"

namespace astrometry {

// A difference with its background taken out; a noise of 1e20 and above
// marks a blank pixel.
using ShapeStamp = PixelsView;

// chi2(point spread) - chi2(near-point source) over the 7 x 7 pixels around
// the brightest pixel within one of (px, py) (0-based), each model with its
// best amplitude, local background and centre within half a pixel.
// `psfSigma`: the point spread's Gaussian sigma, px. 0 where too few pixels
// are usable.
double SharpnessPreference(const ShapeStamp& stamp, int px, int py, double psfSigma);

// chi2(point spread) - chi2(a near-point source) at the brightest pixel, each
// with near-points on the two other pixels of highest S/N and a background, over
// the same pixels: a cluster of warm pixels, which neither one near-point nor
// the point spread fits alone; a hot pixel beside a star costs neither model.
// 0 where too few pixels are usable.
double ClusterPreference(const ShapeStamp& stamp, int px, int py, double psfSigma);

} // namespace astrometry
