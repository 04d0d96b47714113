#pragma once
// The zoom box: a 50 x 50 square of the picture area around the zoom centre,
// stretched onto the 205 x 205 zoom box.
namespace display {

class PictureBox;

inline short zoomCenterX = 0;
inline short zoomCenterY = 0;

void RefreshZoom(PictureBox& source, PictureBox& target);
// Moves the centre (rounded half to even) and copies.
void ZoomAt(PictureBox& source, PictureBox& target, double x, double y);

} // namespace display
