#include "stars/star_lines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>

#include "astrometry/plate.h"
#include "platform/error.h"
#include "platform/step_trace.h"

namespace stars {

bool LineNumbers(const std::string& line, double* out, int count) {
    const char* p = line.data();
    const char* const end = p + line.size();
    for (int i = 0; i < count; ++i) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        if (p < end && *p == '+') ++p;
        const auto r = std::from_chars(p, end, out[i]);
        if (r.ec != std::errc() || !std::isfinite(out[i])) return false;
        p = r.ptr;
        if (p < end && *p != ' ' && *p != '\t') return false; // "12abc" is no number
    }
    return true;
}

std::string PlainNumber(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    const auto e = s.find('e');
    if (e == std::string::npos) return s;
    // write the exponent out: move the decimal point of the 15 digits
    const int exponent = std::stoi(s.substr(e + 1));
    std::string mantissa = s.substr(0, e);
    std::string sign;
    if (mantissa[0] == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits = mantissa;
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int point = 1 + exponent; // digits before the decimal point
    std::string out;
    if (point <= 0) {
        out = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (point >= static_cast<int>(digits.size())) {
        out = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        out = digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
    }
    return sign + out;
}

std::string OneDecimal(double v) {
    char buf[64];
    // away from zero on exact halves, as a person rounds
    const double r = std::round(v * 10.0) / 10.0;
    auto end = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 1).ptr;
    return std::string(buf, end);
}

std::string WholeNumber(double v) { return std::to_string(std::llround(v)); }

namespace {

void configure(astrometry::Plate& plate, const ExtractionRequest& q) {
    plate.SigmaAboveMean = q.threshold;
    plate.ArcsecPerPixelHoriz = q.plateScale;
    plate.ArcsecPerPixelVert = q.plateScale;
    plate.InnerAperture = 3;
    plate.OuterAperture = 6;
    plate.Catalog = q.catalog.code;
    plate.CatalogPath = q.catalog.folder;
    plate.CatalogMaximumMagnitude = q.catalog.maxMag;
}

} // namespace

std::optional<astrometry::DetectionResult> SearchBeforeWriting(const ExtractionRequest& q,
                                                               const std::string& headerCards,
                                                               const astrometry::PixelsView& pixels) {
    try {
        astrometry::Plate plate;
        configure(plate, q);
        astrometry::FitsImage header;
        header.width = pixels.width;
        header.height = pixels.height;
        header.header = headerCards;
        header.headerCards = static_cast<int>(headerCards.size() / 80);
        return astrometry::DetectStars(header, pixels, plate.ImageStarSettings());
    } catch (const platform::Error&) {
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

void KeepSearch(const ExtractionRequest& q, const std::optional<astrometry::FileState>& written,
                const astrometry::DetectionResult& found) {
    astrometry::Plate plate;
    configure(plate, q);
    astrometry::RememberDetection(written, plate.ImageStarSettings(), found);
}

bool ExtractStarLines(const ExtractionRequest& q, StarList& out, ExtractionFailure& failure) {
    try {
        platform::StepTrace trace("lines");
        astrometry::Plate plate;
        plate.AttachFITS(q.file);
        trace.mark("read");
        configure(plate, q);
        astrometry::StarCollection* stars;
        if (q.starKind == kCatalogStars) {
            plate.FindCatalogStars();
            stars = &plate.CatalogStars();
        } else {
            plate.FindImageStars();
            stars = &plate.ImageStars();
        }
        trace.mark(q.starKind == kCatalogStars ? "catalog stars" : "image stars");
        stars->Sort(q.sortKey, q.sortDirection);
        for (const auto& s : *stars) {
            if (q.lineKind == kSkyLines)
                out.push_back(PlainNumber(s.RightAscension) + " " + PlainNumber(s.Declination) + " " +
                              OneDecimal(s.Magnitude) + " " + PlainNumber(s.RawFlux));
            else
                out.push_back(WholeNumber(s.x) + " " + WholeNumber(s.Y) + " " +
                              OneDecimal(s.Magnitude) + " " + PlainNumber(s.RawFlux));
        }
        plate.DetachFITS();
        trace.mark("written");
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
