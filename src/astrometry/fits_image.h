#pragma once
// A 2-D FITS image read for star work: pixels as floats (blank pixels NaN),
// the per-pixel noise extension when the file carries one, and the header.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace astrometry {

struct FitsImage {
    int width = 0, height = 0;
    std::vector<float> pixels;  // row by row, FITS order (first row at the bottom)
    std::vector<float> noise;   // empty, or one standard deviation per pixel
    std::string header;         // all cards of the image's HDU, 80 characters each
    int headerCards = 0;

    // A numeric keyword's value, if present.
    std::optional<double> number(const std::string& key) const;
};

// Reads the first HDU that holds a 2-D image, and an image extension named
// NOISE of the same size. A colour cube (three or four planes) is read as the
// mean of its planes. Throws astrometry::Error.
FitsImage ReadFitsImage(const std::string& path);

// Header only (no pixels), for quick questions about a file.
FitsImage ReadFitsHeader(const std::string& path);

} // namespace astrometry
