#include "sky_model.h"

#include <cmath>

#include "random.h"
#include "tan_projection.h"

namespace skysim {

Field MakeField(const FieldOptions& o) {
    Field f;
    f.ra = o.ra;
    f.dec = o.dec;
    const double cosd = std::max(std::cos(o.dec * M_PI / 180.0), 0.05);
    const double halfRa = std::min(o.halfSizeDeg / cosd, 179.0);
    f.raMin = std::fmod(o.ra - halfRa + 360.0, 360.0);
    f.raMax = std::fmod(o.ra + halfRa + 360.0, 360.0);
    f.decMin = std::max(o.dec - o.halfSizeDeg, -89.9);
    f.decMax = std::min(o.dec + o.halfSizeDeg, 89.9);

    const double s1 = std::sin(f.decMin * M_PI / 180), s2 = std::sin(f.decMax * M_PI / 180);
    const double areaDeg2 = (2 * halfRa) * (s2 - s1) * 180.0 / M_PI;
    const double expected = o.densityAt20 * areaDeg2 * std::pow(10.0, 0.3 * (o.faintest - 20)) *
                            (1 - std::pow(10.0, 0.3 * (o.brightest - o.faintest)));
    Random rnd(o.seed, 1);
    const int count = static_cast<int>(rnd.poisson(expected));
    const double lo = std::pow(10.0, 0.3 * o.brightest), hi = std::pow(10.0, 0.3 * o.faintest);
    f.stars.reserve(count);
    for (int i = 0; i < count; ++i) {
        SkyStar s;
        s.ra = std::fmod(o.ra - halfRa + 2 * halfRa * rnd.uniform() + 360.0, 360.0);
        s.dec = std::asin(s1 + (s2 - s1) * rnd.uniform()) * 180.0 / M_PI;
        s.mag = std::log10(lo + (hi - lo) * rnd.uniform()) / 0.3;
        s.colour = rnd.uniform(0.3, 1.6);
        f.stars.push_back(s);
    }
    if (o.galaxy) {
        Galaxy g;
        g.ra = o.ra;
        g.dec = o.dec;
        g.positionAngle = rnd.uniform(0, 180);
        g.axisRatio = rnd.uniform(0.4, 0.9);
        f.galaxy = g;
    }
    return f;
}

void AddSupernovaBesideCore(Field& field, double mag, std::uint64_t seed, int index) {
    Random rnd(seed, 500 + index);
    const double cx = field.galaxy ? field.galaxy->ra : field.ra;
    const double cy = field.galaxy ? field.galaxy->dec : field.dec;
    // 8 to 20 arcsec from the core, further ones spread around the field
    const double dist = (index == 0 ? rnd.uniform(8, 20) : rnd.uniform(60, 400)) / 3600.0;
    const double angle = rnd.uniform(0, 2 * M_PI);
    double ra, dec;
    FromStandardCoordinates(cx, cy, dist * std::sin(angle), dist * std::cos(angle), ra, dec);
    field.supernovae.push_back({ra, dec, mag});
}

} // namespace skysim
