#include "engine/alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/alignment_map.h"
#include "engine/automation_codes.h"
#include "engine/errors.h"
#include "engine/modelled_resample.h"
#include "engine/star_matching.h"
#include "platform/step_trace.h"

namespace engine {
namespace {

// The median distance between where the map predicts the paired stars and
// where they are exceeds `limit`.
bool farFromPrediction(const std::vector<astrometry::P>& a, const std::vector<astrometry::P>& b,
                       const astrometry::Pairs& pairs, const PolyMap& map, double limit) {
    if (pairs.empty()) return false;
    std::vector<double> d;
    for (const auto& [i, j] : pairs) {
        const auto [u, v] = map(a[i].x, a[i].y);
        d.push_back(std::hypot(u - b[j].x, v - b[j].y));
    }
    return MedianOf(d) > limit;
}

// The map refined by matched stars; `start` is the plate solutions' map, if
// any. Stars that do not pair up through it are paired by triangle patterns.
std::optional<StarMapFit> mapFromStars(const SolvedImage& target, const SolvedImage& source,
                                       const std::optional<PolyMap>& start, Alignment& how, platform::StepTrace& trace) {
    const MatchableStars a = FindMatchableStars(target.image, target.sky);
    const MatchableStars b = FindMatchableStars(source.image, source.sky);
    trace.mark("stars");
    const int w = target.image.width, h = target.image.height;
    astrometry::Pairs pairs;
    if (start) {
        astrometry::P shift{0, 0};
        pairs = PairByMap(a.at, b.at, *start, std::max(64.0, 0.1 * std::max(w, h)), &shift);
        how.solutionsOff = std::hypot(shift.x, shift.y);
    }
    if (pairs.size() < 6) {
        pairs = PairByTriangles(a.at, b.at, w, h);
        // with plate solutions, a pattern far from where they put the stars is a chance likeness
        if (start && farFromPrediction(a.at, b.at, pairs, *start, 0.25 * std::max(w, h))) pairs.clear();
        how.byTriangles = start.has_value() && pairs.size() >= 6;
    }
    return FitMapToStars(a.at, a.variance, b.at, b.variance, pairs, MapFrame::Of(w, h));
}

void resampleOnto(const Image& target, Image& source, const SkyStats& sourceSky, const PolyMap& map,
                  Alignment& how) {
    const double area = MapAreaAtCentre(map, MapFrame::Of(target.width, target.height));
    source.intensityScale *= area;
    if (source.saturation) *source.saturation *= area;
    // one plane at a time, each source given back before the next is made:
    // one image less at the alignment's peak
    auto moved = ResampleModelled(source.pixels, source.noise, source.width, source.height, sourceSky,
                                  source.saturation, map, target.width, target.height, false);
    how.modelledStars = moved.starsModelled;
    source.pixels = std::move(moved.image.pixels);
    source.noise = ResampleNoise(source.noise, source.width, source.height, map, target.width, target.height);
    source.width = target.width;
    source.height = target.height;
}

} // namespace

Alignment AlignImage(const SolvedImage& target, Image& source, const SkyStats& sourceSky,
                     const astrometry::Wcs& sourceWcs, int mode) {
    const int w = target.image.width, h = target.image.height;
    const bool bothSolved = target.wcs.valid() && sourceWcs.valid();
    if (mode == kAlignByPlateSolutions && !bothSolved)
        throw Error(kAlignFailed, "Aligning by plate solutions needs a plate solution in both images");
    platform::StepTrace trace("align");
    Alignment how;
    std::optional<PolyMap> map;
    if (bothSolved) map = MapFromPlateSolutions(target.wcs, sourceWcs, w, h);
    if (mode == kAlignByStars) {
        if (const auto fit = mapFromStars(target, SolvedImage{source, sourceSky, sourceWcs}, map, how, trace)) {
            map = fit->map;
            how.stars = fit->stars;
            how.rms = fit->rms;
        } else {
            how.starsFailed = true;
        }
    }
    if (!map)
        throw Error(kAlignFailed, "Cannot align " + source.name() + " to " + target.image.name() +
                                      ": the images have no stars in common and no plate solutions");
    // images of two fields, or barely overlapping: nothing to compare
    const double overlap = MapOverlap(*map, w, h, source.width, source.height);
    if (overlap < 0.1) {
        char share[32];
        std::snprintf(share, sizeof share, "%.0f %%", 100 * overlap);
        throw Error(kAlignFailed, "The images do not overlap: " + std::string(share) + " of " +
                                      target.image.name() + "'s field lies on " + source.name());
    }
    trace.mark("map");
    resampleOnto(target.image, source, sourceSky, *map, how);
    trace.mark("resample");
    return how;
}

void TakeSolution(Image& source, const Image& target) {
    source.header.removeSolution();
    source.header.append(target.header.solutionBlock());
}

namespace {

// How a pair aligned on stars was aligned: on how many, the residual, and
// what the stars told of the plate solutions.
std::string describeStars(const Alignment& how) {
    char text[160];
    std::snprintf(text, sizeof text, "on %d stars, residual %.3f px", how.stars, how.rms);
    std::string s = text;
    if (how.byTriangles) s += ", paired by triangle patterns";
    if (how.solutionsOff > 0) {
        std::snprintf(text, sizeof text, ", the plate solutions %.1f px apart", how.solutionsOff);
        s += text;
    }
    return s;
}

} // namespace

void TakeAlignment(Image& source, const Image& target, const Alignment& how) {
    TakeSolution(source, target);
    const std::string solutions = how.starsFailed ? "by the plate solutions alone: too few stars paired up to refine them"
                                                  : "by the plate solutions";
    source.header.history("Aligned to " + target.name() + " " + (how.stars ? describeStars(how) : solutions) +
                          ", Lanczos-3" +
                          (how.modelledStars ? ", " + std::to_string(how.modelledStars) + " stars modelled"
                                             : std::string()));
}

} // namespace engine
