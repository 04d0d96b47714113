// The subtraction with point-spread matching: the sharper of the two images is
// convolved towards the other (never the other way, which would amplify noise)
// with a kernel fitted on the stars of both.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "astrometry/detection.h"
#include "engine/aperture.h"
#include "engine/convolution.h"
#include "engine/document.h"
#include "engine/pixel_stats.h"
#include "engine/psf_match.h"
#include "engine/star_finder.h"
#include "engine/step_trace.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

double starWidth(const std::vector<float>& pix, int w, int h, const std::vector<StampStar>& stars, double sky) {
    std::vector<double> widths;
    for (const auto& s : stars)
        widths.push_back(astrometry::MinorWidth(pix, w, h, static_cast<int>(std::lround(s.x)),
                                                static_cast<int>(std::lround(s.y)), sky));
    return widths.size() >= 5 ? MedianOf(widths) : 0;
}

// Cosmic rays and hot pixels of the image to be convolved would be blurred into
// spots as wide as stars, which no later test could tell from a star: they are
// blanked first. A source counts as one when, at its brightest pixel, its light
// lies across a line far narrower than the image's stars or nearly all in that
// pixel, and the other image shows nothing of the kind there.
int blankSharpSources(const std::vector<float>& pix, const std::vector<float>& noise, const std::vector<float>& other,
                      const std::vector<float>& otherNoise, int w, int h, double sky, double width, std::vector<unsigned char>& blanked) {
    if (!(width > 0)) return 0;
    std::vector<std::size_t> hits;
#pragma omp parallel
    {
        std::vector<std::size_t> mine;
#pragma omp for schedule(static)
        for (int y = 3; y < h - 3; ++y)
            for (int x = 3; x < w - 3; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                const float v = pix[i];
                // bright ones only: a faint one blurs into a spot below any threshold, and a
                // faint new star on a galaxy must not be taken for one
                if (!(v - sky > 12 * noise[i])) continue;
                bool peak = true;
                for (int dy = -1; dy <= 1 && peak; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx || dy) && pix[i + static_cast<std::ptrdiff_t>(dy) * w + dx] > v) {
                            peak = false;
                            break;
                        }
                if (!peak) continue;
                // the sky right around it: a gradient or a galaxy must not widen a hot pixel
                float ring[24];
                int n = 0;
                for (int k = -3; k <= 3; ++k) {
                    ring[n++] = pix[i + static_cast<std::ptrdiff_t>(-3) * w + k];
                    ring[n++] = pix[i + static_cast<std::ptrdiff_t>(3) * w + k];
                    if (k > -3 && k < 3) {
                        ring[n++] = pix[i + static_cast<std::ptrdiff_t>(k) * w - 3];
                        ring[n++] = pix[i + static_cast<std::ptrdiff_t>(k) * w + 3];
                    }
                }
                std::nth_element(ring, ring + n / 2, ring + n);
                const double local = std::isfinite(ring[n / 2]) ? ring[n / 2] : sky;
                // bright above the galaxy under it too: a peak of a bright galaxy's
                // noise is nearly all in one pixel as well
                if (!(v - local > 12 * noise[i])) continue;
                // Narrow, or nearly all its light in one pixel: in a sharp image
                // a star's width comes close to what the sky's noise lends a
                // hot pixel, but not its brightest pixel's share.
                double around3 = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) around3 += pix[i + static_cast<std::ptrdiff_t>(dy) * w + dx] - local;
                const bool lone = around3 > 0 && (v - local) / around3 > 0.7;
                if (!lone && astrometry::MinorWidth(pix, w, h, x, y, local) >= 0.5 * width) continue;
                // and only in this image: a galaxy's nucleus is sharp too, but the other image shows it
                double there = -1e30;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        there = std::max<double>(there, other[i + static_cast<std::ptrdiff_t>(dy) * w + dx]);
                std::vector<float> around;
                for (int k = -3; k <= 3; ++k) {
                    around.push_back(other[i + static_cast<std::ptrdiff_t>(-3) * w + k]);
                    around.push_back(other[i + static_cast<std::ptrdiff_t>(3) * w + k]);
                }
                std::nth_element(around.begin(), around.begin() + 7, around.end());
                if (std::isfinite(there) && std::isfinite(around[7]) && there - around[7] > 0.1 * (v - local))
                    continue;
                mine.push_back(i);
            }
