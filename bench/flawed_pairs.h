#pragma once
// Simulated pairs with what real images have and the clean grid lacks, each
// with three supernovae, through the processing run as vospen-process runs it:
// camera flaws (a zero-filled band, a solution 2 px off, vignetting, bad
// columns and clusters, flickering warm pixels, bleeds), a reference of another
// telescope (twice the pixel scale, another size, turned, no GAIN), a small
// field with few stars and other seeing, and a space telescope's frames that
// barely moved, with clusters of warm pixels at other levels in each. Per pair: the suspicious stars, how
// many of them are the supernovae, and the difference's measured over
// expected noise.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "astrometry/fits_image.h"
#include "bench_common.h"
#include "difference_noise.h"
#include "engine/application.h"
#include "engine/document.h"
#include "pair.h"
#include "processing/processing_run.h"

namespace bench {

struct FlawedPair {
    const char* name;
    std::function<void(skysim::PairOptions&)> make;
};

inline void runFlawedPair(const FlawedPair& f, const std::filesystem::path& root, int index) {
    skysim::PairOptions o;
    o.out = (root / ("flawed-pair-" + std::to_string(index))).string();
    std::filesystem::remove_all(o.out);
    o.seed = 300 + index;
    o.supernovae = {14.5, 15.5, 16.0};
    f.make(o);
    const skysim::Pair pair = skysim::MakePair(o);
    skysim::WritePair(o, pair);
    processing::RunInputs in;
    in.referencePath = o.out + "/reference.fts";
    in.reshotPath = o.out + "/reshot.fts";
    in.catalog = {"5", o.out + "/catalog", 18};
    std::unique_ptr<engine::Application> app;
    std::shared_ptr<engine::Document> a, b, c;
    const auto r = processing::RunProcessing(in, {app, a, b, c});
    if (app) app->CloseAll();
    const std::string label = "flawed pair " + std::to_string(index);
    std::printf("# %s: %s\n", label.c_str(), f.name);
    if (r.failure != processing::RunFailure::None) {
        std::printf("# %s: stops: %s: %s\n", label.c_str(), r.message.c_str(), r.detail.c_str());
        return;
    }
    int found = 0;
    for (const auto& line : r.suspicious) {
        double x = 0, y = 0;
        bool isSupernova = false;
        if (std::sscanf(line.c_str(), "%lf %lf", &x, &y) == 2)
            for (const auto& sn : pair.reshot.supernovae) isSupernova |= std::hypot(sn.x - x, sn.y - y) < 2;
        found += isSupernova;
        std::printf("# %s: %s %s\n", label.c_str(), isSupernova ? "supernova" : "suspicious", line.c_str());
    }
    figure((label + " supernovae found").c_str(), found, "of 3");
    figure((label + " false suspicious stars at 5 sigma").c_str(), static_cast<double>(r.suspicious.size() - found),
           "stars");
    figure((label + " measured over expected noise").c_str(),
           MeasuredOverExpectedNoise(astrometry::ReadFitsImage(r.workFolder + "Subtracted.fts")), "");
}

inline void FlawedPairs(const std::filesystem::path& root) {
    const FlawedPair pairs[] = {
        {"camera flaws", [](skysim::PairOptions& o) { o.flaws = true; }},
        {"a reference of another telescope: 3.0\"/px, 1024x900, turned 90 deg, no GAIN",
         [](skysim::PairOptions& o) {
             o.reference.scale = 3.0;
             o.reference.width = 1024;
             o.reference.height = 900;
             o.reference.rotation = 90;
             o.reference.noGain = o.reshot.noGain = true;
         }},
        {"a small field: 384x384, few bright stars, seeing 2.5\" and 4.5\"",
         [](skysim::PairOptions& o) {
             o.width = o.height = 384;
             o.density = 6000;
             o.maxOffsetArcmin = 0.3;
             o.reference.seeing = 2.5;
             o.reshot.seeing = 4.5;
         }},
        {"a space telescope's frames: the field moved a sixth of a pixel, clusters of warm pixels at "
         "other levels in each frame",
         [](skysim::PairOptions& o) {
             o.warmClusters = o.width * o.height / 2000;
             o.exactScale = true;
             for (auto* e : {&o.reference, &o.reshot}) {
                 e->offsetRa = 0.002;
                 e->offsetDec = -0.003;
                 e->rotation = 0;
             }
             o.reshot.offsetRa = 0.006; // 0.24" from the reference: a sixth of a pixel
         }},
    };
    int index = 1;
    for (const auto& p : pairs) runFlawedPair(p, root, index++);
}

} // namespace bench
