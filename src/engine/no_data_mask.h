#pragma once
// No-data masks: the pixels of an image that hold no light of the sky (blank,
// NaN, uncovered by the alignment) and what a subtraction must not trust.
#include <vector>

#include "engine/line_stats.h"

namespace engine {

// Sets to NaN the pixels that hold no light of the sky, and returns how many:
// runs of 16 or more identical values along a row or a column that are not
// brighter than the field (zero-filled rows, columns and blocks; a saturated
// plateau is brighter), and bands at the image's edges whose columns or rows
// lie well below the field's sky with far less than its scatter (an overscan,
// an unexposed strip). The field: the middle half of the image. `columns`,
// when given and nothing is blanked, receives the columns' statistics.
long long MarkNoData(std::vector<float>& pixels, int width, int height, std::vector<LineStats>* columns = nullptr);

// 1 where the pixel is not finite.
std::vector<unsigned char> NoDataMask(const std::vector<float>& pixels);

// The pixels a difference leaves blank: the template's no-data pixels (but not
// those a patch gave back, `given`), its pixels at or above `templSaturation`,
// the science image's no-data pixels and those at or above `scienceSaturation`,
// each grown by `radius` (the kernel's reach and two pixels more).
std::vector<unsigned char> UnusableMask(const std::vector<float>& templ, const std::vector<float>& science,
                                        const std::vector<unsigned char>& noData,
                                        const std::vector<unsigned char>& given, float templSaturation,
                                        float scienceSaturation, int width, int height, int radius);

} // namespace engine
