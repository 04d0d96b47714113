#pragma once
// The catalog check: image stars of the subtracted image that no catalog star
// explains, and their readable sky positions.
#include <string>
#include <vector>

#include "stars/star_lines.h"

namespace stars {

// A catalog star explains an image star when both lie within t degrees in
// declination and within the same angle in right ascension:
// |da| * 15 * cos(dec) <= t and |dd| <= t (ra in hours, bounds inclusive).
bool CatalogExplains(double raHours, double decDeg, double catRaHours, double catDecDeg, double t);

// Removes from A (sky lines) and B (pixel lines, same order) every image star
// that a catalog star of C (sky lines) explains.
void FilterByCatalog(StarList& a, StarList& b, const StarList& c, double toleranceDeg);

struct Candidate {
    std::string pixelLine; // for lstUnidentified
    std::string text;      // for lstCandidates
};

// The stars left in A/B whose raw flux is above minRawFlux (strictly).
std::vector<Candidate> ListCandidates(const StarList& a, const StarList& b, double minRawFlux);

// "RA: hh:mm:ss DEC: d:mm:ss" from the first two fields of a sky line. Seconds
// are rounded and carry into the minutes and the degrees (45.99999 gives
// 46:00:00); the sign stays with the degrees (-0.5 gives -0:30:00); a
// declination written without "." has no minutes or seconds (":00:00").
std::string CandidateText(const std::string& raText, const std::string& decText);

} // namespace stars
