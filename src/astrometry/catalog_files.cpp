#include "astrometry/catalog_files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "astrometry/catalog.h"
#include "astrometry/errors.h"

namespace astrometry {

std::optional<std::filesystem::path> FindNoCase(const std::filesystem::path& folder,
                                                const std::string& name) {
    std::error_code ec;
    const auto exact = folder / name;
    if (std::filesystem::exists(exact, ec)) return exact;
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    const std::string want = lower(name);
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (lower(it->path().filename().string()) == want) return it->path();
    return std::nullopt;
}

void RequireFolder(const std::string& folder, const char* catalogName) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        throw Error(kCatalogError, std::string("The ") + catalogName + " catalog folder \"" +
                                       folder + "\" does not exist");
    // an unreadable folder is not one without the files
    std::filesystem::directory_iterator list(folder, ec);
    if (ec)
        throw Error(kCatalogError, std::string("The ") + catalogName + " catalog folder \"" + folder +
                                       "\" cannot be read: " + ec.message());
}

const std::filesystem::path& RequireReadable(const std::filesystem::path& file) {
    std::error_code ec;
    const auto st = std::filesystem::status(file, ec);
    if (!std::filesystem::is_regular_file(st))
        throw Error(kCatalogError, "The catalog file " + file.string() +
                                       " is not a regular file (a folder, a FIFO or a device is in its place)");
    errno = 0;
    if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        return file;
    }
    throw Error(kCatalogError, "The catalog file " + file.string() + " cannot be read: " + std::strerror(errno));
}

bool InRaRange(double ra, double raMin, double raMax) {
    return raMin <= raMax ? (ra >= raMin && ra <= raMax) : (ra >= raMin || ra <= raMax);
}

SkyBox BoxAround(double ra, double dec, double halfSizeDeg) {
    SkyBox b;
    b.decMin = std::max(-90.0, dec - halfSizeDeg);
    b.decMax = std::min(90.0, dec + halfSizeDeg);
    const double c = std::cos(std::min(89.0, std::max(std::abs(b.decMin), std::abs(b.decMax))) * M_PI / 180);
    const double half = halfSizeDeg / std::max(c, 1e-3);
    if (half >= 180 || b.decMax >= 89.99 || b.decMin <= -89.99) {
        b.raMin = 0;
        b.raMax = 360;
    } else {
        b.raMin = std::fmod(ra - half + 360.0, 360.0);
        b.raMax = std::fmod(ra + half + 360.0, 360.0);
    }
    return b;
}

std::vector<CatalogStar> ReadCatalog(const std::string& code, const std::string& folder,
                                     const SkyBox& box, double maxMag) {
    if (code == "5") return ReadUsnoA2(folder, box, maxMag);
    if (code == "6") return ReadUcac2(folder, box, maxMag);
    if (code == "3") return ReadGscAct(folder, box, maxMag);
    throw Error(kCatalogError, "Unknown catalog \"" + code + "\" (3 GSC-ACT, 5 USNO-A2.0, 6 UCAC2)");
}

} // namespace astrometry
