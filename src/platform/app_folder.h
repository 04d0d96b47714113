#pragma once
#include <string>

namespace platform {

// The program's own folder without a trailing separator: the folder of the
// executable, or VOSPEN_HOME when that is set (tests, read-only installs).
std::string ApplicationFolder();

} // namespace platform
