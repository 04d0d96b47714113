#pragma once
// The two product formats: 32-bit float FITS and 8-bit grey JPEG.
#include <string>
#include <vector>

#include "engine/header_cards.h"

namespace engine {

// Writes the image with the given header cards; with a noise image, a second
// image extension named NOISE holds it.
void WriteFloatFits(const std::string& path, const std::vector<float>& pixels, int w, int h,
                    const HeaderCards& header, const std::vector<float>* noise);

struct Stretch {
    double low = 0, high = 1; // values mapped to black and to white
    bool difference = false;  // zero at a dark grey, negatives darker
};

// Square-root stretch; NaN pixels black. The first FITS row is the top row, as
// the image view and its markers count them.
void WriteGreyJpeg(const std::string& path, const std::vector<float>& pixels, int w, int h, const Stretch& s);

} // namespace engine
