#pragma once
// Flux scale: by how much the light of one image's stars differs from the
// other's, so that the subtraction leaves nothing of an unchanged star.
#include <vector>

#include "engine/image.h"
#include "engine/matching_kernel.h"
#include "engine/star_finder.h"

namespace engine {

// The median ratio `image` / `other` of the unsaturated stars' light within 5
// px (sky from 7 to 10 px), both images on one grid; 1 with fewer than five
// stars or a ratio outside 0.05..20. The scale of a plain scaled subtraction.
double ApertureFluxScale(const Image& image, const Image& other, const std::vector<BrightStar>& stars);

// The two images of a point-spread matching: the one convolved (template) and
// the other, with their saturation thresholds and the broader stars' sigma.
struct FluxScaleInputs {
    const Image& templ;
    const Image& science;
    float templSaturation, scienceSaturation;
    double broaderSigma; // px
};

// The kernel's flux from apertures of 3.5 FWHM around the stars: the science
// image's light over the template's convolved with the kernel's shape. Each
// star weighted by its error, stars saturated in either image and new ones
// (a ratio far from the rest) left out; NaN with fewer than `fewest` stars.
// A kernel of known shape that keeps the light (`keepsLight`, a Gaussian from
// the widths) needs no convolution there: the template's own light is what
// the kernel spreads, and a star nearer the edge than the kernel reaches counts.
// In the same pass, the stars' own light ratio in those apertures,
// unconvolved (NaN with fewer than five stars): a check on the kernel's flux.
struct KernelFlux {
    double kernel, starsOwn;
};
KernelFlux MeasureKernelFlux(const FluxScaleInputs& in, const MatchingKernel& kernel,
                             const std::vector<StampStar>& stars, std::size_t fewest, bool keepsLight);

// The kernel rescaled to `flux` at the image's centre; the background takes
// up the template's sky that the change of flux moves.
void SetKernelFlux(MatchingKernel& kernel, double flux, double templSky);

} // namespace engine
