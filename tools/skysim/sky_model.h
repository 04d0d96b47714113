#pragma once
// What is in the sky of a simulated field: stars, a galaxy and supernovae.
#include <cstdint>
#include <optional>
#include <vector>

namespace skysim {

struct SkyStar {
    double ra, dec; // degrees
    double mag;     // in the band of the images (and the catalogs' red band)
    double colour;  // blue minus red
};

struct Galaxy {
    double ra, dec;
    double bulgeMag = 12.9, discMag = 12.6;
    double bulgeRe = 6.0;  // arcsec, de Vaucouleurs bulge
    double discH = 16.0;   // arcsec, exponential disc scale length
    double axisRatio = 0.55;
    double positionAngle = 35; // degrees east of north
};

struct Supernova {
    double ra, dec, mag;
};

struct Field {
    double ra = 0, dec = 0;          // centre, degrees
    double raMin = 0, raMax = 0;     // the box that holds the stars (raMin may exceed raMax across 0h)
    double decMin = 0, decMax = 0;
    std::vector<SkyStar> stars;
    std::optional<Galaxy> galaxy;
    std::vector<Supernova> supernovae;
};

struct FieldOptions {
    double ra = 0, dec = 0;       // degrees
    double halfSizeDeg = 0.5;     // half the side of the star box
    double densityAt20 = 1500;    // stars per square degree brighter than magnitude 20
    double brightest = 8, faintest = 21;
    bool galaxy = true;
    std::uint64_t seed = 1;
};

// Star counts rise by 0.3 dex per magnitude between `brightest` and `faintest`.
Field MakeField(const FieldOptions& options);

// Places a supernova of magnitude `mag` beside the galaxy's core (or the centre).
void AddSupernovaBesideCore(Field& field, double mag, std::uint64_t seed, int index);

} // namespace skysim
