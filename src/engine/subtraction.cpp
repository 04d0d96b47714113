#include "engine/subtraction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "astrometry/detection.h"
#include "engine/aperture.h"
#include "engine/difference_cards.h"
#include "engine/flux_scale.h"
#include "engine/matched_subtraction.h"
#include "engine/pixel_stats.h"
#include "engine/star_finder.h"
#include "engine/star_width.h"
#include "platform/step_trace.h"
#include "engine/zero_point.h"

namespace engine {
namespace {

std::string fixed(double v, int decimals) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

// What the image alone tells, before any matching: its stars' width, the
// stars' flux ratio, its zero-point and aperture correction.
astrometry::DifferenceRecord measureBefore(const Image& image, const SkyStats& sky, const astrometry::Wcs& wcs,
                                           const Image& other, const std::vector<BrightStar>& stars,
                                           const SubtractionSettings& settings) {
    astrometry::DifferenceRecord r;
    r.starWidth = MedianStarWidth(image, UnsaturatedStamps(stars), sky.level);
    r.fluxScale = ApertureFluxScale(image, other, stars);
    double zeroPointError = 0;
    r.zeroPoint = FitZeroPoint(image, sky, wcs, settings.catalog, &zeroPointError);
    if (r.zeroPoint) r.zeroPointError = zeroPointError;
    const double c = ApertureCorrection(image.pixels, image.width, image.height, UnsaturatedPositions(stars));
    if (c >= 1 && c <= 3) r.apertureCorrection = c;
    return r;
}

std::string subtractScaled(Image& image, const Image& other, double scale) {
    const float s = static_cast<float>(scale);
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(image.pixels.size()); ++i) {
        const auto k = static_cast<std::size_t>(i);
        image.pixels[k] -= s * other.pixels[k];
        const float n2 = other.noise.empty() ? 0.f : s * other.noise[k];
        image.noise[k] = std::sqrt(image.noise[k] * image.noise[k] + n2 * n2);
    }
    return "scaled by " + fixed(scale, 5);
}

// The background left after scaling, taken out; the difference's sky.
SkyStats removeOffset(Image& image, double& offset) {
    SkyStats sky = MeasureSky(image.pixels);
    offset = sky.level;
    const float o = static_cast<float>(offset);
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(image.pixels.size()); ++i)
        image.pixels[static_cast<std::size_t>(i)] -= o;
    sky.level -= offset;
    return sky;
}

// The difference's own scatter over what its noise image says, robustly over
// about 200 000 pixels spread over it; outside 0.9..1.1 the noise image is rescaled to it. A
// camera's fixed pattern that both frames share, a colour mosaic that the
// sky's neighbour differences count as noise, pixels that are not counts or
// a wrong GAIN all make the per-image noise model miss. Returns the factor
// applied (1: none).
double calibrateNoise(Image& image) {
    std::vector<double> z;
    const std::size_t step = std::max<std::size_t>(7, image.pixels.size() / 200000) | 1; // odd: not one column
    z.reserve(image.pixels.size() / step + 1);
    for (std::size_t i = 0; i < image.pixels.size(); i += step)
        if (std::isfinite(image.pixels[i]) && image.noise[i] > 0) z.push_back(image.pixels[i] / image.noise[i]);
    if (z.size() < 1000) return 1;
    const double med = MedianOf(z);
    for (auto& v : z) v = std::abs(v - med);
    const double ratio = 1.4826 * MedianOf(z);
    if (!(ratio > 0.05 && ratio < 20) || (ratio >= 0.9 && ratio <= 1.1)) return 1;
    const auto f = static_cast<float>(ratio);
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(image.noise.size()); ++i) image.noise[static_cast<std::size_t>(i)] *= f;
    return ratio;
}

double noiseCorrelation(const Image& image, double psfSigma) {
    int side = 3;
    const auto filter = astrometry::DetectionFilter(psfSigma, side);
    const double c = astrometry::FilteredNoiseRatio(image.pixels, image.noise, image.width, image.height, filter, side);
    return std::clamp(c, 1.0, 5.0);
}

} // namespace

Subtraction SubtractImages(Image& image, const SkyStats& sky, const astrometry::Wcs& wcs, const Image& other,
                           const SkyStats& otherSky, const SubtractionSettings& settings) {
    platform::StepTrace trace("subtract");
    const auto stars = FindBrightStars(image.pixels, image.width, image.height, sky.level, sky.sigma, 20, 200);
    trace.mark("stars");
    Subtraction result;
    astrometry::DifferenceRecord& r = result.record;
    r = measureBefore(image, sky, wcs, other, stars, settings);
    trace.mark("scale, zero-point");
    std::string how;
    const auto matched =
        settings.psfMatching ? SubtractMatched(image, sky, other, otherSky, stars) : std::nullopt;
    if (matched) {
        if (matched->starWidth > 0) r.starWidth = matched->starWidth;
        r.psfSigma = matched->psfSigma;
        if (matched->apertureCorrection >= 1 && matched->apertureCorrection <= 3)
            r.apertureCorrection = matched->apertureCorrection;
        r.fluxScale = matched->fluxScale;
        how = matched->how;
    } else {
        how = subtractScaled(image, other, r.fluxScale);
    }
    trace.mark("matched");
    double offset = 0;
    result.sky = removeOffset(image, offset);
    const double noiseScale = calibrateNoise(image);
    r.noiseCorrelation = noiseCorrelation(image, r.psfSigma);
    trace.mark("offset, noise ratio");
    WriteDifferenceRecord(image.header, r,
                          "Subtracted " + other.name() + " " + how + ", background offset " + fixed(offset, 3) +
                              " ADU" +
                              (noiseScale != 1 ? ", noise scaled by " + fixed(noiseScale, 3) + " to its scatter" : ""));
    return result;
}

} // namespace engine
