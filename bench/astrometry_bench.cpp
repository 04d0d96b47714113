// vospen-bench-astrometry: detection, catalog reading and solving speed, and the
// detection beside SEP alone and beside Debian's python3-sep on the same image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "astrometry/catalog.h"
#include "astrometry/detection.h"
#include "astrometry/plate_solver.h"
#include "bench_common.h"
#include "sep_peer.h"
#include "pair.h"

namespace fs = std::filesystem;

namespace {

double sepAloneMs(const astrometry::FitsImage& img, double sigma) {
    std::vector<double> t;
    for (int i = 0; i < 5; ++i) t.push_back(bench::SepAloneMs(img, sigma, 3, true));
    return bench::median(t);
}

double pythonSepMs(const std::string& file, double sigma) {
    const std::string script =
        "import time,sys,numpy as np\n"
        "from astropy.io import fits\n"
        "import sep\n"
        "d=fits.getdata(sys.argv[1]).astype(np.float32)\n"
        "ts=[]\n"
        "for _ in range(5):\n"
        "  t=time.perf_counter()\n"
        "  b=sep.Background(d,bw=64,bh=64,fw=3,fh=3)\n"
        "  s=d-b\n"
        "  sep.set_extract_pixstack(max(300000,d.size//4))\n"
        "  o=sep.extract(s," + std::to_string(sigma) + ",err=b.globalrms,minarea=3)\n"
        "  f,e,fl=sep.sum_circle(s,o['x'],o['y'],3.0,bkgann=(3.0,6.0),subpix=5)\n"
        "  ts.append(time.perf_counter()-t)\n"
        "ts.sort(); print(ts[len(ts)//2]*1000)\n";
    const fs::path py = fs::temp_directory_path() / "vospen-bench-sep.py";
    { std::FILE* f = std::fopen(py.c_str(), "w"); std::fputs(script.c_str(), f); std::fclose(f); }
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(("/usr/bin/python3 " + py.string() + " " + file + " 2>/dev/null").c_str(), "r"), pclose);
    double ms = -1;
    if (p && std::fscanf(p.get(), "%lf", &ms) != 1) ms = -1;
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    int size = 2048, fieldCount = 100;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--size") size = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--fields") fieldCount = std::atoi(argv[i + 1]);
    }
    const fs::path dir = fs::temp_directory_path() / ("vospen-bench-astro-" + std::to_string(::getpid()));
    skysim::PairOptions o;
    o.out = dir.string();
    o.width = o.height = size;
    o.density = 3000;
    o.seed = 99;
    skysim::WritePair(o, skysim::MakePair(o));
    const std::string file = (dir / "reshot.fts").string();
    const auto img = astrometry::ReadFitsImage(file);
    const double mpix = img.width * double(img.height) / 1e6;

    astrometry::DetectionSettings ds;
    ds.sigma = 2.5;
    std::size_t found = 0;
    const double ours = bench::medianMs(5, [&] { found = astrometry::DetectStars(img, ds).stars.size(); });
    const double sep = sepAloneMs(img, 2.5);
    bench::figure("image_megapixels", mpix, "Mpx");
    bench::figure("stars_found", static_cast<double>(found), "stars");
    bench::figure("detection_per_megapixel", ours / mpix, "ms/Mpx");
    bench::figure("sep_alone_per_megapixel", sep / mpix, "ms/Mpx");
    bench::figure("detection_over_sep_alone", ours / sep, "x");
    const double py = pythonSepMs(file, 2.5);
    if (py > 0) {
        bench::figure("python_sep_per_megapixel", py / mpix, "ms/Mpx");
        bench::figure("detection_over_python_sep", ours / py, "x");
    } else {
        std::printf("python_sep_per_megapixel: unavailable (install python3-sep python3-astropy)\n");
    }

    // a 30' field from a dense simulated USNO-A2.0 folder
    skysim::PairOptions dense;
    dense.out = (dir / "dense").string();
    dense.width = dense.height = 1200; // 30' at 1.5"/px
    dense.density = 20000;
    dense.catalogLimit = 21;
    skysim::WritePair(dense, skysim::MakePair(dense));
    std::size_t catStars = 0;
    const auto box = astrometry::BoxAround(dense.ra, dense.dec, 0.25);
    const double catMs = bench::medianMs(9, [&] {
        catStars = astrometry::ReadUsnoA2(dense.out + "/catalog", box, 21).size();
    });
    bench::figure("catalog_stars_30arcmin", static_cast<double>(catStars), "stars");
    bench::figure("catalog_read_30arcmin", catMs, "ms");

    // the hinted solver on the big image, hint 3' and 3 % off
    astrometry::SolveSettings ss;
    ss.catalog.folder = o.out + "/catalog";
    astrometry::SolveResult r;
    const double solveMs = bench::medianMs(3, [&] {
        r = astrometry::SolveImage(img, {o.ra / 15 + 0.003, o.dec + 0.03, o.scale * 1.03}, ss);
    });
    bench::figure("solver_solved", r.solved ? 1 : 0, "");
    bench::figure("solver_time", solveMs, "ms");
    bench::figure("solver_rms", r.solution.rmsArcsec, "arcsec");
    // solve rate: rotated and mirrored fields, hints 5' and 5 % off
    int solved = 0, fields = 0;
    double worst = 0;
    std::vector<double> rmsList;
    for (int seed = 1000; seed < 1000 + fieldCount; ++seed) {
        skysim::PairOptions f;
        f.out = (dir / ("field" + std::to_string(seed))).string();
        f.seed = static_cast<std::uint64_t>(seed);
        f.width = f.height = 768;
        f.ra = std::fmod(seed * 37.1, 360.0);
        f.dec = -60 + std::fmod(seed * 13.7, 130.0);
        f.mirror = seed % 2;
        f.reference.rotation = std::fmod(seed * 47.3, 360.0);
        const auto pair = skysim::MakePair(f);
        skysim::WritePair(f, pair);
        const auto image = astrometry::ReadFitsImage(f.out + "/reference.fts");
        astrometry::SolveSettings fs1;
        fs1.catalog.folder = f.out + "/catalog";
        const double a = seed * 0.7;
        const auto res = astrometry::SolveImage(
            image, {(pair.referenceEpoch.ra + 5.0 / 60 * std::sin(a) / std::cos(pair.referenceEpoch.dec * M_PI / 180)) / 15,
                    pair.referenceEpoch.dec + 5.0 / 60 * std::cos(a), f.scale * (seed % 3 ? 1.05 : 0.95)},
            fs1);
        ++fields;
        if (res.solved) {
            ++solved;
            double sum2 = 0;
            for (const auto& st : pair.reference.stars) {
                double ra, dec;
                res.solution.pixelToSky(st.x, st.y, ra, dec);
                const double d = std::hypot((ra - st.ra) * std::cos(st.dec * M_PI / 180), dec - st.dec) * 3600;
                sum2 += d * d;
            }
            const double rms = std::sqrt(sum2 / pair.reference.stars.size());
            worst = std::max(worst, rms);
            rmsList.push_back(rms);
            if (rms > 0.3) std::fprintf(stderr, "field %d: rms %.3f arcsec, %d matched%s\n", seed, rms,
                                        res.solution.matched, res.solution.sip ? ", sip" : "");
        }
        fs::remove_all(f.out);
    }
    bench::figure("solver_fields", fields, "fields");
    bench::figure("solver_solved_fraction", 100.0 * solved / fields, "%");
    std::sort(rmsList.begin(), rmsList.end());
    if (!rmsList.empty()) bench::figure("solver_median_rms_vs_truth", rmsList[rmsList.size() / 2], "arcsec");
    bench::figure("solver_worst_rms_vs_truth", worst, "arcsec");
    bench::figure("peak_memory", bench::peakMemoryMb(), "MB");
    fs::remove_all(dir);
    return 0;
}
