#pragma once
// The orbit file read once: its 1.4 million orbits kept in a compact binary
// copy (about 70 MB against its 270 MB of text), read again in a tenth of the
// time, made anew when the orbit file changes (path, size or time).
#include <string>

#include "checks/mpc_orbits.h"

namespace checks {

// The orbits of `orbitPath`, from `cachePath` when that copy was made from
// the file as it is now; otherwise read from the file and the copy written
// (quietly skipped where it cannot be). Throws as ReadOrbitFile does.
OrbitFile LoadOrbits(const std::string& orbitPath, const std::string& cachePath);

} // namespace checks
