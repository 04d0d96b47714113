// The show buttons of the main window and the suspicious-star markers.
#include "display/image_view.h"
#include "display/zoom.h"
#include "shell/frm_main.h"

namespace shell {

void FrmMain::cmdpre_Click() {
    if (!display::ShowPicture(*this, workFolder + "ReferenceImage.jpg")) return;
    display::RefreshZoom(*picMain, *picZoom);
    cmdre->setEnabled(true);
    cmdpre->setEnabled(false);
}

void FrmMain::cmdre_Click() {
    if (!display::ShowPicture(*this, workFolder + "ReshotImage.jpg")) return;
    display::RefreshZoom(*picMain, *picZoom);
    cmdpre->setEnabled(true);
    cmdre->setEnabled(false);
}

void FrmMain::cmdsub_Click() {
    if (!display::ShowPicture(*this, workFolder + "Subtracted.jpg")) return;
    ScalePoints();
    cmdre->setEnabled(true);
    cmdpre->setEnabled(true);
}

void FrmMain::ScalePoints() {
    picMain->setPenWidth(1);
    for (listIndex = 0; listIndex < lstSuspicious->count(); ++listIndex)
        display::DrawMarker(*picMain, *picZoom, lstSuspicious->item(listIndex)->text().toStdString(), 12,
                            imageWidth, imageHeight, false);
}

} // namespace shell
