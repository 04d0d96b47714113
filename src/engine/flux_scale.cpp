#include "engine/flux_scale.h"

#include <algorithm>
#include <cmath>

#include "engine/aperture.h"
#include "engine/pixel_stats.h"

namespace engine {
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

// A star saturated in an image (the sharper one reaches it first) has lost light there.
bool saturatedAt(const Image& img, double x, double y, float level) {
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const int xx = cx + dx, yy = cy + dy;
            if (xx >= 0 && yy >= 0 && xx < img.width && yy < img.height &&
                img.pixels[static_cast<std::size_t>(yy) * img.width + xx] >= level)
                return true;
        }
    return false;
}

} // namespace

double ApertureFluxScale(const Image& image, const Image& other, const std::vector<BrightStar>& stars) {
    std::vector<double> ratios;
    for (const auto& s : stars) {
        if (s.saturated) continue;
        const double mine = ApertureFlux(image.pixels, image.width, image.height, s.x, s.y, 5, 7, 10);
        const double theirs = ApertureFlux(other.pixels, image.width, image.height, s.x, s.y, 5, 7, 10);
        if (mine > 0 && theirs > 0 && std::isfinite(theirs)) ratios.push_back(mine / theirs);
    }
    const double scale = ratios.size() >= 5 ? MedianOf(ratios) : 1.0;
    return scale > 0.05 && scale < 20 ? scale : 1.0;
}

KernelFlux MeasureKernelFlux(const FluxScaleInputs& in, const MatchingKernel& kernel,
                             const std::vector<StampStar>& stars, std::size_t fewest, bool keepsLight) {
    const Image &s = in.science, &t = in.templ;
    const int w = s.width, h = s.height;
    // docs/difference-imaging.md: why 3.5 FWHM, and why no star counts for more than one at 0.5 %
    const double fwhm = 2.355 * in.broaderSigma;
    const double rBig = std::max(6.0, 3.5 * fwhm), rIn = rBig + 2, rOut = rBig + 2 + std::max(6.0, 2 * fwhm);
    struct Ratios {
        std::vector<double> values, errors;
        void add(const ApertureMeasure& ms, const ApertureMeasure& mt, double ft) {
            const double r = ms.flux / ft;
            values.push_back(r);
            errors.push_back(r * std::sqrt(ms.variance / (ms.flux * ms.flux) + mt.variance / (ft * ft)));
        }
        double mean(std::size_t fewest) const {
            return values.size() >= fewest ? RobustWeightedMean(values, errors, 0.005) : NAN;
        }
    } convolved, own;
    // measured on every core (the convolved apertures cost a kernel per
    // pixel), then taken in the stars' order
    struct Measured {
        bool ok = false;
        ApertureMeasure ms, mt;
        double ft = NAN;
    };
    std::vector<Measured> measured(stars.size());
#pragma omp parallel for schedule(dynamic, 4)
    for (std::size_t i = 0; i < stars.size(); ++i) {
        const StampStar& p = stars[i];
        Measured& m = measured[i];
        if (saturatedAt(s, p.x, p.y, in.scienceSaturation) || saturatedAt(t, p.x, p.y, in.templSaturation)) continue;
        m.ms = MeasureAperture(s.pixels, s.noise, w, h, p.x + 1, p.y + 1, rBig, rIn, rOut);
        // the variance of the template's aperture as it was: the kernel's shape sums to one
        m.mt = MeasureAperture(t.pixels, t.noise, w, h, p.x + 1, p.y + 1, rBig, rIn, rOut);
        if (!(m.ms.flux > 0) || !(m.mt.flux > 0)) continue;
        m.ok = true;
        if (!keepsLight) m.ft = convolvedApertureFlux(t.pixels, w, h, kernel, p.x, p.y, rBig, rIn, rOut);
    }
    for (const Measured& m : measured) {
        if (!m.ok) continue;
        own.add(m.ms, m.mt, m.mt.flux);
        if (!keepsLight && m.ft > 0 && std::isfinite(m.ft)) convolved.add(m.ms, m.mt, m.ft);
    }
    return {(keepsLight ? own : convolved).mean(fewest), own.mean(5)};
}

void SetKernelFlux(MatchingKernel& kernel, double flux, double templSky) {
    const double fitted = kernel.sumAt(0.5 * (kernel.width - 1), 0.5 * (kernel.height - 1));
    if (!(std::isfinite(flux) && flux > 0 && fitted > 0)) return;
    for (auto& term : kernel.terms)
        for (auto& v : term) v *= flux / fitted;
    kernel.background[0] += (fitted - flux) * templSky;
}

} // namespace engine