#pragma omp critical
        hits.insert(hits.end(), mine.begin(), mine.end());
    }
    for (std::size_t i : hits) {
        const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
        // the source's bright pixels around the peak, and one more ring; and
        // the dips below the sky that resampling rings around a ray, a pixel or
        // two out
        std::vector<std::size_t> blank;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const int xx = x + dx, yy = y + dy;
                if (xx < 1 || yy < 1 || xx >= w - 1 || yy >= h - 1) continue;
                const std::size_t j = static_cast<std::size_t>(yy) * w + xx;
                if (std::abs(dx) <= 1 && std::abs(dy) <= 1) blank.push_back(j);
                else if (sky - pix[j] > 3 * noise[j]) blank.push_back(j);
                else if (!blanked[j] && pix[j] - sky > 3 * noise[j])
                    for (int ey = -1; ey <= 1; ++ey)
                        for (int ex = -1; ex <= 1; ++ex) blank.push_back(j + static_cast<std::ptrdiff_t>(ey) * w + ex);
            }
        // Given back by a patch where the other image shows nothing there
        // either (1); beside a star the patch, drawn from the star's fainter
        // edge, would leave half of the star in the difference: blank (2).
        std::vector<float> ring;
        for (int k = -5; k <= 5; ++k)
            for (const auto& [dx, dy] : {std::pair{k, -5}, std::pair{k, 5}, std::pair{-5, k}, std::pair{5, k}}) {
                const int xx = x + dx, yy = y + dy;
                if (xx >= 0 && yy >= 0 && xx < w && yy < h)
                    ring.push_back(other[static_cast<std::size_t>(yy) * w + xx]);
            }
        unsigned char mark = 2;
        if (ring.size() >= 8) {
            std::nth_element(ring.begin(), ring.begin() + ring.size() / 2, ring.end());
            const double level = ring[ring.size() / 2];
            double excess = 0, var = 0;
            for (std::size_t j : blank) {
                excess += other[j] - level;
                var += double(otherNoise[j]) * otherNoise[j];
            }
            if (std::isfinite(excess) && std::isfinite(var) && excess < 3 * std::sqrt(var)) mark = 1;
        }
        for (std::size_t j : blank) blanked[j] = std::max(blanked[j], mark);
    }
    return static_cast<int>(hits.size());
}

// What the image to be convolved would show at its blanked sharp pixels had
// the cosmic ray or hot pixel not been there: the nearest usable pixels in
// eight directions, weighted by their nearness, so that a galaxy's slope goes
// on under it. With each, the variance of that guess: the neighbours' noise,
// twice, and a fifth of the light above the sky, for a ray that struck a star.
// A blank footprint as wide as the kernel around each ray cost a few tenths
// of a per cent of the difference, and any new star in it.
struct Patch {
    std::vector<std::pair<std::size_t, float>> values, variances;
};
// `sharp` comes as blankSharpSources marked it and leaves as the pixels given
// back (1); the others stay blank, footprint and all.
Patch patchSharp(const std::vector<float>& pix, const std::vector<float>& noise, std::vector<unsigned char>& sharp,
                 const std::vector<unsigned char>& blank, int w, int h, double sky) {
    Patch p;
    static const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    for (std::size_t i = 0; i < sharp.size(); ++i) {
        if (sharp[i] != 1) {
            sharp[i] = 0;
            continue;
        }
        const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
        double sum = 0, weights = 0, var = 0;
        for (const auto& d : dirs) {
            for (int step = 1; step <= 8; ++step) {
                const int xx = x + d[0] * step, yy = y + d[1] * step;
                if (xx < 0 || yy < 0 || xx >= w || yy >= h) break;
                const std::size_t j = static_cast<std::size_t>(yy) * w + xx;
                if (blank[j]) continue;
                if (!std::isfinite(pix[j]) || !std::isfinite(noise[j])) break;
                const double wt = 1.0 / (step * std::hypot(d[0], d[1]));
                sum += wt * pix[j];
                var += wt * double(noise[j]) * noise[j];
                weights += wt;
                break;
            }
        }
        if (weights <= 0) { // no neighbour to stand in for it
            sharp[i] = 0;
            continue;
        }
        const double value = sum / weights, above = 0.2 * std::max(0.0, value - sky);
        p.values.emplace_back(i, static_cast<float>(value));
        p.variances.emplace_back(i, static_cast<float>(2 * var / weights + above * above));
    }
    return p;
}

