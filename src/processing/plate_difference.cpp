#include "processing/plate_difference.h"

#include "astrometry/fits_image.h"
#include "engine/pixel_stats.h"
#include "engine/sky_level_cache.h"

namespace processing {

namespace {
// The sky level from a sample of the pixels: a full background map is not
// needed for one number.
double skyLevel(const std::string& file) {
    if (const auto known = engine::RememberedSkyLevel(file)) return *known;
    const double level = engine::MeasureSky(astrometry::ReadFitsImage(file).pixels).level;
    engine::RememberSkyLevel(file, level);
    return level;
}
} // namespace

float GetPlateDifference(const std::string& referenceFile, const std::string& reshotFile) {
    return static_cast<float>(skyLevel(reshotFile) - skyLevel(referenceFile));
}

} // namespace processing
