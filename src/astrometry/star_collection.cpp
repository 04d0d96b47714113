#include "astrometry/star_collection.h"

#include <algorithm>

namespace astrometry {

void StarCollection::Sort(int key, int direction) {
    auto value = [key](const Star& s) {
        switch (key) {
        case 1: return s.Magnitude;
        case 2: return s.RightAscension;
        case 3: return s.Declination;
        case 4: return s.RawFlux;
        case 5: return s.x;
        case 6: return s.Y;
        default: return 0.0;
        }
    };
    if (key < 1 || key > 6) return;
    const bool descending = direction == 1;
    std::stable_sort(stars_.begin(), stars_.end(), [&](const Star& a, const Star& b) {
        const double va = value(a), vb = value(b);
        if (va != vb) return descending ? va > vb : va < vb;
        if (a.Y != b.Y) return a.Y < b.Y;
        return a.x < b.x;
    });
}

} // namespace astrometry
