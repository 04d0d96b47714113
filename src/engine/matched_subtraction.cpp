#include "engine/matched_subtraction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "astrometry/detection.h"
#include "engine/aperture.h"
#include "engine/convolution.h"
#include "engine/difference_rows.h"
#include "engine/flux_scale.h"
#include "engine/kernel_fit.h"
#include "engine/no_data_mask.h"
#include "engine/saturation.h"
#include "engine/sharp_sources.h"
#include "engine/star_width.h"
#include "platform/big_buffers.h"
#include "platform/step_trace.h"

namespace engine {
namespace {

// Which image is convolved (the template) and which is matched (the science image).
struct Direction {
    const Image& templ;
    const Image& science;
    double templSky, scienceSky;
    double templSigma, scienceSigma;
    bool convolveOther;
};

// With seeing the same within what the widths' measurement can tell, the image
// subtracted is convolved: it went through the interpolation, and the kernel
// takes up what that left (docs/difference-imaging.md).
Direction chooseDirection(const Image& image, double sky, double mine, const Image& other, double otherSky,
                          double theirs) {
    const bool convolveOther = theirs <= mine * 1.01;
    if (convolveOther) return {other, image, otherSky, sky, theirs, mine, true};
    return {image, other, sky, otherSky, mine, theirs, false};
}

// The template's pixels left out of the convolution: no data, and its sharp
// sources; those of the sharp ones that a patch gives back come back in
// `patch` and are marked in `given`.
struct TemplateMasks {
    std::vector<unsigned char> blank, given;
    Patch patch;
    int sharpSources = 0;
};

TemplateMasks maskTemplate(const Direction& d, const std::vector<StampStar>& stars) {
    TemplateMasks m;
    m.blank = NoDataMask(d.templ.pixels);
    platform::ResizeFast(m.given, m.blank.size());
    const SharpSearch search{d.templ.pixels, d.templ.noise, d.science.pixels, d.science.noise,
                             d.templ.width, d.templ.height, d.templSky, MedianStarWidth(d.templ, stars, d.templSky)};
    m.sharpSources = MarkSharpSources(search, m.given);
    if (m.sharpSources > 0) {
        const long long n = static_cast<long long>(m.blank.size());
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i) m.blank[i] |= m.given[i] != 0;
        m.patch = PatchSharpSources(d.templ.pixels, d.templ.noise, m.given, m.blank, d.templ.width, d.templ.height,
                                    d.templSky);
    }
    return m;
}

// The kernel's flux at the centre and its change to the right and bottom edges.
struct KernelSums {
    double v[3];
};

KernelSums kernelSums(const MatchingKernel& k, int w, int h) {
    const double c = k.sumAt(0.5 * (w - 1), 0.5 * (h - 1));
    return {{c, k.sumAt(w - 1.0, 0.5 * (h - 1)) - c, k.sumAt(0.5 * (w - 1), h - 1.0) - c}};
}

// The pixels no tile of the convolution covers (the kernel's reach at the
// edges): NaN in a convolved image, so NaN in the difference and its noise,
// but where the difference is unusable its noise stays.
void blankEdges(Image& image, const std::vector<unsigned char>& unusable, int half) {
    const int w = image.width, h = image.height;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int y = 0; y < h; ++y) {
        const bool edgeRow = y < half || y >= h - half;
        for (int x = 0; x < w; ++x) {
            if (!edgeRow && x >= half && x < w - half) x = w - half;
            if (x >= w) break;
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            image.pixels[i] = nan;
            if (!unusable[i]) image.noise[i] = nan;
        }
    }
}

// A tile of the convolution with the left-out pixels' share added, handed
// on row by row: row(y, offset of the row, the tile's values there, xa, xb).
template <typename Row>
TileSink rowsOfTiles(const SparseConvolution& patched, int w, Row row) {
    return [&patched, w, row](int ya, int yb, int xa, int xb, float* v) {
        patched.addTo(v, ya, yb, xa, xb);
        for (int y = ya; y < yb; ++y)
            row(y, static_cast<std::size_t>(y) * w, v + static_cast<std::size_t>(y - ya) * (xb - xa), xa, xb);
    };
}

