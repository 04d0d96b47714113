#include "checks/minor_planets.h"

#include <algorithm>
#include <cmath>

#include <erfa.h>

namespace checks {
namespace {

constexpr double kDeg = M_PI / 180;
constexpr double kObliquity = 84381.448 / 3600 * kDeg; // of the J2000 ecliptic
constexpr double kLightAuPerDay = 173.1446326846693;

double length(const Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
Vec3 minus(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

Vec3 toEquator(const Vec3& e) {
    const double c = std::cos(kObliquity), s = std::sin(kObliquity);
    return {e[0], c * e[1] - s * e[2], s * e[1] + c * e[2]};
}

Vec3 equatorialPosition(const Orbit& o, double mjdTT) { return toEquator(EclipticPosition(o, mjdTT)); }

void raDec(const Vec3& v, double& ra, double& dec) {
    ra = std::atan2(v[1], v[0]) / kDeg;
    if (ra < 0) ra += 360;
    dec = std::atan2(v[2], std::hypot(v[0], v[1])) / kDeg;
}

double separationArcsec(double ra1, double dec1, double ra2, double dec2) {
    return SeparationArcsec({ra1, dec1}, {ra2, dec2});
}

// The H, G magnitude system (Bowell et al. 1989).
double vMagnitude(const Orbit& o, double sunDistance, double earthDistance, double phase) {
    if (!std::isfinite(o.h)) return NAN;
    const double t = std::tan(phase / 2);
    const double phi1 = std::exp(-3.33 * std::pow(t, 0.63)), phi2 = std::exp(-1.87 * std::pow(t, 1.22));
    return o.h + 5 * std::log10(sunDistance * earthDistance) - 2.5 * std::log10((1 - o.g) * phi1 + o.g * phi2);
}

} // namespace

Vec3 EclipticPosition(const Orbit& o, double mjdTT) {
    const double e = o.eccentricity, a = o.semiMajorAxis;
    double m = std::fmod((o.meanAnomaly + o.meanMotion * (mjdTT - o.epochMjd)) * kDeg, 2 * M_PI);
    // Kepler's equation by Newton's method; from M + e sin M it converges for every e < 1
    double big = m + e * std::sin(m);
    for (int k = 0; k < 50; ++k) {
        const double step = (big - e * std::sin(big) - m) / (1 - e * std::cos(big));
        big -= step;
        if (std::abs(step) < 1e-13) break;
    }
    const double x = a * (std::cos(big) - e), y = a * std::sqrt(1 - e * e) * std::sin(big);
    const double w = o.perihelion * kDeg, n = o.node * kDeg, i = o.inclination * kDeg;
    const double cw = std::cos(w), sw = std::sin(w), cn = std::cos(n), sn = std::sin(n), ci = std::cos(i),
                 si = std::sin(i);
    const Vec3 p{cw * cn - sw * sn * ci, cw * sn + sw * cn * ci, sw * si};
    const Vec3 q{-sw * cn - cw * sn * ci, -sw * sn + cw * cn * ci, cw * si};
    return {x * p[0] + y * q[0], x * p[1] + y * q[1], x * p[2] + y * q[2]};
}

Vec3 EarthPosition(double mjdTT) {
    double pvh[2][3], pvb[2][3];
    eraEpv00(2400000.5, mjdTT, pvh, pvb); // TDB; TT differs by under 2 ms
    return {pvh[0][0], pvh[0][1], pvh[0][2]};
}

Vec3 ObserverPosition(double mjdTT, const std::array<double, 3>& site) {
    double a1 = 0, a2 = 0, u1 = 0, u2 = 0, c2t[3][3], g[3];
    eraTttai(2400000.5, mjdTT, &a1, &a2);
    eraTaiutc(a1, a2, &u1, &u2);
    eraC2t06a(2400000.5, mjdTT, u1, u2, 0, 0, c2t);
    double itrs[3] = {site[0], site[1], site[2]};
    eraTrxp(c2t, itrs, g); // terrestrial to celestial: the transpose
    const Vec3 earth = EarthPosition(mjdTT);
    constexpr double kAuMetres = 149597870700.0;
    return {earth[0] + g[0] / kAuMetres, earth[1] + g[1] / kAuMetres, earth[2] + g[2] / kAuMetres};
}

Sighting Observe(const Orbit& o, double mjdTT, const Vec3& earth) {
    Vec3 body = equatorialPosition(o, mjdTT), seen = minus(body, earth);
    for (int k = 0; k < 3; ++k) {
        body = equatorialPosition(o, mjdTT - length(seen) / kLightAuPerDay);
        seen = minus(body, earth);
    }
    Sighting s;
    raDec(seen, s.ra, s.dec);
    s.distance = length(seen);
    const double r = length(body);
    const double cosPhase = (r * r + s.distance * s.distance - length(earth) * length(earth)) / (2 * r * s.distance);
    s.vMagnitude = vMagnitude(o, r, s.distance, std::acos(std::clamp(cosPhase, -1.0, 1.0)));
    // an hour on, from the Earth's centre: the planet's own motion and the Earth's
    const Vec3 centre = EarthPosition(mjdTT), nowSeen = minus(body, centre);
    double ra1 = 0, dec1 = 0;
    raDec(nowSeen, ra1, dec1);
    const Vec3 later = minus(equatorialPosition(o, mjdTT + 1.0 / 24 - length(nowSeen) / kLightAuPerDay), EarthPosition(mjdTT + 1.0 / 24));
    double ra2 = 0, dec2 = 0;
    raDec(later, ra2, dec2);
    s.motion = separationArcsec(ra1, dec1, ra2, dec2);
    return s;
}

std::vector<std::vector<MinorPlanetNear>> MinorPlanetsNear(const OrbitFile& file, double mjdTT,
                                                           const std::vector<SkyPlace>& places, double radiusArcsec,
                                                           const std::optional<std::array<double, 3>>& site) {
    std::vector<std::vector<MinorPlanetNear>> near(places.size());
    if (places.empty()) return near;
    const Vec3 earth = site ? ObserverPosition(mjdTT, *site) : EarthPosition(mjdTT);
    std::vector<Vec3> unit;
    for (const auto& p : places)
        unit.push_back({std::cos(p.dec * kDeg) * std::cos(p.ra * kDeg), std::cos(p.dec * kDeg) * std::sin(p.ra * kDeg),
                        std::sin(p.dec * kDeg)});
    // a first pass without the light-time: a planet moves less than a fifth of a
    // degree in the light-time of anything but a close approach
    const double roughCos = std::cos(radiusArcsec / 3600 * kDeg + 0.2 * kDeg);
    const long long count = static_cast<long long>(file.orbits.size());
#pragma omp parallel
    {
        std::vector<std::pair<std::size_t, MinorPlanetNear>> mine;
#pragma omp for schedule(static)
        for (long long k = 0; k < count; ++k) {
            const Orbit& o = file.orbits[static_cast<std::size_t>(k)];
            const Vec3 seen = minus(equatorialPosition(o, mjdTT), earth);
            const double d = length(seen);
            std::optional<Sighting> s; // followed once, for however many candidates it is near
            for (std::size_t c = 0; c < places.size(); ++c) {
                const double cosAngle = (seen[0] * unit[c][0] + seen[1] * unit[c][1] + seen[2] * unit[c][2]) / d;
                if (cosAngle < roughCos) continue;
                if (!s) s = Observe(o, mjdTT, earth);
                const double sep = separationArcsec(s->ra, s->dec, places[c].ra, places[c].dec);
                if (sep <= radiusArcsec) mine.push_back({c, {file.names[static_cast<std::size_t>(k)], *s, sep}});
            }
        }
#pragma omp critical
        for (auto& [c, m] : mine) near[c].push_back(std::move(m));
    }
    for (auto& list : near)
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.separation < b.separation; });
    return near;
}

} // namespace checks
