#pragma once
// Where on the Earth an image was taken, from its header: a minor planet that
// passes close to the Earth stands an arc-minute or more elsewhere for an
// observer than for the Earth's centre.
#include <array>
#include <optional>
#include <string>

namespace checks {

// Geocentric X, Y, Z in metres (the terrestrial frame), from OBSGEO-X/Y/Z or
// from a latitude, east longitude and height in one of the usual pairs of
// keys (OBSGEO-B/L/H, SITELAT/SITELONG/SITEELEV, LAT-OBS/LONG-OBS/ALT-OBS,
// LATITUDE/LONGITUD/HEIGHT), in degrees or "d m s". None without them.
std::optional<std::array<double, 3>> ObserverSite(const std::string& header);

} // namespace checks
