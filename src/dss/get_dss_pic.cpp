// "Get DSS Picture": the window around the survey-picture retrieval.
#include <QCoreApplication>
#include <QLocale>

#include "display/timed_waits.h"
#include "dss/dss_retrieval.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"

namespace shell {

bool FrmMain::GetDSSPicture() { return GetDSSPic(reshotPath, workFolder); }

bool FrmMain::GetDSSPic(const std::string& imagePath, const std::string& folder) {
    bool ok = false;
    downloading_ = true;
    try {
        lblDownload->setText("Downloading DSS-Image, please wait...");
        lblDownload->show();
        lblDownload->raise();
        display::WaitMilliseconds(500);
        const QString point = QLocale::system().decimalPoint();
        dss::RetrievalSteps steps;
        steps.beforeDownload = [] { QCoreApplication::processEvents(); };
        steps.downloaded = [this] { lblDownload->setText("Image downloaded, processing Image..."); };
        // the window paints and takes a close request while the transfer runs;
        // clicks and keys wait, so that nothing else starts meanwhile
        steps.waiting = [this] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            return !closeAfterDownload_;
        };
        dss::RetrieveDssPicture(imagePath, folder, dssServer, point.isEmpty() ? '.' : point[0].toLatin1(), steps);
        ok = true;
    } catch (const platform::Error& e) {
        if (!closeAfterDownload_)
            platform::dialogs().messageBox(QString("Error in Sub GetDSSPic: \r\n%1%2")
                                               .arg(e.number())
                                               .arg(QString::fromStdString(e.description())),
                                           "Vospen", platform::msg::OkOnly);
    } catch (const std::exception& e) {
        if (!closeAfterDownload_)
            platform::dialogs().messageBox(QString("Error in Sub GetDSSPic: \r\n%1%2").arg(5).arg(e.what()),
                                           "Vospen", platform::msg::OkOnly);
    }
    downloading_ = false;
    lblDownload->hide();
    if (closeAfterDownload_) { // cancelled for a close: no message, the window goes now
        close();
        return false;
    }
    return ok;
}

} // namespace shell
