// USNO-A2.0 / SA2.0: zoneNNNN.cat (12-byte records, big-endian unless the first
// record says otherwise) with zoneNNNN.acc (96 RA bins of 3.75 deg).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "astrometry/catalog.h"
#include "astrometry/catalog_files.h"
#include "astrometry/errors.h"

namespace astrometry {
namespace {

std::uint32_t word(const unsigned char* b, bool swap) {
    return swap ? (std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0])
                : (std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]);
}

struct Zone {
    std::ifstream cat;
    long records = 0;
    bool swap = false;
    std::vector<std::pair<long, long>> bins; // 1-based start, count; empty without .acc
};

void readRange(Zone& z, long first, long last, double raMin, double raMax, const SkyBox& box,
               double maxMag, std::vector<CatalogStar>& out) {
    if (first > last) return;
    z.cat.clear();
    z.cat.seekg((first - 1) * 12);
    std::vector<unsigned char> buf(static_cast<std::size_t>(last - first + 1) * 12);
    z.cat.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    const long got = static_cast<long>(z.cat.gcount() / 12);
    const auto raHi = static_cast<std::int64_t>(std::ceil(raMax * 360000.0));
    for (long i = 0; i < got; ++i) {
        const unsigned char* r = buf.data() + i * 12;
        const auto ra = static_cast<std::int32_t>(word(r, z.swap));
        if (ra > raHi) break; // sorted by RA
        const double raDeg = ra / 360000.0;
        if (raDeg < raMin) continue;
        const double dec = static_cast<std::int32_t>(word(r + 4, z.swap)) / 360000.0 - 90;
        if (dec < box.decMin || dec > box.decMax) continue;
        const std::int64_t w = std::llabs(static_cast<std::int32_t>(word(r + 8, z.swap)));
        const int red = static_cast<int>(w % 1000);
        if (red > 250) continue; // no calibrated red magnitude
        const double mag = red / 10.0;
        if (mag > maxMag) continue;
        out.push_back({raDeg, dec, mag});
    }
}

// First record (1-based) whose RA is at least raDeg, by bisection over the file.
long bisect(Zone& z, double raDeg) {
    const auto target = static_cast<std::int64_t>(std::floor(raDeg * 360000.0));
    long lo = 1, hi = z.records + 1;
    while (lo < hi) {
        const long mid = (lo + hi) / 2;
        unsigned char b[4];
        z.cat.clear();
        z.cat.seekg((mid - 1) * 12);
        z.cat.read(reinterpret_cast<char*>(b), 4);
        if (static_cast<std::int32_t>(word(b, z.swap)) < target) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

void readZone(const std::string& folder, int zone, const SkyBox& box, double maxMag,
              std::vector<CatalogStar>& out) {
    char name[32];
    std::snprintf(name, sizeof name, "zone%04d", zone);
    const auto catPath = FindNoCase(folder, std::string(name) + ".cat");
    if (!catPath)
        throw Error(kCatalogError, "The USNO-A2.0 catalog folder \"" + folder + "\" has no " +
                                       name + ".cat, which covers this field");
    Zone z;
    z.cat.open(RequireReadable(*catPath), std::ios::binary);
    z.cat.seekg(0, std::ios::end);
    const auto size = static_cast<long>(z.cat.tellg());
    if (!z.cat || size % 12)
        throw Error(kCatalogError, "The USNO-A2.0 zone file " + catPath->string() +
                                       " is not a whole number of 12-byte records");
    z.records = size / 12;
    if (z.records == 0) return;
    unsigned char first[12];
    z.cat.seekg(0);
    z.cat.read(reinterpret_cast<char*>(first), 12);
    // Big-endian on the CDs; converted copies exist, recognisable by the first record.
    const auto ra = static_cast<std::int32_t>(word(first, false));
    const auto spd = static_cast<std::int32_t>(word(first + 4, false));
    z.swap = ra < 0 || ra > 129600000 || spd < 0 || spd > 64800000;
    if (z.swap) {
        const auto ra2 = static_cast<std::int32_t>(word(first, true));
        const auto spd2 = static_cast<std::int32_t>(word(first + 4, true));
        if (ra2 < 0 || ra2 > 129600000 || spd2 < 0 || spd2 > 64800000)
            throw Error(kCatalogError, catPath->string() + " does not hold USNO-A2.0 records");
    }
    if (const auto accPath = FindNoCase(folder, std::string(name) + ".acc")) {
        std::ifstream acc(RequireReadable(*accPath));
        std::string line;
        while (std::getline(acc, line)) {
            std::istringstream s(line);
            double hours;
            long start, count;
            if (s >> hours >> start >> count) z.bins.emplace_back(start, count);
        }
        if (z.bins.size() != 96) z.bins.clear(); // not usable: fall back to bisection
        // a zone file cut short (at a record's end, so its size still divides by 12)
        if (!z.bins.empty() && z.bins.back().first + z.bins.back().second - 1 > z.records)
            throw Error(kCatalogError, "The USNO-A2.0 zone file " + catPath->string() + " holds " +
                                           std::to_string(z.records) + " records where " + accPath->filename().string() +
                                           " counts " +
                                           std::to_string(z.bins.back().first + z.bins.back().second - 1) +
                                           ": it is cut short");
    }
    auto range = [&](double r1, double r2) {
        long firstRec, lastRec;
        if (!z.bins.empty()) {
            const int b1 = std::clamp(static_cast<int>(r1 / 3.75), 0, 95);
            const int b2 = std::clamp(static_cast<int>(r2 / 3.75), 0, 95);
            firstRec = z.bins[b1].first;
            lastRec = z.bins[b2].first + z.bins[b2].second - 1;
        } else {
            firstRec = bisect(z, r1);
            lastRec = z.records;
        }
        readRange(z, std::max(1L, firstRec), std::min(z.records, lastRec), r1, r2, box, maxMag, out);
    };
    if (box.raMin <= box.raMax) {
        range(box.raMin, box.raMax);
    } else { // across 0h
        range(box.raMin, 360.0);
        range(0.0, box.raMax);
    }
}

} // namespace

std::vector<CatalogStar> ReadUsnoA2(const std::string& folder, const SkyBox& box, double maxMag) {
    RequireFolder(folder, "USNO-A2.0");
    std::vector<CatalogStar> out;
    const int z1 = std::clamp(static_cast<int>(std::floor((box.decMin + 90) / 7.5)), 0, 23);
    const int z2 = std::clamp(static_cast<int>(std::floor((box.decMax + 90) / 7.5)), 0, 23);
    for (int z = z1; z <= z2; ++z) readZone(folder, z * 75, box, maxMag, out);
    return out;
}

} // namespace astrometry
