#include "display/image_view.h"

#include <QImage>
#include <QImageReader>

#include <cmath>
#include <cstdlib>

#include "display/picture_box.h"
#include "display/picture_loader.h"
#include "display/zoom.h"
#include "shell/frm_main.h"
#include "stars/star_lines.h"

namespace display {

QColor PaletteColour(int index) {
    static const QColor palette[16] = {
        {0, 0, 0},     {0, 0, 128},   {0, 128, 0},   {0, 128, 128}, {128, 0, 0},     {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
        {255, 0, 0},   {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
    return palette[(index % 16 + 16) % 16];
}

double ScaleCoordinate(double v, int size, double logical) {
    if (size <= 0) return 0;
    return std::round(logical / size * v); // std::round: halves away from zero
}

void DrawMarker(PictureBox& pic, PictureBox& zoom, const std::string& line, int colour, int imageWidth,
                int imageHeight, bool zoomTo) {
    pic.setPenWidth(1);
    double xy[2];
    if (!stars::LineNumbers(line, xy, 2)) return;
    const double x = xy[0], y = xy[1];
    if (std::abs(x) > 1e7 || std::abs(y) > 1e7) return; // far off any picture
    const double X = ScaleCoordinate(x, imageWidth, 696.0), Y = ScaleCoordinate(y, imageHeight, 520.0);
    pic.drawCircle(X, Y, 5.0, PaletteColour(colour));
    pic.refresh();
    if (zoomTo) ZoomAt(pic, zoom, X, Y);
}

bool ShowPicture(shell::FrmMain& w, const std::string& file) {
    const QImage picture = LoadPicture(file, w.picMain->surface().size());
    if (picture.isNull()) {
        w.picMain->clear();
        return false;
    }
    w.picMain->setScale(696.0, 520.0);
    w.picMain->drawPictureStretched(picture);
    if (w.chkInvert->isChecked())
        w.picMain->invertRect(0, 0, static_cast<int>(std::lround(w.picMain->scaleWidth())),
                              static_cast<int>(std::lround(w.picMain->scaleHeight())));
    w.picMain->refresh();
    return true;
}

} // namespace display
