// Zoom and navigation: clicks and moves over the picture, the two scroll bars.
#include <cmath>

#include "display/timed_waits.h"
#include "display/zoom.h"
#include "shell/frm_main.h"

namespace shell {

void FrmMain::picMain_MouseDown(double x, double y) {
    // a value outside a bar's range is refused and the bar keeps its value
    const int hx = static_cast<int>(std::nearbyint(x)), vy = static_cast<int>(std::nearbyint(y));
    if (hx >= HScroll1->minimum() && hx <= HScroll1->maximum()) HScroll1->setValue(hx);
    if (vy >= VScroll1->minimum() && vy <= VScroll1->maximum()) VScroll1->setValue(vy);
    display::ZoomAt(*picMain, *picZoom, x, y);
    Shape1->setStyleSheet(QString("QFrame#Shape1 { border: 1px solid %1; background: transparent; }")
                              .arg(chkInvert->isChecked() ? "rgb(255,0,0)" : "rgb(255,255,0)"));
    // logical units are the picture's client pixels; the frame sits inside the border
    Shape1->move(static_cast<int>(std::lround(x - 25)) + 1, static_cast<int>(std::lround(y - 25)) + 1);
    Shape1->show();
    Shape1->raise();
    display::WaitSeconds(1);
    Shape1->hide();
}

void FrmMain::picMain_MouseMove(double x, double y) {
    if (chkZoom->isChecked()) display::ZoomAt(*picMain, *picZoom, x, y);
}

void FrmMain::HScroll1_Change() { display::ZoomAt(*picMain, *picZoom, HScroll1->value(), VScroll1->value()); }
void FrmMain::VScroll1_Change() { display::ZoomAt(*picMain, *picZoom, HScroll1->value(), VScroll1->value()); }

} // namespace shell
