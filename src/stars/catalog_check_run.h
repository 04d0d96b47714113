#pragma once
// The catalog check of a finished run without windows, as "Check against
// Catalog" does it: the suspicious stars of the difference (sky and pixel
// lines), the catalog stars of the reshot's field, the filter and the listing.
#include <string>
#include <vector>

#include "stars/catalog_check.h"

namespace stars {

struct CatalogCheckInputs {
    std::string subtractedPath, reshotPath;
    double snrSubtracted = 5, snrCatalog = 2.5, plateScale = 0;
    astrometry::CatalogSettings catalog;
    double toleranceDeg = 5.0 / 3600, minRawFlux = 1000;
};

struct CatalogCheckResult {
    StarList sky, pixels, catalog; // A, B and C after the filter
    std::vector<Candidate> candidates;
    bool ok = true;
    ExtractionFailure failure; // of the last extraction that failed
};

CatalogCheckResult RunCatalogCheck(const CatalogCheckInputs& in);

} // namespace stars
