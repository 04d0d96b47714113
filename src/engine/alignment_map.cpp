#include "engine/alignment_map.h"

#include <algorithm>
#include <cmath>

namespace engine {

MapFrame MapFrame::Of(int width, int height) {
    return {(width + 1) / 2.0, (height + 1) / 2.0, std::max(width, height) / 2.0};
}

std::optional<PolyMap> MapFromPlateSolutions(const astrometry::Wcs& target, const astrometry::Wcs& source, int width,
                                             int height) {
    std::vector<std::pair<double, double>> t, s;
    for (int j = 0; j <= 16; ++j)
        for (int i = 0; i <= 16; ++i) {
            const double x = 0.5 + width * i / 16.0, y = 0.5 + height * j / 16.0;
            double ra, dec, u, v;
            if (target.pixelToSky(x, y, ra, dec) && source.skyToPixel(ra, dec, u, v)) {
                t.emplace_back(x, y);
                s.emplace_back(u, v);
            }
        }
    const MapFrame f = MapFrame::Of(width, height);
    PolyMap map;
    if (!map.fit(t, s, 3, f.cx, f.cy, f.scale)) return std::nullopt;
    return map;
}

std::optional<StarMapFit> FitMapToStars(const std::vector<astrometry::P>& a, const std::vector<double>& va,
                                        const std::vector<astrometry::P>& b, const std::vector<double>& vb,
                                        astrometry::Pairs pairs, const MapFrame& f) {
    if (pairs.size() < 6) return std::nullopt;
    std::optional<StarMapFit> fit;
    for (int round = 0; round < 3; ++round) {
        // Weighted: the faint stars' centroid noise moved an unweighted map by
        // 0.02 px, 5 % of a bright undersampled star's peak in the difference.
        std::vector<std::pair<double, double>> t, s;
        std::vector<double> weight;
        for (const auto& [i, j] : pairs) {
            t.emplace_back(a[i].x, a[i].y);
            s.emplace_back(b[j].x, b[j].y);
            weight.push_back(1 / (va[i] + vb[j]));
        }
        const int order = pairs.size() >= 60 ? 3 : (pairs.size() >= 25 ? 2 : 1);
        PolyMap starMap;
        if (!starMap.fit(t, s, order, f.cx, f.cy, f.scale, weight)) break;
        astrometry::Pairs kept;
        for (const auto& pr : pairs) {
            const auto [u, v] = starMap(a[pr.first].x, a[pr.first].y);
            if (std::hypot(u - b[pr.second].x, v - b[pr.second].y) < std::max(3 * starMap.rms(), 0.3))
                kept.push_back(pr);
        }
        fit = StarMapFit{starMap, static_cast<int>(pairs.size()), starMap.rms()};
        if (kept.size() == pairs.size() || kept.size() < 6) break;
        pairs = kept;
    }
    return fit;
}

double MapOverlap(const PolyMap& map, int tw, int th, int sw, int sh) {
    int inside = 0;
    for (int j = 0; j < 32; ++j)
        for (int i = 0; i < 32; ++i) {
            const auto [u, v] = map(0.5 + tw * (i + 0.5) / 32, 0.5 + th * (j + 0.5) / 32);
            inside += u >= 0.5 && v >= 0.5 && u <= sw + 0.5 && v <= sh + 0.5;
        }
    return inside / 1024.0;
}

double MapAreaAtCentre(const PolyMap& map, const MapFrame& f) {
    const auto [u0, v0] = map(f.cx, f.cy);
    const auto [u1, v1] = map(f.cx + 1, f.cy);
    const auto [u2, v2] = map(f.cx, f.cy + 1);
    return std::abs((u1 - u0) * (v2 - v0) - (v1 - v0) * (u2 - u0));
}

} // namespace engine
