#pragma once
// Star lines: one star as four blank-separated fields, "." as the decimal
// separator in every locale. Sky lines: RA hours, Dec degrees, magnitude with
// one decimal, raw flux. Pixel lines: x and y rounded, magnitude, raw flux.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "astrometry/catalog.h"
#include "astrometry/detection_cache.h"
#include "astrometry/star_collection.h"

namespace stars {

using StarList = std::vector<std::string>;

// The list of the latest extraction. A caller that keeps the previous list
// keeps it unchanged: every extraction binds a new list.
inline std::shared_ptr<StarList> starList = std::make_shared<StarList>();

// The first `count` blank-separated fields of a star line as finite numbers
// ("." as the separator whatever the locale); false when any is missing or
// not a number.
bool LineNumbers(const std::string& line, double* out, int count);

// A double as a plain decimal number of up to 15 significant digits.
std::string PlainNumber(double v);
std::string OneDecimal(double v);
std::string WholeNumber(double v); // rounded half away from zero

// What GetPlateStars lists: the kind of stars and the kind of line.
enum StarKind : int { kCatalogStars = 0, kImageStars = 1 };
enum LineKind : int { kSkyLines = 0, kPixelLines = 1 };

struct ExtractionRequest {
    std::string file;
    double threshold = 2.5;
    int starKind = kImageStars; // any other value than kCatalogStars: image stars
    double plateScale = 0;
    int lineKind = kPixelLines; // any other value than kSkyLines: pixel lines
    int sortKey = astrometry::kSortByMagnitude, sortDirection = astrometry::kAscending;
    astrometry::CatalogSettings catalog;
};

struct ExtractionFailure {
    int number = 0;
    std::string description;
};

// Appends the star lines to `out`; returns false and fills `failure` when the
// engine fails (the lines appended before that stay).
bool ExtractStarLines(const ExtractionRequest& request, StarList& out, ExtractionFailure& failure);

// The image-star search of `request.file` made while the file is still being
// written, from the header cards and pixels its writer holds; nullopt when it
// fails (the search of the file then answers for itself). KeepSearch files it
// under the state of the file as written, where ExtractStarLines finds it.
std::optional<astrometry::DetectionResult> SearchBeforeWriting(const ExtractionRequest& request,
                                                               const std::string& headerCards,
                                                               const astrometry::PixelsView& pixels);
void KeepSearch(const ExtractionRequest& request, const std::optional<astrometry::FileState>& written,
                const astrometry::DetectionResult& found);

} // namespace stars
