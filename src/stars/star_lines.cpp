#include "stars/star_lines.h"

#include <charconv>
#include <cmath>
#include <exception>

#include "astrometry/plate.h"
#include "platform/error.h"

namespace stars {

std::string PlainNumber(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    if (s.find('e') == std::string::npos) return s;
    // no exponent: as many decimals as 15 significant digits need
    const int exponent = v == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::abs(v))));
    const int decimals = std::max(0, 14 - exponent);
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    s.assign(buf, r.ptr);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

std::string OneDecimal(double v) {
    char buf[64];
    // away from zero on exact halves, as a person rounds
    const double r = std::round(v * 10.0) / 10.0;
    auto end = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 1).ptr;
    return std::string(buf, end);
}

std::string WholeNumber(double v) { return std::to_string(std::llround(v)); }

bool ExtractStarLines(const ExtractionRequest& q, StarList& out, ExtractionFailure& failure) {
    try {
        astrometry::Plate plate;
        plate.AttachFITS(q.file);
        plate.SigmaAboveMean = q.threshold;
        plate.ArcsecPerPixelHoriz = q.plateScale;
        plate.ArcsecPerPixelVert = q.plateScale;
        plate.InnerAperture = 3;
        plate.OuterAperture = 6;
        plate.Catalog = q.catalogCode;
        plate.CatalogPath = q.catalogPath;
        plate.CatalogMaximumMagnitude = q.catalogMaxMag;
        astrometry::StarCollection* stars;
        if (q.starKind == 0) {
            plate.FindCatalogStars();
            stars = &plate.CatalogStars();
        } else {
            plate.FindImageStars();
            stars = &plate.ImageStars();
        }
        stars->Sort(q.sortKey, q.sortDirection);
        for (const auto& s : *stars) {
            if (q.lineKind == 0)
                out.push_back(PlainNumber(s.RightAscension) + " " + PlainNumber(s.Declination) + " " +
                              OneDecimal(s.Magnitude) + " " + PlainNumber(s.RawFlux));
            else
                out.push_back(WholeNumber(s.x) + " " + WholeNumber(s.Y) + " " +
                              OneDecimal(s.Magnitude) + " " + PlainNumber(s.RawFlux));
        }
        plate.DetachFITS();
        return true;
    } catch (const platform::Error& e) {
        failure = {e.number(), e.description()};
    } catch (const std::bad_alloc&) {
        failure = {7, "Out of memory"};
    } catch (const std::exception& e) {
        failure = {5, e.what()};
    }
    return false;
}

} // namespace stars
