// Any bytes as a USNO-A2.0 zone file, optionally with its .acc index (the part
// after "\n--\n"), read over a field in the zone.
#include "astrometry/catalog.h"
#include "astrometry/errors.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = fuzz::Folder() / "usno";
    std::filesystem::remove_all(folder);
    const auto [cat, acc] = fuzz::Split(data, size);
    // zone0900 covers declinations 0 to 7.5 degrees
    fuzz::WriteFile(folder / "zone0900.cat", cat);
    if (!acc.empty()) fuzz::WriteFile(folder / "zone0900.acc", acc);
    for (const auto& box : {astrometry::SkyBox{10, 12, 1, 2}, astrometry::SkyBox{359, 1, 0.5, 7}}) {
        try {
            (void)astrometry::ReadUsnoA2(folder.string(), box, 30);
        } catch (const platform::Error&) {
        }
    }
    return 0;
}
