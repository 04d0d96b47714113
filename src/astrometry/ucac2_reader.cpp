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

// The index: 288 zones x 240 cumulative counts. Counts only grow; a copy with
// swapped bytes does not.
struct Ucac2Index {
    std::filesystem::path folder, path;
    std::vector<std::int32_t> nx;
    std::int32_t at(int z, int j) const { return nx[static_cast<std::size_t>(z - 1) * 240 + (j - 1)]; }
};

bool monotonic(const std::vector<std::int32_t>& nx) {
    for (std::size_t i = 1; i < nx.size(); ++i)
        if (nx[i] < nx[i - 1] || nx[i] < 0) return false;
    return true;
}

Ucac2Index readIndex(const std::string& folderIn) {
    Ucac2Index index;
    index.folder = folderIn;
    auto indexPath = FindNoCase(index.folder, "u2index.da");
    if (!indexPath) {
        if (const auto u2 = FindNoCase(index.folder, "u2")) {
            index.folder = *u2;
            indexPath = FindNoCase(index.folder, "u2index.da");
        }
    }
    if (!indexPath)
        throw Error(kCatalogError, "The UCAC2 catalog folder \"" + folderIn + "\" has no index u2index.da");
    index.path = RequireReadable(*indexPath);
    std::ifstream idx(index.path, std::ios::binary);
    std::vector<unsigned char> raw(288 * 240 * 4);
    idx.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (idx.gcount() != static_cast<std::streamsize>(raw.size()))
        throw Error(kCatalogError, index.path.string() + " is shorter than the 288 x 240 counts of UCAC2");
    for (bool swap : {false, true}) {
        index.nx.assign(288 * 240, 0);
        for (std::size_t i = 0; i < index.nx.size(); ++i)
            index.nx[i] = swap ? be32(raw.data() + 4 * i) : le32(raw.data() + 4 * i);
        if (monotonic(index.nx)) return index;
    }
    throw Error(kCatalogError, index.path.string() + " is not a UCAC2 index");
}

// One zone file's stars in the box between right ascensions r1 and r2 (degrees).
struct ZoneRead {
    const Ucac2Index& index;
    int z;
    std::int32_t n0; // stars before this zone
    std::filesystem::path path;
    std::ifstream file;
    std::int64_t bytes = 0;
    bool sizeError = false;
    std::int64_t decLo, decHi;
    double maxMag;
};

void readRange(ZoneRead& zr, double r1, double r2, std::vector<CatalogStar>& out) {
    const auto ra1 = static_cast<std::int64_t>(std::floor(r1 * 3.6e6));
    const auto ra2 = static_cast<std::int64_t>(std::ceil(r2 * 3.6e6));
    const int i1 = std::clamp(static_cast<int>(ra1 / 5400000 + 1), 1, 240);
    const int i2 = std::clamp(static_cast<int>(std::max<std::int64_t>(ra2 - 1, 0) / 5400000 + 1), 1, 240);
    const std::int64_t j1 = i1 == 1 ? 1 : std::int64_t{zr.index.at(zr.z, i1 - 1)} - zr.n0 + 1;
    const std::int64_t j2 = std::int64_t{zr.index.at(zr.z, i2)} - zr.n0;
    if (j2 < j1) return;
    // checked before the buffer is made: a damaged index may count billions
    if (zr.sizeError || j2 * 44 > zr.bytes)
        throw Error(kCatalogError, zr.path.string() + " holds fewer stars than u2index.da counts");
    std::vector<unsigned char> buf(static_cast<std::size_t>(j2 - j1 + 1) * 44);
    zr.file.clear();
    zr.file.seekg(static_cast<std::streamoff>(j1 - 1) * 44);
    zr.file.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    const auto got = static_cast<std::size_t>(zr.file.gcount()) / 44;
    if (got < buf.size() / 44)
        throw Error(kCatalogError, zr.path.string() + " holds fewer stars than u2index.da counts");
    // The index places these records in its RA bins i1..i2 of this zone's
    // half-degree band: records elsewhere are no UCAC2 records (random bytes of
    // the right size read as stars before).
    const std::int64_t binLo = std::int64_t{i1 - 1} * 5400000, binHi = std::int64_t{i2} * 5400000;
    const std::int64_t bandLo = -324000000 + std::int64_t{zr.z - 1} * 1800000, bandHi = bandLo + 1800000;
    std::size_t astray = 0;
    for (std::size_t k = 0; k < got; ++k) {
        const std::int64_t ra = le32(buf.data() + k * 44), de = le32(buf.data() + k * 44 + 4);
        astray += ra < binLo || ra > binHi || de < bandLo || de > bandHi;
    }
    if (astray > got / 100)
        throw Error(kCatalogError, zr.path.string() + " does not hold UCAC2 records where u2index.da places them (" +
                                       std::to_string(astray) + " of " + std::to_string(got) + " astray)");
    for (std::size_t k = 0; k < got; ++k) {
        const unsigned char* r = buf.data() + k * 44;
        const std::int64_t ra = le32(r), de = le32(r + 4);
        if (ra < ra1 || ra > ra2 || de < zr.decLo || de > zr.decHi) continue;
        const auto mag = static_cast<std::int16_t>(r[8] | r[9] << 8) / 100.0;
        if (mag > zr.maxMag) continue;
        out.push_back({ra / 3.6e6, de / 3.6e6, mag});
    }
}

} // namespace

std::vector<CatalogStar> ReadUcac2(const std::string& folderIn, const SkyBox& box, double maxMag) {
    RequireFolder(folderIn, "UCAC2");
    const Ucac2Index index = readIndex(folderIn);
    std::vector<CatalogStar> out;
    const auto decLo = static_cast<std::int64_t>(std::floor(box.decMin * 3.6e6));
    const auto decHi = static_cast<std::int64_t>(std::ceil(box.decMax * 3.6e6));
    const int z1 = std::clamp(static_cast<int>((decLo + 324000000) / 1800000 + 1), 1, 288);
    const int z2 = std::clamp(static_cast<int>((decHi + 324000000) / 1800000 + 1), 1, 288);
    for (int z = z1; z <= z2; ++z) {
        const std::int32_t n0 = z == 1 ? 0 : index.at(z - 1, 240);
        if (index.at(z, 240) - n0 <= 0) continue; // the catalog holds no star in this zone
        char name[16];
        std::snprintf(name, sizeof name, "z%03d", z);
        const auto zonePath = FindNoCase(index.folder, name);
        if (!zonePath)
            throw Error(kCatalogError, "The UCAC2 catalog folder \"" + folderIn + "\" has no " + name +
                                           ", which covers this field");
        RequireReadable(*zonePath);
        ZoneRead zr{index, z, n0, *zonePath, std::ifstream(*zonePath, std::ios::binary), 0, false, decLo, decHi, maxMag};
        std::error_code sizeError;
        zr.bytes = static_cast<std::int64_t>(std::filesystem::file_size(*zonePath, sizeError));
        zr.sizeError = static_cast<bool>(sizeError);
        if (box.raMin <= box.raMax) {
            readRange(zr, box.raMin, box.raMax, out);
        } else {
            readRange(zr, box.raMin, 360.0, out);
            readRange(zr, 0.0, box.raMax, out);
        }
    }
    return out;
}

} // namespace astrometry
