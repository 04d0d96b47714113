#include "engine/plate_solving.h"

#include <cmath>
#include <cstdio>

#include "astrometry/errors.h"
#include "engine/star_finder.h"

namespace engine {

namespace {

std::vector<astrometry::DetectedStar> brightStars(const Image& image, const SkyStats& sky) {
    std::vector<astrometry::DetectedStar> found;
    for (const auto& s : FindBrightStars(image.pixels, image.width, image.height, sky.level, sky.sigma, 5, 400))
        found.push_back({s.x, s.y, s.flux, std::sqrt(std::max(s.flux, 1.0)), s.peak, s.saturated});
    return found;
}

astrometry::SolveHints solverHints(const PlateSolveHints& h) {
    return {h.raHours, h.decDeg, 0.5 * (std::abs(h.scaleX) + std::abs(h.scaleY))};
}

} // namespace

PlateSolveOutcome SolveImagePlate(const Image& image, const SkyStats& sky, const PlateSolveHints& h,
                                  const astrometry::CatalogSettings& catalog) {
    const auto found = brightStars(image, sky);
    const astrometry::SolveHints hints = solverHints(h);
    PlateSolveOutcome out;
    try {
        const double half = std::hypot(image.width, image.height) / 2 * hints.arcsecPerPixel / 3600 + 0.12;
        const auto cat = astrometry::ReadCatalog(catalog, astrometry::BoxAround(h.raHours * 15, h.decDeg, half));
        out.catalogMissing = cat.empty();
        out.result = astrometry::SolvePlate(found, image.width, image.height, cat, hints);
    } catch (const astrometry::Error& e) {
        out.catalogMissing = true;
        out.result.reason = e.description();
    }
    return out;
}

astrometry::SolveResult SolveAgainstImage(const Image& image, const SkyStats& sky, const PlateSolveHints& h,
                                          const Image& solved, const SkyStats& solvedSky,
                                          const astrometry::Wcs& solvedWcs) {
    // one grid: a star of this image is the solved image's star within 2 px of it
    const auto theirs = brightStars(solved, solvedSky);
    std::vector<astrometry::P> pixels;
    std::vector<astrometry::CatalogStar> at;
    for (const auto& s : brightStars(image, sky)) {
        if (s.saturated) continue;
        const astrometry::DetectedStar* best = nullptr;
        double nearest = 2;
        for (const auto& t : theirs)
            if (const double d = std::hypot(t.x - s.x, t.y - s.y); !t.saturated && d < nearest) {
                nearest = d;
                best = &t;
            }
        double ra, dec;
        if (!best || !solvedWcs.pixelToSky(best->x, best->y, ra, dec)) continue;
        pixels.push_back({s.x, s.y});
        at.push_back({ra, dec, 25 - 2.5 * std::log10(std::max(best->flux, 1.0))});
    }
    return astrometry::SolvePlateFromPairs(pixels, at, image.width, image.height, solverHints(h));
}

void TakeNewSolution(Image& image, const astrometry::PlateSolution& solution, const std::string& against) {
    char rms[64];
    std::snprintf(rms, sizeof rms, "%.2f", solution.rmsArcsec);
    image.header.removeSolution();
    image.header.append(solution.headerCards());
    image.header.history("Plate solved on " + std::to_string(solution.matched) + " " + against + ", residual " + rms +
                         " arcsec");
}

} // namespace engine
