#pragma once
// Saturation: where a camera's values stop being light.
#include <optional>
#include <vector>

namespace engine {

// The raw top of the pixels when several pixels reach it (the full well or the
// converter's end); none for a lone hot pixel or a faint image.
std::optional<double> FindSaturation(const std::vector<float>& pixels);

// The level at and above which a pixel counts as saturated, with the sky:
// three quarters of the way from the sky to the top, for real sensors leave
// linearity well before their full well. Infinity without a saturation level.
float SaturationThreshold(std::optional<double> saturation, double sky);

} // namespace engine
