// GSC-ACT as FITS region files: <zone>/<NNNN>.gsc, each an empty primary HDU and
// an ASCII table of 45-character rows, and tables/regions.tbl with one row per
// region. Laid out like the real region files of the catalog CDs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "catalog_entries.h"
#include "fits_cards.h"
#include "gsc_regions.h"
#include "random.h"

namespace skysim {
namespace {

struct Column {
    const char* type;
    int tbcol;
    const char* form;
    const char* comment;
};

std::string tableHeader(long rowWidth, long rows, const std::vector<Column>& cols,
                        const std::string& extname) {
    FitsCards h;
    h.string("XTENSION", "TABLE", "Table Extension");
    h.integer("BITPIX", 8, "Character Information");
    h.integer("NAXIS", 2, "Two-dimensional table");
    h.integer("NAXIS1", rowWidth, "Number of characters per line");
    h.integer("NAXIS2", rows, "Number of rows");
    h.integer("PCOUNT", 0, "No random parameters");
    h.integer("GCOUNT", 1, "Only one group");
    h.integer("TFIELDS", static_cast<long>(cols.size()), "Fields per row");
    h.string("EXTNAME", extname, "");
    h.integer("EXTVER", 1, "Integer Version Number");
    for (std::size_t i = 0; i < cols.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        h.string(("TTYPE" + n).c_str(), cols[i].type, cols[i].comment);
        h.integer(("TBCOL" + n).c_str(), cols[i].tbcol, "");
        h.string(("TFORM" + n).c_str(), cols[i].form, "");
    }
    return h.block();
}

std::string primaryHeader(const char* filetype) {
    FitsCards h;
    h.logical("SIMPLE", true, "Standard FITS format");
    h.integer("BITPIX", 8, "Character Information");
    h.integer("NAXIS", 0, "No image data array present");
    h.logical("EXTEND", true, "Extension exists");
    h.string("FILETYPE", filetype, "Indicates file type");
    h.string("ORIGIN", "vospen-skysim", "Simulated catalog");
    h.comment("A simulated region of the guide star catalog.");
    return h.block();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void sexagesimalRa(double deg, int& h, int& m, double& s) {
    double secs = std::round(deg / 15.0 * 3600.0 * 100.0) / 100.0;
    if (secs >= 86400.0) secs = 0; // 24h is written as 0h
    h = static_cast<int>(secs / 3600);
    secs -= h * 3600;
    m = static_cast<int>(secs / 60);
    s = secs - m * 60;
}

std::string regionsTable() {
    const auto& grid = GscRegionGrid();
    const std::vector<Column> cols = {
        {"REG_NO", 1, "I5", "Region number"},     {"RA_H_LOW", 8, "I2", "RA low hours"},
        {"RA_M_LOW", 11, "I2", "RA low minutes"}, {"RA_S_LOW", 14, "F5.2", "RA low seconds"},
        {"RA_H_HI", 20, "I2", "RA high hours"},   {"RA_M_HI", 23, "I2", "RA high minutes"},
        {"RA_S_HI", 26, "F5.2", "RA high seconds"}, {"DECSI_LO", 32, "A1", "Dec sign, equator side"},
        {"DEC_D_LO", 33, "I2", "Dec degrees"},    {"DEC_M_LO", 36, "F4.1", "Dec minutes"},
        {"DECSI_HI", 41, "A1", "Dec sign, pole side"}, {"DEC_D_HI", 42, "I2", "Dec degrees"},
        {"DEC_M_HI", 45, "F4.1", "Dec minutes"}};
    std::string data;
    for (const auto& r : grid) {
        int h1, m1, h2, m2;
        double s1, s2;
        sexagesimalRa(r.raLo, h1, m1, s1);
        sexagesimalRa(r.raHi, h2, m2, s2);
        // LO is the edge nearer the equator in both hemispheres.
        const double nearAbs = r.south ? -r.decHi : r.decLo;
        const double farAbs = r.south ? -r.decLo : r.decHi;
        auto dm = [](double a, int& d, double& m) {
            const double minutes = std::round(a * 600.0) / 10.0;
            d = static_cast<int>(minutes / 60);
            m = minutes - d * 60;
        };
        int d1, d2;
        double mm1, mm2;
        dm(nearAbs, d1, mm1);
        dm(farAbs, d2, mm2);
        const char sign = r.south ? '-' : '+';
        char row[64];
        std::snprintf(row, sizeof row, "%5d  %2d %2d %5.2f %2d %2d %5.2f %c%2d %4.1f %c%2d %4.1f",
                      r.number, h1, m1, s1, h2, m2, s2, sign, d1, mm1, sign, d2, mm2);
        if (std::string(row).size() != 48) throw std::logic_error("regions.tbl row width");
        data += row;
    }
    return primaryHeader("GSC_REGION_TABLE") +
           tableHeader(48, static_cast<long>(grid.size()), cols, "REGIONS") + PadBlanks(data);
}

bool inside(const GscRegion& r, const CatalogEntry& e) {
    return e.ra >= r.raLo && e.ra < r.raHi && e.dec >= r.decLo && e.dec < r.decHi;
}

} // namespace

void WriteGscAct(const std::string& folder, const std::vector<CatalogEntry>& entries,
                 std::uint64_t seed) {
    namespace fs = std::filesystem;
    const auto& grid = GscRegionGrid();
    std::map<int, std::vector<CatalogEntry>> byRegion;
    for (const auto& e : entries) {
        for (const auto& r : grid) {
            if (inside(r, e)) {
                byRegion[r.number].push_back(e);
                break;
            }
        }
    }
    const std::vector<Column> cols = {
        {"GSC_ID", 1, "I5", "ID within Region"},
        {"RA_DEG", 6, "F9.5", "Right Ascension - Decimal Degrees (0 to 360)"},
        {"DEC_DEG", 15, "F9.5", "Declination - Decimal Degrees (-90 to +90)"},
        {"POS_ERR", 24, "F5.1", "Position Error in Arc Seconds"},
        {"MAG", 29, "F5.2", "Magnitude"},
        {"MAG_ERR", 34, "F4.2", "Magnitude error"},
        {"MAG_BAND", 38, "I2", "Magnitude Band"},
        {"CLASS", 40, "I1", "Classification"},
        {"PLATE_ID", 41, "A4", "GSSS Internal Plate Number"},
        {"MULTIPLE", 45, "A1", "(T/F) Flag for additional entries"}};
    Random rnd(seed, 41);
    for (auto& [number, stars] : byRegion) {
        // IDs run in file order; the rows are not sorted by RA, as on the CDs.
        for (std::size_t i = stars.size(); i > 1; --i)
            std::swap(stars[i - 1], stars[rnd.below(static_cast<int>(i))]);
        std::string data;
        long rows = 0;
        int id = 1;
        for (const auto& s : stars) {
            const bool twice = rnd.uniform() < 0.2; // measured on two plates
            for (int k = 0; k < (twice ? 2 : 1); ++k) {
                const double jr = k ? rnd.normal() * 0.3 / 3600 : 0, jd = k ? rnd.normal() * 0.3 / 3600 : 0;
                const double mag = std::clamp(s.mag + (k ? rnd.normal() * 0.05 : 0), 0.0, 99.0);
                char row[64];
                std::snprintf(row, sizeof row, "%05d%9.5f%9.5f%5.1f%5.2f%4.2f%2d%1d%-4.4s%c", id,
                              std::fmod(s.ra + jr + 360, 360), s.dec + jd, 0.3, mag, 0.40, 1, 0,
                              k ? "01US" : "019M", twice ? 'T' : 'F');
                data += row;
                ++rows;
            }
            ++id;
        }
        char ext[32], name[16];
        std::snprintf(ext, sizeof ext, "GSC_REGION_%05d", number);
        std::snprintf(name, sizeof name, "%04d.gsc", number);
        const GscRegion& region = grid[static_cast<std::size_t>(number - 1)];
        writeFile(fs::path(folder) / region.folder / name,
                  primaryHeader("GSC_REGION") + tableHeader(45, rows, cols, ext) + PadBlanks(data));
    }
    writeFile(fs::path(folder) / "tables" / "regions.tbl", regionsTable());
}

} // namespace skysim
