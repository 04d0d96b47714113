#include "engine/zero_point.h"

#include <algorithm>
#include <cmath>

#include "astrometry/errors.h"
#include "engine/aperture.h"
#include "engine/star_finder.h"

namespace engine {
namespace {

std::vector<astrometry::CatalogStar> catalogByDec(const Image& image, const astrometry::Wcs& wcs,
                                                  const astrometry::CatalogSettings& catalog) {
    double ra, dec;
    wcs.pixelToSky((image.width + 1) / 2.0, (image.height + 1) / 2.0, ra, dec);
    const double scale = std::abs(wcs.scaleAt((image.width + 1) / 2.0, (image.height + 1) / 2.0));
    const double half = std::hypot(image.width, image.height) / 2 * scale / 3600;
    auto stars = astrometry::ReadCatalog(catalog, astrometry::BoxAround(ra, dec, half));
    std::sort(stars.begin(), stars.end(), [](const auto& a, const auto& b) { return a.dec < b.dec; });
    return stars;
}

// One zero-point per image star that a catalog star lies within `near` degrees of.
std::vector<double> starZeroPoints(const Image& image, const SkyStats& sky, const astrometry::Wcs& wcs,
                                   const std::vector<astrometry::CatalogStar>& byDec) {
    const double near = 2.5 / 3600;
    std::vector<double> zps;
    for (const auto& s : FindBrightStars(image.pixels, image.width, image.height, sky.level, sky.sigma, 10, 800)) {
        if (s.saturated) continue;
        double sra, sdec;
        if (!wcs.pixelToSky(s.x, s.y, sra, sdec)) continue;
        auto it = std::lower_bound(byDec.begin(), byDec.end(), sdec - near,
                                   [](const auto& c, double d) { return c.dec < d; });
        for (; it != byDec.end() && it->dec <= sdec + near; ++it) {
            if (std::hypot((it->ra - sra) * std::cos(sdec * M_PI / 180), it->dec - sdec) < near) {
                const double whole = ApertureFlux(image.pixels, image.width, image.height, s.x, s.y, 9, 11, 16);
                if (whole > 0) zps.push_back(it->mag + 2.5 * std::log10(whole));
                break;
            }
        }
    }
    return zps;
}

} // namespace

std::optional<double> FitZeroPoint(const Image& image, const SkyStats& sky, const astrometry::Wcs& wcs,
                                   const astrometry::CatalogSettings& catalog, double* error) {
    if (!wcs.valid() || catalog.folder.empty()) return std::nullopt;
    try {
        const auto zps = starZeroPoints(image, sky, wcs, catalogByDec(image, wcs, catalog));
        if (zps.size() < 3) return std::nullopt;
        if (error) {
            const double mid = MedianOf(zps);
            std::vector<double> dev;
            for (double z : zps) dev.push_back(std::abs(z - mid));
            *error = 1.4826 * MedianOf(dev) / std::sqrt(static_cast<double>(zps.size()));
        }
        return ClippedMean(zps);
    } catch (const astrometry::Error&) {
        // no catalog for this field: no zero-point
    }
    return std::nullopt;
}

} // namespace engine
