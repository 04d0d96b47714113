#pragma once
// The side products of a simulation: the truth file and JPEG previews.
#include <string>

#include "render.h"

namespace skysim {

struct TruthImage {
    const char* name; // "reference", "reshot"
    const Image* image;
};

void WriteTruthJson(const std::string& path, const TruthImage& reference, const TruthImage& reshot,
                    const Field& field);

// A square-root stretch from just below the sky to the brightest stars.
void WritePreviewJpeg(const std::string& path, const Image& image);

} // namespace skysim
