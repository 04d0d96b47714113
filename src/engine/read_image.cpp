#include "engine/read_image.h"

#include <cmath>

#include "astrometry/errors.h"
#include "astrometry/fits_image.h"
#include "engine/bad_lines.h"
#include "engine/errors.h"
#include "engine/no_data_mask.h"
#include "engine/noise_model.h"
#include "engine/saturation.h"
#include "engine/sky_level_cache.h"
#include "platform/step_trace.h"

namespace engine {
namespace {

// An image whose pixels are all blank, zero-filled or one value shows no sky:
// refused, not processed into an empty list.
void requireData(const Image& image) {
    const float* first = nullptr;
    for (const float& v : image.pixels) {
        if (!std::isfinite(v)) continue;
        if (!first) first = &v;
        else if (v != *first) return;
    }
    throw Error(kOpenFailed, image.name() + " holds no image data: every pixel is blank, zero-filled or of one value");
}

} // namespace

ReadResult ReadImage(const std::string& path) {
    platform::StepTrace trace("open");
    astrometry::FitsImage fits;
    try {
        fits = astrometry::ReadFitsImage(path);
    } catch (const astrometry::Error& e) {
        throw Error(kOpenFailed, e.description());
    }
    trace.mark("read");
    ReadResult r;
    r.difference = astrometry::ReadDifferenceRecord(fits);
    Image& image = r.image;
    image.path = path;
    image.width = fits.width;
    image.height = fits.height;
    image.pixels = std::move(fits.pixels);
    image.header = HeaderCards(fits.header);
    for (const char* k : {"EGAIN", "GAIN"})
        if (const auto g = fits.number(k); g && *g > 0) {
            image.gain = *g;
            break;
        }
    // zero-filled and unexposed areas hold no sky: left out before anything is measured
    std::vector<LineStats> columns; // measured once for both steps
    if (const long long blank = MarkNoData(image.pixels, image.width, image.height, &columns))
        image.header.history(std::to_string(blank) + " pixels without data (zero-filled or unexposed) left out");
    requireData(image);
    r.sky = MeasureSky(image.pixels);
    // a difference's lines are what its subtraction left
    if (!r.difference)
        if (const int lines = EvenOutBadLines(image.pixels, image.width, image.height, r.sky.sigma, &columns))
            image.header.history(std::to_string(lines) + " columns or rows at another level evened out");
    trace.mark("bad lines");
    RememberSkyLevel(path, r.sky.level);
    if (!fits.noise.empty())
        image.noise = std::move(fits.noise);
    else
        ModelNoise(image, r.sky);
    trace.mark("noise");
    image.saturation = FindSaturation(image.pixels);
    trace.mark("saturation");
    return r;
}

} // namespace engine
