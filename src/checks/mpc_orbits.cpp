#include "checks/mpc_orbits.h"

#include <cmath>

#include "checks/errors.h"
#include "checks/sky_places.h"
#include "checks/text_fields.h"

namespace checks {
namespace {

// 1-based columns first..last, as the file's description gives them.
std::string columns(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return {};
    return line.substr(first - 1, last - first + 1);
}

bool number(const std::string& field, float& out) {
    double v = 0;
    if (!PlainNumber(field, v)) return false;
    out = static_cast<float>(v);
    return true;
}

// 1..9, then A = 10 ... V = 31: the packed month and day.
int packedDigit(char c) {
    if (c >= '1' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'V') return c - 'A' + 10;
    return -1;
}

// The Modified Julian Date of a Gregorian date (Fliegel and Van Flandern).
std::int32_t mjdOf(int year, int month, int day) {
    const int a = (14 - month) / 12, y = year + 4800 - a, m = month + 12 * a - 3;
    const long jdn = day + (153 * m + 2) / 5 + 365L * y + y / 4 - y / 100 + y / 400 - 32045;
    return static_cast<std::int32_t>(jdn - 2400001);
}

} // namespace

std::optional<std::int32_t> PackedEpochMjd(const std::string& packed) {
    if (packed.size() != 5 || packed[0] < 'I' || packed[0] > 'L') return std::nullopt;
    if (packed[1] < '0' || packed[1] > '9' || packed[2] < '0' || packed[2] > '9') return std::nullopt;
    const int year = (packed[0] - 'I' + 18) * 100 + (packed[1] - '0') * 10 + (packed[2] - '0');
    const int month = packedDigit(packed[3]), day = packedDigit(packed[4]);
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    return mjdOf(year, month, day);
}

std::optional<Orbit> ParseOrbitLine(const std::string& line, std::string* name) {
    if (line.size() < 103) return std::nullopt;
    Orbit o;
    const auto epoch = PackedEpochMjd(columns(line, 21, 25));
    if (!epoch) return std::nullopt;
    o.epochMjd = *epoch;
    // H and G may be blank for a poorly observed object: V then cannot be told
    if (!number(columns(line, 9, 13), o.h)) o.h = NAN;
    if (!number(columns(line, 15, 19), o.g)) o.g = 0.15f;
    if (!number(columns(line, 27, 35), o.meanAnomaly) || !number(columns(line, 38, 46), o.perihelion) ||
        !number(columns(line, 49, 57), o.node) || !number(columns(line, 60, 68), o.inclination) ||
        !number(columns(line, 71, 79), o.eccentricity) || !number(columns(line, 81, 91), o.meanMotion) ||
        !number(columns(line, 93, 103), o.semiMajorAxis))
        return std::nullopt;
    if (!(o.eccentricity >= 0 && o.eccentricity < 1 && o.semiMajorAxis > 0 && o.meanMotion > 0)) return std::nullopt;
    if (name) {
        *name = Trimmed(columns(line, 167, 194));
        if (name->empty()) *name = Trimmed(columns(line, 1, 7));
    }
    return o;
}

OrbitFile ReadOrbitFile(const std::string& path) {
    OrbitFile out;
    bool header = true;
    std::string name;
    ForEachLine(path, "orbit file (MPCORB= in [Checks])", [&](const std::string& line) {
        if (header && line.rfind("-----", 0) == 0) {
            // the orbits come after the dashed line; what came before was its header
            header = false;
            out.orbits.clear();
            out.names.clear();
            out.damagedLines = 0;
            return;
        }
        if (Trimmed(line).empty()) return;
        if (auto o = ParseOrbitLine(line, &name)) {
            out.orbits.push_back(*o);
            out.names.push_back(name);
        } else {
            ++out.damagedLines;
        }
    });
    if (out.orbits.empty())
        throw Error(kFileDamaged, "The orbit file \"" + path + "\" holds no orbit in the Minor Planet Center's format");
    return out;
}

} // namespace checks
