#include "scanner/survey_scan.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <chrono>
#include <cstdio>

#include "platform/busy_cursor.h"
#include "platform/error.h"
#include "scanner/frm_scanner.h"
#include "scanner/scan_state.h"
#include "scanner/survey_walk.h"
#include "scanner/target_preparation.h"
#include "shell/frm_main.h"

namespace scanner {
namespace {

QString dateText(std::filesystem::file_time_type t) {
    const auto sys = std::chrono::file_clock::to_sys(t);
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
    return QLocale::system().toString(QDateTime::fromSecsSinceEpoch(secs), QLocale::ShortFormat);
}

} // namespace

void PrepareTarget(shell::FrmMain& main, FrmScanner& window, const std::string& referenceFile,
                   const std::string& newImageFile, const std::string& currentFolder) {
    {
        platform::BusyCursor busy;
        PrepareTargetProducts(referenceFile, newImageFile, currentFolder);
    }
    scanBlinkFolder = currentFolder;
    window.EnableTargetControls();
    nextRequested = false;
    window.cmdToggle_Click(); // returns when the blink stops
    // sleeps until an event comes; the user works with both windows meanwhile
    while ((examineFromScanner || !nextRequested) && !scanAbort)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.setStatus("Processing new Target...");
    (void)main;
}

void ScanBaseFolder(shell::FrmMain& main, FrmScanner& window, const std::string& baseFolder) {
    WalkCallbacks cb;
    cb.report = [](const std::string& what) { std::fprintf(stderr, "vospen: scan: %s\n", what.c_str()); };
    cb.stop = [] { return scanAbort; };
    cb.offer = [&](const NewImage& n) {
        window.EnableTargetControls();
        window.lblObj->setText(QString::fromStdString(n.target));
        window.lblDateRef->setText(dateText(n.referenceTime));
        window.lblDateRes->setText(dateText(n.newImageTime));
        main.txtPre->setText(QString::fromStdString(n.referenceFile));
        main.txtRe->setText(QString::fromStdString(n.newImageFile));
        main.cmdProcess->setEnabled(true);
        try {
            PrepareTarget(main, window, n.referenceFile, n.newImageFile, n.targetFolder + "/current");
        } catch (const platform::Error& e) {
            std::fprintf(stderr, "vospen: scan: %s not offered: %s\n", n.newImageFile.c_str(), e.description().c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vospen: scan: %s not offered: %s\n", n.newImageFile.c_str(), e.what());
        }
    };
    WalkSurvey(baseFolder, cb);
}

} // namespace scanner
