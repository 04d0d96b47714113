// UCAC2 zone files z001..z288 (0.5 deg each, 44-byte little-endian records) and
// the index u2index.da (288 x 240 cumulative star counts, 0.1 h RA bins).
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
template <typename T>
void put(std::string& rec, T v) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        rec.push_back(static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF));
}
// Error bytes are stored with 127 subtracted.
void putOffset(std::string& rec, int trueValue) {
    put<std::int8_t>(rec, static_cast<std::int8_t>(std::clamp(trueValue, 0, 254) - 127));
}
} // namespace

void WriteUcac2(const std::string& folder, const std::vector<CatalogEntry>& entries) {
    std::filesystem::create_directories(folder);
    struct Rec {
        std::int32_t ra, dec;
        std::int16_t mag;
    };
    std::map<int, std::vector<Rec>> zones;
    for (const auto& e : entries) {
        const auto raMas = static_cast<std::int32_t>(std::lround(e.ra * 3.6e6) % 1296000000);
        const auto decMas = static_cast<std::int32_t>(std::lround(e.dec * 3.6e6));
        const int zone = std::clamp((decMas + 324000000) / 1800000 + 1, 1, 288);
        zones[zone].push_back(
            {raMas, decMas, static_cast<std::int16_t>(std::lround(e.mag * 100))});
    }
    std::vector<std::int32_t> index(288 * 240, 0);
    std::int32_t total = 0;
    for (int z = 1; z <= 288; ++z) {
        auto it = zones.find(z);
        std::vector<int> perBin(240, 0);
        if (it != zones.end()) {
            auto& recs = it->second;
            std::sort(recs.begin(), recs.end(),
                      [](const Rec& a, const Rec& b) { return a.ra < b.ra; });
            char name[16];
            std::snprintf(name, sizeof name, "/z%03d", z);
            std::ofstream out(folder + name, std::ios::binary | std::ios::trunc);
            for (const auto& r : recs) {
                std::string rec;
                put<std::int32_t>(rec, r.ra);
                put<std::int32_t>(rec, r.dec);
                put<std::int16_t>(rec, r.mag);
                putOffset(rec, 20);  // e_RAm, mas
                putOffset(rec, 20);  // e_DEm
                put<std::int8_t>(rec, 3);  // nobs
                putOffset(rec, 35);  // e_pos
                put<std::int8_t>(rec, 4);  // ncat
                put<std::int8_t>(rec, 64 | 4); // cflg: USNO-A2, Tycho-2
                put<std::int16_t>(rec, 23500); // EpRAm: 1998.5
                put<std::int16_t>(rec, 23500);
                put<std::int32_t>(rec, 0);     // pmRA
                put<std::int32_t>(rec, 0);     // pmDE
                putOffset(rec, 40);            // e_pmRA
                putOffset(rec, 40);
                putOffset(rec, 20);            // q_pmRA
                putOffset(rec, 20);
                put<std::int32_t>(rec, 0);     // 2MASS id
                put<std::int16_t>(rec, 0);
                put<std::int16_t>(rec, 0);
                put<std::int16_t>(rec, 0);
                putOffset(rec, 0);
                putOffset(rec, 0);
                out.write(rec.data(), static_cast<std::streamsize>(rec.size()));
                ++perBin[std::min(239, r.ra / 5400000)];
            }
            if (!out) throw std::runtime_error(std::string("cannot write ") + folder + name);
        }
        for (int j = 0; j < 240; ++j) {
            total += perBin[j];
            index[static_cast<std::size_t>(z - 1) * 240 + j] = total;
        }
    }
    std::ofstream idx(folder + "/u2index.da", std::ios::binary | std::ios::trunc);
    for (std::int32_t v : index) {
        std::string b;
        put<std::int32_t>(b, v);
        idx.write(b.data(), 4);
    }
    if (!idx) throw std::runtime_error("cannot write " + folder + "/u2index.da");
}

} // namespace skysim
