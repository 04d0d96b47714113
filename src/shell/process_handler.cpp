// "PROCESS": the window around the shared processing run.
#include <QApplication>

#include "display/image_view.h"
#include "engine/application.h"
#include "engine/document.h"
#include "platform/busy_cursor.h"
#include "platform/dialogs.h"
#include "processing/processing_run.h"
#include "scanner/scan_state.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"
#include "stars/reset_star_lists.h"
#include "stars/star_lines.h"

namespace shell {

void FrmMain::cmdProcess_Click() {
    platform::BusyCursor busy;
    // Both boxes must name a file.
    if (txtPre->text().isEmpty() || txtRe->text().isEmpty()) return;
    referencePath = txtPre->text().toStdString();
    reshotPath = txtRe->text().toStdString();
    stars::ResetStarLists(*this);

    processing::RunInputs in;
    in.referencePath = referencePath;
    in.reshotPath = reshotPath;
    in.examineFromScanner = scanner::examineFromScanner;
    in.catalog = catalog;
    in.snrSubtracted = snrSubtracted;
    const processing::RunResult r =
        processing::RunProcessing(in, {engineApp, docReference, docReshot, docSubtracted});
    plateScale = r.plateScale;
    imageWidth = r.imageWidth;
    imageHeight = r.imageHeight;
    if (r.failure != processing::RunFailure::None) {
        runFailed = true;
        QApplication::restoreOverrideCursor(); // the message is read with the normal pointer
        platform::dialogs().messageBox(QString::fromStdString(r.message), "Vospen", platform::msg::OkOnly,
                                       QString::fromStdString(r.detail));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return;
    }
    workFolder = r.workFolder;
    objectName = r.objectName;
    stars::starList = std::make_shared<stars::StarList>(r.suspicious);
    if (r.extractionFailed)
        platform::dialogs().messageBox(QString("Error in Sub GetPlateStars\r\n%1 %2")
                                           .arg(r.extractionErrorNumber)
                                           .arg(QString::fromStdString(r.extractionError)),
                                       "Vospen", platform::msg::OkOnly);
    for (const auto& line : r.suspicious) lstSuspicious->addItem(QString::fromStdString(line));
    Label3->setText(QString::number(lstSuspicious->count()) + " Suspicous Stars");

    display::ShowPicture(*this, workFolder + "ReshotImage.jpg");
    ScalePoints();
    cmdpre->setEnabled(true);
    cmdre->setEnabled(false);
    for (QPushButton* b : {cmdsub, cmbBlink, cmdcat, cmdIm, cmdUnid, cmdcheck, cmdGetDSS, cmdRef})
        b->setEnabled(true);

    try {
        engineApp->CloseAll();
    } catch (...) {
    }
    SaveSettings();
    docReference.reset();
    docReshot.reset();
    docSubtracted.reset();
    engineApp.reset();
    logStream = std::ofstream();
}

} // namespace shell
