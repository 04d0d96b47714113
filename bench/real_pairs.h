#pragma once
// The real pairs of ../shared/data/real through the processing run as
// vospen-process runs it (no catalog covers their fields): none holds a known
// transient, so every suspicious star is a false one. Per pair: the suspicious
// stars at "Img. Stars Processed" 5, the difference's measured over expected
// noise, the flux scale applied and the stars' own flux ratio; or the run's
// message where it stops.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/difference_record.h"
#include "astrometry/fits_image.h"
#include "bench_common.h"
#include "difference_noise.h"
#include "engine/aperture.h"
#include "engine/application.h"
#include "engine/document.h"
#include "engine/pixel_stats.h"
#include "engine/star_finder.h"
#include "engine/star_width.h"
#include "processing/processing_run.h"

namespace bench {

struct RealPair {
    const char* name;
    const char* reference; // below the real-data folder
    const char* reshot;
};

inline const RealPair kRealPairs[] = {
    {"Seestar S50 NGC 7023, 34 s apart", "seestar_s50_ngc7023_m94/Light_NGC_7023_10.0s_IRCUT_20240730-224436.fit",
     "seestar_s50_ngc7023_m94/Light_NGC_7023_10.0s_IRCUT_20240730-224510.fit"},
    {"NEOSSat TOI 2248, 16 min apart", "neossat_toi2248_series/NEOS_SCI_2022001030508.fits",
     "neossat_toi2248_series/NEOS_SCI_2022001032053.fits"},
    {"LCO 0.4 m, stars moved 88 px", "lco0m4_asteroid_2011UL21/lsc0m476-sq34-20240703-0263-e00.fits.fz",
     "lco0m4_asteroid_2011UL21/lsc0m476-sq34-20240703-0302-e00.fits.fz"},
    {"WW CrA, unsolved reshot", "wwcra_maximdl_astrometrynet/new-image.fits",
     "wwcra_maximdl_astrometrynet/WWCrA_30V_000184527_FLAT.fit"},
    {"ESO 085-030, no plate solutions", "galaxy-pair/aligned_eso085-030-004.fit",
     "galaxy-pair/aligned_eso085-030-005.fit"},
};

// The median ratio reshot / aligned reference of the bright unsaturated
// stars' light within 3 FWHM (at least 5 px).
inline double starsOwnRatio(const astrometry::FitsImage& reshot, const astrometry::FitsImage& reference) {
    const int w = reshot.width, h = reshot.height;
    const engine::SkyStats sky = engine::MeasureSky(reshot.pixels);
    const auto stars = engine::FindBrightStars(reshot.pixels, w, h, sky.level, sky.sigma, 20, 200);
    std::vector<engine::StampStar> at;
    for (const auto& s : stars)
        if (!s.saturated) at.push_back({s.x - 1, s.y - 1});
    const double sigma = engine::StarSigma(reshot.pixels, w, h, at, sky.level);
    const double r = std::max(5.0, 3 * 2.355 * (sigma > 0 ? sigma : 1.5));
    std::vector<double> ratios;
    for (const auto& s : at) {
        const double a = engine::ApertureFlux(reshot.pixels, w, h, s.x + 1, s.y + 1, r, r + 2, r + 8);
        const double b = engine::ApertureFlux(reference.pixels, w, h, s.x + 1, s.y + 1, r, r + 2, r + 8);
        if (a > 0 && b > 0 && std::isfinite(a) && std::isfinite(b)) ratios.push_back(a / b);
    }
    return ratios.size() >= 5 ? engine::MedianOf(ratios) : NAN;
}

inline void runRealPair(const RealPair& p, const std::filesystem::path& real, const std::filesystem::path& root,
                        int index) {
    namespace fs = std::filesystem;
    const fs::path ref = real / p.reference, reshot = real / p.reshot;
    if (!fs::exists(ref) || !fs::exists(reshot)) {
        std::printf("# real pair %d (%s): absent, skipped\n", index, p.name);
        return;
    }
    // the run writes beside the reshot: a link to it in a folder of our own
    const fs::path dir = root / ("real-pair-" + std::to_string(index));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_symlink(reshot, dir / reshot.filename());
    processing::RunInputs in;
    in.referencePath = ref.string();
    in.reshotPath = (dir / reshot.filename()).string();
    in.catalog.folder = (dir / "no-catalog").string();
    in.snrSubtracted = 5;
    std::unique_ptr<engine::Application> app;
    std::shared_ptr<engine::Document> a, b, c;
    const auto r = processing::RunProcessing(in, {app, a, b, c});
    if (app) app->CloseAll();
    std::printf("# real pair %d: %s\n", index, p.name);
    if (r.failure != processing::RunFailure::None) {
        std::printf("# real pair %d: stops: %s%s%s\n", index, r.message.c_str(), r.detail.empty() ? "" : ": ",
                    r.detail.c_str());
        return;
    }
    for (const auto& line : r.suspicious) std::printf("# real pair %d: suspicious %s\n", index, line.c_str());
    const auto diff = astrometry::ReadFitsImage(r.workFolder + "Subtracted.fts");
    const auto record = astrometry::ReadDifferenceRecord(diff);
    const std::string label = "real pair " + std::to_string(index);
    figure((label + " suspicious stars at 5 sigma").c_str(), static_cast<double>(r.suspicious.size()), "stars");
    figure((label + " measured over expected noise").c_str(), MeasuredOverExpectedNoise(diff), "");
    figure((label + " flux scale applied").c_str(), record ? record->fluxScale : NAN, "");
    figure((label + " stars' own flux ratio").c_str(),
           starsOwnRatio(astrometry::ReadFitsImage(r.workFolder + "ReshotImage.fts"),
                         astrometry::ReadFitsImage(r.workFolder + "ReferenceImage.fts")),
           "");
}

inline void RealPairs(const std::filesystem::path& real, const std::filesystem::path& root) {
    int index = 1;
    for (const auto& p : kRealPairs) runRealPair(p, real, root, index++);
}

} // namespace bench
