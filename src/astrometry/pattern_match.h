#pragma once
// Matching two lists of points by triangle patterns: invariant to shift,
// rotation, scale within a bound, and mirroring.
#include <utility>
#include <vector>

namespace astrometry {

struct P {
    double x, y;
};

// An affine map: [u v] = M [x y] + t
struct Affine {
    double m[4], t[2];
    P apply(P p) const { return {m[0] * p.x + m[1] * p.y + t[0], m[2] * p.x + m[3] * p.y + t[1]}; }
};

using Pairs = std::vector<std::pair<int, int>>;

// Pairs points of `from` mapped by `a` with the nearest point of `to` within `tol`, one to one.
Pairs PairUp(const std::vector<P>& from, const std::vector<P>& to, const Affine& a, double tol);
bool FitAffine(const std::vector<P>& from, const std::vector<P>& to, const Pairs& m, Affine& a);
// Scale of the map within `maxScaleError` of 1, and no shear.
bool Plausible(const Affine& a, double maxScaleError);

// Both lists brightest first. Finds the map `from` -> `to` that pairs the most
// points within `tol` (in `to` units), trying triangles of the brightest
// points; returns the number of pairs of the best map (0 if none).
std::size_t MatchByTriangles(const std::vector<P>& from, const std::vector<P>& to, double minSide,
                             double tol, double maxScaleError, Affine& best);

} // namespace astrometry
