#pragma once
// Catalog entries drawn from the true stars with the errors and the
// incompleteness of a real catalog, and the writers of the three formats.
#include <cstdint>
#include <string>
#include <vector>

#include "sky_model.h"

namespace skysim {

struct CatalogEntry {
    double ra, dec; // degrees, J2000
    double mag;     // red (USNO), UCAC, or the GSC's V-like band
    double blue;
};

struct CatalogErrors {
    double positionSigma = 0.25; // arcsec per coordinate
    double magnitudeSigma = 0.2;
    double completeTo = 19.5;    // complete to here, then falling to none a magnitude later
};

std::vector<CatalogEntry> DrawCatalog(const std::vector<SkyStar>& stars, const CatalogErrors& e,
                                      std::uint64_t seed);

// Each writer adds its files to `folder` (created when missing).
// Zone files covering [decMin, decMax] are written even when they hold no star
// of the entries, so that a reader finds every zone over the field's margin.
void WriteUsnoA2(const std::string& folder, const std::vector<CatalogEntry>& entries,
                 bool littleEndian = false, double decMin = 90, double decMax = -90);
void WriteUcac2(const std::string& folder, const std::vector<CatalogEntry>& entries);
void WriteGscAct(const std::string& folder, const std::vector<CatalogEntry>& entries,
                 std::uint64_t seed);

} // namespace skysim
