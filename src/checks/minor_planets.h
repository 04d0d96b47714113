#pragma once
// Where the known minor planets stand at a moment, and which of them lie near
// a candidate: two-body orbits from their osculating elements, the light-time
// allowed for, seen from the Earth's centre (ERFA's Earth).
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "checks/mpc_orbits.h"
#include "checks/sky_places.h"

namespace checks {

using Vec3 = std::array<double, 3>;

// Heliocentric position on the ecliptic and equinox J2000, AU, at a TT MJD.
Vec3 EclipticPosition(const Orbit& orbit, double mjdTT);

// The Earth's heliocentric position on the equator and equinox J2000, AU.
Vec3 EarthPosition(double mjdTT);

// An observer's heliocentric position, AU: the Earth's and the site's
// (geocentric metres, terrestrial frame) turned with the Earth at mjdTT
// (UT1 taken as UTC: a second of it moves the site by half a kilometre).
Vec3 ObserverPosition(double mjdTT, const std::array<double, 3>& siteMetres);

struct Sighting {
    double ra = 0, dec = 0;   // astrometric, degrees
    double distance = 0;      // from the Earth, AU
    double vMagnitude = 0;    // from H and G; NaN without H
    double motion = 0;        // "/h on the sky
};

// Seen from `observer` (heliocentric, AU) at mjdTT, the light-time allowed
// for; the motion is the geocentric one.
Sighting Observe(const Orbit& orbit, double mjdTT, const Vec3& observer);

struct MinorPlanetNear {
    std::string name;
    Sighting sighting;
    double separation = 0; // from the candidate, arc-seconds
};

// For each place, the minor planets within radiusArcsec of it at mjdTT,
// nearest first; seen from the site when one is given, else from the Earth's centre.
std::vector<std::vector<MinorPlanetNear>> MinorPlanetsNear(const OrbitFile& file, double mjdTT,
                                                           const std::vector<SkyPlace>& places, double radiusArcsec,
                                                           const std::optional<std::array<double, 3>>& site = {});

} // namespace checks
