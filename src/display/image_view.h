#pragma once
// The image view: the 696 x 520 picture coordinates, the show sequence, the
// markers in the classic 16-colour palette.
#include <QColor>

#include <string>

namespace shell {
class FrmMain;
}

namespace display {

class PictureBox;

QColor PaletteColour(int index);

// Image pixel to picture units: (logical / size) * v, rounded half away from zero.
double ScaleCoordinate(double v, int size, double logical);

// A marker circle of radius 5 for one pixel line; with `zoomTo` the zoom box
// is centred on it.
void DrawMarker(PictureBox& pic, PictureBox& zoom, const std::string& line, int colour, int imageWidth,
                int imageHeight, bool zoomTo);

// Steps 1 to 3 of the show sequence: load `file`, stretch it into the picture
// area, invert when asked. A missing or unreadable file clears the area and
// returns false.
bool ShowPicture(shell::FrmMain& w, const std::string& file);

} // namespace display
