// GSC 1.1 / GSC-ACT region files: FITS ASCII tables <zone>/<NNNN>.gsc (with or
// without a gsc/ level), found through tables/regions.tbl. Rows of one star
// measured on several plates are merged, weighted by their errors.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "astrometry/catalog.h"
#include "astrometry/catalog_files.h"
#include "astrometry/errors.h"
#include "platform/fits_handle.h"
#include "platform/fits_precheck.h"

namespace astrometry {
namespace {

struct Band {
    const char* folder;
    int first, last;
};
constexpr Band kBands[24] = {
    {"n0000", 1, 593},     {"n0730", 594, 1177},  {"n1500", 1178, 1728}, {"n2230", 1729, 2258},
    {"n3000", 2259, 2780}, {"n3730", 2781, 3245}, {"n4500", 3246, 3651}, {"n5230", 3652, 4013},
    {"n6000", 4014, 4293}, {"n6730", 4294, 4491}, {"n7500", 4492, 4614}, {"n8230", 4615, 4662},
    {"s0000", 4663, 5259}, {"s0730", 5260, 5837}, {"s1500", 5838, 6411}, {"s2230", 6412, 6988},
    {"s3000", 6989, 7522}, {"s3730", 7523, 8021}, {"s4500", 8022, 8463}, {"s5230", 8464, 8839},
    {"s6000", 8840, 9133}, {"s6730", 9134, 9345}, {"s7500", 9346, 9489}, {"s8230", 9490, 9537}};

// Opens the table and returns its row count, checked against the file's size
// (a damaged header may claim billions of rows).
platform::FitsFile openTable(const std::filesystem::path& path, long& rows) {
    if (const auto problem = platform::FitsHeaderProblem(path.string()); !problem.empty())
        throw Error(kCatalogError, path.string() + " is damaged: " + problem);
    int status = 0;
    fitsfile* raw = nullptr;
    if (fits_open_diskfile(&raw, path.c_str(), READONLY, &status))
        throw Error(kCatalogError, "Cannot open the GSC file " + path.string());
    platform::FitsFile f(raw);
    int type = 0;
    if (fits_movabs_hdu(f.get(), 2, &type, &status) || type != ASCII_TBL)
        throw Error(kCatalogError, path.string() + " is not a GSC region table");
    long rowLength = 0;
    rows = 0;
    fits_get_num_rows(f.get(), &rows, &status);
    fits_read_key(f.get(), TLONG, "NAXIS1", &rowLength, nullptr, &status);
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    if (status || ec || rows < 0 || rowLength <= 0 ||
        static_cast<double>(rows) * static_cast<double>(rowLength) > static_cast<double>(bytes))
        throw Error(kCatalogError, path.string() + " is damaged: it is shorter than its table's rows");
    return f;
}

int column(fitsfile* f, const char* name, const std::filesystem::path& path) {
    int status = 0, col = 0;
    char templ[32];
    std::snprintf(templ, sizeof templ, "%s*", name); // older tables spell some names longer
    if (fits_get_colnum(f, CASEINSEN, templ, &col, &status) && status != COL_NOT_UNIQUE)
        throw Error(kCatalogError, path.string() + " has no column " + name);
    return col;
}

std::vector<double> doubles(fitsfile* f, int col, long rows) {
    std::vector<double> v(static_cast<std::size_t>(rows));
    int status = 0, anynul = 0;
    double nul = 0;
    if (fits_read_col(f, TDOUBLE, col, 1, 1, rows, &nul, v.data(), &anynul, &status))
        throw Error(kCatalogError, "A GSC table cannot be read: column " + std::to_string(col) + " is damaged");
    return v;
}

std::vector<std::string> strings(fitsfile* f, int col, long rows) {
    std::vector<std::string> out(static_cast<std::size_t>(rows));
    int status = 0, anynul = 0, type = 0;
    long repeat = 0, width = 0;
    // cfitsio writes the column's whole width and a terminating zero per row
    fits_get_eqcoltype(f, col, &type, &repeat, &width, &status);
    const std::size_t stride = static_cast<std::size_t>(std::clamp(std::max(repeat, width), 1L, 1024L)) + 1;
    if (status || std::max(repeat, width) > 1024)
        throw Error(kCatalogError, "A GSC table cannot be read: column " + std::to_string(col) + " is damaged");
    std::vector<char> buf(static_cast<std::size_t>(rows) * stride, 0);
    std::vector<char*> ptrs(static_cast<std::size_t>(rows));
    for (long i = 0; i < rows; ++i) ptrs[i] = buf.data() + i * stride;
    char nul[2] = "";
    if (fits_read_col(f, TSTRING, col, 1, 1, rows, nul, ptrs.data(), &anynul, &status))
        throw Error(kCatalogError, "A GSC table cannot be read: column " + std::to_string(col) + " is damaged");
    for (long i = 0; i < rows; ++i) out[i] = ptrs[i];
    return out;
}

struct Region {
    int number;
    double raLo, raHi, decLo, decHi;
};

std::vector<Region> readRegions(const std::filesystem::path& path) {
    long rows = 0;
    auto f = openTable(path, rows);
    int status = 0;
    const auto reg = doubles(f.get(), column(f.get(), "REG_NO", path), rows);
    const auto rhl = doubles(f.get(), column(f.get(), "RA_H_LOW", path), rows);
    const auto rml = doubles(f.get(), column(f.get(), "RA_M_LOW", path), rows);
    const auto rsl = doubles(f.get(), column(f.get(), "RA_S_LOW", path), rows);
    const auto rhh = doubles(f.get(), column(f.get(), "RA_H_HI", path), rows);
    const auto rmh = doubles(f.get(), column(f.get(), "RA_M_HI", path), rows);
    const auto rsh = doubles(f.get(), column(f.get(), "RA_S_HI", path), rows);
    const auto sl = strings(f.get(), column(f.get(), "DECSI_LO", path), rows);
    const auto ddl = doubles(f.get(), column(f.get(), "DEC_D_LO", path), rows);
    const auto dml = doubles(f.get(), column(f.get(), "DEC_M_LO", path), rows);
    const auto sh = strings(f.get(), column(f.get(), "DECSI_HI", path), rows);
    const auto ddh = doubles(f.get(), column(f.get(), "DEC_D_HI", path), rows);
    const auto dmh = doubles(f.get(), column(f.get(), "DEC_M_HI", path), rows);
    if (status) throw Error(kCatalogError, path.string() + " cannot be read as a region table");
    std::vector<Region> out;
    out.reserve(static_cast<std::size_t>(rows));
    for (long i = 0; i < rows; ++i) {
        Region r;
        if (!(std::abs(reg[i]) < 1e6)) continue; // not a region number
        r.number = static_cast<int>(reg[i]);
        r.raLo = 15 * (rhl[i] + rml[i] / 60 + rsl[i] / 3600);
        r.raHi = 15 * (rhh[i] + rmh[i] / 60 + rsh[i] / 3600);
        if (r.raHi == 0) r.raHi = 360; // 0h at the upper end means 24h
        const bool south = r.number >= 4663 || sh[i].find('-') != std::string::npos;
        const double d1 = (sl[i].find('-') != std::string::npos || south ? -1 : 1) * (ddl[i] + dml[i] / 60);
        const double d2 = (sh[i].find('-') != std::string::npos || south ? -1 : 1) * (ddh[i] + dmh[i] / 60);
        // In the south LO and HI are the equator side and the pole side.
        r.decLo = std::min(d1, d2);
        r.decHi = std::max(d1, d2);
        out.push_back(r);
    }
    return out;
}

bool overlaps(const Region& r, const SkyBox& b) {
    if (r.decHi < b.decMin || r.decLo > b.decMax) return false;
    if (b.raMin <= b.raMax) return r.raHi >= b.raMin && r.raLo <= b.raMax;
    return r.raLo <= b.raMax || r.raHi >= b.raMin;
}

} // namespace

GscRegionRows ReadGscRegionFile(const std::string& pathText) {
    const std::filesystem::path path(pathText);
    long rows = 0;
    auto f = openTable(path, rows);
    int status = 0;
    const auto id = doubles(f.get(), column(f.get(), "GSC_ID", path), rows);
    const auto ra = doubles(f.get(), column(f.get(), "RA_DEG", path), rows);
    const auto dec = doubles(f.get(), column(f.get(), "DEC_DEG", path), rows);
    const auto perr = doubles(f.get(), column(f.get(), "POS_ERR", path), rows);
    const auto mag = doubles(f.get(), column(f.get(), "MAG", path), rows);
    const auto merr = doubles(f.get(), column(f.get(), "MAG_ERR", path), rows);
    const auto cls = doubles(f.get(), column(f.get(), "CLASS", path), rows);
    if (status) throw Error(kCatalogError, path.string() + " cannot be read as a GSC region file");
    GscRegionRows out;
    out.rows = static_cast<int>(rows);
    for (long i = 0; i < rows;) {
        long j = i;
        double wr = 0, sr = 0, sd = 0, wm = 0, sm = 0;
        const double ra0 = ra[i];
        bool any = false;
        for (; j < rows && id[j] == id[i]; ++j) {
            if (cls[j] == 5) continue; // artefacts
            any = true;
            const double pe = perr[j] > 0 ? perr[j] : 0.01, me = merr[j] > 0 ? merr[j] : 0.01;
            double r = ra[j];
            if (r - ra0 > 180) r -= 360;
            if (r - ra0 < -180) r += 360;
            wr += 1 / (pe * pe);
            sr += r / (pe * pe);
            sd += dec[j] / (pe * pe);
            wm += 1 / (me * me);
            sm += mag[j] / (me * me);
        }
        if (any) out.stars.push_back({std::fmod(sr / wr + 360, 360), sd / wr, sm / wm});
        i = j;
    }
    return out;
}

std::vector<CatalogStar> ReadGscAct(const std::string& folderIn, const SkyBox& box, double maxMag) {
    RequireFolder(folderIn, "GSC-ACT");
    const std::filesystem::path folder(folderIn);
    const auto tables = FindNoCase(folder, "tables");
    const auto regionsPath = tables ? FindNoCase(*tables, "regions.tbl") : std::nullopt;
    if (!regionsPath)
        throw Error(kCatalogError, "The GSC-ACT catalog folder \"" + folderIn +
                                       "\" has no tables/regions.tbl");
    std::filesystem::path root = folder;
    if (const auto gsc = FindNoCase(folder, "gsc"); gsc && std::filesystem::is_directory(*gsc))
        root = *gsc; // the CD layout has a gsc/ level
    std::vector<CatalogStar> out;
    bool anyZone = false, anyOverlap = false;
    for (const Region& r : readRegions(RequireReadable(*regionsPath))) {
        if (!overlaps(r, box)) continue;
        const Band* band = nullptr;
        for (const auto& b : kBands)
            if (r.number >= b.first && r.number <= b.last) band = &b;
        if (!band) continue;
        anyOverlap = true;
        char name[16];
        std::snprintf(name, sizeof name, "%04d.gsc", r.number);
        const auto zone = FindNoCase(root, band->folder);
        anyZone = anyZone || zone.has_value();
        const auto file = zone ? FindNoCase(*zone, name) : std::nullopt;
        if (!file) continue; // a region without stars has no file
        for (const auto& s : ReadGscRegionFile(RequireReadable(*file).string()).stars) {
            if (s.mag > maxMag || s.dec < box.decMin || s.dec > box.decMax) continue;
            if (!InRaRange(s.ra, box.raMin, box.raMax)) continue;
            out.push_back(s);
        }
    }
    if (anyOverlap && !anyZone)
        throw Error(kCatalogError, "The GSC-ACT catalog folder \"" + folderIn +
                                       "\" has no region files for this field");
    return out;
}

} // namespace astrometry
