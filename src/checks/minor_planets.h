#pragma once
// Where the known minor planets stand at a moment, and which of them lie near
// a candidate: two-body orbits from their osculating elements, the light-time
// allowed for, seen from the Earth's centre (ERFA's Earth).
#include <array>
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

struct Sighting {
    double ra = 0, dec = 0;   // astrometric, degrees
    double distance = 0;      // from the Earth, AU
    double vMagnitude = 0;    // from H and G; NaN without H
    double motion = 0;        // "/h on the sky
};

// Seen from the Earth at mjdTT, the light-time allowed for.
Sighting Observe(const Orbit& orbit, double mjdTT, const Vec3& earth);

struct MinorPlanetNear {
    std::string name;
    Sighting sighting;
    double separation = 0; // from the candidate, arc-seconds
};

// For each place, the minor planets within radiusArcsec of it at mjdTT,
// nearest first.
std::vector<std::vector<MinorPlanetNear>> MinorPlanetsNear(const OrbitFile& file, double mjdTT,
                                                           const std::vector<SkyPlace>& places, double radiusArcsec);

} // namespace checks
