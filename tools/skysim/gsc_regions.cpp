#include "gsc_regions.h"

#include <cmath>
#include <cstdio>

namespace skysim {
namespace {
struct Band {
    int large, regions;
};
// Large regions and small regions per band, from the equator outward.
constexpr Band kNorth[12] = {{48, 593}, {47, 584}, {45, 551}, {43, 530}, {40, 522}, {36, 465},
                             {32, 406}, {27, 362}, {21, 280}, {15, 198}, {9, 123},  {3, 48}};
constexpr Band kSouth[12] = {{48, 597}, {47, 578}, {45, 574}, {43, 577}, {40, 534}, {36, 499},
                             {32, 442}, {27, 376}, {21, 294}, {15, 212}, {9, 144},  {3, 48}};

void addBand(std::vector<GscRegion>& out, const Band& band, int index, bool south, int& number) {
    // Square k x k large regions, some k x (k+1) and some (k+1) x (k+1), so
    // that the band holds exactly its number of small regions.
    const int k = static_cast<int>(std::sqrt(double(band.regions) / band.large));
    const int extra = band.regions - band.large * k * k;
    int wide = 0, big = 0;
    for (int b = extra / (2 * k + 1); b >= 0; --b) {
        const int r = extra - b * (2 * k + 1);
        if (r % k == 0 && r / k + b <= band.large) {
            big = b;
            wide = r / k;
            break;
        }
    }
    char folder[8];
    std::snprintf(folder, sizeof folder, "%c%02d%02d", south ? 's' : 'n',
                  static_cast<int>(index * 7.5), index % 2 ? 30 : 0);
    const double width = 360.0 / band.large;
    for (int L = 0; L < band.large; ++L) {
        const int rows = L < big ? k + 1 : k;
        const int cols = L < big + wide ? k + 1 : k;
        for (int r = 0; r < rows; ++r) {
            const double a0 = 7.5 * index + r * 7.5 / rows, a1 = 7.5 * index + (r + 1) * 7.5 / rows;
            for (int c = 0; c < cols; ++c) {
                GscRegion g;
                g.number = number++;
                g.raLo = L * width + c * width / cols;
                g.raHi = L * width + (c + 1) * width / cols;
                g.decLo = south ? -a1 : a0;
                g.decHi = south ? -a0 : a1;
                g.south = south;
                g.folder = folder;
                out.push_back(g);
            }
        }
    }
}
} // namespace

const std::vector<GscRegion>& GscRegionGrid() {
    static const std::vector<GscRegion> grid = [] {
        std::vector<GscRegion> g;
        int number = 1;
        for (int i = 0; i < 12; ++i) addBand(g, kNorth[i], i, false, number);
        for (int i = 0; i < 12; ++i) addBand(g, kSouth[i], i, true, number);
        return g;
    }();
    return grid;
}

} // namespace skysim
