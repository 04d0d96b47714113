// The blink comparator: reference against reshot, survey picture against reshot.
#include <QFileInfo>

#include "display/image_view.h"
#include "display/zoom.h"
#include "platform/busy_cursor.h"
#include "scanner/frm_scanner.h"
#include "shell/frm_main.h"

namespace shell {

void FrmMain::stopScannerBlink() {
    if (scannerLoaded() && frmScanner().isBlinking()) frmScanner().cmdToggle_Click();
}

void FrmMain::cmbBlink_Click() {
    stopScannerBlink();
    if (Timer1->isActive()) {
        Timer1->stop();
        cmbBlink->setText("Blink");
    } else {
        Timer1->start();
        cmbBlink->setText("Stop Blinking");
    }
}

void FrmMain::cmdblinkdss_Click() {
    stopScannerBlink();
    if (!QFileInfo::exists(QString::fromStdString(workFolder + "DSSPicture.jpg"))) cmdGetDSS_Click();
    if (Timer2->isActive()) {
        Timer2->stop();
        cmdblinkdss->setText("Blink DSS");
    } else {
        Timer2->start();
        cmdblinkdss->setText("Stop");
    }
}

void FrmMain::Timer1_Timer() {
    if (blinkPhase) {
        cmdre_Click();
        blinkPhase = false;
    } else {
        cmdpre_Click();
        blinkPhase = true;
    }
}

void FrmMain::Timer2_Timer() {
    if (blinkPhase) {
        platform::BusyCursor busy;
        cmdGetDSS_Click();
        blinkPhase = false;
    } else {
        cmdre_Click();
        blinkPhase = true;
    }
}

void FrmMain::cmdGetDSS_Click() {
    platform::BusyCursor busy;
    // after a failed retrieval nothing new is shown: the folder's old picture may be another galaxy's
    if (!Timer2->isActive()) {
        if (!GetDSSPicture()) return;
        // the cards' sky-survey verdicts can now be given
        if (!cardSet.cards.empty()) {
            checks::JudgeSurveyAgain(cardSet, workFolder);
            showCard();
        }
    }
    if (!display::ShowPicture(*this, workFolder + "DSSPicture.jpg")) return;
    display::RefreshZoom(*picMain, *picZoom);
    cmdblinkdss->setEnabled(true);
}

void FrmMain::StopBlinks() {
    if (Timer1->isActive()) {
        Timer1->stop();
        cmbBlink->setText("Blink");
    }
    if (Timer2->isActive()) {
        Timer2->stop();
        cmdblinkdss->setText("Blink DSS");
    }
}

} // namespace shell