// A row's background and flux scale of the fitted kernel: value0 + x * step.
struct RowLine {
    float bg0, dbg, k0, dk;
};

// The difference along one row: this image minus the convolved other, or, when
// this image was the one convolved, the convolution minus the other divided
// by the kernel's flux. Saturated surroundings become NaN. In float and
// without branches, on the wider vector units where there are.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void differenceRow(
    float* pix, const float* convolved, const float* other, const unsigned char* saturated, int n, RowLine l,
    bool convolveOther) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    if (convolveOther) {
        for (int x = 0; x < n; ++x) {
            const float d = pix[x] - convolved[x] - (l.bg0 + x * l.dbg);
            pix[x] = saturated[x] ? nan : d;
        }
    } else {
        for (int x = 0; x < n; ++x) {
            const float k = std::max(0.05f, l.k0 + x * l.dk);
            const float d = (convolved[x] + (l.bg0 + x * l.dbg) - other[x]) / k;
            pix[x] = saturated[x] ? nan : d;
        }
    }
}

// The noise of that difference along one row; saturated pixels keep theirs.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void noiseRow(float* noise, const float* convolvedVariance,
                                                                             const float* otherNoise,
                                                                             const unsigned char* saturated, int n,
                                                                             RowLine l, bool convolveOther) {
    if (convolveOther) {
        for (int x = 0; x < n; ++x) {
            const float v = __builtin_sqrtf(noise[x] * noise[x] + convolvedVariance[x]);
            noise[x] = saturated[x] ? noise[x] : v;
        }
    } else {
        for (int x = 0; x < n; ++x) {
            const float k = std::max(0.05f, l.k0 + x * l.dk);
            const float v = __builtin_sqrtf(convolvedVariance[x] + otherNoise[x] * otherNoise[x]) / k;
            noise[x] = saturated[x] ? noise[x] : v;
        }
    }
}

} // namespace

void Document::setApertureCorrection(const std::vector<float>& pix, const std::vector<BrightStar>& stars) {
    std::vector<std::pair<double, double>> at;
    for (const auto& s : stars)
        if (!s.saturated) at.emplace_back(s.x, s.y);
    const double c = ApertureCorrection(pix, width_, height_, at);
    if (c >= 1 && c <= 3) header_.set(astrometry::kApertureCorrectionKey, c, "whole light over light within 2 px");
}

float Document::saturationThreshold(double sky) const {
    if (!saturation_) return std::numeric_limits<float>::infinity();
    // real sensors leave linearity well before their full well
    return static_cast<float>(sky + 0.75 * (*saturation_ - sky));
}

