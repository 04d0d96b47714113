#include "stars/catalog_check_run.h"

namespace stars {

CatalogCheckResult RunCatalogCheck(const CatalogCheckInputs& in) {
    CatalogCheckResult r;
    ExtractionRequest q;
    q.file = in.subtractedPath;
    q.threshold = in.snrSubtracted;
    q.plateScale = in.plateScale;
    q.catalog = in.catalog;
    q.lineKind = kSkyLines;
    r.ok = ExtractStarLines(q, r.sky, r.failure);
    q.lineKind = kPixelLines;
    r.ok = ExtractStarLines(q, r.pixels, r.failure) && r.ok;
    q.file = in.reshotPath;
    q.threshold = in.snrCatalog;
    q.starKind = kCatalogStars;
    q.lineKind = kSkyLines;
    r.ok = ExtractStarLines(q, r.catalog, r.failure) && r.ok;
    FilterByCatalog(r.sky, r.pixels, r.catalog, in.toleranceDeg);
    r.candidates = ListCandidates(r.sky, r.pixels, in.minRawFlux);
    return r;
}

} // namespace stars
