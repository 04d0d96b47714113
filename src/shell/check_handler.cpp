// "Check against Catalog".
#include "checks/card_sources.h"
#include "checks/card_words.h"
#include "display/image_view.h"
#include "platform/error.h"
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
        const auto candidates = stars::ListCandidates(listA, listB, minRawFlux);
        for (const auto& cand : candidates) {
            lstUnidentified->addItem(QString::fromStdString(cand.pixelLine));
            lstCandidates->addItem(QString::fromStdString(cand.text));
            display::DrawMarker(*picMain, *picZoom, cand.pixelLine, 9, imageWidth, imageHeight, false);
        }
        makeCards(candidates, *c);
    }
    if (lstUnidentified->count() == 0) {
        lstCandidates->addItem("No unidentifyable Stars in Image");
        cmbBlink_Click();
    }
}

// A card per candidate, shown when its entry is selected; a check that cannot
// be made says why on the card, and cards that cannot be made at all say so.
void FrmMain::makeCards(const std::vector<stars::Candidate>& candidates, const stars::StarList& catalogStars) {
    cardSet = {};
    cardFailure.clear();
    txtCard->clear();
    if (candidates.empty()) return;
    std::vector<checks::CardCandidate> cards;
    for (const auto& cand : candidates) cards.push_back({cand.pixelLine, cand.text});
    try {
        cardSet = checks::BuildCards(cards, checks::CardSourcesFor(working, workFolder, catalogStars));
    } catch (const platform::Error& e) {
        cardFailure = QString("No candidate card: error %1 %2").arg(e.number()).arg(QString::fromStdString(e.description()));
    }
}

// The selected entry's card, if it has one.
void FrmMain::showCard() {
    const int row = lstCandidates->currentRow();
    if (row < 0 || row >= lstUnidentified->count()) return;
    if (!cardFailure.isEmpty()) txtCard->setPlainText(cardFailure);
    else if (static_cast<std::size_t>(row) < cardSet.cards.size())
        txtCard->setPlainText(QString::fromStdString(checks::CardText(cardSet.cards[static_cast<std::size_t>(row)], cardSet.facts)));
}

} // namespace shell
