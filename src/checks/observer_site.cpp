#include "checks/observer_site.h"

#include <cmath>

#include <erfa.h>

#include "checks/observation_time.h"
#include "checks/text_fields.h"

namespace checks {

std::optional<std::array<double, 3>> ObserverSite(const std::string& header) {
    const auto number = [&](const char* key) { return AngleText(HeaderText(header, key), false); };
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
