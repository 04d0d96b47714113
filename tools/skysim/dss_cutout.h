#pragma once
// A survey-plate-like cut-out of a simulated field, as the sky-survey server
// sends it: 16-bit, the plate solution in the DSS keywords (PLTRAH..., AMDX,
// AMDY, CNPIX, PPO3, PPO6), and an approximate TAN/CD set beside them that is
// 0.3 % off in scale, as in real cut-outs.
#include <string>

#include "sky_model.h"

namespace skysim {

struct DssOptions {
    double ra = 0, dec = 0;     // centre of the cut-out, degrees
    double widthArcmin = 20, heightArcmin = 15;
    std::uint64_t seed = 1;
};

void WriteDssCutout(const std::string& path, const Field& field, const DssOptions& options);

} // namespace skysim
