#pragma once
// Read: a FITS file into an Image, with its noise and saturation level.
#include <optional>
#include <string>

#include "astrometry/difference_record.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

struct ReadResult {
    Image image;
    SkyStats sky; // of the pixels as read
    std::optional<astrometry::DifferenceRecord> difference; // when the file is a difference
};

// Any 2-D FITS image (every BITPIX, BZERO/BSCALE, blank and NaN pixels, .fz
// and .gz, the first image HDU with data; a colour cube averaged into one grey
// plane). The noise comes from the file's NOISE extension when it has one,
// else from the noise model. Remembers the file's sky level. Throws
// engine::Error(kOpenFailed) with the reader's reason.
ReadResult ReadImage(const std::string& path);

} // namespace engine
