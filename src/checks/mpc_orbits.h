#pragma once
// The Minor Planet Center's orbit file (MPCORB.DAT, its published fixed
// columns), plain or gzip: each minor planet's osculating elements, heliocentric,
// on the ecliptic and equinox J2000.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace checks {

// Floats hold the angles to 0.06" and the rest to better; the file gives no more
// than 5 decimals of a degree. Kept compact: 1.4 million of them.
struct Orbit {
    float h = 0, g = 0.15f;                          // absolute magnitude, slope
    std::int32_t epochMjd = 0;                       // TT, 0 h
    float meanAnomaly = 0, perihelion = 0, node = 0; // degrees
    float inclination = 0, eccentricity = 0;
    float meanMotion = 0;                            // degrees per day
    float semiMajorAxis = 0;                         // AU
};

struct OrbitFile {
    std::vector<Orbit> orbits;
    std::vector<std::string> names; // "(1) Ceres", "2024 AB12": one per orbit
    std::size_t damagedLines = 0;   // after the header, lines that do not read
};

// One line of the file; none for a line that is not an orbit of an ellipse.
std::optional<Orbit> ParseOrbitLine(const std::string& line, std::string* name = nullptr);

// The epoch's Modified Julian Date from its packed form ("K2555": 2025 May 5);
// none for a damaged one.
std::optional<std::int32_t> PackedEpochMjd(const std::string& packed);

// The whole file: the lines before the dashed line are its header (a file
// without one starts with orbits). Throws checks::Error for a missing file or
// one with no orbit in it.
OrbitFile ReadOrbitFile(const std::string& path);

} // namespace checks
