// vospen-bench-checks DIR [--orbits N]: the minor-planet check on an orbit file
// the size of the Minor Planet Center's (1.4 million orbits, written into DIR
// once): reading the text, reading the cache, the pass over all orbits for an
// image's candidates, and the whole check as a card makes it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_common.h"
#include "checks/minor_planets.h"
#include "checks/orbit_cache.h"

namespace fs = std::filesystem;

namespace {

// Main-belt orbits in the file's columns, about Pallas' and Ceres' kinds, their
// epochs within a year: as many lines and bytes as the real file.
void writeOrbitFile(const fs::path& path, long count) {
    std::ofstream out(path);
    out << "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)\n\n"
        << std::string(160, '-') << "\n";
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(0, 360), ecc(0, 0.35), incl(0, 30), axis(1.8, 3.6), h(8, 20);
    const char* epochs[] = {"K2555", "K2521", "K25B1", "K262Q"};
    char line[256];
    for (long i = 0; i < count; ++i) {
        const double a = axis(rng), n = 0.9856076686 / std::pow(a, 1.5);
        std::snprintf(line, sizeof line,
                      "%07ld %5.2f  0.15 %s %9.5f  %9.5f  %9.5f  %9.5f  %9.7f  %10.8f  %10.7f  0 E2024-V47  "
                      "7330 125 1801-2024 0.80 M-v 30k MPCLINUX   4000      (%ld) Bench%-14ld 20241101",
                      i + 1, h(rng), epochs[i % 4], angle(rng), angle(rng), angle(rng), incl(rng), ecc(rng), n, a,
                      i + 1, i + 1);
        out << line << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vospen-bench-checks DIR [--orbits N]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    long count = 1400000;
    if (argc >= 4 && std::string(argv[2]) == "--orbits") count = std::atol(argv[3]);
    fs::create_directories(dir);
    const fs::path file = dir / ("MPCORB-" + std::to_string(count) + ".DAT");
    if (!fs::exists(file)) writeOrbitFile(file, count);
    const std::string cache = (dir / "MinorPlanets.cache").string();
    fs::remove(cache);
    bench::figure("orbit file", static_cast<double>(fs::file_size(file)) / 1e6, "MB");

    checks::OrbitFile orbits;
    bench::figure("first read of the text, cache written", bench::msOf([&] { orbits = checks::LoadOrbits(file.string(), cache); }), "ms");
    bench::figure("orbits", static_cast<double>(orbits.orbits.size()), "");
    bench::figure("cache", static_cast<double>(fs::file_size(cache)) / 1e6, "MB");
    bench::figure("read from the cache (median of 5)",
                  bench::medianMs(5, [&] { orbits = checks::LoadOrbits(file.string(), cache); }), "ms");

    // ten candidates spread over a field of half a degree
    const double t = 61000.5;
    std::vector<checks::SkyPlace> places;
    for (int i = 0; i < 10; ++i) places.push_back({150.0 + 0.05 * i, 12.0 + 0.03 * i});
    std::size_t found = 0;
    bench::figure("pass over all orbits for 10 candidates (median of 5)", bench::medianMs(5, [&] {
                      const auto near = checks::MinorPlanetsNear(orbits, t, places, 30);
                      found = 0;
                      for (const auto& n : near) found += n.size();
                  }),
                  "ms");
    // the whole check as a card makes it: the cache read and the pass
    bench::figure("whole check from the cache (median of 5)", bench::medianMs(5, [&] {
                      const auto o = checks::LoadOrbits(file.string(), cache);
                      checks::MinorPlanetsNear(o, t, places, 30);
                  }),
                  "ms");
    bench::figure("planets within 30\" of the candidates", static_cast<double>(found), "");
    return 0;
}
