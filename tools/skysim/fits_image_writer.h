#pragma once
#include <string>

#include "render.h"

namespace skysim {

// A 16-bit image with BZERO 32768 and the header a solved amateur image carries.
void WriteFitsImage(const std::string& path, const Image& image, const Epoch& epoch);

} // namespace skysim
