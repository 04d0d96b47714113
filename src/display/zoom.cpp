#include "display/zoom.h"

#include <cfenv>
#include <cmath>

#include "display/picture_box.h"

namespace display {

void RefreshZoom(PictureBox& source, PictureBox& target) {
    target.setScale(205.0, 205.0);
    target.copyStretchedFrom(source, zoomCenterX - 25, zoomCenterY - 25, 50, 50, 0, 0, 205, 205);
    target.refresh();
}

namespace {
short toShortHalfEven(double v) {
    const double r = std::nearbyint(v); // default rounding mode: halves to even
    if (r > 32767) return 32767;
    if (r < -32768) return -32768;
    return static_cast<short>(r);
}
} // namespace

void ZoomAt(PictureBox& source, PictureBox& target, double x, double y) {
    target.setScale(205.0, 205.0);
    zoomCenterX = toShortHalfEven(x);
    zoomCenterY = toShortHalfEven(y);
    RefreshZoom(source, target);
}

} // namespace display