// The other image convolved tile by tile straight into the difference, with
// no image of the convolution: two images less at the peak. The same floats
// as subtractConvolved.
void subtractConvolvedTiles(Image& image, const Image& other, const Direction& d, const MatchingKernel& kernel,
                            const KernelSums& sums, TemplateMasks& masks, float tSat, float sSat,
                            platform::StepTrace& trace) {
    const int w = image.width, h = image.height;
    const auto unusable = UnusableMask(d.templ.pixels, d.science.pixels, masks.blank, masks.given, tSat, sSat, w, h,
                                       kernel.half + 2);
    masks.given = {};
    trace.mark("masks");
    const auto kernelAt = [&](double x, double y) { return kernel.at(x, y); };
    const SparseConvolution patched(w, h, kernel.half, kernelAt, masks.patch.values);
    ConvolveMaskedTiles(d.templ.pixels, masks.blank, w, h, kernel.half, kernelAt, false, 3e-3,
                        rowsOfTiles(patched, w, [&](int y, std::size_t o, const float* c, int xa, int xb) {
                            DifferenceRow(image.pixels.data() + o, c, other.pixels.data() + o, unusable.data() + o,
                                          xa, xb, KernelRowLine(kernel, sums.v, y, w, h), true);
                        }));
    trace.mark("difference");
    const auto squaresAt = [&](double x, double y) { return kernel.at(x, y, true); };
    const SparseConvolution patchedVariance(w, h, kernel.half, squaresAt, masks.patch.variances);
    ConvolveMaskedTiles(d.templ.noise, masks.blank, w, h, kernel.half, squaresAt, true, 1e-2,
                        rowsOfTiles(patchedVariance, w, [&](int y, std::size_t o, const float* c, int xa, int xb) {
                            DifferenceNoiseRow(image.noise.data() + o, c, other.noise.data() + o,
                                               unusable.data() + o, xa, xb, KernelRowLine(kernel, sums.v, y, w, h),
                                               true);
                        }));
    masks.blank = {};
    blankEdges(image, unusable, kernel.half);
    trace.mark("noise");
}

// The pixels first and the noise after, so that the convolved pixels are gone
// before the convolved variance is made: one image less at the peak.
void subtractConvolved(Image& image, const Image& other, const Direction& d, const MatchingKernel& kernel,
                       const KernelSums& sums, TemplateMasks& masks, float tSat, float sSat, platform::StepTrace& trace) {
    const int w = image.width, h = image.height;
    const auto kernelAt = [&](double x, double y) { return kernel.at(x, y); };
    auto convolved = ConvolveMasked(d.templ.pixels, masks.blank, w, h, kernel.half, kernelAt, false);
    AddSparseConvolution(convolved, w, h, kernel.half, kernelAt, masks.patch.values);
    trace.mark("convolve");
    // after the convolution, as its working memory is given back: a lower peak
    const auto unusable = UnusableMask(d.templ.pixels, d.science.pixels, masks.blank, masks.given, tSat, sSat, w, h,
                                       kernel.half + 2);
    trace.mark("masks");
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const std::size_t o = static_cast<std::size_t>(y) * w;
        DifferenceRow(image.pixels.data() + o, convolved.data() + o, other.pixels.data() + o, unusable.data() + o, 0,
                      w, KernelRowLine(kernel, sums.v, y, w, h), d.convolveOther);
    }
    convolved.clear();
    convolved.shrink_to_fit();
    trace.mark("difference");
    const auto squaresAt = [&](double x, double y) { return kernel.at(x, y, true); };
    auto variance = ConvolveMasked(d.templ.noise, masks.blank, w, h, kernel.half, squaresAt, true, 1e-2);
    AddSparseConvolution(variance, w, h, kernel.half, squaresAt, masks.patch.variances);
    masks.blank.clear();
    masks.blank.shrink_to_fit();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const std::size_t o = static_cast<std::size_t>(y) * w;
        DifferenceNoiseRow(image.noise.data() + o, variance.data() + o, other.noise.data() + o, unusable.data() + o,
                           0, w, KernelRowLine(kernel, sums.v, y, w, h), d.convolveOther);
    }
    trace.mark("noise");
}

// A field with too few stars for a fitted kernel: a Gaussian of the two point
// spreads' difference in width, when they differ; none when they are alike
// (a plain scaled subtraction is then right).
std::optional<MatchingKernel> widthKernel(const Direction& d, int w, int h) {
    if (!(d.scienceSigma > 1.05 * d.templSigma)) return std::nullopt;
    const double s = std::sqrt(d.scienceSigma * d.scienceSigma - d.templSigma * d.templSigma);
    MatchingKernel k;
    k.half = std::clamp(static_cast<int>(std::ceil(4 * s)), 2, 15);
    k.width = w;
    k.height = h;
    const int side = 2 * k.half + 1;
    std::vector<double> g(static_cast<std::size_t>(side) * side);
    const auto share = [&](int i) { // over the pixel, not at its centre: s can be under a pixel
        const double r = std::sqrt(2.0) * s;
        return 0.5 * (std::erf((i + 0.5) / r) - std::erf((i - 0.5) / r));
    };
    double sum = 0;
    for (int v = -k.half; v <= k.half; ++v)
        for (int u = -k.half; u <= k.half; ++u) sum += g[static_cast<std::size_t>(v + k.half) * side + u + k.half] =
                                                       share(u) * share(v);
    for (auto& x : g) x /= sum;
    k.terms = {g, std::vector<double>(g.size(), 0.0), std::vector<double>(g.size(), 0.0)};
    return k;
}