namespace {

// The light within r of (x, y) (0-based) in the image convolved with the
// kernel's shape there (scaled to a sum of 1), the sky from the ring rin..rout;
// NaN where a pixel it needs is blank.
double convolvedApertureFlux(const std::vector<float>& img, int w, int h, const MatchingKernel& kernel, double x,
                             double y, double r, double rin, double rout) {
    std::vector<float> k = kernel.at(x, y);
    double sum = 0;
    for (float v : k) sum += v;
    if (!(sum > 0)) return NAN;
    for (auto& v : k) v = static_cast<float>(v / sum);
    const int kh = kernel.half, ks = 2 * kh + 1;
    const int ph = static_cast<int>(std::ceil(rout)) + 1, side = 2 * ph + 1;
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    if (cx - ph - kh < 0 || cy - ph - kh < 0 || cx + ph + kh >= w || cy + ph + kh >= h) return NAN;
    std::vector<float> patch(static_cast<std::size_t>(side) * side);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            double acc = 0;
            for (int v = 0; v < ks; ++v) {
                // as the convolution applies it: tap (u, v) reads the pixel (u - half, v - half) away
                const float* row = &img[static_cast<std::size_t>(cy - ph + j + v - kh) * w + cx - ph + i - kh];
                for (int u = 0; u < ks; ++u) acc += k[static_cast<std::size_t>(v) * ks + u] * row[u];
            }
            if (!std::isfinite(acc)) return NAN;
            patch[static_cast<std::size_t>(j) * side + i] = static_cast<float>(acc);
        }
    return ApertureFlux(patch, side, side, x - (cx - ph) + 1, y - (cy - ph) + 1, r, rin, rout);
}

} // namespace

