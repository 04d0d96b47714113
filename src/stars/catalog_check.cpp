#include "stars/catalog_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace stars {
namespace {

// Fields 1, 2 and 4 of a line as numbers; false when they cannot be read.
bool fields(const std::string& line, double& f1, double& f2, double* f4 = nullptr) {
    const char* p = line.c_str();
    char* end = nullptr;
    f1 = std::strtod(p, &end);
    if (end == p) return false;
    p = end;
    f2 = std::strtod(p, &end);
    if (end == p) return false;
    if (f4) {
        p = end;
        std::strtod(p, &end); // magnitude
        if (end == p) return false;
        p = end;
        *f4 = std::strtod(p, &end);
        if (end == p) return false;
    }
    return true;
}

std::string twoDigits(long v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02ld", v);
    return b;
}

} // namespace

bool CatalogExplains(double ra, double dec, double cra, double cdec, double t) {
    if (!(cdec - t <= dec && dec <= cdec + t)) return false;
    double d = ra - cra;
    if (d > 12) d -= 24;
    if (d < -12) d += 24;
    const double c = std::cos(dec * M_PI / 180.0);
    const double window = c > 1e-9 ? t / (15.0 * c) : 24.0;
    return -window <= d && d <= window;
}

void FilterByCatalog(StarList& a, StarList& b, const StarList& c, double t) {
    std::vector<std::pair<double, double>> catalog;
    catalog.reserve(c.size());
    for (const auto& line : c) {
        double c1, c2;
        if (fields(line, c1, c2)) catalog.emplace_back(c1, c2);
    }
    std::size_t i = 0;
    while (i < a.size()) {
        double a1, a2;
        bool explained = false;
        if (fields(a[i], a1, a2))
            for (const auto& [c1, c2] : catalog)
                if (CatalogExplains(a1, a2, c1, c2, t)) {
                    explained = true;
                    break;
                }
        if (explained) {
            a.erase(a.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < b.size()) b.erase(b.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

std::vector<Candidate> ListCandidates(const StarList& a, const StarList& b, double minRawFlux) {
    std::vector<Candidate> out;
    for (std::size_t i = 0; i < b.size() && i < a.size(); ++i) {
        double ra, dec, flux;
        if (!fields(a[i], ra, dec, &flux) || !(flux > minRawFlux)) continue;
        const auto s1 = a[i].find(' ');
        const auto s2 = a[i].find(' ', s1 + 1);
        out.push_back({b[i], CandidateText(a[i].substr(0, s1), a[i].substr(s1 + 1, s2 - s1 - 1))});
    }
    return out;
}

std::string CandidateText(const std::string& raText, const std::string& decText) {
    const double hours = std::strtod(raText.c_str(), nullptr);
    long secs = std::lround(hours * 3600.0) % 86400;
    if (secs < 0) secs += 86400;
    const std::string ra = twoDigits(secs / 3600) + ":" + twoDigits(secs / 60 % 60) + ":" + twoDigits(secs % 60);

    const auto first = decText.find('.'), last = decText.rfind('.');
    std::string degrees = decText.substr(0, first);
    long fracSecs = 0;
    if (first != std::string::npos) fracSecs = std::lround(std::strtod(decText.substr(last).c_str(), nullptr) * 3600.0);
    if (fracSecs >= 3600) { // 59.5 seconds or more round into the next degree
        fracSecs -= 3600;
        const bool negative = !degrees.empty() && degrees[0] == '-';
        const long d = std::labs(std::strtol(degrees.c_str(), nullptr, 10)) + 1;
        degrees = (negative ? "-" : "") + std::to_string(d);
    }
    return "RA: " + ra + " DEC: " + degrees + ":" + twoDigits(fracSecs / 60) + ":" + twoDigits(fracSecs % 60);
}

} // namespace stars
