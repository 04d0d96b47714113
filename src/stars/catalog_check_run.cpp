#include "stars/catalog_check_run.h"

namespace stars {

CatalogCheckResult RunCatalogCheck(const CatalogCheckInputs& in) {
    CatalogCheckResult r;
    ExtractionRequest q;
    q.file = in.subtractedPath;
    q.threshold = in.snrSubtracted;
    q.plateScale = in.plateScale;
    q.catalogCode = in.catalogCode;
    q.catalogPath = in.catalogPath;
    q.catalogMaxMag = in.catalogMaxMag;
    q.lineKind = 0;
    r.ok = ExtractStarLines(q, r.sky, r.failure);
    q.lineKind = 1;
    r.ok = ExtractStarLines(q, r.pixels, r.failure) && r.ok;
    q.file = in.reshotPath;
    q.threshold = in.snrCatalog;
    q.starKind = 0;
    q.lineKind = 0;
    r.ok = ExtractStarLines(q, r.catalog, r.failure) && r.ok;
    FilterByCatalog(r.sky, r.pixels, r.catalog, in.toleranceDeg);
    r.candidates = ListCandidates(r.sky, r.pixels, in.minRawFlux);
    return r;
}

} // namespace stars