std::string describe(const Direction& d, const MatchingKernel& kernel, int sharpSources, double fluxScale) {
    char text[240];
    const char* who = d.convolveOther ? "it" : "this image";
    if (kernel.stamps == 0) { // from the widths alone
        std::snprintf(text, sizeof text,
                      "matched in point spread (%s convolved, too few stars for a fitted kernel: a Gaussian from "
                      "the widths %.2f and %.2f px, %d sharp sources patched), flux scale %.5f",
                      who, d.templSigma, d.scienceSigma, sharpSources, fluxScale);
        return text;
    }
    std::snprintf(text, sizeof text,
                  "matched in point spread (%s convolved, kernel %dx%d on %d stars, chi2 %.2f, %d sharp sources "
                  "patched), flux scale %.5f",
                  who, 2 * kernel.half + 1, 2 * kernel.half + 1, kernel.stamps, kernel.chi2PerPixel, sharpSources,
                  fluxScale);
    return text;
}

} // namespace

std::optional<MatchedSubtraction> SubtractMatched(Image& image, const SkyStats& sky, const Image& other,
                                                  const SkyStats& otherSky, const std::vector<BrightStar>& stars) {
    const int w = image.width, h = image.height;
    platform::StepTrace trace("match");
    if (image.noise.size() != image.pixels.size() || other.noise.size() != other.pixels.size()) return std::nullopt;
    const std::vector<StampStar> positions = UnsaturatedStamps(stars);
    if (positions.size() < 3) return std::nullopt;
    const double mine = StarSigma(image.pixels, w, h, positions, sky.level);
    const double theirs = StarSigma(other.pixels, w, h, positions, otherSky.level);
    if (!(mine > 0 && theirs > 0)) return std::nullopt;
    const Direction d = chooseDirection(image, sky.level, mine, other, otherSky.level, theirs);
    const float tSat = SaturationThreshold(d.templ.saturation, d.templSky);
    const float sSat = SaturationThreshold(d.science.saturation, d.scienceSky);
    trace.mark("widths");

    MatchInputs in;
    in.templ = &d.templ.pixels;
    in.templNoise = &d.templ.noise;
    in.science = &d.science.pixels;
    in.scienceNoise = &d.science.noise;
    in.width = w;
    in.height = h;
    in.templSigma = d.templSigma;
    in.scienceSigma = d.scienceSigma;
    in.stars = positions;
    in.templSaturation = tSat;
    in.scienceSaturation = sSat;
    auto kernel = positions.size() >= 8 ? FitMatchingKernel(in) : std::nullopt;
    if (!kernel) kernel = widthKernel(d, w, h);
    trace.mark("fit");
    if (!kernel) return std::nullopt;
    const double broader = std::max(mine, theirs);
    // A kernel from the widths has no flux of its own: at least three stars
    // must tell it, so that one new or variable star among them is outvoted.
    const KernelFlux flux = MeasureKernelFlux({d.templ, d.science, tSat, sSat, broader}, *kernel, positions,
                                              kernel->stamps ? 5 : 3, kernel->stamps == 0);
    if (kernel->stamps == 0 && !std::isfinite(flux.kernel)) return std::nullopt;
    SetKernelFlux(*kernel, flux.kernel, d.templSky);
    const KernelSums sums = kernelSums(*kernel, w, h);
    if (!(sums.v[0] > 0.05 && sums.v[0] < 20)) return std::nullopt;
    // the history reports where the stars' own ratio disagrees with the kernel's flux
    const double starsRatio = flux.starsOwn;

    MatchedSubtraction result;
    // the broader image's stars are the difference's
    result.starWidth = MedianStarWidth(d.science, positions, d.scienceSky);
    result.psfSigma = broader;
    result.apertureCorrection = ApertureCorrection(d.science.pixels, w, h, UnsaturatedPositions(stars));
    trace.mark("flux");
    TemplateMasks masks = maskTemplate(d, positions);
    trace.mark("blank sharp");
    if (d.convolveOther) subtractConvolvedTiles(image, other, d, *kernel, sums, masks, tSat, sSat, trace);
    else subtractConvolved(image, other, d, *kernel, sums, masks, tSat, sSat, trace);
    result.fluxScale = d.convolveOther ? sums.v[0] : 1 / sums.v[0];
    result.how = describe(d, *kernel, masks.sharpSources, result.fluxScale);
    if (std::isfinite(starsRatio) && std::abs(sums.v[0] / starsRatio - 1) > 0.02) {
        const double own = d.convolveOther ? starsRatio : 1 / starsRatio;
        char note[96];
        std::snprintf(note, sizeof note, " (the stars' own ratio %.5f, %.0f %% apart)", own,
                      100 * std::abs(sums.v[0] / starsRatio - 1));
        result.how += note;
    }
    return result;
}

} // namespace engine
