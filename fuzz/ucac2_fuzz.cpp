// A UCAC2 folder made from any bytes. The index u2index.da is built from the
// first 240 bytes (each a count increment, so that most inputs pass the
// index's own check; after a first byte of 0xFF, 960 bytes as raw counts), the zone file
// z181 (declinations 0 to 0.5 degrees) from the rest.
#include <cstring>
#include <vector>

#include "astrometry/catalog.h"
#include "astrometry/errors.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = fuzz::Folder() / "ucac2";
    std::filesystem::remove_all(folder);
    const bool raw = size > 0 && data[0] == 0xFF;
    const std::size_t head = std::min<std::size_t>(size, raw ? 960 : 240);
    std::vector<std::int32_t> counts(288 * 240, 0);
    constexpr int kZone = 181;
    std::int64_t n = 0;
    for (std::size_t j = 0; j < 240; ++j) {
        auto& c = counts[(kZone - 1) * 240 + j];
        if (raw) {
            std::uint32_t v = 0;
            for (std::size_t k = 0; k < 4; ++k)
                if (4 * j + k < head) v |= std::uint32_t{data[4 * j + k]} << (8 * k);
            c = static_cast<std::int32_t>(v);
            continue;
        }
        const std::uint8_t b = j < head ? data[j] : 0;
        n += b < 0xF0 ? b : std::int64_t{1} << (b - 0xF0 + 20); // rare huge steps
        c = static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX));
    }
    for (int z = kZone + 1; z <= 288; ++z)
        for (int j = 0; j < 240; ++j) counts[(z - 1) * 240 + j] = counts[(kZone - 1) * 240 + 239];
    std::vector<unsigned char> index(counts.size() * 4);
    for (std::size_t i = 0; i < counts.size(); ++i)
        for (int k = 0; k < 4; ++k) index[4 * i + k] = static_cast<unsigned char>(static_cast<std::uint32_t>(counts[i]) >> (8 * k));
    fuzz::WriteFile(folder / "u2index.da", index.data(), index.size());
    fuzz::WriteFile(folder / "z181", data + head, size - head);
    for (const auto& box : {astrometry::SkyBox{10, 12, 0.1, 0.4}, astrometry::SkyBox{359, 1, 0.0, 0.49},
                            astrometry::SkyBox{0, 360, 0.0, 0.49}}) {
        try {
            (void)astrometry::ReadUcac2(folder.string(), box, 30);
        } catch (const platform::Error&) {
        }
    }
    return 0;
}
