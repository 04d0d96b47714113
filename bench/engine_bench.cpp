// vospen-bench-engine: the whole engine sequence of a processing run on a
// simulated N x N pair, each step timed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_common.h"
#include "engine/application.h"
#include "engine/document.h"
#include "pair.h"
#include "processing/plate_difference.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    int size = 4096;
    std::string given;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--size") size = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--pair") given = argv[i + 1]; // a pair made by vospen-skysim
    }
    const fs::path dir = given.empty() ? fs::temp_directory_path() / ("vospen-bench-engine-" + std::to_string(::getpid()))
                                       : fs::path(given);
    skysim::PairOptions o;
    o.out = dir.string();
    o.width = o.height = size;
    o.seed = 4;
    o.supernovae = {15};
    o.density = 3000;
    if (given.empty()) skysim::WritePair(o, skysim::MakePair(o));
    const std::string ref = (dir / "reference.fts").string(), reshot = (dir / "reshot.fts").string();
    const fs::path out = dir / "current";
    fs::create_directories(out);
    // warm the page cache, as a second run would find it
    for (const auto& f : {ref, reshot}) {
        std::FILE* fp = std::fopen(f.c_str(), "rb");
        char buf[1 << 16];
        while (std::fread(buf, 1, sizeof buf, fp) > 0) {
        }
        std::fclose(fp);
    }

    const auto start = Clock::now();
    auto last = start;
    auto step = [&](const char* name) {
        const auto now = Clock::now();
        bench::figure(name, std::chrono::duration<double, std::milli>(now - last).count(), "ms");
        last = now;
    };
    engine::Application app;
    app.SetCatalog("5", o.out + "/catalog", 18);
    auto docRef = app.CreateDocument(), docNew = app.CreateDocument();
    docRef->OpenFile(ref);
    docNew->OpenFile(reshot);
    step("open_both");
    const float diff = processing::GetPlateDifference(ref, reshot);
    step("plate_difference");
    (diff < 0 ? docNew : docRef)->AdjustByDifference(diff);
    step("adjust");
    const double ra = docNew->CentreRightAscension(), dec = docNew->CentreDeclination();
    const double scale = std::abs(docNew->ImageScale());
    auto docSub = docNew->DuplicateDocument();
    step("duplicate");
    docSub->AlignToThis(engine::kAlignByStars, false);
    step("align");
    docRef->StartPlateSolve(ra, dec, scale, scale);
    step("solve");
    docSub->SubtractDocument(*docRef);
    step("subtract");
    const auto saveStart = last;
    docSub->SaveFile((out / "Subtracted.fts").string(), engine::kFileFitsFloat);
    step("save_subtracted_fits_with_noise");
    docSub->SaveFile((out / "Subtracted.jpg").string(), engine::kFileJpegGrey);
    step("save_subtracted_jpeg");
    docRef->SaveFile((out / "ReferenceImage.fts").string(), engine::kFileFitsFloat);
    step("save_reference_fits");
    docRef->SaveFile((out / "ReferenceImage.jpg").string(), engine::kFileJpegGrey);
    docNew->SaveFile((out / "ReshotImage.fts").string(), engine::kFileFitsFloat);
    docNew->SaveFile((out / "ReshotImage.jpg").string(), engine::kFileJpegGrey);
    step("save_other_three");
    bench::figure("save_six_products", std::chrono::duration<double, std::milli>(last - saveStart).count(), "ms");
    bench::figure("total", std::chrono::duration<double, std::milli>(Clock::now() - start).count(), "ms");
    bench::figure("solve_status", docRef->PlateSolveStatus(), "");
    bench::figure("alignment_stars", docRef->lastAlignmentStars(), "stars");
    bench::figure("alignment_rms", docRef->lastAlignmentRms(), "px");
    bench::figure("flux_scale", docSub->lastFluxScale(), "");
    bench::figure("peak_memory", bench::peakMemoryMb(), "MB");
    app.CloseAll();
    if (!given.empty()) fs::remove_all(out);
    else if (!std::getenv("VOSPEN_BENCH_KEEP")) fs::remove_all(dir);
    else std::printf("kept: %s\n", dir.c_str());
    return 0;
}
