#pragma once
#include <string>

#include "stars/star_lines.h"

namespace stars {

// Binds `starList` to a new list of the star lines of one FITS file, with the
// working catalog settings; a failure shows "Error in Sub GetPlateStars" with
// its number and description and keeps the lines found so far.
void GetPlateStars(const std::string& file, double threshold, int starKind, double plateScale,
                   int lineKind, int sort1, int sort2);

} // namespace stars
