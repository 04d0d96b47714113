// Any bytes as a GSC region file (a FITS ASCII table), and, after "\n--\n",
// as the regions table that leads the reader to it.
#include "astrometry/catalog.h"
#include "astrometry/errors.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = fuzz::Folder() / "gsc";
    std::filesystem::remove_all(folder);
    const auto [region, table] = fuzz::Split(data, size);
    const auto regionPath = folder / "n0000" / "0001.gsc";
    fuzz::WriteFile(regionPath, region);
    try {
        (void)astrometry::ReadGscRegionFile(regionPath.string());
    } catch (const platform::Error&) {
    }
    if (!table.empty()) {
        fuzz::WriteFile(folder / "tables" / "regions.tbl", table);
        try {
            (void)astrometry::ReadGscAct(folder.string(), {0, 10, 0, 5}, 30);
        } catch (const platform::Error&) {
        }
    }
    return 0;
}
