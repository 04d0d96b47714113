#pragma once
// The one value every engine step works on: an image's pixels as 32-bit
// floats, their per-pixel noise, the FITS header cards and what the camera
// tells about its values. Pixels without data (blank, uncovered, outside the
// exposed field) are NaN in `pixels`; no-data masks are made from that.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/header_cards.h"

namespace engine {

struct Image {
    std::string path; // the file it came from; "" for one made in memory
    int width = 0, height = 0;
    std::vector<float> pixels, noise; // row by row, the first FITS row first
    HeaderCards header;
    double gain = 1;                    // electrons per ADU, 1 when the header has none
    std::optional<double> saturation;   // the raw level of saturated pixels, when they reach one
    double intensityScale = 1;          // resampling scales values by the pixel area; the product of those

    std::size_t size() const { return pixels.size(); }
    // The file's name without its folders, for messages and history lines.
    std::string name() const;
};

} // namespace engine
