#include "catalog_entries.h"

#include <algorithm>
#include <cmath>

#include "random.h"

namespace skysim {

std::vector<CatalogEntry> DrawCatalog(const std::vector<SkyStar>& stars, const CatalogErrors& e,
                                      std::uint64_t seed) {
    Random rnd(seed, 31);
    std::vector<CatalogEntry> out;
    out.reserve(stars.size());
    for (const auto& s : stars) {
        const double dra = rnd.normal() * e.positionSigma / 3600.0 /
                           std::max(std::cos(s.dec * M_PI / 180), 0.01);
        const double ddec = rnd.normal() * e.positionSigma / 3600.0;
        const double mag = s.mag + rnd.normal() * e.magnitudeSigma;
        const double keep = std::clamp(1.0 - (s.mag - e.completeTo), 0.0, 1.0);
        if (rnd.uniform() >= keep) continue;
        out.push_back({std::fmod(s.ra + dra + 360.0, 360.0), s.dec + ddec, mag, mag + s.colour});
    }
    return out;
}

} // namespace skysim
