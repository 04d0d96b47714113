// vospen-bench-run: the whole processing run as vospen-process runs it, with
// and without the catalog check, each repeat in a process of its own (so that
// its peak memory is its own), against SEP alone on the reshot in the same
// minute.
//
// usage: vospen-bench-run [--size WxH | --pair DIR] [--repeats N] [--steps]
// --steps prints each step's time and peak memory (to standard error).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/fits_image.h"
#include "bench_common.h"
#include "sep_peer.h"
#include "engine/application.h"
#include "engine/document.h"
#include "pair.h"
#include "processing/processing_run.h"
#include "settings/vospen_settings.h"
#include "stars/catalog_check_run.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Timing {
    double runMs = 0, checkMs = 0, peakMb = 0;
    int candidates = -1;
};

// One whole run and its catalog check, in this process.
Timing runOnce(const fs::path& dir) {
    const settings::Settings s;
    processing::RunInputs in;
    in.referencePath = (dir / "reference.fts").string();
    in.reshotPath = (dir / "reshot.fts").string();
    in.catalog = s.catalog;
    in.catalog.folder = (dir / "catalog").string();
    in.catalog.code = *settings::CatalogCodeAt(1);
    in.snrSubtracted = s.snrSubtracted;
    Timing t;
    const auto start = Clock::now();
    std::unique_ptr<engine::Application> app;
    std::shared_ptr<engine::Document> a, b, c;
    const auto r = processing::RunProcessing(in, {app, a, b, c});
    if (r.failure != processing::RunFailure::None) {
        std::fprintf(stderr, "run failed: %s %s\n", r.message.c_str(), r.detail.c_str());
        return t;
    }
    app->CloseAll();
    t.runMs = bench::msSince(start);
    const auto checked =
        stars::RunCatalogCheck(processing::CheckInputs(in, r, s.snrCatalog, s.matchToleranceDeg, s.minRawFlux));
    t.checkMs = bench::msSince(start);
    t.candidates = static_cast<int>(checked.candidates.size());
    t.peakMb = bench::peakMemoryMb();
    return t;
}

// The run in a process of its own, this program started again: its own peak
// memory, and no thread pool inherited across a fork (GNU OpenMP's would hang).
Timing runInChild(const std::string& self, const fs::path& dir) {
    Timing t;
    const std::string command = "'" + self + "' --child '" + dir.string() + "'";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return t;
    if (std::fscanf(p, "%lf %lf %lf %d", &t.runMs, &t.checkMs, &t.peakMb, &t.candidates) != 4) t = {};
    pclose(p);
    return t;
}

} // namespace

int main(int argc, char** argv) {
    int width = 4096, height = 4096, repeats = 3;
    std::string given;
    if (argc == 3 && std::string(argv[1]) == "--child") {
        const Timing t = runOnce(argv[2]);
        std::printf("%.3f %.3f %.1f %d\n", t.runMs, t.checkMs, t.peakMb, t.candidates);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) == 1) height = width;
        } else if (a == "--pair" && i + 1 < argc) {
            given = argv[++i];
        } else if (a == "--repeats" && i + 1 < argc) {
            repeats = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--steps") {
            setenv("VOSPEN_STEP_TIMES", "1", 1);
        }
    }
    const fs::path dir = given.empty()
                             ? fs::temp_directory_path() / ("vospen-bench-run-" + std::to_string(::getpid()))
                             : fs::path(given);
    if (given.empty()) {
        skysim::PairOptions o;
        o.out = dir.string();
        o.width = width;
        o.height = height;
        o.seed = 4;
        o.supernovae = {15};
        o.density = 3000;
        skysim::WritePair(o, skysim::MakePair(o));
    }
    const auto reshot = astrometry::ReadFitsImage((dir / "reshot.fts").string());
    std::printf("# pair %s: %dx%d, %d repeats\n", dir.c_str(), reshot.width, reshot.height, repeats);
    std::vector<double> run, check, peak, sep;
    int candidates = -1;
    for (int i = 0; i < repeats; ++i) {
        // the peer first, then the run, in the same minute
        sep.push_back(bench::SepAloneMs(reshot, 5, 5, false));
        const Timing t = runInChild(fs::canonical("/proc/self/exe").string(), dir);
        run.push_back(t.runMs);
        check.push_back(t.checkMs);
        peak.push_back(t.peakMb);
        candidates = t.candidates;
    }
    bench::figure("whole run without the catalog check (median)", bench::median(run), "ms");
    bench::figure("whole run with the catalog check (median)", bench::median(check), "ms");
    bench::figure("catalog check alone (median)", bench::median(check) - bench::median(run), "ms");
    bench::figure("peak resident memory (largest)", *std::max_element(peak.begin(), peak.end()), "MB");
    bench::figure("SEP alone on the reshot, one thread (median)", bench::median(sep), "ms");
    bench::figure("whole run with the check over SEP alone", bench::median(check) / bench::median(sep), "");
    bench::figure("candidates", candidates, "");
    if (given.empty() && !std::getenv("VOSPEN_BENCH_KEEP")) fs::remove_all(dir);
    return 0;
}
