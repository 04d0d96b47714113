// The "show stars" buttons and the clicks in the three star lists.
#include "display/image_view.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"
#include "stars/get_plate_stars.h"
#include "stars/star_lines.h"

namespace shell {

namespace {
enum class Shown { Reference, Reshot, Subtracted };
Shown shownImage(const FrmMain& w) {
    if (w.cmdpre->isEnabled() && w.cmdre->isEnabled()) return Shown::Subtracted;
    if (!w.cmdpre->isEnabled()) return Shown::Reference;
    return Shown::Reshot;
}
} // namespace

void FrmMain::markStarList(int colour) {
    // every line is marked (the last one too: it may be the faintest star, the supernova)
    for (const auto& line : *stars::starList)
        display::DrawMarker(*picMain, *picZoom, line, colour, imageWidth, imageHeight, false);
}

void FrmMain::cmdcat_Click() {
    std::string file;
    switch (shownImage(*this)) {
    case Shown::Subtracted: file = workFolder + "Subtracted.fts"; break;
    case Shown::Reference: file = workFolder + "ReferenceImage.fts"; break;
    case Shown::Reshot: file = reshotPath; break;
    }
    stars::GetPlateStars(file, snrCatalog, stars::kCatalogStars, plateScale, stars::kPixelLines, astrometry::kSortByMagnitude,
                         astrometry::kAscending);
    markStarList(7);
    const QString n = QString::number(stars::starList->size());
    if (cmdpre->isEnabled()) Label2->setText(n + " CatalogStars in Reshot");
    else if (cmdre->isEnabled()) Label1->setText(n + " CatalogStars in Reference");
}

void FrmMain::cmdIm_Click() {
    switch (shownImage(*this)) {
    case Shown::Subtracted:
        stars::GetPlateStars(workFolder + "Subtracted.fts", snrSubtracted, stars::kImageStars, plateScale, stars::kPixelLines,
                             astrometry::kSortByMagnitude, astrometry::kAscending);
        break;
    case Shown::Reference:
        stars::GetPlateStars(workFolder + "ReferenceImage.fts", snrImages, stars::kImageStars, plateScale, stars::kPixelLines,
                             astrometry::kSortByMagnitude, astrometry::kAscending);
        break;
    case Shown::Reshot:
        if (cmdpre->isEnabled()) stars::GetPlateStars(reshotPath, snrImages, stars::kImageStars, plateScale, stars::kPixelLines,
                                                   astrometry::kSortByMagnitude, astrometry::kAscending);
        break;
    }
    markStarList(14);
    const QString n = QString::number(stars::starList->size());
    if (cmdpre->isEnabled()) Label2->setText(n + " ImageStars in Reshot");
    else if (cmdre->isEnabled()) Label1->setText(n + " ImageStars in Preshot");
}

void FrmMain::cmdUnid_Click() { ScalePoints(); }

void FrmMain::lstSuspicious_Click() {
    if (lstSuspicious->count() == 0 || !lstSuspicious->currentItem()) return;
    display::DrawMarker(*picMain, *picZoom, lstSuspicious->currentItem()->text().toStdString(), 10, imageWidth,
                        imageHeight, false);
}

void FrmMain::lstUnidentified_Click() {
    if (lstUnidentified->count() == 0 || !lstUnidentified->currentItem()) return;
    display::DrawMarker(*picMain, *picZoom, lstUnidentified->currentItem()->text().toStdString(), 10, imageWidth,
                        imageHeight, false);
}

void FrmMain::lstCandidates_Click() {
    const int row = lstCandidates->currentRow();
    // "No unidentifyable Stars in Image" has no star line behind it: nothing to mark
    if (lstCandidates->count() == 0 || row < 0 || row >= lstUnidentified->count()) return;
    display::DrawMarker(*picMain, *picZoom, lstUnidentified->item(row)->text().toStdString(), 9, imageWidth,
                        imageHeight, true);
    showCard();
}

} // namespace shell
