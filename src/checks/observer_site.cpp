#include "checks/observer_site.h"

#include <cmath>
#include <vector>

#include <erfa.h>

#include "checks/observation_time.h"
#include "checks/text_fields.h"

namespace checks {

std::optional<double> DegreesText(const std::string& text) {
    std::string t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    double v = 0;
    if (PlainNumber(t, v)) return v;
    const bool negative = t[0] == '-';
    if (t[0] == '-' || t[0] == '+') t = Trimmed(t.substr(1));
    for (char& c : t)
        if (c == ':') c = ' ';
    std::vector<double> parts;
    std::string collapsed;
    for (char c : t)
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += c;
    if (!SeparatedNumbers(collapsed, ' ', parts) || parts.empty() || parts.size() > 3) return std::nullopt;
    parts.resize(3, 0);
    if (parts[0] < 0 || parts[1] < 0 || parts[1] >= 60 || parts[2] < 0 || parts[2] >= 60) return std::nullopt;
    const double d = parts[0] + parts[1] / 60 + parts[2] / 3600;
    return negative ? -d : d;
}

std::optional<std::array<double, 3>> ObserverSite(const std::string& header) {
    const auto number = [&](const char* key) { return DegreesText(HeaderText(header, key)); };
    const auto x = number("OBSGEO-X"), y = number("OBSGEO-Y"), z = number("OBSGEO-Z");
    if (x && y && z) {
        const double r = std::sqrt(*x * *x + *y * *y + *z * *z);
        if (r > 6.3e6 && r < 6.4e6) return std::array<double, 3>{*x, *y, *z};
    }
    static const char* const kKeys[][3] = {{"OBSGEO-B", "OBSGEO-L", "OBSGEO-H"},
                                           {"SITELAT", "SITELONG", "SITEELEV"},
                                           {"LAT-OBS", "LONG-OBS", "ALT-OBS"},
                                           {"LATITUDE", "LONGITUD", "HEIGHT"}};
    for (const auto& keys : kKeys) {
        const auto lat = number(keys[0]), lon = number(keys[1]);
        if (!lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 360) continue;
        double height = number(keys[2]).value_or(0);
        if (!(std::abs(height) < 10000)) height = 0;
        std::array<double, 3> xyz{};
        if (eraGd2gc(1, *lon * M_PI / 180, *lat * M_PI / 180, height, xyz.data()) == 0) return xyz;
    }
    return std::nullopt;
}

} // namespace checks
