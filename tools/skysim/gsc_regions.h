#pragma once
// The 9537 small regions of the GSC: 24 bands of 7.5 deg in declination, each
// split into large regions of equal RA width, each into rows and columns of
// small regions numbered from the equator outward and in increasing RA.
#include <string>
#include <vector>

namespace skysim {

struct GscRegion {
    int number;
    double raLo, raHi;   // degrees; raHi may be 360
    double decLo, decHi; // signed degrees, decLo < decHi
    bool south;
    std::string folder;  // n0000 ... s8230
};

const std::vector<GscRegion>& GscRegionGrid();

} // namespace skysim
