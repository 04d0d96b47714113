#include "stars/catalog_check.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace stars {
namespace {

// Fields 1, 2 and 4 of a line as numbers; false when they cannot be read.
bool fields(const std::string& line, double& f1, double& f2, double* f4 = nullptr) {
    double v[4];
    if (!LineNumbers(line, v, f4 ? 4 : 2)) return false;
    f1 = v[0];
    f2 = v[1];
    if (f4) *f4 = v[3];
    return true;
}

std::string twoDigits(long v) {
    char b[24];
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
    double hours = std::strtod(raText.c_str(), nullptr);
    hours = std::isfinite(hours) ? std::fmod(hours, 24.0) : 0.0;
    long secs = std::lround(hours * 3600.0) % 86400;
    if (secs < 0) secs += 86400;
    const std::string ra = twoDigits(secs / 3600) + ":" + twoDigits(secs / 60 % 60) + ":" + twoDigits(secs % 60);

    const auto first = decText.find('.'), last = decText.rfind('.');
    std::string degrees = decText.substr(0, first);
    long fracSecs = 0;
    if (first != std::string::npos) {
        const double fraction = std::strtod(decText.substr(last).c_str(), nullptr);
        fracSecs = fraction >= 0 && fraction <= 1 ? std::lround(fraction * 3600.0) : 0; // NaN too
    }
    if (fracSecs >= 3600) { // 59.5 seconds or more round into the next degree
        fracSecs -= 3600;
        const bool negative = !degrees.empty() && degrees[0] == '-';
        const long long whole = std::strtoll(degrees.c_str(), nullptr, 10);
        const long long d = std::min<long long>(whole == LLONG_MIN ? LLONG_MAX : std::llabs(whole), LLONG_MAX - 1) + 1;
        degrees = std::to_string(d);
        if (negative) degrees.insert(degrees.begin(), '-');
    }
    return "RA: " + ra + " DEC: " + degrees + ":" + twoDigits(fracSecs / 60) + ":" + twoDigits(fracSecs % 60);
}

} // namespace stars
