// "Check against Catalog".
#include "display/image_view.h"
#include "platform/busy_cursor.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"
#include "stars/catalog_check.h"
#include "stars/get_plate_stars.h"

namespace shell {

void FrmMain::cmdcheck_Click() {
    {
        platform::BusyCursor busy;
        lstCandidates->clear();
        lstUnidentified->clear();
        cmdre_Click();
        stars::GetPlateStars(workFolder + "Subtracted.fts", snrSubtracted, stars::kImageStars, plateScale,
                             stars::kSkyLines, astrometry::kSortByMagnitude, astrometry::kAscending);
        const auto a = stars::starList;
        stars::GetPlateStars(workFolder + "Subtracted.fts", snrSubtracted, stars::kImageStars, plateScale,
                             stars::kPixelLines, astrometry::kSortByMagnitude, astrometry::kAscending);
        const auto b = stars::starList;
        stars::GetPlateStars(reshotPath, snrCatalog, stars::kCatalogStars, plateScale, stars::kSkyLines,
                             astrometry::kSortByMagnitude, astrometry::kAscending);
        const auto c = stars::starList;
        stars::StarList listA = *a, listB = *b;
        stars::FilterByCatalog(listA, listB, *c, matchTolerance);
        for (const auto& cand : stars::ListCandidates(listA, listB, minRawFlux)) {
            lstUnidentified->addItem(QString::fromStdString(cand.pixelLine));
            lstCandidates->addItem(QString::fromStdString(cand.text));
            display::DrawMarker(*picMain, *picZoom, cand.pixelLine, 9, imageWidth, imageHeight, false);
        }
    }
    if (lstUnidentified->count() == 0) {
        lstCandidates->addItem("No unidentifyable Stars in Image");
        cmbBlink_Click();
    }
}

} // namespace shell
