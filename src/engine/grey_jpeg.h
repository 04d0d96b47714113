#pragma once
// JPEG compression of an 8-bit grey picture on every core.
#include <string>
#include <vector>

namespace engine {

// Baseline JPEG, quality 1-100. Throws Error(kSaveFailed) with libjpeg's
// message when it refuses the picture (too large for the format).
std::vector<unsigned char> CompressGreyJpeg(const unsigned char* grey, int width, int height, int quality);

} // namespace engine
