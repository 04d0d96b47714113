#pragma once
// When an image was taken, from its header: the middle of its exposure as a
// Terrestrial Time Modified Julian Date (the orbits' time scale).
#include <optional>
#include <string>

namespace checks {

// A card's text value ('...' stripped and trimmed); empty when absent.
std::string HeaderText(const std::string& header, const std::string& key);

// DATE-OBS (with TIME-OBS when the date has no time) in UTC, plus half of
// EXPTIME (or EXPOSURE) seconds. None without a readable DATE-OBS.
std::optional<double> MidExposureMjdTT(const std::string& header);

// The same moment as UTC text, "2025-05-05T12:34:56.7".
std::string UtcText(double mjdTT);

} // namespace checks
