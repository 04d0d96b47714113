#include "checks/variable_stars.h"

#include <algorithm>
#include <cmath>

#include "checks/errors.h"
#include "checks/text_fields.h"

namespace checks {
namespace {

// The bytes of vsx.dat after its ReadMe (1-based, inclusive):
//   9- 38 Name, 42- 50 RAdeg, 52- 60 DEdeg, 62- 91 Type,
//  93 l_max, 94-100 max, 101 u_max, 102-107 n_max (passband),
// 109 f_min ('(': an amplitude), 110 l_min, 111-117 min, 118 u_min, 119-124 n_min.
std::string bytes(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return {};
    return line.substr(first - 1, last - first + 1);
}

bool degrees(const std::string& field, double& out) { return PlainNumber(field, out); }

// A magnitude with its limit flag before it and its uncertainty flag after.
std::string flagged(const std::string& line, std::size_t limit, std::size_t first, std::size_t last) {
    const std::string value = Trimmed(bytes(line, first, last));
    if (value.empty()) return {};
    return Trimmed(bytes(line, limit, limit)) + value + Trimmed(bytes(line, last + 1, last + 1));
}

std::string magnitudeRange(const std::string& line) {
    const std::string maxText = flagged(line, 93, 94, 100), maxBand = Trimmed(bytes(line, 102, 107));
    const std::string minText = flagged(line, 110, 111, 117), minBand = Trimmed(bytes(line, 119, 124));
    const bool amplitude = bytes(line, 109, 109) == "(";
    std::string r = maxText;
    if (!minText.empty()) {
        if (amplitude) r += " (" + minText + ")";
        else r += (r.empty() ? "" : " - ") + minText;
    }
    const std::string band = !minBand.empty() ? minBand : maxBand;
    if (!band.empty()) r += " " + band;
    return r;
}

} // namespace

std::optional<VariableStar> ParseVariableStarLine(const std::string& line) {
    VariableStar v;
    if (line.size() < 60 || !degrees(bytes(line, 42, 50), v.place.ra) || !degrees(bytes(line, 52, 60), v.place.dec))
        return std::nullopt;
    if (v.place.ra < 0 || v.place.ra >= 360 || std::abs(v.place.dec) > 90) return std::nullopt;
    v.name = Trimmed(bytes(line, 9, 38));
    if (v.name.empty()) return std::nullopt;
    v.type = Trimmed(bytes(line, 62, 91));
    v.range = magnitudeRange(line);
    return v;
}

VariableStarsNear FindVariableStars(const std::string& path, const std::vector<SkyPlace>& places, double radiusArcsec) {
    VariableStarsNear out;
    out.near.resize(places.size());
    std::size_t good = 0;
    const double radiusDeg = radiusArcsec / 3600;
    ForEachLine(path, "variable-star index (VSX= in [Checks])", [&](const std::string& line) {
        if (Trimmed(line).empty()) return;
        // the declination first: two million lines, a few near a candidate
        double dec = 0;
        if (!degrees(bytes(line, 52, 60), dec)) {
            ++out.damagedLines;
            return;
        }
        bool near = false;
        for (const auto& p : places) near = near || std::abs(dec - p.dec) <= radiusDeg;
        if (!near) {
            ++good;
            return;
        }
        auto v = ParseVariableStarLine(line);
        if (!v) {
            ++out.damagedLines;
            return;
        }
        ++good;
        for (std::size_t i = 0; i < places.size(); ++i) {
            const double sep = SeparationArcsec(places[i], v->place);
            if (sep <= radiusArcsec) {
                v->separation = sep;
                out.near[i].push_back(*v);
            }
        }
    });
    if (!good) throw Error(kFileDamaged, "The variable-star index \"" + path + "\" holds no line of the VSX format");
    for (auto& list : out.near)
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.separation < b.separation; });
    return out;
}

} // namespace checks
