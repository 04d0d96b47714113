#pragma once
// The sky level of a file, remembered per file (path, size and time stamp), so
// that asking for the plate value of a file just opened does not read it again.
#include <optional>
#include <string>

namespace engine {

void RememberSkyLevel(const std::string& path, double level);
std::optional<double> RememberedSkyLevel(const std::string& path);

} // namespace engine
