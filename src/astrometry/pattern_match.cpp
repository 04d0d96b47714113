#include "astrometry/pattern_match.h"

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace astrometry {
namespace {

bool affineFrom3(const std::array<P, 3>& src, const std::array<P, 3>& dst, Affine& a) {
    Eigen::Matrix3d s;
    for (int i = 0; i < 3; ++i) s.row(i) << src[i].x, src[i].y, 1;
    if (std::abs(s.determinant()) < 1e-6) return false;
    Eigen::Vector3d u, v;
    for (int i = 0; i < 3; ++i) {
        u[i] = dst[i].x;
        v[i] = dst[i].y;
    }
    const Eigen::Vector3d cu = s.partialPivLu().solve(u), cv = s.partialPivLu().solve(v);
    a = {{cu[0], cu[1], cv[0], cv[1]}, {cu[2], cv[2]}};
    return true;
}

struct Triangle {
    int v[3];      // vertices ordered: opposite the shortest, middle, longest side
    double r1, r2; // shortest / longest, middle / longest
    double longest;
};

std::vector<Triangle> triangles(const std::vector<P>& pts, int n, double minSide) {
    std::vector<Triangle> out;
    n = std::min<int>(n, static_cast<int>(pts.size()));
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                const int id[3] = {i, j, k};
                // side opposite vertex q
                double side[3];
                for (int q = 0; q < 3; ++q) {
                    const P& a = pts[id[(q + 1) % 3]];
                    const P& b = pts[id[(q + 2) % 3]];
                    side[q] = std::hypot(a.x - b.x, a.y - b.y);
                }
                int order[3] = {0, 1, 2};
                std::sort(order, order + 3, [&](int a, int b) { return side[a] < side[b]; });
                if (side[order[0]] < minSide) continue;
                Triangle t;
                for (int q = 0; q < 3; ++q) t.v[q] = id[order[q]];
                t.longest = side[order[2]];
                t.r1 = side[order[0]] / t.longest;
                t.r2 = side[order[1]] / t.longest;
                if (t.r2 > 0.95 && t.r1 > 0.9) continue; // nearly equilateral: vertices ambiguous
                out.push_back(t);
            }
    return out;
}

} // namespace

Pairs PairUp(const std::vector<P>& img, const std::vector<P>& cat,
                                        const Affine& a, double tol) {
    std::vector<std::pair<int, int>> out;
    std::vector<int> usedBy(cat.size(), -1);
    std::vector<double> bestD(cat.size(), 1e18);
    std::vector<int> pick(img.size(), -1);
    for (std::size_t i = 0; i < img.size(); ++i) {
        const P p = a.apply(img[i]);
        double best = tol * tol;
        int bj = -1;
        for (std::size_t j = 0; j < cat.size(); ++j) {
            const double d = (cat[j].x - p.x) * (cat[j].x - p.x) + (cat[j].y - p.y) * (cat[j].y - p.y);
            if (d < best) {
                best = d;
                bj = static_cast<int>(j);
            }
        }
        if (bj >= 0 && best < bestD[bj]) {
            if (usedBy[bj] >= 0) pick[usedBy[bj]] = -1;
            usedBy[bj] = static_cast<int>(i);
            bestD[bj] = best;
            pick[i] = bj;
        }
    }
    for (std::size_t i = 0; i < img.size(); ++i)
        if (pick[i] >= 0) out.emplace_back(static_cast<int>(i), pick[i]);
    return out;
}

bool FitAffine(const std::vector<P>& img, const std::vector<P>& cat,
               const std::vector<std::pair<int, int>>& m, Affine& a) {
    if (m.size() < 3) return false;
    Eigen::MatrixXd A(m.size(), 3);
    Eigen::VectorXd u(m.size()), v(m.size());
    for (std::size_t k = 0; k < m.size(); ++k) {
        A.row(k) << img[m[k].first].x, img[m[k].first].y, 1;
        u[k] = cat[m[k].second].x;
        v[k] = cat[m[k].second].y;
    }
    const auto qr = A.colPivHouseholderQr();
    const Eigen::Vector3d cu = qr.solve(u), cv = qr.solve(v);
    a = {{cu[0], cu[1], cv[0], cv[1]}, {cu[2], cv[2]}};
    return true;
}

bool Plausible(const Affine& a, double maxScaleError) {
    const double s1 = std::hypot(a.m[0], a.m[2]), s2 = std::hypot(a.m[1], a.m[3]);
    if (std::abs(s1 - 1) > maxScaleError || std::abs(s2 - 1) > maxScaleError) return false;
    const double cosAngle = (a.m[0] * a.m[1] + a.m[2] * a.m[3]) / (s1 * s2);
    return std::abs(cosAngle) < 0.05;
}


std::size_t MatchByTriangles(const std::vector<P>& from, const std::vector<P>& to, double minSide,
                             double tol, double maxScaleError, Affine& best) {
    const auto ti = triangles(from, 25, minSide);
    const auto tc = triangles(to, 40, minSide * (1 - maxScaleError));
    const double cell = 0.02;
    std::unordered_map<long, std::vector<int>> grid;
    auto key = [&](double r1, double r2) {
        return static_cast<long>(std::floor(r1 / cell)) * 100000 + static_cast<long>(std::floor(r2 / cell));
    };
    for (std::size_t k = 0; k < tc.size(); ++k) grid[key(tc[k].r1, tc[k].r2)].push_back(static_cast<int>(k));
    const std::size_t checkCount = std::min<std::size_t>(from.size(), 60);
    const std::vector<P> check(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(checkCount));
    std::size_t bestCount = 0;
    const std::size_t enough = std::max<std::size_t>(12, checkCount / 2);
    for (const auto& t : ti) {
        const long k0 = key(t.r1, t.r2);
        for (long d1 = -1; d1 <= 1 && bestCount < enough; ++d1)
            for (long d2 = -1; d2 <= 1 && bestCount < enough; ++d2) {
                const auto it = grid.find(k0 + d1 * 100000 + d2);
                if (it == grid.end()) continue;
                for (int ci : it->second) {
                    const Triangle& c = tc[ci];
                    if (std::abs(c.r1 - t.r1) > 0.012 || std::abs(c.r2 - t.r2) > 0.012) continue;
                    if (std::abs(c.longest / t.longest - 1) > maxScaleError) continue;
                    Affine a;
                    if (!affineFrom3({from[t.v[0]], from[t.v[1]], from[t.v[2]]}, {to[c.v[0]], to[c.v[1]], to[c.v[2]]}, a))
                        continue;
                    if (!Plausible(a, maxScaleError)) continue;
                    const auto m = PairUp(check, to, a, tol);
                    if (m.size() > bestCount) {
                        bestCount = m.size();
                        best = a;
                    }
                    if (bestCount >= enough) break;
                }
            }
        if (bestCount >= enough) break;
    }
    return bestCount;
}

} // namespace astrometry
