#pragma once
// The star catalogs on disk: code "5" USNO-A2.0 zone files, "6" UCAC2, "3"
// GSC-ACT region files. Only the zones and regions over the box are read.
#include <string>
#include <vector>

namespace astrometry {

struct CatalogStar {
    double ra, dec; // degrees, J2000
    double mag;
};

struct SkyBox {
    double raMin, raMax;   // degrees; raMin > raMax when the box crosses 0h
    double decMin, decMax; // degrees
};

// Which catalog, where, and down to which magnitude: what every reader of
// catalog stars is given (one record from the settings file to the readers).
struct CatalogSettings {
    std::string code = "5"; // "5" USNO-A2.0, "6" UCAC2, "3" GSC-ACT
    std::string folder;
    double maxMag = 18;
};

// Throws astrometry::Error (kCatalogError) for a folder that is missing, empty,
// broken or holds another catalog, and for an unknown code.
std::vector<CatalogStar> ReadCatalog(const std::string& code, const std::string& folder,
                                     const SkyBox& box, double maxMag);
inline std::vector<CatalogStar> ReadCatalog(const CatalogSettings& catalog, const SkyBox& box) {
    return ReadCatalog(catalog.code, catalog.folder, box, catalog.maxMag);
}

std::vector<CatalogStar> ReadUsnoA2(const std::string& folder, const SkyBox& box, double maxMag);
std::vector<CatalogStar> ReadUcac2(const std::string& folder, const SkyBox& box, double maxMag);
std::vector<CatalogStar> ReadGscAct(const std::string& folder, const SkyBox& box, double maxMag);

struct GscRegionRows {
    int rows = 0;
    std::vector<CatalogStar> stars; // rows of one star merged
};
// One region file, every star in it.
GscRegionRows ReadGscRegionFile(const std::string& path);

// The box around a centre with a half-size in degrees.
SkyBox BoxAround(double ra, double dec, double halfSizeDeg);

} // namespace astrometry
