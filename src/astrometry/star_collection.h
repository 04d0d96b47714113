#pragma once
// Stars of a plate and their collections.
#include <vector>

namespace astrometry {

struct Star {
    double RightAscension = 0; // hours
    double Declination = 0;    // degrees
    double Magnitude = 0;
    double RawFlux = 0;        // ADU
    double x = 0, Y = 0;       // FITS pixel coordinates, first pixel centred at 1.0
};

// Sort keys and directions by name.
enum SortKey : int {
    kSortByMagnitude = 1,
    kSortByRightAscension = 2,
    kSortByDeclination = 3,
    kSortByRawFlux = 4,
    kSortByX = 5,
    kSortByY = 6,
};
enum SortDirection : int { kAscending = 0, kDescending = 1 };

class StarCollection {
public:
    // Sort(key, direction). Keys: 1 magnitude, 2 right ascension, 3 declination,
    // 4 raw flux, 5 x, 6 y; any other key keeps the detection order. Direction 0
    // ascending, 1 descending. Ties are broken by y, then x, ascending, so the
    // order is the same for every run. (1, 0) and (4, 1) both put the brightest
    // star first.
    void Sort(int key, int direction);

    std::size_t Count() const { return stars_.size(); }
    const Star& operator[](std::size_t i) const { return stars_[i]; }
    auto begin() const { return stars_.begin(); }
    auto end() const { return stars_.end(); }

    void clear() { stars_.clear(); }
    void add(const Star& s) { stars_.push_back(s); }

private:
    std::vector<Star> stars_;
};

} // namespace astrometry