bool Document::subtractMatched(Document& other, const std::vector<BrightStar>& stars, const SkyStats& sky,
                               std::string& how) {
    const int w = width_, h = height_;
    StepTrace trace("match");
    if (noise_.size() != pixels_.size() || other.noise_.size() != other.pixels_.size()) return false;
    std::vector<StampStar> positions;
    for (const auto& s : stars)
        if (!s.saturated) positions.push_back({s.x - 1, s.y - 1});
    if (positions.size() < 8) return false;
    const SkyStats otherSky = other.sky();
    const double mine = StarSigma(pixels_, w, h, positions, sky.level);
    const double theirs = StarSigma(other.pixels_, w, h, positions, otherSky.level);
    if (!(mine > 0 && theirs > 0)) return false;
    // With seeing the same within what the widths' measurement can tell (two
    // exposures a minute apart), the image subtracted is convolved: it went
    // through the interpolation, and the kernel takes up what that left. The
    // other way round a real pair of one night showed four bright stars at 5 sigma.
    const bool convolveOther = theirs <= mine * 1.01;
    Document& t = convolveOther ? other : *this;
    Document& s = convolveOther ? *this : other;
    const double tSky = convolveOther ? otherSky.level : sky.level, sSky = convolveOther ? sky.level : otherSky.level;

    MatchInputs in;
    in.templ = &t.pixels_;
    in.templNoise = &t.noise_;
    in.science = &s.pixels_;
    in.scienceNoise = &s.noise_;
    in.width = w;
    in.height = h;
    in.templSigma = convolveOther ? theirs : mine;
    in.scienceSigma = convolveOther ? mine : theirs;
    in.stars = positions;
    in.templSaturation = t.saturationThreshold(tSky);
    in.scienceSaturation = s.saturationThreshold(sSky);
    trace.mark("widths");
    auto kernel = FitMatchingKernel(in);
    trace.mark("fit");
    if (!kernel) return false;
    // The fitted kernel's flux comes out low by about the template's noise over
    // its stars' light (the noise sits on the fitted side). The shape is kept and
    // the flux taken from apertures around the stars, in the other image and in
    // the template convolved with the kernel's shape: with the same profile in
    // both, the light beyond the aperture and in the sky's ring is the same share
    // of each. 3.5 FWHM: the kernel reaches a few pixels and the stars' wings far
    // beyond, and at 2.5 a per cent of the light stayed outside, which a bright
    // bulge (light from all around) showed in full; at 5 the sky's noise in the
    // apertures of a real pair outweighed that. Each star by its error, the new
    // ones (a ratio of about nothing) cut: their plain median was half a per cent
    // off. No object counts for more than one measured to half a per cent: a
    // galaxy's nucleus is among the brightest and holds any new star on its bulge.
    {
        const double fwhm = 2.355 * std::max(mine, theirs);
        const double rBig = std::max(6.0, 3.5 * fwhm), rIn = rBig + 2, rOut = rBig + 2 + std::max(6.0, 2 * fwhm);
        std::vector<double> ratios, errors;
        // a star saturated in either image (the sharper one reaches it first) has lost light there
        auto saturatedAt = [&](const std::vector<float>& img, double x, double y, float level) {
            const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int xx = cx + dx, yy = cy + dy;
                    if (xx >= 0 && yy >= 0 && xx < w && yy < h && img[static_cast<std::size_t>(yy) * w + xx] >= level)
                        return true;
                }
            return false;
        };
        for (const auto& p : positions) {
            if (saturatedAt(s.pixels_, p.x, p.y, in.scienceSaturation) || saturatedAt(t.pixels_, p.x, p.y, in.templSaturation))
                continue;
            const ApertureMeasure ms = MeasureAperture(s.pixels_, s.noise_, w, h, p.x + 1, p.y + 1, rBig, rIn, rOut);
            // the variance of the template's aperture as it was: the kernel's shape sums to one
            const ApertureMeasure mt = MeasureAperture(t.pixels_, t.noise_, w, h, p.x + 1, p.y + 1, rBig, rIn, rOut);
            if (!(ms.flux > 0) || !(mt.flux > 0)) continue;
            const double ft = convolvedApertureFlux(t.pixels_, w, h, *kernel, p.x, p.y, rBig, rIn, rOut);
            if (!(ft > 0) || !std::isfinite(ft)) continue;
            const double r = ms.flux / ft;
            ratios.push_back(r);
            errors.push_back(r * std::sqrt(ms.variance / (ms.flux * ms.flux) + mt.variance / (ft * ft)));
        }
        const double fitted = kernel->sumAt(0.5 * (w - 1), 0.5 * (h - 1));
        const double flux = ratios.size() >= 5 ? RobustWeightedMean(ratios, errors, 0.005) : NAN;
        if (std::isfinite(flux) && flux > 0 && fitted > 0) {
            for (auto& term : kernel->terms)
                for (auto& v : term) v *= flux / fitted;
            kernel->background[0] += (fitted - flux) * tSky;
        }
    }
    const double sums[3] = {kernel->sumAt(0.5 * (w - 1), 0.5 * (h - 1)),
                            kernel->sumAt(w - 1.0, 0.5 * (h - 1)) - kernel->sumAt(0.5 * (w - 1), 0.5 * (h - 1)),
                            kernel->sumAt(0.5 * (w - 1), h - 1.0) - kernel->sumAt(0.5 * (w - 1), 0.5 * (h - 1))};
    if (!(sums[0] > 0.05 && sums[0] < 20)) return false;

    // the width of the broader image's stars is the width of the difference's
    const double width = starWidth(s.pixels_, w, h, positions, sSky);
    if (width > 0) header_.set(astrometry::kStarWidthKey, width, "minor width of the stars, px");
    header_.set(astrometry::kPsfSigmaKey, std::max(mine, theirs), "Gaussian-equivalent sigma of the stars, px");
    setApertureCorrection(s.pixels_, stars);

    trace.mark("flux");
    // uncovered and blanked pixels take part as zeros; their footprints are blank afterwards
    std::vector<unsigned char> blank;
    platform::ResizeFast(blank, t.pixels_.size());
    {
        // raw pointers: a byte store could alias a vector's own pointer and stop the vector units
        unsigned char* b = blank.data();
        const float* p = t.pixels_.data();
        const long long n = static_cast<long long>(blank.size());
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i) b[i] = !(p[i] - p[i] == 0.f); // not finite
    }
    std::vector<unsigned char> sharp(blank.size(), 0);
    const int blanked = blankSharpSources(t.pixels_, t.noise_, s.pixels_, s.noise_, w, h, tSky,
                                          starWidth(t.pixels_, w, h, positions, tSky), sharp);
    Patch patch;
    if (blanked > 0) {
        for (std::size_t i = 0; i < blank.size(); ++i) blank[i] |= sharp[i] != 0;
        patch = patchSharp(t.pixels_, t.noise_, sharp, blank, w, h, tSky);
    }
    trace.mark("blank sharp");
    auto convolved = ConvolveMasked(t.pixels_, blank, w, h, kernel->half,
                                    [&](double x, double y) { return kernel->at(x, y); }, false);
    AddSparseConvolution(convolved, w, h, kernel->half, [&](double x, double y) { return kernel->at(x, y); },
                         patch.values);
    trace.mark("convolve");

    // Saturated stars leave residuals no kernel explains: their surroundings
    // are blanked, as far as the kernel reaches and two pixels more; so are the
    // footprints of uncovered pixels (not those of the sharp ones patched).
    const float tSat = in.templSaturation, sSat = in.scienceSaturation;
    std::vector<unsigned char> saturated;
    platform::ResizeFast(saturated, pixels_.size());
    {
        unsigned char* m = saturated.data();
        const unsigned char* b = blank.data();
        const float *tp = t.pixels_.data(), *sp = s.pixels_.data();
        const long long n = static_cast<long long>(saturated.size());
        const unsigned char* given = sharp.data(); // blank, but given back by the patch
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i) m[i] = (((tp[i] >= tSat) | b[i]) & !given[i]) | (sp[i] >= sSat);
    }
    // one dilation for both: a blank footprint two pixels wider costs nothing that matters
    saturated = DilateMask(saturated, w, h, kernel->half + 2);
    trace.mark("masks");

    // The pixels first and the noise after, so that the convolved pixels are
    // gone before the convolved variance is made: one image less at the peak.
    // background and flux scale along a row: a straight line each
    auto rowLine = [&](int y) {
        const double yn = h > 1 ? 2.0 * y / (h - 1) - 1 : 0, dx = w > 1 ? 2.0 / (w - 1) : 0, x0 = w > 1 ? -1 : 0;
        RowLine l;
        l.bg0 = static_cast<float>(kernel->background[0] + x0 * kernel->background[1] + yn * kernel->background[2]);
        l.dbg = static_cast<float>(dx * kernel->background[1]);
        // in this image's units when this image was convolved: the kernel's flux is divided out again
        l.k0 = static_cast<float>(sums[0] + x0 * sums[1] + yn * sums[2]);
        l.dk = static_cast<float>(dx * sums[1]);
        return l;
    };
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const std::size_t o = static_cast<std::size_t>(y) * w;
        differenceRow(pixels_.data() + o, convolved.data() + o, other.pixels_.data() + o, saturated.data() + o, w,
                      rowLine(y), convolveOther);
    }
    convolved.clear();
    convolved.shrink_to_fit();
    trace.mark("difference");
    auto convolvedVariance = ConvolveMasked(t.noise_, blank, w, h, kernel->half,
                                                  [&](double x, double y) { return kernel->at(x, y, true); }, true, 1e-2);
    AddSparseConvolution(convolvedVariance, w, h, kernel->half,
                         [&](double x, double y) { return kernel->at(x, y, true); }, patch.variances);
    blank.clear();
    blank.shrink_to_fit();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const std::size_t o = static_cast<std::size_t>(y) * w;
        noiseRow(noise_.data() + o, convolvedVariance.data() + o, other.noise_.data() + o, saturated.data() + o, w,
                 rowLine(y), convolveOther);
    }
    trace.mark("noise");
    fluxScale_ = convolveOther ? sums[0] : 1 / sums[0];
    char text[200];
    std::snprintf(text, sizeof text,
                  "matched in point spread (%s convolved, kernel %dx%d on %d stars, chi2 %.2f, %d sharp sources "
                  "patched), flux scale %.5f",
                  convolveOther ? "it" : "this image", 2 * kernel->half + 1, 2 * kernel->half + 1, kernel->stamps,
                  kernel->chi2PerPixel, blanked, fluxScale_);
    how = text;
    return true;
}

} // namespace engine
