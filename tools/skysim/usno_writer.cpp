// USNO-A2.0 zone files: 12-byte big-endian records sorted by RA, and the
// 96-line .acc accelerator (bin start RA in hours, 1-based first record, count).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "catalog_entries.h"

namespace skysim {
namespace {
void putInt(std::ofstream& out, std::int32_t v, bool littleEndian) {
    const auto u = static_cast<std::uint32_t>(v);
    unsigned char b[4];
    for (int i = 0; i < 4; ++i) b[littleEndian ? i : 3 - i] = static_cast<unsigned char>(u >> (8 * i));
    out.write(reinterpret_cast<const char*>(b), 4);
}
} // namespace

void WriteUsnoA2(const std::string& folder, const std::vector<CatalogEntry>& entries,
                 bool littleEndian, double decMin, double decMax) {
    std::filesystem::create_directories(folder);
    struct Rec {
        std::int32_t ra, spd, mags;
    };
    std::map<int, std::vector<Rec>> zones;
    for (double d = decMin; d <= decMax + 7.5; d += 7.5)
        zones[std::clamp(static_cast<int>(std::floor((std::min(d, decMax) + 90) / 7.5)), 0, 23)];
    for (const auto& e : entries) {
        const int zone = std::min(23, static_cast<int>(std::floor((e.dec + 90) / 7.5)));
        const int red = std::clamp(static_cast<int>(std::lround(e.mag * 10)), 0, 250);
        const int blue = std::clamp(static_cast<int>(std::lround(e.blue * 10)), 0, 250);
        const int field = e.dec < 0 ? 412 : 81;
        std::int32_t word = field * 1000000 + blue * 1000 + red;
        if (e.mag < 11.5) word = -word; // bright stars carry the ACT match flag
        zones[zone].push_back({static_cast<std::int32_t>(std::lround(e.ra * 360000.0)) % 129600000,
                               static_cast<std::int32_t>(std::lround((e.dec + 90) * 360000.0)),
                               word});
    }
    for (auto& [zone, recs] : zones) {
        std::sort(recs.begin(), recs.end(), [](const Rec& a, const Rec& b) {
            return a.ra != b.ra ? a.ra < b.ra : a.spd < b.spd;
        });
        char name[32];
        std::snprintf(name, sizeof name, "/zone%04d", zone * 75);
        std::ofstream cat(folder + name + std::string(".cat"), std::ios::binary | std::ios::trunc);
        int counts[96] = {};
        for (const auto& r : recs) {
            putInt(cat, r.ra, littleEndian);
            putInt(cat, r.spd, littleEndian);
            putInt(cat, r.mags, littleEndian);
            ++counts[std::min(95, static_cast<int>(r.ra / 1350000))]; // 3.75 deg bins
        }
        if (!cat) throw std::runtime_error(std::string("cannot write ") + folder + name + ".cat");
        std::ofstream acc(folder + name + std::string(".acc"), std::ios::trunc);
        long start = 1;
        for (int b = 0; b < 96; ++b) {
            char line[64];
            std::snprintf(line, sizeof line, "%8.2f%12ld%9d\n", b * 0.25, start, counts[b]);
            acc << line;
            start += counts[b];
        }
    }
}

} // namespace skysim
