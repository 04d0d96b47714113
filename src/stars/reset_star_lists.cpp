#include "stars/reset_star_lists.h"

#include "shell/frm_main.h"

namespace stars {

void ResetStarLists(shell::FrmMain& w) {
    w.picZoom->clear();
    w.picMain->clear();
    for (QPushButton* b : {w.cmdpre, w.cmdre, w.cmdsub, w.cmbBlink, w.cmdcat, w.cmdIm, w.cmdUnid,
                           w.cmdcheck})
        b->setEnabled(false);
    w.lstSuspicious->clear();
    w.lstUnidentified->clear();
    w.lstCandidates->clear();
    w.cardSet = {};
    w.cardFailure.clear();
    w.txtCard->clear();
    w.Label1->setText(" Stars in Reference");
    w.Label2->setText(" Stars in Reshot");
    w.Label3->setText(" Suspicious Stars");
    w.cmdGetDSS->setEnabled(false);
    w.cmdblinkdss->setEnabled(false);
    // a blink must not go on showing the pictures of the previous folder
    w.StopBlinks();
}

} // namespace stars
