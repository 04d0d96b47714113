// UCAC2: zone files zNNN (0.5 deg, 44-byte little-endian records) found through
// u2index.da (288 x 240 cumulative counts per 0.1 h RA bin), in the folder
// itself or in its u2 subfolder as on the CDs.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>

#include "astrometry/catalog.h"
#include "astrometry/catalog_files.h"
#include "astrometry/errors.h"

namespace astrometry {
namespace {

std::int32_t le32(const unsigned char* b) {
    return static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                                     std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24);
}
std::int32_t be32(const unsigned char* b) {
    return static_cast<std::int32_t>(std::uint32_t(b[3]) | std::uint32_t(b[2]) << 8 |
                                     std::uint32_t(b[1]) << 16 | std::uint32_t(b[0]) << 24);
}

} // namespace

std::vector<CatalogStar> ReadUcac2(const std::string& folderIn, const SkyBox& box, double maxMag) {
    RequireFolder(folderIn, "UCAC2");
    std::filesystem::path folder(folderIn);
    auto indexPath = FindNoCase(folder, "u2index.da");
    if (!indexPath) {
        if (const auto u2 = FindNoCase(folder, "u2")) {
            folder = *u2;
            indexPath = FindNoCase(folder, "u2index.da");
        }
    }
    if (!indexPath)
        throw Error(kCatalogError, "The UCAC2 catalog folder \"" + folderIn +
                                       "\" has no index u2index.da");
    std::ifstream idx(*indexPath, std::ios::binary);
    std::vector<unsigned char> raw(288 * 240 * 4);
    idx.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (idx.gcount() != static_cast<std::streamsize>(raw.size()))
        throw Error(kCatalogError, indexPath->string() + " is shorter than the 288 x 240 counts of UCAC2");
    // Counts only grow; a copy with swapped bytes does not.
    auto readIndex = [&](bool swap) {
        std::vector<std::int32_t> nx(288 * 240);
        for (std::size_t i = 0; i < nx.size(); ++i)
            nx[i] = swap ? be32(raw.data() + 4 * i) : le32(raw.data() + 4 * i);
        return nx;
    };
    auto monotonic = [](const std::vector<std::int32_t>& nx) {
        for (std::size_t i = 1; i < nx.size(); ++i)
            if (nx[i] < nx[i - 1] || nx[i] < 0) return false;
        return true;
    };
    std::vector<std::int32_t> nx = readIndex(false);
    if (!monotonic(nx)) {
        nx = readIndex(true);
        if (!monotonic(nx)) throw Error(kCatalogError, indexPath->string() + " is not a UCAC2 index");
    }
    auto at = [&](int z, int j) { return nx[static_cast<std::size_t>(z - 1) * 240 + (j - 1)]; };

    std::vector<CatalogStar> out;
    const auto decLo = static_cast<std::int64_t>(std::floor(box.decMin * 3.6e6));
    const auto decHi = static_cast<std::int64_t>(std::ceil(box.decMax * 3.6e6));
    const int z1 = std::clamp(static_cast<int>((decLo + 324000000) / 1800000 + 1), 1, 288);
    const int z2 = std::clamp(static_cast<int>((decHi + 324000000) / 1800000 + 1), 1, 288);
    for (int z = z1; z <= z2; ++z) {
        const std::int32_t n0 = z == 1 ? 0 : at(z - 1, 240);
        if (at(z, 240) - n0 <= 0) continue; // the catalog holds no star in this zone
        char name[16];
        std::snprintf(name, sizeof name, "z%03d", z);
        const auto zonePath = FindNoCase(folder, name);
        if (!zonePath)
            throw Error(kCatalogError, "The UCAC2 catalog folder \"" + folderIn + "\" has no " +
                                           name + ", which covers this field");
        std::ifstream zf(*zonePath, std::ios::binary);
        std::error_code sizeError;
        const auto zoneBytes = static_cast<std::int64_t>(std::filesystem::file_size(*zonePath, sizeError));
        auto range = [&](double r1, double r2) {
            const auto ra1 = static_cast<std::int64_t>(std::floor(r1 * 3.6e6));
            const auto ra2 = static_cast<std::int64_t>(std::ceil(r2 * 3.6e6));
            const int i1 = std::clamp(static_cast<int>(ra1 / 5400000 + 1), 1, 240);
            const int i2 = std::clamp(static_cast<int>(std::max<std::int64_t>(ra2 - 1, 0) / 5400000 + 1), 1, 240);
            const std::int64_t j1 = i1 == 1 ? 1 : std::int64_t{at(z, i1 - 1)} - n0 + 1;
            const std::int64_t j2 = std::int64_t{at(z, i2)} - n0;
            if (j2 < j1) return;
            // checked before the buffer is made: a damaged index may count billions
            if (sizeError || j2 * 44 > zoneBytes)
                throw Error(kCatalogError, zonePath->string() + " holds fewer stars than u2index.da counts");
            std::vector<unsigned char> buf(static_cast<std::size_t>(j2 - j1 + 1) * 44);
            zf.clear();
            zf.seekg(static_cast<std::streamoff>(j1 - 1) * 44);
            zf.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
            const auto got = static_cast<std::size_t>(zf.gcount()) / 44;
            if (got < buf.size() / 44)
                throw Error(kCatalogError, zonePath->string() + " holds fewer stars than u2index.da counts");
            for (std::size_t k = 0; k < got; ++k) {
                const unsigned char* r = buf.data() + k * 44;
                const std::int64_t ra = le32(r), de = le32(r + 4);
                if (ra < ra1 || ra > ra2 || de < decLo || de > decHi) continue;
                const auto mag = static_cast<std::int16_t>(r[8] | r[9] << 8) / 100.0;
                if (mag > maxMag) continue;
                out.push_back({ra / 3.6e6, de / 3.6e6, mag});
            }
        };
        if (box.raMin <= box.raMax) {
            range(box.raMin, box.raMax);
        } else {
            range(box.raMin, 360.0);
            range(0.0, box.raMax);
        }
    }
    return out;
}

} // namespace astrometry
