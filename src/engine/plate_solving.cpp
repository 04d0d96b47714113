#include "engine/plate_solving.h"

#include <cmath>
#include <cstdio>

#include "astrometry/errors.h"
#include "engine/star_finder.h"

namespace engine {

astrometry::SolveResult SolveImagePlate(const Image& image, const SkyStats& sky, double raHours, double decDeg,
                                        double scaleX, double scaleY, const astrometry::CatalogSettings& catalog) {
    std::vector<astrometry::DetectedStar> found;
    for (const auto& s : FindBrightStars(image.pixels, image.width, image.height, sky.level, sky.sigma, 5, 400))
        found.push_back({s.x, s.y, s.flux, std::sqrt(std::max(s.flux, 1.0)), s.peak, s.saturated});
    const astrometry::SolveHints hints{raHours, decDeg, 0.5 * (std::abs(scaleX) + std::abs(scaleY))};
    astrometry::SolveResult r;
    try {
        const double half = std::hypot(image.width, image.height) / 2 * hints.arcsecPerPixel / 3600 + 0.12;
        const auto cat = astrometry::ReadCatalog(catalog, astrometry::BoxAround(raHours * 15, decDeg, half));
        r = astrometry::SolvePlate(found, image.width, image.height, cat, hints);
    } catch (const astrometry::Error& e) {
        r.reason = e.description();
    }
    return r;
}

void TakeNewSolution(Image& image, const astrometry::PlateSolution& solution) {
    char rms[64];
    std::snprintf(rms, sizeof rms, "%.2f", solution.rmsArcsec);
    image.header.removeSolution();
    image.header.append(solution.headerCards());
    image.header.history("Plate solved on " + std::to_string(solution.matched) + " catalog stars, residual " + rms +
                         " arcsec");
}

} // namespace engine
