#include "scanner/survey_scan.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <chrono>
#include <cstdio>
#include <utility>

#include "astrometry/fits_image.h"
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

// The reference of a target cannot be read (a copy cut short, a damaged file):
// then no new image of the target can be offered, however sound it is.
bool ReferenceUnreadable(const std::string& referenceFile) {
    try {
        astrometry::ReadFitsHeader(referenceFile);
        return false;
    } catch (const platform::Error&) {
        return true;
    }
}

// the products of the target on offer, while some are still being written
TargetProducts* pending = nullptr;
std::string pendingImage;

} // namespace

void FinishPendingProducts() {
    if (!pending) return;
    TargetProducts* products = std::exchange(pending, nullptr);
    platform::BusyCursor busy;
    try {
        products->finish();
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "vospen: scan: products of %s incomplete: %s\n", pendingImage.c_str(),
                     e.description().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vospen: scan: products of %s incomplete: %s\n", pendingImage.c_str(), e.what());
    }
}

void PrepareTarget(shell::FrmMain& main, FrmScanner& window, const std::string& referenceFile,
                   const std::string& newImageFile, const std::string& currentFolder) {
    TargetProducts products;
    {
        platform::BusyCursor busy;
        products = PrepareTargetProducts(referenceFile, newImageFile, currentFolder);
    }
    pending = &products;
    pendingImage = newImageFile;
    struct Forget {
        ~Forget() { pending = nullptr; } // `products` waits for its thread as it goes
    } forget;
    scanBlinkFolder = currentFolder;
    window.EnableTargetControls();
    nextRequested = false;
    window.cmdToggle_Click(); // returns when the blink stops
    // sleeps until an event comes; the user works with both windows meanwhile
    while ((examineFromScanner || !nextRequested) && !scanAbort)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // every product is in the folder before the walk moves on
    FinishPendingProducts();
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
        std::string why;
        try {
            PrepareTarget(main, window, n.referenceFile, n.newImageFile, n.targetFolder + "/current");
            return true;
        } catch (const platform::Error& e) {
            why = e.description();
        } catch (const std::exception& e) {
            why = e.what();
        }
        std::fprintf(stderr, "vospen: scan: %s not offered: %s\n", n.newImageFile.c_str(), why.c_str());
        return !ReferenceUnreadable(n.referenceFile);
    };
    WalkSurvey(baseFolder, cb);
}

} // namespace scanner
